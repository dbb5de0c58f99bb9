// The output without a device: the ring is rendered on demand (BeginPlayback renders
// all of it; RenderBlock renders the next block). The tools and the native tests
// play through this exactly what the game plays.
#include "platform/audio_output.h"
#include "music/audio_ring.h"

bool OpenAudioOutput(int32_t rate)
{
    if (!ModuleReaderInstalled())
        return false;
    SetOutputRate(rate);
    return true;
}

void CloseAudioOutput() {}

bool StartPlayback(XmModule* module)
{
    if (!module)
        return false;
    StopPlayback(module);
    return BeginPlayback(module);
}

bool StopPlayback(XmModule* module)
{
    if (!module)
        return false;
    EndPlayback();
    return true;
}
