#pragma once
// Writes XM files from plain records: the song generator composes with it, and the
// tests build small and malformed modules with it.
#include <cstdint>
#include <string>
#include <vector>

struct WriterCell {
    uint8_t note = 0;        // 1..96, 97 key-off
    uint8_t instrument = 0;  // 1..128
    uint8_t volume = 0;      // volume column byte
    uint8_t effect = 0;
    uint8_t parameter = 0;
};

struct WriterPattern {
    int rows = 64;
    std::vector<WriterCell> cells;  // rows x channels; empty: written with packed size 0
};

struct WriterSample {
    std::vector<int16_t> values;  // signed values; 8-bit samples keep them in -128..127
    bool sixteenBit = false;
    uint8_t loopType = 0;         // type bits 0..1: 0 none, 1 forward, 2 ping-pong
    uint32_t loopStart = 0;       // in samples
    uint32_t loopLength = 0;
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    std::string name;
};

struct WriterInstrument {
    std::string name;
    std::vector<WriterSample> samples;
    uint8_t noteSample[96] = {};
    uint32_t headerSize = 0;  // 0: 263 with samples, 29 without
};

struct WriterSong {
    std::string name = "untitled";
    std::string tracker = "korvastil songgen";
    uint16_t version = 0x0104;
    uint32_t headerSize = 276;
    uint16_t restartPosition = 0;
    uint16_t channels = 4;
    uint16_t flags = 1;
    uint16_t speed = 6;
    uint16_t bpm = 125;
    std::vector<uint8_t> orders;
    std::vector<WriterPattern> patterns;
    std::vector<WriterInstrument> instruments;
};

std::vector<uint8_t> WriteXm(const WriterSong& song);
