// The packer's model as its one source, depacker.S, lays it out: read by that source (as
// the assembler's constants) and by the host, which runs the same routines through
// host_calls.S to encode and to check its stream (the C++ part below).
#pragma once

#define PACK_MAX_MODELS 12
#define PACK_SETS (20 * 8)          // the first weight sets: 13 instruction parts of code, 4 of data, by bit

// The model's settings, as korvapack stores them in the packed file (struct PackModelParams).
#define P_COUNT 0                   // models per kind (code, data)
#define P_MASKS 2                   // context masks, byte i+1 back in bit i, 12 per kind
#define P_TABLEBITS 26              // the table holds 1 << tableBits slots
#define PACK_PARAMS_BYTES 27

// The model's state: zeroed memory of PACK_MODEL_BYTES, then the table of 4 << tableBits
// bytes. What the coder touches for every bit comes first, within a byte's displacement.
#define M_HIST 0                    // the last eight bytes, the newest lowest
#define M_C0 8                      // the current byte's bits so far, behind a leading 1
#define M_NIB 12                    // the current nibble's bits so far, behind a leading 1
#define M_BITI 16                   // (byte) 0..7
#define M_KIND 17                   // (byte) 0 code, 1 data
#define M_COUNT 18                  // (byte) models of the kind
#define M_SHIFT 19                  // (byte) 37 - tableBits: a hash's top bits choose its line pair
#define M_XPH 20                    // (bytes) the instruction: 0 opcode, 1 second map, 2 third map,
#define M_XREM 21                   //   3 ModRM, 4 SIB, 5 operands; operand bytes to come; the
#define M_XIMM 22                   //   immediate's size; the opcode; ModRM's mod (the opcode's
#define M_XOP 23                    //   class until ModRM); an operand-size prefix and REX.W, as
                                    //   the class bits they enable (PACK_OP_WORD, PACK_OP_QUAD)
#define M_XMOD 24
#define M_XO16 25
#define M_XREXW 26
#define M_DRANGE 28                 // the decoder: its range, the code within it, the next byte
#define M_DCODE 32
#define M_DIN 40
#define M_CODER 48                  // codes one bit: ecx = p, returns the bit in eax
#define M_PARAMS 56
#define M_CLASSES 64
#define M_REC 72                    // one record per model:
#define R_INPUT 0                   //   its stretched prediction, 8.8 fixed point
#define R_HASH 4                    //   its context's hash for the byte
#define R_LINE 8                    //   its line for the nibble (an address)
#define R_SLOT 16                   //   its slot for the bit (an address)
#define R_SIZE 32
#define M_W1 512                    // PACK_SETS rows of 13 weights, 16.16 fixed point, less 16000
#define M_W2 (M_W1 + PACK_SETS * 52)   // 512 rows by kind and last byte, from 0
#define M_STRETCH (M_W2 + 512 * 52) // ln(p/(1-p)) * 256 for a 12-bit p
#define M_SQUASH (M_STRETCH + 8192) // 4096/(1+exp(-x/256)) for x in -2048..2047
#define M_TABLE (M_SQUASH + 8192)   // the slots: lines of 16, in pairs
#define PACK_MODEL_BYTES M_TABLE

// Instruction classes, one byte per opcode (the one-byte map, then the map after 0F): the
// immediate's size in bytes in the low four bits, or one of the three kinds of byte after
// which the opcode is still to come; above them what changes the size or follows.
#define PACK_OP_PREFIX 5            // a prefix
#define PACK_OP_ESCAPE 6            // 0F: an opcode of the second map follows
#define PACK_OP_ESCAPE3 7           // 0F 38 / 0F 3A: a third opcode byte, then ModRM
#define PACK_OP_WORD 0x10           // the immediate is 2 bytes under an operand-size prefix
#define PACK_OP_QUAD 0x20           // ... and 8 under REX.W
#define PACK_OP_MODRM 0x40          // a ModRM byte follows the opcode
#define PACK_OP_GROUP3 0x80         // F6/F7: the immediate is only TEST's (reg 0 or 1)

#ifndef __ASSEMBLER__
#include <stdint.h>

enum { PackMaxModels = PACK_MAX_MODELS, PackKinds = 2, PackProbBits = 12 };
enum {
    PackOpPrefix = PACK_OP_PREFIX, PackOpEscape = PACK_OP_ESCAPE, PackOpEscape3 = PACK_OP_ESCAPE3,
    PackOpWord = PACK_OP_WORD, PackOpQuad = PACK_OP_QUAD, PackOpModrm = PACK_OP_MODRM, PackOpGroup3 = PACK_OP_GROUP3,
};

