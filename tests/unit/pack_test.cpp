// The packer: its coder, its code filter and the depacker's image steps on buffers, and the
// tool as a build runs it, on small PE files made here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "pack/pack_image.h"
#include "pack/pack_model.h"
#include "test_files.h"

typedef std::vector<uint8_t> Bytes;

// Codes the pieces one after another with a model, decodes them with another, as packer
// and depacker do; returns the stream's size. Each model gets PackModelBytes of memory and
// must leave the zeroed bytes after it alone: the depacker decodes its header there.
static size_t RoundTrip(const std::vector<std::pair<int, Bytes>>& pieces, uint8_t tableBits = 20)
{
    const PackModelParams params = {{6, 6}, {{0x00, 0x01, 0x03, 0x07, 0xFF, 0x02}, {0x00, 0x01, 0x03, 0x0F, 0x05, 0x02}},
                                    tableBits};
    const size_t guard = 4096;
    auto untouched = [&](const Bytes& memory) {
        return std::all_of(memory.end() - guard, memory.end(), [](uint8_t b) { return b == 0; });
    };
    uint8_t classes[512];
    for (int i = 0; i < 512; ++i) classes[i] = uint8_t(i * 37 >> 3);   // any classes at all
    auto model = [&] {
        Bytes memory(PackModelBytes(&params) + guard);
        PackStart(memory.data(), &params, classes);
        return memory;
    };
    size_t total = 0;
    for (auto& piece : pieces) total += piece.second.size();
    Bytes stream(12 * total + 8);
    {
        Bytes memory = model();
        PackEncoder e;
        PackEncoderStart(&e, stream.data());
        for (auto& piece : pieces) PackEncodeBytes(memory.data(), &e, piece.first, piece.second.data(), uint32_t(piece.second.size()));
        PackEncoderFlush(&e);
        stream.resize(e.size);
        EXPECT_TRUE(untouched(memory)) << "the encoder's model wrote past its memory";
    }
    const size_t size = stream.size();
    stream.resize(size + 4, 0xA5);   // what follows the stream is not the coder's
    Bytes memory = model();
    PackDecodeStart(memory.data(), stream.data());
    for (auto& piece : pieces) {
        Bytes out(piece.second.size());
        PackDecode(memory.data(), piece.first, out.data(), uint32_t(out.size()));
        EXPECT_EQ(out, piece.second) << "a piece of " << piece.second.size() << " bytes, kind " << piece.first;
    }
    EXPECT_TRUE(untouched(memory)) << "the decoder's model wrote past its memory";
    return size;
}

static Bytes Random(size_t size, uint32_t seed)
{
    Bytes b(size);
    for (auto& v : b) v = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    return b;
}

TEST(Pack, TheCoderRoundTripsEdgeInputsOfBothKinds)
{
    // The coder cannot code a certainty: over every sum the mixer gives (-2047..2047) the
    // squash stays inside 1..4095, rising, with one half at 0.
    {
        const PackModelParams params = {{1, 1}, {{0}, {0}}, 8};
        std::vector<uint8_t> memory(PackModelBytes(&params));
        uint8_t classes[512] = {};
        PackStart(memory.data(), &params, classes);
        int16_t squash[4096];
        std::memcpy(squash, &memory[M_SQUASH], sizeof squash);
        EXPECT_TRUE(squash[1] >= 1 && squash[4095] <= 4095 && squash[2048] == 2048 && std::is_sorted(squash, squash + 4096));
    }
    EXPECT_EQ(RoundTrip({{1, {}}}), 4u);                        // empty: the flush alone
    EXPECT_LE(RoundTrip({{0, {0x5A}}, {1, {}}, {1, {0xFF}}}), 8u);
    const Bytes noise = Random(65536, 7);
    EXPECT_LT(RoundTrip({{1, noise}, {0, noise}}), 2 * 65536 * 102 / 100);   // incompressible: at most 2 % more
    Bytes runs(300000, 0);
    for (size_t i = 100000; i < 200000; ++i) runs[i] = uint8_t(i / 5000);
    EXPECT_LT(RoundTrip({{0, runs}, {1, runs}}), 2000u);
    // A megabyte of everything: text, runs, noise and code-like bytes full of E8 and 0F.
    Bytes mixed;
    const std::string text = "The cubes swing through the scene; protect the sphere. ";
    while (mixed.size() < (1u << 20)) {
        mixed.insert(mixed.end(), text.begin(), text.end());
        Bytes r = Random(700, uint32_t(mixed.size()));
        mixed.insert(mixed.end(), r.begin(), r.end());
        mixed.insert(mixed.end(), 300, uint8_t(mixed.size()));
        for (uint8_t op : {0xE8, 0x0F, 0x85, 0x48, 0x8B, 0x44, 0x24, 0x66, 0xF7, 0xC0}) mixed.push_back(op);
    }
    mixed.resize(1u << 20);
    EXPECT_LT(RoundTrip({{0, mixed}}), mixed.size() * 3 / 4);
    // A table of 32 lines for a megabyte: lines taken from other contexts again and again,
    // the last pair at the table's very end among them.
    const Bytes part(mixed.begin(), mixed.begin() + 200000);
    EXPECT_LT(RoundTrip({{0, part}, {1, part}}, 9), part.size() * 2);
}

