// songgen OUT.xm
// Composes the game's song in code and writes it as an XM module: six synthesised
// 8-bit samples (bass, lead, arp and hi-hat looped; kick and snare one-shot) and a
// 16-row intro followed by six 128-row patterns in A minor, 16 rows to the beat at
// speed 2 and 208 BPM (156 beats a minute).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "xm_writer.h"

namespace {

const double Pi = 3.14159265358979323846;
const double SampleRate = 8363.0;  // the rate a sample plays at on C-4
const int Channels = 4;
enum Channel { Drums, Bass, Arp, Lead };
enum Instrument { Bass1 = 1, Lead1, Arp1, Kick, Snare, Hat, Credits };

// --- Samples ---

int16_t Clip8(double x)
{
    const double v = std::floor(x * 127.0 + 0.5);
    return int16_t(v < -128 ? -128 : v > 127 ? 127 : v);
}

// A deterministic noise source: the same bytes on every machine.
struct Noise {
    uint32_t state = 0x4B4F5256;  // "KORV"
    double Next()
    {
        state = state * 1664525u + 1013904223u;
        return double(int32_t(state) >> 8) / double(1 << 23);
    }
};

// Single cycles loop over their whole length; N samples at relative note r sound at
// the written pitch when N = 32 * 2^(r / 12).
WriterSample Cycle(int length, int8_t relativeNote, uint8_t volume, uint8_t panning,
                   double (*shape)(double))
{
    WriterSample s;
    std::vector<double> v(length);
    for (int i = 0; i < length; ++i)
        v[i] = shape(double(i) / length);
    for (int pass = 0; pass < 2; ++pass) {  // soften the edges, around the loop
        std::vector<double> w(v);
        for (int i = 0; i < length; ++i)
            v[i] = 0.25 * w[(i + length - 1) % length] + 0.5 * w[i] + 0.25 * w[(i + 1) % length];
    }
    for (double x : v)
        s.values.push_back(Clip8(x * 0.92));
    s.loopType = 1;
    s.loopStart = 0;
    s.loopLength = uint32_t(length);
    s.relativeNote = relativeNote;
    s.volume = volume;
    s.panning = panning;
    return s;
}

double BassShape(double t) { return 0.6 * (2.0 * t - 1.0) + 0.4 * (t < 0.5 ? 1.0 : -1.0); }
double LeadShape(double t)
{
    return 0.62 * std::sin(2 * Pi * t) + 0.31 * std::sin(4 * Pi * t) + 0.2 * std::sin(6 * Pi * t) +
           0.12 * std::sin(10 * Pi * t);
}
double ArpShape(double t) { return t < 0.5 ? 0.8 : -0.8; }

WriterSample KickSample()
{
    WriterSample s;
    double phase = 0.0;
    for (int i = 0; i < 2000; ++i) {
        const double t = i / SampleRate;
        const double frequency = 44.0 + 130.0 * std::exp(-t / 0.028);
        phase += 2 * Pi * frequency / SampleRate;
        const double click = i < 24 ? 0.35 * (1.0 - i / 24.0) : 0.0;
        s.values.push_back(Clip8(std::sin(phase) * std::exp(-t / 0.11) + click));
    }
    s.volume = 64;
    return s;
}

WriterSample SnareSample(Noise& noise)
{
    WriterSample s;
    double low = 0.0;
    for (int i = 0; i < 2300; ++i) {
        const double t = i / SampleRate;
        low += 0.6 * (noise.Next() - low);  // a little darker than white
        const double body = std::sin(2 * Pi * 186.0 * t) * std::exp(-t / 0.035);
        s.values.push_back(Clip8(0.75 * low * std::exp(-t / 0.075) + 0.5 * body));
    }
    s.volume = 50;
    s.panning = 140;
    return s;
}

WriterSample HatSample(Noise& noise)
{
    WriterSample s;
    double previous = 0.0;
    for (int i = 0; i < 1280; ++i) {
        const double n = noise.Next();
        s.values.push_back(Clip8(0.7 * (n - previous)));  // high-passed noise
        previous = n;
    }
    s.loopType = 1;
    s.loopStart = 0;
    s.loopLength = uint32_t(s.values.size());
    s.volume = 26;
    s.panning = 100;
    return s;
}

WriterInstrument Instrument(const char* name, WriterSample sample)
{
    WriterInstrument in;
    in.name = name;
    sample.name = name;
    in.samples.push_back(sample);
    return in;
}

// --- Notes and cells ---

// "A-4", "G#5": XM note numbers, C-0 = 1.
uint8_t N(const char* name)
{
    static const int semitone[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    const int octave = name[2] - '0';
    return uint8_t(octave * 12 + semitone[name[0] - 'A'] + (name[1] == '#' ? 1 : 0) + 1);
}

const uint8_t KeyOff = 97;
const uint8_t Volume0 = 0x10;  // volume column: set volume v with Volume0 + v

struct Pattern {
    WriterPattern p;
    explicit Pattern(int rows)
    {
        p.rows = rows;
        p.cells.resize(size_t(rows) * Channels);
    }
    WriterCell& At(int row, int channel) { return p.cells[size_t(row) * Channels + channel]; }
    void Put(int row, int channel, uint8_t note, uint8_t instrument, uint8_t volume = 0,
             uint8_t effect = 0, uint8_t parameter = 0)
    {
        At(row, channel) = WriterCell{note, instrument, volume, effect, parameter};
    }
    void Effect(int row, int channel, uint8_t effect, uint8_t parameter)
    {
        At(row, channel).effect = effect;
        At(row, channel).parameter = parameter;
    }
};

struct Chord {
    const char* root;  // bass root, octave 1 or 2
    const char* tones[3];  // arp voicing
};

// --- Parts ---

// One bar (64 rows) of drums. Closed hats are keyed off a row later; the last beat
// of a pattern may carry a fill.
void DrumBar(Pattern& p, int bar, bool fill)
{
    const int r = bar * 64;
    auto hat = [&](int row, uint8_t slide, int length) {
        p.Put(r + row, Drums, N("C-6"), Hat, slide);
        p.Put(r + row + length, Drums, KeyOff, 0);
    };
    p.Put(r + 0, Drums, N("C-4"), Kick);
    hat(8, 0x64, 2);
    hat(12, 0x68, 1);
    p.Put(r + 16, Drums, N("C-4"), Snare);
    hat(24, 0x64, 2);
    hat(28, 0x6A, 1);
    p.Put(r + 32, Drums, N("C-4"), Kick);
    p.Put(r + 40, Drums, N("C-4"), Kick, Volume0 + 44);
    hat(44, 0x68, 1);
    if (fill) {
        const uint8_t volume[4] = {36, 44, 52, 64};
        for (int i = 0; i < 4; ++i)
            p.Put(r + 48 + 4 * i, Drums, N("C-4"), Snare, Volume0 + volume[i]);
        return;
    }
    p.Put(r + 48, Drums, N("C-4"), Snare);
    hat(56, 0x64, 2);
    hat(60, 0x62, 3);  // open
}

// One bar of octave bass: eighth notes alternating root and octave, each keyed off
// two rows before the next (alternately by a key-off note and by effect K).
void BassBar(Pattern& p, int bar, const char* root, bool busy)
{
    const int r = bar * 64;
    const uint8_t low = N(root), high = uint8_t(low + 12);
    for (int i = 0; i < 8; ++i) {
        const int row = r + 8 * i;
        const uint8_t note = (i % 2 == 0) ? low : high;
        const uint8_t volume = uint8_t(Volume0 + (i % 4 == 0 ? 52 : 42));
        p.Put(row, Bass, note, i == 0 ? Bass1 : 0, volume);
        if (i % 2 == 0)
            p.Put(row + 6, Bass, KeyOff, 0);
        else
            p.Put(row + 6, Bass, 0, 0, 0, 0x14, 0);
        if (busy && i == 7) {  // a ghost note before the next bar
            p.Put(row + 4, Bass, high, 0, Volume0 + 30);
        }
    }
}

// Sixteenth-note arpeggio over the chord; `shimmer` adds the octave on the later
// tick of each row (effect 0), `swing` pans the notes across the stereo field.
void ArpBar(Pattern& p, int bar, const Chord& chord, uint8_t shimmer, bool swing)
{
    static const int order[16] = {0, 1, 2, 3, 2, 1, 0, 1, 0, 1, 2, 3, 2, 1, 2, 1};
    const int r = bar * 64;
    for (int i = 0; i < 16; ++i) {
        const int k = order[i];
        const uint8_t note = uint8_t(N(chord.tones[k % 3]) + (k == 3 ? 12 : 0));
        const int row = r + 4 * i;
        if (swing)
            p.Put(row, Arp, note, Arp1, uint8_t(i % 2 ? 0xC4 : 0xCB), 0x00, shimmer);
        else
            p.Put(row, Arp, note, i == 0 ? Arp1 : 0,
                  uint8_t(Volume0 + (i % 4 == 0 ? 30 : 22)), 0x00, shimmer);
    }
}

struct LeadNote {
    int row;
    const char* note;
    int length;     // rows until the next note or the key-off
    uint8_t flags;  // LeadVibrato, LeadGlide, LeadOff, LeadRise
};
enum LeadFlags : uint8_t {
    LeadVibrato = 1,  // vibrato from the sixth row of the note on
    LeadGlide = 2,    // tone portamento from the previous note
    LeadOff = 4,      // key-off after the note
    LeadRise = 8,     // portamento up over its second half
};

void LeadPhrase(Pattern& p, const std::vector<LeadNote>& notes)
{
    bool first = true;
    for (const LeadNote& n : notes) {
        if (n.flags & LeadGlide) {
            p.Put(n.row, Lead, N(n.note), 0, Volume0 + 40, 0x03, 0x06);
            for (int i = 1; i < 6 && i < n.length; ++i)
                p.Effect(n.row + i, Lead, 0x03, 0x00);
        } else {
            p.Put(n.row, Lead, N(n.note), first ? Lead1 : 0, Volume0 + 40);
        }
        first = false;
        if (n.flags & LeadVibrato)
            for (int i = 6; i < n.length; ++i)
                p.Effect(n.row + i, Lead, 0x04, i == 6 ? 0x83 : 0x00);
        if (n.flags & LeadRise)
            for (int i = n.length / 2; i < n.length; ++i)
                p.Effect(n.row + i, Lead, 0x01, i == n.length / 2 ? 0x06 : 0x00);
        if (n.flags & LeadOff)
            p.Put(n.row + n.length, Lead, KeyOff, 0);
    }
}

// --- The song ---

const Chord Am = {"A-1", {"A-4", "C-5", "E-5"}};
const Chord F = {"F-1", {"F-4", "A-4", "C-5"}};
const Chord C = {"C-2", {"G-4", "C-5", "E-5"}};
const Chord G = {"G-1", {"G-4", "B-4", "D-5"}};
const Chord Dm = {"D-2", {"A-4", "D-5", "F-5"}};
const Chord E = {"E-1", {"G#4", "B-4", "E-5"}};

Pattern Intro()
{
    Pattern p(16);
    p.Put(0, Arp, 0, 0, 0, 0x0F, 0x02);  // speed 2
    p.Put(0, Bass, N("A-2"), Bass1, Volume0 + 48, 0x0F, 0xD0);  // 208 BPM
    for (int i = 1; i < 12; ++i)
        p.Effect(i, Bass, 0x02, i == 1 ? 0x04 : 0x00);  // the bass falls into the first bar
    p.Put(12, Bass, KeyOff, 0);
    const uint8_t volume[4] = {24, 34, 46, 60};
    for (int i = 0; i < 4; ++i)
        p.Put(4 * i, Drums, N("C-4"), Snare, Volume0 + volume[i]);
    p.Put(0, Lead, N("A-3"), Lead1, Volume0 + 28);
    for (int i = 1; i < 15; ++i)
        p.Effect(i, Lead, 0x01, i == 1 ? 0x10 : 0x00);  // a riser
    p.Put(15, Lead, KeyOff, 0);
    return p;
}

Pattern Groove(const Chord& a, const Chord& b, uint8_t shimmer, bool swing, bool fill)
{
    Pattern p(128);
    DrumBar(p, 0, false);
    DrumBar(p, 1, fill);
    BassBar(p, 0, a.root, false);
    BassBar(p, 1, b.root, true);
    ArpBar(p, 0, a, shimmer, swing);
    ArpBar(p, 1, b, shimmer, swing);
    return p;
}

WriterSong Compose()
{
    WriterSong song;
    song.name = "korvastil brumsovert";
    song.tracker = "korvastil songgen";
    song.restartPosition = 1;
    song.channels = Channels;
    song.flags = 1;
    song.speed = 2;
    song.bpm = 208;

    Noise noise;
    song.instruments.push_back(Instrument("bass", Cycle(64, 12, 48, 128, BassShape)));
    song.instruments.push_back(Instrument("lead", Cycle(32, 0, 40, 120, LeadShape)));
    song.instruments.push_back(Instrument("arp", Cycle(32, 0, 30, 168, ArpShape)));
    song.instruments.push_back(Instrument("kick", KickSample()));
    song.instruments.push_back(Instrument("snare", SnareSample(noise)));
    song.instruments.push_back(Instrument("hat", HatSample(noise)));
    WriterInstrument credits;
    credits.name = "music: pimbo";
    song.instruments.push_back(credits);

    std::vector<Pattern> patterns;
    patterns.push_back(Intro());

    Pattern p1 = Groove(Am, F, 0x00, false, false);
    patterns.push_back(p1);

    Pattern p2 = Groove(C, G, 0x00, false, true);
    LeadPhrase(p2, {{116, "C-5", 4, 0}, {120, "D-5", 8, 0}});
    patterns.push_back(p2);

    Pattern p3 = Groove(Am, F, 0x00, false, false);
    LeadPhrase(p3, {{0, "E-5", 12, LeadVibrato}, {12, "D-5", 4, 0}, {16, "C-5", 8, 0},
                    {24, "D-5", 8, 0}, {32, "E-5", 16, LeadVibrato}, {48, "G-5", 8, 0},
                    {56, "E-5", 8, 0}, {64, "F-5", 16, LeadVibrato}, {80, "E-5", 8, 0},
                    {88, "C-5", 8, 0}, {96, "A-4", 24, LeadVibrato | LeadOff}});
    patterns.push_back(p3);

    Pattern p4 = Groove(C, G, 0x00, false, true);
    LeadPhrase(p4, {{0, "G-4", 4, 0}, {4, "C-5", 12, LeadGlide | LeadVibrato},
                    {16, "E-5", 8, 0}, {24, "D-5", 8, 0}, {32, "C-5", 8, 0},
                    {40, "D-5", 8, 0}, {48, "E-5", 16, LeadVibrato},
                    {64, "D-5", 24, LeadVibrato}, {88, "B-4", 8, 0},
                    {96, "G-4", 16, LeadVibrato}, {112, "A-4", 4, 0}, {116, "B-4", 4, 0},
                    {120, "D-5", 8, 0}});
    patterns.push_back(p4);

    Pattern p5 = Groove(Dm, E, 0xC0, true, false);
    LeadPhrase(p5, {{0, "F-5", 16, LeadVibrato}, {16, "E-5", 8, 0}, {24, "D-5", 8, 0},
                    {32, "A-5", 24, LeadGlide | LeadVibrato}, {56, "G-5", 8, 0},
                    {64, "G#5", 16, LeadVibrato}, {80, "E-5", 8, 0}, {88, "B-4", 8, 0},
                    {96, "E-5", 24, LeadVibrato | LeadOff}});
    p5.Effect(0, Lead, 0x08, 0x60);  // the lead moves right for the bridge
    patterns.push_back(p5);

    Pattern p6 = Groove(F, G, 0xC0, true, true);
    LeadPhrase(p6, {{0, "A-5", 16, LeadVibrato}, {16, "G-5", 8, 0}, {24, "F-5", 8, 0},
                    {32, "E-5", 8, 0}, {40, "F-5", 8, 0}, {48, "G-5", 16, LeadVibrato},
                    {64, "D-5", 16, LeadVibrato}, {80, "B-4", 8, 0}, {88, "D-5", 8, 0},
                    {96, "G-5", 16, LeadRise | LeadOff}});
    p6.Put(0, Lead, N("A-5"), Lead1, Volume0 + 40, 0x08, 0x80);  // and back to the middle
    patterns.push_back(p6);

    for (Pattern& p : patterns)
        song.patterns.push_back(p.p);
    for (int i = 0; i < 7; ++i)
        song.orders.push_back(uint8_t(i));
    return song;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: songgen OUT.xm\n");
        return 1;
    }
    const std::vector<uint8_t> bytes = WriteXm(Compose());
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "songgen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
