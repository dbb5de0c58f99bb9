#pragma once
// Small modules built in code for the music tests.
#include <vector>

#include "music/audio_output.h"
#include "music/audio_ring.h"
#include "music/player.h"
#include "music/xm.h"
#include "xm_writer.h"

// Loads bytes through the image reader; null (with ModuleLoadError) when refused.
inline XmModule* LoadBytes(const std::vector<uint8_t>& bytes)
{
    SetModuleImage(bytes.data(), uint32_t(bytes.size()));
    InstallImageReader();
    return LoadModule(nullptr);
}

inline XmModule* LoadSong(const WriterSong& song)
{
    return LoadBytes(WriteXm(song));
}

// One channel, one 64-row pattern, one instrument whose sample is `sample`
// (a 32-value looped ramp unless given), speed 2, 208 BPM, linear table.
inline WriterSong OneChannelSong(int channels = 1, int rows = 64)
{
    WriterSong song;
    song.channels = uint16_t(channels);
    song.speed = 2;
    song.bpm = 208;
    song.orders = {0};
    WriterPattern p;
    p.rows = rows;
    p.cells.resize(size_t(rows) * channels);
    song.patterns.push_back(p);
    WriterInstrument in;
    in.name = "ramp";
    WriterSample s;
    for (int i = 0; i < 32; ++i)
        s.values.push_back(int16_t(i * 4 - 64));
    s.loopType = 1;
    s.loopStart = 0;
    s.loopLength = 32;
    in.samples.push_back(s);
    song.instruments.push_back(in);
    return song;
}

inline WriterCell& Cell(WriterSong& song, int pattern, int row, int channel)
{
    return song.patterns[pattern].cells[size_t(row) * song.channels + channel];
}
