#include <cstdlib>
#include <cstring>

#include "music/audio_ring.h"
#include "music/xm.h"
#include "platform/audio_output.h"

XmSample EmptySample;
const char* ModuleLoadError = nullptr;

// --- Module reader ---

static ModuleReader Reader;

bool InstallModuleReader(int32_t (*open)(const char*), void (*close)(int32_t),
                         uint32_t (*read)(void*, uint32_t, int32_t),
                         uint32_t (*seek)(int32_t, int32_t, uint8_t), uint32_t (*tell)(int32_t))
{
    if (!open || !close || !read || !seek || !tell) {
        Reader = ModuleReader{};
        return false;
    }
    Reader = ModuleReader{open, close, read, seek, tell};
    return true;
}

bool ModuleReaderInstalled()
{
    return Reader.open != nullptr;
}

// --- The reader over a module image ---

static const uint8_t* ModuleImage = nullptr;
static uint32_t ModuleImageSize = 0;
uint32_t ModuleImagePosition = 0;

void SetModuleImage(const uint8_t* image, uint32_t size)
{
    ModuleImage = image;
    ModuleImageSize = size;
    ModuleImagePosition = 0;
}

int32_t ImageOpen(const char*)
{
    ModuleImagePosition = 0;
    return 1;
}

void ImageClose(int32_t) {}

uint32_t ImageRead(void* dst, uint32_t count, int32_t)
{
    const uint32_t size = ModuleImageSize;
    const uint32_t left = ModuleImagePosition < size ? size - ModuleImagePosition : 0;
    if (count > left)
        count = left;
    if (count > 0)
        std::memcpy(dst, ModuleImage + ModuleImagePosition, count);
    ModuleImagePosition += count;
    return count;
}

uint32_t ImageSeek(int32_t, int32_t offset, uint8_t origin)
{
    const uint32_t size = ModuleImageSize;
    int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(ModuleImagePosition) : int64_t(size);
    int64_t position = base + offset;
    if (position < 0) position = 0;
    if (position > int64_t(size)) position = size;
    ModuleImagePosition = uint32_t(position);
    return ModuleImagePosition;
}

uint32_t ImageTell(int32_t)
{
    return ModuleImagePosition;
}

void InstallImageReader()
{
    InstallModuleReader(ImageOpen, ImageClose, ImageRead, ImageSeek, ImageTell);
}

// --- Bounded reading ---

// The loader's view of one open module: every read is checked against what the
// reader delivers, and the first failure names its reason.
// Why a module was refused, which the tools print. The page, whose one module is built in,
// says only that the music could not be loaded, and leaves the reasons out.
#ifdef KORVA_LOADER_WITHOUT_REASONS
#define WHY(text) "refused"
#else
#define WHY(text) text
#endif

struct ModuleStream {
    int32_t handle;
    uint32_t size;       // bytes in the whole file
    const char* error;
};

static bool Fail(ModuleStream& s, const char* reason)
{
    if (!s.error)
        s.error = reason;
    return false;
}

static uint32_t Tell(ModuleStream& s) { return Reader.tell(s.handle); }
static uint32_t Remaining(ModuleStream& s)
{
    const uint32_t at = Tell(s);
    return at < s.size ? s.size - at : 0;
}

static bool Seek(ModuleStream& s, uint32_t position, const char* reason)
{
    if (position > s.size)
        return Fail(s, reason);
    Reader.seek(s.handle, int32_t(position), 0);
    return true;
}

static bool Read(ModuleStream& s, void* dst, uint32_t count, const char* reason)
{
    if (s.error)
        return false;
    if (Reader.read(dst, count, s.handle) != count)
        return Fail(s, reason);
    return true;
}

static uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
static uint32_t U32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24; }

// --- Freeing ---

