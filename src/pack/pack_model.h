// The packer's model, compiled twice: into the host-side packer, which encodes with its
// predictions, and into the depacker inside the packed executable, which decodes with the
// same ones. Integer arithmetic only, so both compilers compute every bit alike.
//
// Bits are coded most significant first. Each model hashes some of the last eight bytes
// (a mask: bit i takes the byte i+1 back) with the bits of the current byte seen so far
// into one shared table of adaptive probabilities; a small neural mixer weighs their
// stretched predictions, and a binary arithmetic coder spends -log2(p) bits on what
// happened. The mixer's weights are the sum of two sets: one chosen by the bit's position
// and the instruction part (code) or the last byte's top bits (data), one by the last byte.
#pragma once
#include <stdint.h>

enum {
    PackMaxModels = 12,
    PackKinds = 2,        // 0 code, 1 data
    PackProbBits = 12,    // the coder's and the mixer's probability precision
    PackSets = 20 * 8,    // the first weight sets: 13 instruction parts of code, 4 of data, by bit
};

// What the packer chose, stored in the packed file; the depacker reads it as it stands.
struct PackModelParams {
    uint8_t count[PackKinds];                // models per kind
    uint8_t masks[PackKinds][PackMaxModels]; // context masks, byte i+1 back in bit i
    uint8_t tableBits;                       // the table holds 1 << tableBits slots
    uint8_t limit;                           // a slot adapts at 1/(n+1.5) down to 1/(limit+1.5)
    uint8_t mixShift;                        // the mixer's learning rate: error >> mixShift
    uint8_t pad;
};

// Instruction classes, one byte per opcode (the one-byte map, then the map after 0F): the
// immediate's size in bytes in the low four bits, or one of the three kinds of byte after
// which the opcode is still to come; above them what changes the size or follows.
enum {
    PackOpPrefix = 5,       // a prefix
    PackOpEscape = 6,       // 0F: an opcode of the second map follows
    PackOpEscape3 = 7,      // 0F 38 / 0F 3A: a third opcode byte, then ModRM
    PackOpWord = 0x10,      // the immediate is 2 bytes under an operand-size prefix
    PackOpQuad = 0x20,      // ... and 8 under REX.W
    PackOpModrm = 0x40,     // a ModRM byte follows the opcode
    PackOpGroup3 = 0x80,    // F6/F7: the immediate is only TEST's (reg 0 or 1)
};

// Where the coder stands in the instruction it is reading: the code's models see the part
// (prefix or opcode, ModRM, SIB, or how many operand bytes remain) beside their bytes.
struct PackX86 {
    const uint8_t* classes;  // 512 classes
    uint32_t phase;          // 0 opcode, 1 second map, 2 third map, 3 ModRM, 4 SIB, 5 operands
    uint32_t remain, imm, op, mod, o16, rexw;
};

// One record for the model's world; the table of slots follows it in memory. (What the
// coder touches for every bit comes first, where the depacker's code reaches it in fewer
// bytes.)
struct PackModel {
    uint64_t history;        // the last eight bytes, the newest lowest
    uint32_t c0;             // the current byte's bits so far, behind a leading 1
    uint32_t bitIndex;       // 0..7
    uint32_t nibble;         // the current nibble's bits so far, behind a leading 1
    int32_t kind, count, set, set2, p;
    uint32_t* table;
    PackX86 x86;
    PackModelParams params;
    int32_t inputs[PackMaxModels + 1];                  // stretched, 8.8 fixed point
    uint32_t byteHash[PackMaxModels];
    uint32_t line[PackMaxModels];    // each model's 16 slots for the nibble (one cache line)
    uint32_t* slot[PackMaxModels];
    int32_t weights[PackSets][PackMaxModels + 1];        // 16.16 fixed point, less 12000
    int32_t weights2[PackKinds * 256][PackMaxModels + 1]; // by kind and last byte, from 0
    int16_t stretch[4096];   // ln(p/(1-p)) * 256 for a 12-bit p
    int16_t squash[4096];    // 4096/(1+exp(-x/256)) for x in -2048..2047
};

// Bytes the model and its table take.
static inline uint32_t PackModelBytes(const PackModelParams* params)
{
    return uint32_t(sizeof(PackModel)) + (uint32_t(4) << params->tableBits);
}