struct PackModelParams {
    uint8_t count[PackKinds];
    uint8_t masks[PackKinds][PackMaxModels];
    uint8_t tableBits;
};
static_assert(sizeof(PackModelParams) == PACK_PARAMS_BYTES && __builtin_offsetof(PackModelParams, tableBits) == P_TABLEBITS,
              "the settings as depacker.S reads them");

static inline uint32_t PackModelBytes(const PackModelParams* params)
{
    return uint32_t(PACK_MODEL_BYTES) + (uint32_t(4) << params->tableBits);
}

// --- The host's way into depacker.S ---
// PackCall runs one of the routines with its arguments in rcx = rbx = r14, rdx = rsi,
// r8 = r15 and r9 (each routine reads those it says); the routines call back through the
// trampolines, which call the function in their target with the Windows convention.
#define PACK_MS __attribute__((ms_abi))
extern "C" {
uint64_t PackCall(const void* routine, uint64_t a, uint64_t b, uint64_t c, uint64_t d);
extern const char PackModelStart[], PackCodeBytes[], PackDecoderStart[], PackFilterCode[], PackUnfilterCode[],
    PackResolveImports[], PackApplyRelocations[];
extern const char PackHostCoder[], PackHostLoad[], PackHostFind[];
extern int(PACK_MS* PackHostCoderTarget)(int p);
extern void*(PACK_MS* PackHostLoadTarget)(const char* name);
extern void*(PACK_MS* PackHostFindTarget)(void* module, const char* name);
}

// A model in `memory` (PackModelBytes long, zeroed), as the depacker starts one.
static inline void PackStart(uint8_t* memory, const PackModelParams* params, const uint8_t* classes)
{
    PackCall(PackModelStart, uint64_t(memory), uint64_t(params), uint64_t(classes), 0);
}

// Codes `size` bytes of a kind (0 code, 1 data) into `out`, each bit through `coder`.
static inline void PackCode(uint8_t* memory, int kind, uint8_t* out, uint32_t size, int(PACK_MS* coder)(int p))
{
    PackHostCoderTarget = coder;
    *(const void**)(memory + M_CODER) = PackHostCoder;
    PackCall(PackCodeBytes, uint64_t(memory), uint64_t(kind), uint64_t(out), size);
}

// Decodes `size` bytes of a kind into `out` with the depacker's own decoder, from the stream
// given to PackDecodeStart.
static inline void PackDecodeStart(uint8_t* memory, const uint8_t* stream)
{
    PackCall(PackDecoderStart, uint64_t(memory), uint64_t(stream), 0, 0);
}
static inline void PackDecode(uint8_t* memory, int kind, uint8_t* out, uint32_t size)
{
    PackCall(PackCodeBytes, uint64_t(memory), uint64_t(kind), uint64_t(out), size);
}

// The depacker's image steps (pack_image.h).
static inline uint32_t PackResolve(uint8_t* base, const char* list, void*(PACK_MS* load)(const char*),
                                   void*(PACK_MS* find)(void*, const char*))
{
    PackHostLoadTarget = load;
    PackHostFindTarget = find;
    const void* functions[2] = {PackHostLoad, PackHostFind};
    return uint32_t(PackCall(PackResolveImports, uint64_t(base), uint64_t(list), uint64_t(functions), 0));
}
static inline void PackRelocate(uint8_t* base, uint32_t rva, uint32_t size, uint64_t delta)
{
    PackCall(PackApplyRelocations, uint64_t(base), rva, size, delta);
}

// --- The packer's own side: the arithmetic encoder and the code filter's forward step ---
// A range coder with carry (as LZMA's): the decoder (depacker.S) keeps only the range and
// the code within it; the encoder adds the carry into the bytes it holds back.
struct PackEncoder {
    uint8_t* out;        // room for 12 bytes a byte, plus 8: a bit costs at most 12 bits
    uint32_t size, range;
    uint64_t low;
    uint32_t pending;    // 0xFF bytes behind `held` that a carry would turn to 00
    uint8_t held;
    bool first;          // the first byte held is always 0 and not written
};

static inline void PackEncoderStart(PackEncoder* e, uint8_t* out)
{
    *e = PackEncoder{out, 0, 0xFFFFFFFFu, 0, 0, 0, true};
}

static inline void PackEncoderShift(PackEncoder* e)
{
    if (uint32_t(e->low) < 0xFF000000u || (e->low >> 32)) {
        uint8_t carry = uint8_t(e->low >> 32);
        if (!e->first) e->out[e->size++] = uint8_t(e->held + carry);
        e->first = false;
        for (; e->pending; --e->pending) e->out[e->size++] = uint8_t(0xFF + carry);
        e->held = uint8_t(e->low >> 24);
    } else {
        ++e->pending;
    }
    e->low = (e->low & 0x00FFFFFFu) << 8;
}