static void ReleaseModule(XmModule* module)
{
    if (module->instruments) {
        for (int32_t i = 0; i < module->instrumentCount; ++i) {
            XmInstrument& instrument = module->instruments[i];
            for (int32_t k = 0; k < instrument.sampleCount; ++k) {
                XmSample* sample = instrument.samples[k];
                if (sample && sample != &EmptySample) {
                    std::free(sample->data);
                    std::free(sample);
                }
            }
        }
        std::free(module->instruments);
    }
    if (module->patterns) {
        for (int32_t p = 0; p < module->patternSlots; ++p)
            std::free(module->patterns[p].cells);
        std::free(module->patterns);
    }
    std::free(module);
}

bool FreeModule(XmModule* module)
{
    if (!module)
        return false;
    while (MixerBusy.load())
        ;  // the audio thread finishes its block first
    StopPlayback(module);
    ReleaseModule(module);
    return true;
}

// --- Header ---

constexpr uint32_t HeaderFieldsBeforeOrders = 20;  // header size .. default BPM

static bool ReadHeader(ModuleStream& s, XmModule* m, int32_t* filePatterns)
{
    uint8_t id[17];
    if (!Read(s, id, 17, WHY("too short to be an XM module")) ||
        std::memcmp(id, "Extended Module: ", 17) != 0)
        return Fail(s, WHY("not an XM module (no \"Extended Module: \" signature)"));
    m->initialGlobalVolume = 64;

    uint8_t h[HeaderFieldsBeforeOrders];
    if (!Seek(s, 60, WHY("the header is cut short")) ||
        !Read(s, h, sizeof h, WHY("the header is cut short")))
        return false;
    const uint32_t headerSize = U32(h);
    if (headerSize < HeaderFieldsBeforeOrders)
        return Fail(s, WHY("the header size is too small to hold the header"));
    m->songLength = int16_t(U16(h + 4));
    m->restartPosition = int16_t(U16(h + 6));
    m->channelCount = int16_t(U16(h + 8));
    *filePatterns = U16(h + 10);
    m->instrumentCount = int16_t(U16(h + 12));
    m->flags = U16(h + 14);
    m->defaultSpeed = int16_t(U16(h + 16));
    m->defaultBpm = int16_t(U16(h + 18));

    // A header shorter than usual holds fewer orders; the rest stay 0.
    uint32_t orderBytes = headerSize - HeaderFieldsBeforeOrders;
    if (orderBytes > 256) orderBytes = 256;
    if (!Read(s, m->orders, orderBytes, WHY("the order table is cut short")) ||
        !Seek(s, 60 + headerSize, WHY("the header runs past the end of the file")))
        return false;

    if (U16(h + 4) < 1 || U16(h + 4) > 256)
        return Fail(s, WHY("the song length is outside 1..256"));
    if (U16(h + 8) < 1 || U16(h + 8) > MaxChannels)
        return Fail(s, WHY("the channel count is outside 1..32"));
    if (*filePatterns > 256)
        return Fail(s, WHY("more than 256 patterns"));
    if (U16(h + 12) > 128)
        return Fail(s, WHY("more than 128 instruments"));
    if (U16(h + 16) > 255)
        return Fail(s, WHY("the default speed is above 255"));
    if (U16(h + 18) < 1 || U16(h + 18) > 255)
        return Fail(s, WHY("the default tempo is outside 1..255 BPM"));
    if (m->restartPosition >= m->songLength || m->restartPosition < 0)
        m->restartPosition = 0;  // as trusted players do: restart from the top
    return true;
}

// --- Patterns ---

enum PackedFlags : uint8_t {
    PackedNote = 0x01,
    PackedInstrument = 0x02,
    PackedVolume = 0x04,
    PackedEffect = 0x08,
    PackedParameter = 0x10,
    PackedCell = 0x80,
};