static inline uint32_t PackHash(uint32_t h)
{
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    return h ^ (h >> 16);
}

// Follows the instruction stream by one byte. Data inside code only misleads it for a
// while: a wrong guess costs compression, never correctness, as both sides guess alike.
static inline void PackX86Step(PackX86* x, uint32_t b)
{
    uint32_t c, n;
    switch (x->phase) {
    case 0:
    case 1:
    case 2:
        c = x->classes[(x->phase == 1) << 8 | b];
        if (x->phase == 2) c = PackOpModrm | (x->op >> 1 & 1);    // 0F 3A takes an imm8
        x->op = x->phase << 8 | b;
        n = c & 15;
        if (n == PackOpPrefix) {
            if (b == 0x66) x->o16 = 1;
            if ((b & 0xF0) == 0x40) x->rexw = b & 8;
            return;
        }
        if (n == PackOpEscape || n == PackOpEscape3) { x->phase = n - 5; return; }
        x->imm = n;
        if ((c & PackOpWord) && x->o16) x->imm = 2;
        if ((c & PackOpQuad) && x->rexw) x->imm = 8;
        x->remain = 0;
        if (c & (PackOpModrm | PackOpGroup3)) { x->phase = 3; x->mod = c; return; }
        break;
    case 3:
        if ((x->mod & PackOpGroup3) && (b >> 3 & 7) > 1) x->imm = 0;
        x->mod = b >> 6;
        x->remain = x->mod == 1 ? 1 : x->mod == 2 || (x->mod == 0 && (b & 7) == 5) ? 4 : 0;
        if (x->mod != 3 && (b & 7) == 4) { x->phase = 4; return; }
        break;
    case 4:
        if (x->mod == 0 && (b & 7) == 5) x->remain = 4;
        break;
    default:
        if (--x->remain) return;
        x->phase = 0, x->o16 = x->rexw = 0;
        return;
    }
    x->remain += x->imm;
    x->imm = 0;
    x->phase = x->remain ? 5 : 0;
    if (!x->remain) x->o16 = x->rexw = 0;
}

// Starts a stream of the given kind: the byte history is kept across streams.
static inline void PackSelectKind(PackModel* m, int kind)
{
    m->kind = kind;
    m->count = m->params.count[kind];
}

// Finds each model's line for the nibble to come: its 15 bit contexts share one cache line,
// so a byte costs a model two memory fetches, not eight. The line's first word holds the
// context's hash: of the two lines its hash may use, the one that holds it, else the one
// that has seen less, is given to it afresh; a collision costs what it forgets, not a
// wrong prediction.
static inline void PackNibble(PackModel* m)
{
    uint32_t c = m->c0 * 0x9E3779B1u;
    for (int k = 0; k < m->count; ++k) {
        uint32_t h = PackHash(m->byteHash[k] + c);
        uint32_t* l = &m->table[h >> (37 - m->params.tableBits) << 5];
        if (l[0] != h) {
            if (l[16] == h || (l[1] & 0xFFFF) > (l[17] & 0xFFFF)) l += 16;
            if (l[0] != h) {
                l[0] = h;
                for (int i = 1; i < 16; ++i) l[i] = 0;
            }
        }
        m->line[k] = uint32_t(l - m->table);
    }
    m->nibble = 1;
}

// Hashes each model's context bytes once per byte; code's also take the instruction part.
static inline void PackHashBytes(PackModel* m)
{
    uint32_t part = m->kind ? 0 : (m->x86.phase + 1) | m->x86.remain << 3;
    for (int k = 0; k < m->count; ++k) {
        uint32_t mask = m->params.masks[m->kind][k], h = uint32_t(k + 1) << 24 | uint32_t(m->kind) << 20;
        for (int i = 0; i < 8; ++i)
            if (mask >> i & 1) h = PackHash(h + uint32_t(m->history >> (8 * i) & 255) + uint32_t(i) * 0x100);
        m->byteHash[k] = m->kind ? h : PackHash(h + part * 0x10001u + 0x5555);
    }
    PackNibble(m);
}

