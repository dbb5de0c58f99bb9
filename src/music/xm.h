#pragma once
#include <cstdint>

// The Extended Module (XM) records that the loader builds and playback reads, and
// the five-callback reader through which every module byte is read.

// --- Module reader ---

struct ModuleReader {
    int32_t (*open)(const char* name);                          // handle; 0 = failure
    void (*close)(int32_t handle);
    uint32_t (*read)(void* dst, uint32_t count, int32_t handle);  // bytes delivered
    uint32_t (*seek)(int32_t handle, int32_t offset, uint8_t origin);  // 0 start, 1 current, 2 end
    uint32_t (*tell)(int32_t handle);
};

// Stores the five callbacks; if any is absent, all are cleared and false is returned.
bool InstallModuleReader(int32_t (*open)(const char*), void (*close)(int32_t),
                         uint32_t (*read)(void*, uint32_t, int32_t),
                         uint32_t (*seek)(int32_t, int32_t, uint8_t), uint32_t (*tell)(int32_t));
bool ModuleReaderInstalled();

// The reader over an in-memory module image: the song linked into the program, or a
// file a tool has read. One position for all: one load at a time.
void SetModuleImage(const uint8_t* image, uint32_t size);
extern uint32_t ModuleImagePosition;
int32_t ImageOpen(const char* name);
void ImageClose(int32_t handle);
uint32_t ImageRead(void* dst, uint32_t count, int32_t handle);  // cut short at the image's end
uint32_t ImageSeek(int32_t handle, int32_t offset, uint8_t origin);
uint32_t ImageTell(int32_t handle);
// Installs the five callbacks above.
void InstallImageReader();

// The song linked into the program's data.
extern "C" const uint8_t SongImage[];
extern "C" const uint8_t SongImageEnd[];

// --- Records ---

constexpr int32_t MaxChannels = 32;
constexpr int32_t MaxSamplesPerInstrument = 16;
constexpr uint8_t KeyOffNote = 255;

enum XmLoopType : uint8_t {
    LoopNone = 1,
    LoopForward = 2,
    LoopPingPong = 4,
};

struct XmCell {
    uint8_t note;        // 0 none, 1..96 (1 = C-0), 255 key-off
    uint8_t instrument;  // 0 none, 1..128
    uint8_t volume;      // volume column byte
    uint8_t effect;      // effect type 0..35
    uint8_t parameter;
};

struct XmPattern {
    int32_t rows;
    XmCell* cells;  // rows x channelCount, row by row
};

struct XmSample {
    int16_t* data;        // length values, then 8 zeros; absent for length 0
    uint32_t length;      // in samples
    uint32_t loopStart;   // in samples; loop end = loopStart + loopLength
    uint32_t loopLength;  // the whole sample when there is no loop
    uint8_t volume;       // 0..64
    int8_t finetune;
    int32_t panning;      // 0..255
    uint8_t bits;         // as the file had it (8 or 16); data is 16-bit
    uint8_t loopType;     // XmLoopType
    int8_t relativeNote;
};

struct XmEnvelopePoint {
    uint16_t x, y;
};

struct XmInstrument {
    int32_t sampleCount;  // at most 16
    XmSample* samples[MaxSamplesPerInstrument];  // from sampleCount on: &EmptySample
    uint8_t noteSample[96];
    XmEnvelopePoint volumeEnvelope[12];
    XmEnvelopePoint panningEnvelope[12];
    uint8_t volumePointCount, panningPointCount;
    uint8_t volumeSustain, volumeLoopStart, volumeLoopEnd;
    uint8_t panningSustain, panningLoopStart, panningLoopEnd;
    uint8_t volumeType, panningType;
    uint8_t vibratoType, vibratoSweep, vibratoDepth, vibratoRate;
    uint16_t fadeout;  // twice the file's value
};

struct XmModule {
    XmPattern* patterns;        // patternSlots of them
    XmInstrument* instruments;  // instrumentCount of them
    int32_t samplesLeft;        // frames left in the current tick
    int32_t samplesPerTick;
    int16_t songLength;
    int16_t restartPosition;
    int16_t channelCount;
    int32_t referencedPatterns;  // 1 + the highest pattern among the used orders
    int32_t patternSlots;        // max(file's pattern count, referencedPatterns)
    int16_t instrumentCount;
    uint16_t flags;              // bit 0: linear frequency table
    int16_t defaultSpeed;
    int16_t defaultBpm;
    uint8_t orders[256];
    uint8_t initialGlobalVolume;
    // Playback position and tempo, owned by the player.
    int32_t globalVolume;
    int32_t tick;
    int32_t speed;
    int32_t bpm;
    int32_t row;
    int32_t order;
    int32_t nextRow;    // -1: none pending
    int32_t nextOrder;  // -1: none pending
};

constexpr uint16_t LinearFrequencyTable = 1;

// Shared by every note that resolves to no sample: no data, length 0, loop type 0.
extern XmSample EmptySample;

// --- Loading ---

// Parses a module through the installed reader; none when it cannot. A file that
// breaks the format or the player's limits is refused: ModuleLoadError says why.
XmModule* LoadModule(const char* name);
extern const char* ModuleLoadError;

// Stops playback of the module, then frees it; false for no module.
bool FreeModule(XmModule* module);