TEST(Pack, TheFilterMakesCallTargetsAbsoluteAndBack)
{
    // At 0x1000: call +0x10 reaches 0x1015; jne -0x20 at 0x1005 reaches 0xFEB; call [rip+0x100]
    // at 0x100B reads 0x1111; mov eax, [rip-0x10] at 0x1011 reads 0x1007; mov dword [rip+8], 42
    // at 0x1017 ends at 0x1021 (its immediate after the displacement) and writes 0x1029;
    // mov rax, [0x1000] (a SIB's absolute address) and the nop stay; the last call has fewer
    // than 4 bytes left and stays.
    Bytes code = {0xE8, 0x10, 0, 0, 0, 0x0F, 0x85, 0xE0, 0xFF, 0xFF, 0xFF, 0xFF, 0x15, 0, 1, 0, 0,
                  0x8B, 0x05, 0xF0, 0xFF, 0xFF, 0xFF, 0xC7, 0x05, 8, 0, 0, 0, 42, 0, 0, 0,
                  0x48, 0x8B, 0x04, 0x25, 0, 0x10, 0, 0, 0x90, 0xE8, 1, 0};
    const Bytes absolute = {0xE8, 0x15, 0x10, 0, 0, 0x0F, 0x85, 0xEB, 0x0F, 0, 0, 0xFF, 0x15, 0x11, 0x11, 0, 0,
                            0x8B, 0x05, 0x07, 0x10, 0, 0, 0xC7, 0x05, 0x29, 0x10, 0, 0, 42, 0, 0, 0,
                            0x48, 0x8B, 0x04, 0x25, 0, 0x10, 0, 0, 0x90, 0xE8, 1, 0};
    const PackModelParams params = {{1, 1}, {{0}, {0}}, 0};
    uint8_t classes[512];
    PackOpcodeClasses(classes);
    auto parser = [&] {   // a model's parser, where a piece of code begins
        std::vector<uint8_t> memory(PackModelBytes(&params));
        PackStart(memory.data(), &params, classes);
        return memory;
    };
    const Bytes original = code;
    PackFilter(parser().data(), code.data(), uint32_t(code.size()), 0x1000);
    EXPECT_EQ(code, absolute);
    PackUnfilter(parser().data(), code.data(), uint32_t(code.size()), 0x1000);
    EXPECT_EQ(code, original);
    for (uint32_t seed = 1; seed < 40; ++seed) {   // dense with the opcodes, of every length
        Bytes b = Random(seed * 7, seed);
        for (size_t i = 0; i < b.size(); i += 3) b[i] = uint8_t(0xE8 + (b[i] & 1)), b[i + 1 < b.size() ? i + 1 : i] |= 0x80;
        for (size_t i = 1; i < b.size(); i += 11) b[i - 1] = 0x8B, b[i] = 0x05;
        const Bytes before = b;
        PackFilter(parser().data(), b.data(), uint32_t(b.size()), seed * 0x1234);
        PackUnfilter(parser().data(), b.data(), uint32_t(b.size()), seed * 0x1234);
        EXPECT_EQ(b, before) << seed;
    }
}