// Builds the tables in `memory`, PackModelBytes long and zeroed (as fresh pages are): a
// zeroed slot is an unseen context, a one half that has learned nothing.
static inline PackModel* PackModelInit(void* memory, const PackModelParams* params, const uint8_t* classes)
{
    PackModel* m = (PackModel*)memory;
    m->params = *params;
    m->table = (uint32_t*)(m + 1);
    m->x86.classes = classes;
    // squash by stepping e = exp(-x/256) from x = 0 upwards, 2.30 fixed point; the lower
    // half mirrors the upper: squash(-x) = 4096 - squash(x)
    uint64_t one = uint64_t(1) << 30, e = one;
    for (int x = 0; x < 2048; ++x) {
        m->squash[2048 + x] = int16_t((uint64_t(4096) << 30) / (one + e));
        e = e * 1069555701u >> 30;   // * exp(-1/256)
        m->squash[2047 - x] = int16_t(4096 - (uint64_t(4096) << 30) / (one + e));
    }
    // stretch as squash's inverse: the least x whose squash reaches p
    int p = 0;
    for (int x = -2048; x < 2048; ++x)
        while (p <= m->squash[x + 2048]) m->stretch[p++] = int16_t(x);
    while (p < 4096) m->stretch[p++] = 2047;
    m->c0 = 1;
    return m;
}

// The probability (12 bits) that the next bit is a 1. A slot holds the probability of a 1
// in 16 bits, stored less one half, above the number of bits it has seen.
static inline int PackPredict(PackModel* m)
{
    int64_t dot = 0;
    int part = m->kind ? 16 + int(m->history >> 6 & 3) : int(m->x86.phase + (m->x86.remain & 7));
    m->set = part * 8 + int(m->bitIndex);
    const int32_t* w = m->weights[m->set];
    m->set2 = m->kind * 256 + int(m->history & 255);
    const int32_t* w2 = m->weights2[m->set2];
    for (int k = 0; k < m->count; ++k) {
        uint32_t* s = &m->table[m->line[k] + m->nibble];
        m->slot[k] = s;
        m->inputs[k] = m->stretch[(*s >> 20) ^ 0x800];
    }
    m->inputs[m->count] = 256;
    // The first set's weights are kept less 12000, where each starts, so zeroed memory is the
    // start: no loop sets them.
    for (int k = 0; k <= m->count; ++k) dot += int64_t(w[k] + w2[k] + 12000) * m->inputs[k];
    int32_t x = int32_t(dot >> 16);
    x = x < -2047 ? -2047 : x > 2047 ? 2047 : x;
    // squash is 2..4094 over -2047..2047 (a test holds it): never the certainty the coder
    // cannot code.
    return m->p = m->squash[x + 2048];
}

// Learns the bit the last prediction was for.
static inline void PackUpdate(PackModel* m, int bit)
{
    int32_t err = ((bit << 12) - m->p) * 16;
    int32_t* w = m->weights[m->set];
    int32_t* w2 = m->weights2[m->set2];
    for (int k = 0; k <= m->count; ++k) {
        int32_t d = (m->inputs[k] * err) >> m->params.mixShift;
        w[k] += d;
        w2[k] += d;
    }
    for (int k = 0; k < m->count; ++k) {
        uint32_t s = *m->slot[k], p = (s >> 16) ^ 0x8000, n = s & 0xFFFF;
        int32_t target = bit ? 65535 : 0;
        // The rate 65536/(n+1.5) is divided out here: a table of it would cost the depacker a loop.
        p = uint32_t(int32_t(p) + int32_t((int64_t(target - int32_t(p)) * (131072 / (2 * n + 3))) >> 16));
        if (n < m->params.limit) ++n;
        *m->slot[k] = (p ^ 0x8000) << 16 | n;
    }
    m->c0 = m->c0 << 1 | uint32_t(bit);
    m->nibble = m->nibble << 1 | uint32_t(bit);
    if (++m->bitIndex == 4) PackNibble(m);
    if (m->bitIndex == 8) {
        m->history = m->history << 8 | (m->c0 & 255);
        if (m->kind == 0) PackX86Step(&m->x86, m->c0 & 255);
        m->c0 = 1;
        m->bitIndex = 0;
        PackHashBytes(m);
    }
}

// --- Arithmetic coder: the encoder is the packer's, the decoder the depacker's ---
struct PackEncoder {
    uint8_t* out;   // room for 12 bytes a byte, plus 4: a bit costs at most 12 bits
    uint32_t size, low, high;
};