// Decodes rows x channels cells from the packed bytes; false if they run out.
static bool DecodePattern(XmCell* cells, int32_t count, const uint8_t* data, uint32_t size)
{
    uint32_t at = 0;
    for (int32_t i = 0; i < count; ++i) {
        XmCell& c = cells[i];
        if (at >= size)
            return false;
        const uint8_t b = data[at++];
        uint8_t* fields = &c.note;
        if (b & PackedCell) {
            for (int32_t f = 0; f < 5; ++f) {
                if (b & (1 << f)) {
                    if (at >= size)
                        return false;
                    fields[f] = data[at++];
                }
            }
        } else {
            if (size - at < 4)
                return false;
            c.note = b;
            std::memcpy(fields + 1, data + at, 4);
            at += 4;
        }
        if (c.note == 97)
            c.note = KeyOffNote;
        if (c.instrument > 128)
            c.instrument = 0;
    }
    return true;
}

static bool ReadPatterns(ModuleStream& s, XmModule* m, int32_t filePatterns)
{
    int32_t highest = 0;
    for (int32_t i = 0; i < m->songLength; ++i)
        if (m->orders[i] > highest)
            highest = m->orders[i];
    m->referencedPatterns = highest + 1;
    m->patternSlots = filePatterns > m->referencedPatterns ? filePatterns : m->referencedPatterns;
    m->patterns = static_cast<XmPattern*>(std::calloc(size_t(m->patternSlots), sizeof(XmPattern)));
    if (!m->patterns)
        return Fail(s, WHY("out of memory"));

    uint8_t* packed = static_cast<uint8_t*>(std::malloc(65535));
    if (!packed)
        return Fail(s, WHY("out of memory"));
    for (int32_t p = 0; p < m->patternSlots && !s.error; ++p) {
        XmPattern& pattern = m->patterns[p];
        uint16_t packedSize = 0;
        if (p < filePatterns) {
            uint8_t h[9];  // header length, packing type, rows, packed size
            if (!Read(s, h, 9, WHY("a pattern header is cut short")))
                break;
            pattern.rows = U16(h + 5);
            packedSize = U16(h + 7);
            if (pattern.rows < 1 || pattern.rows > 256) {
                Fail(s, WHY("a pattern has a row count outside 1..256"));
                break;
            }
        } else {
            pattern.rows = 64;  // named by the orders but not stored: empty
        }
        const int32_t count = pattern.rows * m->channelCount;
        pattern.cells = static_cast<XmCell*>(std::calloc(size_t(count), sizeof(XmCell)));
        if (!pattern.cells) {
            Fail(s, WHY("out of memory"));
            break;
        }
        if (packedSize != 0 &&
            (!Read(s, packed, packedSize, WHY("pattern data runs past the end of the file")) ||
             !DecodePattern(pattern.cells, count, packed, packedSize)))
            Fail(s, WHY("a pattern's packed data is shorter than its cells"));
    }
    std::free(packed);
    return !s.error;
}

// --- Instruments and samples ---

constexpr uint32_t InstrumentHeaderMinimum = 29;         // size, name, type, sample count
constexpr uint32_t InstrumentHeaderWithSamples = 241;    // ... through the fadeout
constexpr uint32_t MaxSampleLength = 0xFFFFFF;           // samples: keeps positions in 8.24 range

enum SampleTypeFlags : uint8_t {
    SampleForwardLoop = 0x01,
    SamplePingPongLoop = 0x02,
    Sample16Bit = 0x10,
};