TEST(Pack, TheImageStepsResolveImportsAndMoveAddresses)
{
    // Two libraries as the loader maps them: the PE header's offset, the export directory's
    // RVA in it, and the directory's list of names. The import list names functions by hash.
    auto library = [](std::initializer_list<const char*> names) {   // each name's RVA, then the names at 0x200
        Bytes m(0x400, 0);
        auto put32 = [&m](size_t at, uint32_t v) { std::memcpy(&m[at], &v, 4); };
        put32(0x3C, 0x40), put32(0x40 + 0x88, 0x100), put32(0x118, uint32_t(names.size())), put32(0x120, 0x140);
        uint32_t at = 0x200, i = 0;
        for (const char* name : names) put32(0x140 + 4 * i++, at), at += uint32_t(std::strlen(strcpy((char*)&m[at], name)) + 1);
        return m;
    };
    static Bytes a = library({"Zero", "Three", "One", "Gone"}), b = library({"Fifteen"});
    static std::vector<std::string> asked;
    struct Fake {
        static void* PACK_MS Load(const char* name)
        {
            asked.push_back(name);
            return !std::strcmp(name, "A.dll") ? a.data() : !std::strcmp(name, "B.dll") ? b.data() : nullptr;
        }
        static void* PACK_MS Find(void* module, const char* name)   // the name as the library has it
        {
            asked.push_back(name);
            EXPECT_TRUE(module == a.data() ? name >= (char*)&a[0x200] && name < (char*)&a[0x400]
                                           : name >= (char*)&b[0x200] && name < (char*)&b[0x400]);
            return std::strcmp(name, "Gone") ? (void*)(uintptr_t(0x1000) + std::strlen(name)) : nullptr;
        }
    };
    auto list = [](std::initializer_list<std::pair<uint32_t, std::vector<std::string>>> libraries) {
        Bytes out;
        auto put32 = [&out](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i))); };
        for (auto& [rva, names] : libraries) {   // the library's name, then its functions' hashes
            put32(rva), out.insert(out.end(), names[0].begin(), names[0].end() + 1);
            for (size_t i = 1; i < names.size(); ++i) put32(PackNameHash(names[i].c_str()));
            put32(0);
        }
        return put32(0), out;
    };
    alignas(8) uint8_t image[0x200] = {};
    auto resolve = [&](const Bytes& imports) { return PackResolve(image, (const char*)imports.data(), Fake::Load, Fake::Find); };
    EXPECT_EQ(resolve(list({{0x10, {"A.dll", "One", "Three"}}, {0x40, {"B.dll", "Fifteen"}}})), 0u);
    auto at = [](const uint8_t* p) { uint64_t v; std::memcpy(&v, p, 8); return v; };
    EXPECT_EQ(at(image + 0x10), 0x1003u);
    EXPECT_EQ(at(image + 0x18), 0x1005u);
    EXPECT_EQ(at(image + 0x40), 0x1007u);
    EXPECT_EQ(at(image + 0x48), 0u);   // B.dll's list ends after one
    EXPECT_EQ(asked, (std::vector<std::string>{"A.dll", "One", "Three", "B.dll", "Fifteen"}));
    EXPECT_EQ(resolve(list({{0x10, {"MISSING.dll", "One"}}})), 0xC0000135u);
    EXPECT_EQ(resolve(list({{0x10, {"A.dll", "Gone"}}})), 0xC0000139u);   // exported, but the system finds nothing
    asked.clear();
    EXPECT_EQ(resolve(list({{0x10, {"A.dll", "Zero", "Absent"}}})), 0xC0000139u);   // not among the exports: never asked for
    EXPECT_EQ(asked, (std::vector<std::string>{"A.dll", "Zero"}));

    // One block for page 0x100: a 64-bit address at 0x108, padding, another at 0x1F0; the
    // image linked at 0x140000000 and loaded where a loader may put it: a page up, far above
    // 4 GiB as address-space randomisation does, and below its own base (the move wraps).
    const struct { uint64_t base, a, b; } loads[] = {
        {0x140010000u, 0x140011234u, 0x14001FFF8u},
        {0x7FF6A2C40000u, 0x7FF6A2C41234u, 0x7FF6A2C4FFF8u},
        {0x10000u, 0x11234u, 0x1FFF8u},
    };
    for (const auto& load : loads) {
        alignas(8) uint8_t moved[0x200] = {};
        const uint8_t relocs[] = {0, 1, 0, 0, 14, 0, 0, 0, 0x08, 0xA0, 0, 0, 0xF0, 0xA0};
        std::memcpy(moved + 0x20, relocs, sizeof relocs);
        const uint64_t a = 0x140001234u, b = 0x14000FFF8u;
        std::memcpy(moved + 0x108, &a, 8), std::memcpy(moved + 0x1F0, &b, 8);
        PackRelocate(moved, 0x20, sizeof relocs, load.base - 0x140000000u);   // as the depacker does
        EXPECT_EQ(at(moved + 0x108), load.a) << std::hex << load.base;
        EXPECT_EQ(at(moved + 0x1F0), load.b) << std::hex << load.base;
        EXPECT_EQ(at(moved + 0x100), 0u);   // the padding entry moved nothing
    }
}