// The bit's chance of being 1 is p/4096.
static inline void PackEncodeBit(PackEncoder* e, int bit, int p)
{
    uint32_t bound = (e->range >> PackProbBits) * uint32_t(p);
    if (bit) e->range = bound; else e->low += bound, e->range -= bound;
    for (; e->range < (1u << 24); e->range <<= 8) PackEncoderShift(e);
}

// Ends the stream: what the decoder reads past it is whatever follows.
static inline void PackEncoderFlush(PackEncoder* e)
{
    for (int i = 0; i < 5; ++i) PackEncoderShift(e);
}

// Codes `size` bytes of `in` into the encoder with the model's predictions (its state in
// `memory`): the depacker's own routine, given each bit of `in` by the encoder.
static inline void PackEncodeBytes(uint8_t* memory, PackEncoder* e, int kind, const uint8_t* in, uint32_t size)
{
    static thread_local struct { PackEncoder* e; const uint8_t* in; uint32_t bit; } now;
    now = {e, in, 0};
    struct Next {
        static int PACK_MS Bit(int p)
        {
            int bit = now.in[now.bit >> 3] >> (7 - (now.bit & 7)) & 1;
            ++now.bit;
            PackEncodeBit(now.e, bit, p);
            return bit;
        }
    };
    uint8_t* copy = new uint8_t[size ? size : 1];   // the routine writes what it coded
    PackCode(memory, kind, copy, size, Next::Bit);
    delete[] copy;
}

// The code filter (depacker.S): `code` made absolute (the packer) or relative again (the
// depacker), the model in `memory` parsing it from where its parser stands.
static inline void PackFilter(uint8_t* memory, uint8_t* code, uint32_t size, uint32_t rva)
{
    PackCall(PackFilterCode, uint64_t(memory), uint64_t(code), size, rva);
}
static inline void PackUnfilter(uint8_t* memory, uint8_t* code, uint32_t size, uint32_t rva)
{
    PackCall(PackUnfilterCode, uint64_t(memory), uint64_t(code), size, rva);
}

// The parser's state, which the depacker keeps across decoding a piece of code and unfilters
// it from.
static inline uint64_t PackParserState(const uint8_t* memory)
{
    uint64_t v;
    __builtin_memcpy(&v, memory + M_XPH, 8);
    return v;
}
static inline void PackSetParserState(uint8_t* memory, uint64_t v) { __builtin_memcpy(memory + M_XPH, &v, 8); }

// The x86-64 opcode maps by class: M ModRM, b imm8, w imm16, e imm16 and imm8, z imm16/32,
// v imm16/32/64, d rel32, q a 64-bit address, B and Z ModRM with imm8 or imm16/32, F and G
// TEST's groups (F6, F7), P a prefix, E the 0F escape, T 0F 38 and 0F 3A.
static inline void PackOpcodeClasses(uint8_t* classes)
{
    static const char maps[] =
        "MMMMbz..MMMMbz.EMMMMbz..MMMMbz..MMMMbzP.MMMMbzP.MMMMbzP.MMMMbzP."
        "PPPPPPPPPPPPPPPP...................MPPPPzZbB....bbbbbbbbbbbbbbbb"
        "BZBBMMMMMMMMMMMM................qqqq....bz......bbbbbbbbvvvvvvvv"
        "BBw...BZe.w..b..MMMMbb..MMMMMMMMbbbbbbbbdd.b....P.PP..FG......MM"
        "MMMMM.....M.MM.MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM........TMTMMMMM"
        "MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMBBBBMMM.MMMMMMMM"
        "ddddddddddddddddMMMMMMMMMMMMMMMM...MBMMM...MBMMMMMMMMMMMMMBMMMMM"
        "MMBMBBBM........MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM";
    static const char letters[] = ".bwezvdqMBZFGPET";
    static const uint8_t values[] = {0, 1, 2, 3, 4 | PackOpWord, 4 | PackOpWord | PackOpQuad, 4, 8,
        PackOpModrm, PackOpModrm | 1, PackOpModrm | PackOpWord | 4, PackOpGroup3 | 1,
        PackOpGroup3 | PackOpWord | 4, PackOpPrefix, PackOpEscape, PackOpEscape3};
    for (int i = 0; i < 512; ++i)
        for (int k = 0; k < 16; ++k)
            if (letters[k] == maps[i]) classes[i] = values[k];
}
#endif
