#pragma once
#include <cstdint>

struct XmModule;

// The sound output, implemented once per edge: waveOut on Windows, Web Audio in a
// browser, and the null edge's device-less output whose ring the tools and tests render
// block by block.

// Opens the output for 16-bit stereo at the rate; false with no module reader
// installed or when the device cannot be opened.
bool OpenAudioOutput(int32_t rate);
void CloseAudioOutput();
// Starts the module from its beginning; false for no module.
bool StartPlayback(XmModule* module);
// Ends the audio thread and releases the playback buffers; false for no module.
bool StopPlayback(XmModule* module);