static inline void PackEncoderStart(PackEncoder* e, uint8_t* out)
{
    e->out = out;
    e->size = e->low = 0;
    e->high = 0xFFFFFFFFu;
}

static inline void PackEncodeBit(PackEncoder* e, int bit, int p)
{
    uint32_t mid = e->low + uint32_t((uint64_t(e->high - e->low) * uint32_t(p)) >> PackProbBits);
    if (bit) e->high = mid; else e->low = mid + 1;
    while (((e->low ^ e->high) & 0xFF000000u) == 0) {
        e->out[e->size++] = uint8_t(e->high >> 24);
        e->low <<= 8;
        e->high = e->high << 8 | 255;
    }
}

// Ends the stream: what the decoder reads past it is whatever follows.
static inline void PackEncoderFlush(PackEncoder* e)
{
    for (int i = 0; i < 4; ++i) e->out[e->size++] = uint8_t(e->low >> (24 - 8 * i));
}

struct PackDecoder {
    const uint8_t* in;
    uint32_t low, high, x;
};

static inline void PackDecoderStart(PackDecoder* d, const uint8_t* in)
{
    d->in = in + 4;
    d->low = 0;
    d->high = 0xFFFFFFFFu;
    d->x = uint32_t(in[0]) << 24 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 8 | in[3];
}

// One bit whose chance of being 1 is p/4096.
static inline int PackDecodeBit(PackDecoder* d, int p)
{
    uint32_t mid = d->low + uint32_t((uint64_t(d->high - d->low) * uint32_t(p)) >> PackProbBits);
    int bit = d->x <= mid;
    if (bit) d->high = mid; else d->low = mid + 1;
    while (((d->low ^ d->high) & 0xFF000000u) == 0) {
        d->low <<= 8;
        d->high = d->high << 8 | 255;
        d->x = d->x << 8 | *d->in++;
    }
    return bit;
}

// Codes `size` bytes of the given kind (the packer's side of PackDecodeBytes).
static inline void PackEncodeBytes(PackModel* m, PackEncoder* e, int kind, const uint8_t* in, uint32_t size)
{
    PackSelectKind(m, kind);
    PackHashBytes(m);
    for (uint32_t i = 0; i < size; ++i)
        for (int b = 7; b >= 0; --b) {
            int bit = in[i] >> b & 1;
            PackEncodeBit(e, bit, PackPredict(m));
            PackUpdate(m, bit);
        }
}

// Decodes `size` bytes of the given kind into `out`.
static inline void PackDecodeBytes(PackModel* m, PackDecoder* d, int kind, uint8_t* out, uint32_t size)
{
    PackSelectKind(m, kind);
    PackHashBytes(m);
    for (uint32_t i = 0; i < size; ++i) {
        for (int b = 0; b < 8; ++b) PackUpdate(m, PackDecodeBit(d, PackPredict(m)));
        out[i] = uint8_t(m->history);
    }
}

// --- Code filter ---
// Relative call, jump and RIP-relative operands become absolute addresses (the same target
// reads the same bytes wherever it is used), and back. Only opcode bytes, which the filter
// never changes, decide where an operand is, so both directions find the same ones.
static inline void PackFilterCode(uint8_t* b, uint32_t size, uint32_t rva, int decode)
{
    for (uint32_t i = 0; i + 6 <= size;) {
        uint32_t at, next;
        uint8_t o = b[i], o1 = b[i + 1];
        if (o == 0xE8 || o == 0xE9) at = 1, next = 5;                                  // call, jmp rel32
        else if (o == 0x0F && (o1 & 0xF0) == 0x80) at = 2, next = 6;                   // jcc rel32
        else if (o == 0xFF && (o1 == 0x15 || o1 == 0x25)) at = 2, next = 6;            // call, jmp [rip]
        else { ++i; continue; }
        // Little-endian on both sides (x86-64), moved whole: the compiler makes each one move.
        uint32_t v;
        __builtin_memcpy(&v, b + i + at, 4);
        uint32_t here = rva + i + next;
        v = decode ? v - here : v + here;
        __builtin_memcpy(b + i + at, &v, 4);
        i += next;
    }
}
