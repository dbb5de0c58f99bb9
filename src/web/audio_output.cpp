// The sound output in a browser: Web Audio plays the ring's blocks in order and each one
// is rendered again as soon as it was handed over, so the page plays exactly what the
// Windows build and the tools play. Without Web Audio the game plays silent.
#include <emscripten.h>

#include "music/audio_ring.h"
#include "platform/audio_output.h"
#include "web/web.h"

static int32_t PlayBlock = 0;  // the block the browser takes next

bool OpenAudioOutput(int32_t rate)
{
    if (!ModuleReaderInstalled())
        return false;
    if (!korva_audio_open(rate))
        WebMessage("This browser offers no Web Audio at 44,100 Hz: the game plays silent.");
    SetOutputRate(rate);
    return true;
}

void CloseAudioOutput() { korva_audio_play(0); }

bool StartPlayback(XmModule* module)
{
    if (!module)
        return false;
    StopPlayback(module);
    if (!BeginPlayback(module))
        return false;
    PlayBlock = 0;
    korva_audio_play(1);
    return true;
}

bool StopPlayback(XmModule* module)
{
    if (!module)
        return false;
    korva_audio_play(0);
    EndPlayback();
    return true;
}

extern "C" EMSCRIPTEN_KEEPALIVE int32_t WebAudioBlockFrames() { return BlockFrames; }

// The next block to play; the one before it, handed over last time, is rendered anew.
extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* WebAudioBlock()
{
    if (MixBuffer && WriteBlock == (PlayBlock + BlockCount - 1) % BlockCount)
        RenderBlock();
    const int16_t* block = WaveRing + size_t(PlayBlock) * size_t(BlockFrames) * 2;
    PlayBlock = (PlayBlock + 1) % BlockCount;
    return block;
}
