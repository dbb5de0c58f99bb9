#include "xm_writer.h"

#include <cstring>

namespace {

void Put8(std::vector<uint8_t>& out, uint32_t v) { out.push_back(uint8_t(v)); }
void Put16(std::vector<uint8_t>& out, uint32_t v) { Put8(out, v); Put8(out, v >> 8); }
void Put32(std::vector<uint8_t>& out, uint32_t v) { Put16(out, v); Put16(out, v >> 16); }

void PutText(std::vector<uint8_t>& out, const std::string& text, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        out.push_back(i < text.size() ? uint8_t(text[i]) : 0);
}

// A cell in the smaller of the two forms: five raw bytes, or a flag byte and the
// fields that are not 0.
void PackCell(std::vector<uint8_t>& out, const WriterCell& c)
{
    const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.parameter};
    uint8_t mask = 0x80;
    int present = 0;
    for (int i = 0; i < 5; ++i)
        if (fields[i]) {
            mask |= uint8_t(1 << i);
            ++present;
        }
    if (present == 5) {
        out.insert(out.end(), fields, fields + 5);
        return;
    }
    out.push_back(mask);
    for (int i = 0; i < 5; ++i)
        if (fields[i])
            out.push_back(fields[i]);
}

}  // namespace

std::vector<uint8_t> WriteXm(const WriterSong& song)
{
    std::vector<uint8_t> out;
    PutText(out, "Extended Module: ", 17);
    PutText(out, song.name, 20);
    Put8(out, 0x1A);
    PutText(out, song.tracker, 20);
    Put16(out, song.version);

    const size_t headerStart = out.size();
    Put32(out, song.headerSize);
    Put16(out, uint16_t(song.orders.size()));
    Put16(out, song.restartPosition);
    Put16(out, song.channels);
    Put16(out, uint16_t(song.patterns.size()));
    Put16(out, uint16_t(song.instruments.size()));
    Put16(out, song.flags);
    Put16(out, song.speed);
    Put16(out, song.bpm);
    for (size_t i = 0; i < 256; ++i)
        Put8(out, i < song.orders.size() ? song.orders[i] : 0);
    out.resize(headerStart + song.headerSize, 0);

    for (const WriterPattern& p : song.patterns) {
        std::vector<uint8_t> packed;
        for (const WriterCell& c : p.cells)
            PackCell(packed, c);
        Put32(out, 9);
        Put8(out, 0);
        Put16(out, uint16_t(p.rows));
        Put16(out, uint16_t(packed.size()));
        out.insert(out.end(), packed.begin(), packed.end());
    }

    for (const WriterInstrument& in : song.instruments) {
        const size_t start = out.size();
        const uint32_t headerSize = in.headerSize ? in.headerSize : in.samples.empty() ? 29 : 263;
        Put32(out, headerSize);
        PutText(out, in.name, 22);
        Put8(out, 0);
        Put16(out, uint16_t(in.samples.size()));
        if (!in.samples.empty()) {
            Put32(out, 40);
            out.insert(out.end(), in.noteSample, in.noteSample + 96);
            out.resize(out.size() + 48 + 48 + 16, 0);  // no envelopes, vibrato or fadeout
        }
        out.resize(start + headerSize, 0);

        for (const WriterSample& s : in.samples) {
            const uint32_t unit = s.sixteenBit ? 2 : 1;
            Put32(out, uint32_t(s.values.size()) * unit);
            Put32(out, s.loopStart * unit);
            Put32(out, s.loopLength * unit);
            Put8(out, s.volume);
            Put8(out, uint8_t(s.finetune));
            Put8(out, uint32_t(s.loopType) | (s.sixteenBit ? 0x10u : 0u));
            Put8(out, s.panning);
            Put8(out, uint8_t(s.relativeNote));
            Put8(out, 0);
            PutText(out, s.name, 22);
        }
        for (const WriterSample& s : in.samples) {
            int32_t previous = 0;
            for (int16_t v : s.values) {  // delta coded
                const int32_t delta = v - previous;
                previous = v;
                if (s.sixteenBit)
                    Put16(out, uint16_t(delta));
                else
                    Put8(out, uint8_t(delta));
            }
        }
    }
    return out;
}