static bool ReadSampleHeader(ModuleStream& s, XmSample* sample, uint32_t* byteLength)
{
    uint8_t h[18];
    if (!Read(s, h, sizeof h, WHY("a sample header is cut short")))
        return false;
    sample->length = U32(h);
    sample->loopStart = U32(h + 4);
    sample->loopLength = U32(h + 8);
    sample->volume = h[12] > 64 ? 64 : h[12];  // the player's gains assume 0..64
    sample->finetune = int8_t(h[13]);
    sample->bits = 8;
    sample->loopType = LoopNone;
    const uint8_t type = h[14];
    if (type & SampleForwardLoop) sample->loopType = LoopForward;
    if (type & SamplePingPongLoop) sample->loopType = LoopPingPong;
    if (type & Sample16Bit) sample->bits = 16;
    sample->panning = h[15];
    sample->relativeNote = int8_t(h[16]);
    Reader.seek(s.handle, 22, 1);  // name

    *byteLength = sample->length;
    if (*byteLength > s.size)
        return Fail(s, WHY("a sample is longer than the file"));
    if (sample->loopType == LoopNone) {
        sample->loopStart = 0;
        sample->loopLength = sample->length;
    }
    if (sample->bits == 16) {
        sample->length /= 2;
        sample->loopStart /= 2;
        sample->loopLength /= 2;
    }
    if (sample->length > MaxSampleLength)
        return Fail(s, WHY("a sample is longer than the player allows"));
    // Loop points outside the sample: clamp the loop to the end, or drop it.
    if (sample->loopType != LoopNone) {
        if (sample->loopStart >= sample->length)
            sample->loopLength = 0;
        else if (sample->loopLength > sample->length - sample->loopStart)
            sample->loopLength = sample->length - sample->loopStart;
    }
    if (sample->loopLength == 0) {
        sample->loopStart = 0;
        sample->loopLength = sample->length;
        sample->loopType = LoopNone;
    }
    if (sample->length > 0) {
        sample->data = static_cast<int16_t*>(std::calloc(1, 2 * size_t(sample->length) + 16));
        if (!sample->data)
            return Fail(s, WHY("out of memory"));
    }
    return true;
}

// Reads delta-coded 8- or 16-bit data into 16-bit values and sets the guard value.
static bool ReadSampleData(ModuleStream& s, XmSample* sample, uint32_t byteLength)
{
    const uint32_t bytes = sample->bits / 8 * sample->length;
    if (byteLength > Remaining(s))
        return Fail(s, WHY("sample data runs past the end of the file"));
    if (bytes == 0)
        return Seek(s, Tell(s) + byteLength, WHY("sample data runs past the end of the file"));

    int16_t* d = sample->data;
    uint8_t* raw = reinterpret_cast<uint8_t*>(d);
    if (!Read(s, raw, bytes, WHY("sample data runs past the end of the file")))
        return false;
    // An odd byte of a 16-bit sample belongs to no value: step over it.
    if (byteLength > bytes && !Seek(s, Tell(s) + (byteLength - bytes), WHY("sample data runs past the end of the file")))
        return false;

    if (sample->bits == 8) {
        for (uint32_t i = sample->length; i-- > 0;)  // widen in place, from the end
            d[i] = int16_t(uint16_t(raw[i]) << 8);
    } else {
        for (uint32_t i = 0; i < sample->length; ++i)
            d[i] = int16_t(U16(raw + 2 * i));
    }
    uint16_t value = 0;
    for (uint32_t i = 0; i < sample->length; ++i) {
        value = uint16_t(value + uint16_t(d[i]));
        d[i] = int16_t(value);
    }

    const uint32_t loopEnd = sample->loopStart + sample->loopLength;
    if (sample->loopType == LoopPingPong)
        d[loopEnd] = d[loopEnd - 1];
    else if (sample->loopType == LoopForward)
        d[loopEnd] = d[sample->loopStart];
    return true;
}