// --- The tool ---
static void Put(Bytes& b, size_t at, uint64_t v, int size)
{
    for (int i = 0; i < size; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A small program as the linker lays one out: headers, .text at 0x1000, .data at 0x2000.
static Bytes Program(const Bytes& code)
{
    Bytes f(0x600, 0);
    const size_t o = 0x58, t = o + 240;   // the optional header, the section table
    static const struct { size_t at; uint64_t v; int size; } fields[] = {
        {0, 'M' | 'Z' << 8, 2}, {0x3C, 0x40, 4}, {0x40, 0x4550, 4}, {0x44, 0x8664, 2}, {0x46, 2, 2},
        {0x54, 240, 2}, {0x56, 0x22, 2}, {o, 0x20B, 2}, {o + 16, 0x1000, 4}, {o + 24, 0x140000000u, 8},
        {o + 32, 0x1000, 4}, {o + 36, 0x200, 4}, {o + 56, 0x3000, 4}, {o + 60, 0x200, 4}, {o + 68, 2, 2},
        {o + 108, 16, 4}, {t, 0x747865742E, 8}, {t + 8, 0x100, 4}, {t + 12, 0x1000, 4}, {t + 16, 0x200, 4},
        {t + 20, 0x200, 4}, {t + 36, 0x60000020, 4}, {t + 40, 0x617461642E, 8}, {t + 48, 0x100, 4},
        {t + 52, 0x2000, 4}, {t + 56, 0x200, 4}, {t + 60, 0x400, 4}, {t + 76, 0xC0000040, 4}};
    for (auto& field : fields) Put(f, field.at, field.v, field.size);
    std::memcpy(&f[0x200], code.data(), code.size());
    std::memcpy(&f[0x400], "some data", 9);
    return f;
}

TEST(Pack, TheToolPacksAProgramAndRefusesWhatItCannotCarry)
{
    namespace fs = std::filesystem;
    TempDir dir("korva-pack");
    const std::string in = dir.Path("in.exe"), stubFile = dir.Path("stub.exe"), outFile = dir.Path("out.exe");
    auto run = [&](const Bytes& program) {
        EXPECT_TRUE(WriteBytes(in, program));
        return dir.Run(KORVAPACK_PATH, in + " " + stubFile + " " + outFile + " >/dev/null");
    };
    // The stub: its code, then the marker where the depacker's data goes.
    Bytes stubCode = {0xC3, 0, 0, 0, 0, 0, 0, 0};
    stubCode.insert(stubCode.end(), {'K', 'o', 'r', 'v', 'a', 'P', 'a', 'k'});
    Bytes stub = Program(stubCode);
    Put(stub, 0x46, 1, 2);   // code alone
    ASSERT_TRUE(WriteBytes(stubFile, stub));
    const Bytes game = Program({0x48, 0x83, 0xEC, 0x28, 0xE8, 0x10, 0, 0, 0, 0x31, 0xC0, 0xC3});
    ASSERT_EQ(run(game), 0) << dir.errors;
    const Bytes out = ReadBytes(outFile);
    ASSERT_GE(out.size(), 0x400u);
    EXPECT_EQ(out.size() % 0x200, 0u);
    EXPECT_TRUE(out[0] == 'M' && out[1] == 'Z' && out[0x40] == 'P' && out[0x41] == 'E');
    EXPECT_TRUE((fs::status(outFile).permissions() & fs::perms::owner_exec) != fs::perms::none) << "not executable";

    // Every refusal, each with a file that only it catches: the message names the fault.
    // Offsets: the optional header at 0x58, its directories at 0xC8 (8 bytes each), the
    // section table at 0x148 (.text's entry, then .data's at 0x170); .data's bytes lie at
    // file 0x400 and RVA 0x2000.
    const size_t o = 0x58, dirs = o + 112, t = o + 240, d = t + 40;
    auto directory = [&](Bytes& f, int index, uint64_t rva, uint64_t size) {
        Put(f, dirs + 8 * index, rva, 4), Put(f, dirs + 8 * index + 4, size, 4);
    };
    auto data = [](Bytes& f, uint32_t rva, const Bytes& bytes) {
        if (f.size() < 0x400 + (rva - 0x2000) + bytes.size()) f.resize(0x400 + (rva - 0x2000) + bytes.size());
        std::copy(bytes.begin(), bytes.end(), f.begin() + 0x400 + (rva - 0x2000));
    };
    auto le = [](std::initializer_list<std::pair<uint64_t, int>> fields) {   // values of 2, 4 or 8 bytes
        Bytes out;
        for (auto [v, size] : fields)
            for (int i = 0; i < size; ++i) out.push_back(uint8_t(v >> (8 * i)));
        return out;
    };
    // One library's import descriptor at 0x2000 (lookup 0x2040, slots 0x2060, name 0x2080).
    auto imports = [&](Bytes& f, uint64_t entry, const std::string& dll) {
        Put(f, d + 8, 0x200, 4);   // .data's first 0x200 bytes mapped
        directory(f, 1, 0x2000, 40);
        data(f, 0x2000, le({{0x2040, 4}, {0, 8}, {0x2080, 4}, {0x2060, 4}}));
        data(f, 0x2040, le({{entry, 8}}));
        data(f, 0x2080, Bytes(dll.begin(), dll.end()));
    };
    struct Bad {
        const char* why;
        std::function<void(Bytes&)> make;
        bool stub = false;   // the fault is the depacker's
    };
    const std::vector<Bad> bad = {
        {"no MZ header", [](Bytes& f) { f = {'h', 'e', 'l', 'l', 'o'}; }},
        {"no PE signature", [&](Bytes& f) { Put(f, 0x40, 0x4551, 4); }},
        {"a 32-bit image", [&](Bytes& f) { Put(f, 0x44, 0x14C, 2), Put(f, o, 0x10B, 2); }},
        {"not an x86-64 PE32+ image", [&](Bytes& f) { Put(f, 0x44, 0xAA64, 2); }},   // ARM64
        {"a DLL", [&](Bytes& f) { Put(f, 0x56, 0x2022, 2); }},
        {"a malformed optional header", [&](Bytes& f) { Put(f, o + 108, 17, 4); }},
        {"an image size out of range", [&](Bytes& f) { Put(f, o + 56, 0, 4); }},
        {"a section count out of range", [&](Bytes& f) { Put(f, 0x46, 13, 2); }},
        {"truncated file", [](Bytes& f) { f.resize(0x5A); }},   // in the optional header
        {"truncated file", [](Bytes& f) { f.resize(0x14C); }},  // in .text's name
        {"section .data lies beyond the end of the file", [&](Bytes& f) { Put(f, d + 16, 0x10000, 4); }},
        {"section .data lies outside the image or out of order", [&](Bytes& f) { Put(f, d + 12, 0x1080, 4); }},
        {"section .data lies outside the image or out of order", [&](Bytes& f) { Put(f, d + 8, 0x1001, 4); }},
        {"section .text is both writable and executable", [&](Bytes& f) { Put(f, t + 36, 0xE0000020, 4); }},
        {"an entry point outside the image", [&](Bytes& f) { Put(f, o + 16, 0x3000, 4); }},
        {"it has exports", [&](Bytes& f) { directory(f, 0, 0x2000, 40); }},
        {"it has resources", [&](Bytes& f) { directory(f, 2, 0x2000, 16); }},
        {"it has a signature", [&](Bytes& f) { directory(f, 4, 0x600, 8); }},
        {"it has a TLS directory", [&](Bytes& f) { directory(f, 9, 0x2000, 40); }},
        {"it has a load configuration", [&](Bytes& f) { directory(f, 10, 0x2000, 0x100); }},
        {"it has bound imports", [&](Bytes& f) { directory(f, 11, 0x2000, 8); }},
        {"it has delay-load imports", [&](Bytes& f) { directory(f, 13, 0x2000, 32); }},
        {"it has a .NET header", [&](Bytes& f) { directory(f, 14, 0x2000, 72); }},
        {"an import by ordinal (A.dll)", [&](Bytes& f) { imports(f, 0x8000000000000001u, "A.dll"); }},
        {"an import name whose hash is the list's end (MkEblM)", [&](Bytes& f) {   // found by meeting in the middle
             imports(f, 0x20A0, "A.dll"), data(f, 0x20A0, {0, 0, 'M', 'k', 'E', 'b', 'l', 'M', 0});
         }},
        {"an import name over 255 characters", [&](Bytes& f) { imports(f, 0x20A0, std::string(300, 'a')); }},
        {"an import descriptor outside the image", [&](Bytes& f) { directory(f, 1, 0x2FF0, 40); }},
        {"an import list over 8 KiB", [&](Bytes& f) {
             // One library of 2,100 functions: 4 bytes each in the list.
             const uint32_t count = 2100, names = 0x6400, size = 0xA000;
             Put(f, o + 56, 0x2000 + size, 4), Put(f, d + 8, size, 4), Put(f, d + 16, size, 4);
             directory(f, 1, 0x2000, 40);
             data(f, 0x2000, le({{0x2100, 4}, {0, 8}, {0x20F0, 4}, {0x4300, 4}}));
             data(f, 0x20F0, {'A', '.', 'd', 'l', 'l', 0});
             for (uint32_t i = 0; i < count; ++i) {
                 data(f, 0x2100 + 8 * i, le({{names + 8 * i, 8}}));
                 data(f, names + 8 * i, {0, 0, 'f', uint8_t('a' + i / 676), uint8_t('a' + i / 26 % 26), uint8_t('a' + i % 26), 0});
             }
             data(f, 0x2000 + size - 1, {0});
         }},
        {"the relocations outside the image", [&](Bytes& f) { directory(f, 5, 0x2FF8, 16); }},
        {"a truncated relocation block", [&](Bytes& f) { directory(f, 5, 0x2000, 4); }},
        {"a malformed relocation block", [&](Bytes& f) { directory(f, 5, 0x2000, 8), data(f, 0x2000, le({{0x1000, 4}, {6, 4}})); }},
        {"a relocation of a kind other than a 64-bit address", [&](Bytes& f) {
             directory(f, 5, 0x2000, 10), data(f, 0x2000, le({{0x1000, 4}, {10, 4}, {0x3008, 2}}));   // 32-bit HIGHLOW
         }},
        {"a relocation outside the image", [&](Bytes& f) {
             directory(f, 5, 0x2000, 10), data(f, 0x2000, le({{0x2000, 4}, {10, 4}, {0xAFFC, 2}}));   // 8 bytes at 0x2FFC
         }},
        {"the depacker's data marker is missing", [&](Bytes& f) { f = Program({0xC3}), Put(f, 0x46, 1, 2); }, true},
        {"the entry point is not in the code", [&](Bytes& f) { Put(f, o + 16, 0x1080, 4); }, true},
        {"the depacker has a section of its own (.data)", [&](Bytes& f) { Put(f, 0x46, 2, 2); }, true},
        {"the depacker imports functions itself", [&](Bytes& f) {
             directory(f, 1, 0x1080, 20), Put(f, 0x200 + 0x80 + 12, 0x1040, 4);
         }, true},
    };
    for (const Bad& c : bad) {
        Bytes program = game, depacker = stub;
        c.make(c.stub ? depacker : program);
        ASSERT_TRUE(WriteBytes(stubFile, depacker));
        fs::remove(outFile);
        EXPECT_EQ(run(program), 1) << c.why;
        const std::string& errors = dir.errors;
        EXPECT_NE(errors.find(c.why), std::string::npos) << c.why << ": " << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_FALSE(fs::exists(outFile) || fs::exists(outFile + ".part")) << c.why;
    }
    ASSERT_TRUE(WriteBytes(stubFile, stub));
    EXPECT_EQ(dir.Run(KORVAPACK_PATH, dir.Path("none.exe") + " " + stubFile + " " + outFile), 1);
    EXPECT_NE(dir.errors.find("cannot read it"), std::string::npos) << dir.errors;
    // An output that cannot be put in place (a directory is there): nothing left behind.
    ASSERT_TRUE(WriteBytes(in, game));
    ASSERT_TRUE(fs::create_directory(dir.Path("taken")));
    EXPECT_NE(dir.Run(KORVAPACK_PATH, in + " " + stubFile + " " + dir.Path("taken")), 0);
    EXPECT_FALSE(fs::exists(dir.Path("taken.part")));
}
