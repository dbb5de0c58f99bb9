#pragma once
#include "music/xm.h"

// The sound output, implemented once per system: waveOut on Windows; on other
// systems a device-less output whose ring the tools and tests render block by block.

// Opens the output for 16-bit stereo at the rate; false with no module reader
// installed or when the device cannot be opened.
bool OpenAudioOutput(int32_t rate);
void CloseAudioOutput();
// Starts the module from its beginning; false for no module.
bool StartPlayback(XmModule* module);
// Ends the audio thread and releases the playback buffers; false for no module.
bool StopPlayback(XmModule* module);