static bool ReadInstrument(ModuleStream& s, XmInstrument& instrument)
{
    const uint32_t start = Tell(s);
    uint8_t h[4];
    if (!Read(s, h, 4, WHY("an instrument header is cut short")))
        return false;
    const uint32_t headerSize = U32(h);
    if (headerSize < InstrumentHeaderMinimum)
        return Fail(s, WHY("an instrument header size is too small"));
    if (headerSize > s.size - start)
        return Fail(s, WHY("an instrument header runs past the end of the file"));
    const uint32_t end = start + headerSize;

    Reader.seek(s.handle, 23, 1);  // name and type
    if (!Read(s, h, 2, WHY("an instrument header is cut short")))
        return false;
    const uint16_t sampleCount = U16(h);
    if (sampleCount > MaxSamplesPerInstrument)
        return Fail(s, WHY("an instrument has more than 16 samples"));
    instrument.sampleCount = sampleCount;

    for (int32_t k = sampleCount; k < MaxSamplesPerInstrument; ++k)
        instrument.samples[k] = &EmptySample;
    if (sampleCount == 0)
        return Seek(s, end, WHY("an instrument header runs past the end of the file"));
    if (headerSize < InstrumentHeaderWithSamples)
        return Fail(s, WHY("an instrument header is too small for its samples"));

    uint8_t b[4 + 96 + 48 + 48 + 16];
    if (!Read(s, b, sizeof b, WHY("an instrument header is cut short")))
        return false;
    const uint8_t* p = b + 4;  // the sample header size: every header is taken as 40 bytes
    std::memcpy(instrument.noteSample, p, 96);
    p += 96;
    for (int32_t i = 0; i < 12; ++i, p += 4)
        instrument.volumeEnvelope[i] = {U16(p), U16(p + 2)};
    for (int32_t i = 0; i < 12; ++i, p += 4)
        instrument.panningEnvelope[i] = {U16(p), U16(p + 2)};
    instrument.volumePointCount = p[0];
    instrument.panningPointCount = p[1];
    instrument.volumeSustain = p[2];
    instrument.volumeLoopStart = p[3];
    instrument.volumeLoopEnd = p[4];
    instrument.panningSustain = p[5];
    instrument.panningLoopStart = p[6];
    instrument.panningLoopEnd = p[7];
    instrument.volumeType = instrument.volumePointCount < 2 ? 0 : p[8];
    instrument.panningType = instrument.panningPointCount < 2 ? 0 : p[9];
    instrument.vibratoType = p[10];
    instrument.vibratoSweep = p[11];
    instrument.vibratoDepth = p[12];
    instrument.vibratoRate = p[13];
    instrument.fadeout = uint16_t(U16(p + 14) * 2);
    if (!Seek(s, end, WHY("an instrument header runs past the end of the file")))
        return false;

    uint32_t byteLength[MaxSamplesPerInstrument];
    for (int32_t k = 0; k < sampleCount; ++k) {
        instrument.samples[k] = static_cast<XmSample*>(std::calloc(1, sizeof(XmSample)));
        if (!instrument.samples[k])
            return Fail(s, WHY("out of memory"));
        if (!ReadSampleHeader(s, instrument.samples[k], &byteLength[k]))
            return false;
    }
    for (int32_t k = 0; k < sampleCount; ++k)
        if (!ReadSampleData(s, instrument.samples[k], byteLength[k]))
            return false;
    return true;
}

// --- Loading ---

XmModule* LoadModule(const char* name)
{
    ModuleLoadError = nullptr;
    if (!ModuleReaderInstalled()) {
        ModuleLoadError = WHY("no module reader is installed");
        return nullptr;
    }
    XmModule* m = static_cast<XmModule*>(std::calloc(1, sizeof(XmModule)));
    if (!m) {
        ModuleLoadError = WHY("out of memory");
        return nullptr;
    }
    ModuleStream s = {Reader.open(name), 0, nullptr};
    if (s.handle == 0) {
        ModuleLoadError = WHY("cannot open the module");
        std::free(m);
        return nullptr;
    }
    s.size = Reader.seek(s.handle, 0, 2);
    Reader.seek(s.handle, 0, 0);

    int32_t filePatterns = 0;
    if (ReadHeader(s, m, &filePatterns) && ReadPatterns(s, m, filePatterns)) {
        m->instruments = static_cast<XmInstrument*>(
            std::calloc(size_t(m->instrumentCount) + 1, sizeof(XmInstrument)));
        if (!m->instruments)
            Fail(s, WHY("out of memory"));
        for (int32_t i = 0; i < m->instrumentCount && !s.error; ++i)
            ReadInstrument(s, m->instruments[i]);
    }
    Reader.close(s.handle);
    if (s.error) {
        ModuleLoadError = s.error;
        ReleaseModule(m);
        return nullptr;
    }
    return m;
}
