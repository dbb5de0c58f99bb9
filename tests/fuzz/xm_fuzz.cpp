// libFuzzer harness: any bytes through the loader, and whatever loads through the
// player and mixer for a couple of seconds of sound.
#include <cstddef>
#include <cstdint>

#include "music/audio_ring.h"
#include "music/xm.h"
#include "platform/audio_output.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetModuleImage(data, uint32_t(size));
    InstallImageReader();
    XmModule* module = LoadModule(nullptr);
    if (!module)
        return 0;
    OpenAudioOutput(8000);  // small blocks: the whole ring is 16000 frames
    if (StartPlayback(module))
        for (int i = 0; i < 20; ++i)
            RenderBlock();
    FreeModule(module);
    return 0;
}
