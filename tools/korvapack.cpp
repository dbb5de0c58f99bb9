// korvapack: packs an x86-64 Windows executable into a smaller one that rebuilds it in
// memory at start-up (the depacker, src/pack/depacker_win.cpp, linked as its own stub
// program).
//
//   korvapack IN.exe STUB.exe OUT.exe    pack IN with the depacker from STUB into OUT
//   korvapack --base ADDR IN STUB OUT     the same, the packed program based at ADDR: the
//                                         depacker then moves the image's addresses
//   korvapack --search IN.exe            look for better context masks, print them
//   korvapack --measure IN.exe           what each part of IN would cost in the stream
//
// The packed image: headers; one uninitialised read-write section where the original
// sections are rebuilt at their own addresses; one read-execute section holding the
// depacker, its model's settings, the coded stream and an import table naming the few
// KERNEL32 functions the depacker calls. Anything it cannot carry faithfully is refused
// with one line and exit status 1, and no output file is left.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "pack/pack_image.h"
#include "pack/pack_model.h"

typedef std::vector<uint8_t> Bytes;

static const char* inputName = "";

[[noreturn]] static void Refuse(const std::string& why)
{
    std::fprintf(stderr, "korvapack: %s: %s\n", inputName, why.c_str());
    std::exit(1);
}

static Bytes ReadFile(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f) Refuse("cannot read it");
    Bytes bytes;
    uint8_t buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

static uint32_t Get(const Bytes& b, size_t at, int size)
{
    if (at + size > b.size()) Refuse("truncated file");
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | b[at + i];
    return v;
}

static void Put(Bytes& b, size_t at, uint64_t v, int size)
{
    if (b.size() < at + size) b.resize(at + size);
    for (int i = 0; i < size; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// --- Reading the input ---
struct Section {
    std::string name;
    uint32_t rva, virtualSize, rawOffset, rawSize, characteristics;
};

struct Image {
    Bytes file;
    size_t optional;                    // offset of the optional header
    uint64_t imageBase;
    uint32_t entryRva, sizeOfImage, dirCount;
    std::vector<Section> sections;
    Bytes memory;                       // the image as the loader maps it, sizeOfImage bytes
};

enum { DirExport, DirImport, DirResource, DirException, DirSecurity, DirReloc, DirDebug, DirArch,
       DirGlobalPtr, DirTls, DirLoadConfig, DirBoundImport, DirIat, DirDelayImport, DirClr };

static uint32_t DirRva(const Image& im, int dir)
{
    return uint32_t(dir) < im.dirCount ? Get(im.file, im.optional + 112 + 8 * dir, 4) : 0;
}

static uint32_t DirSize(const Image& im, int dir)
{
    return uint32_t(dir) < im.dirCount ? Get(im.file, im.optional + 112 + 8 * dir + 4, 4) : 0;
}

static Image ReadImage(const Bytes& file)
{
    Image im;
    im.file = file;
    if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z') Refuse("not a PE file (no MZ header)");
    size_t pe = Get(file, 0x3C, 4);
    if (Get(file, pe, 4) != 0x4550) Refuse("not a PE file (no PE signature)");
    uint32_t machine = Get(file, pe + 4, 2), count = Get(file, pe + 6, 2), optSize = Get(file, pe + 20, 2);
    im.optional = pe + 24;
    uint32_t magic = Get(file, im.optional, 2);
    if (magic == 0x10B || machine == 0x14C) Refuse("a 32-bit image; only x86-64 (PE32+) images are packed");
    if (magic != 0x20B || machine != 0x8664) Refuse("not an x86-64 PE32+ image");
    if (Get(file, pe + 22, 2) & 0x2000) Refuse("a DLL; only programs are packed");
    im.entryRva = Get(file, im.optional + 16, 4);
    im.imageBase = Get(file, im.optional + 24, 4) | uint64_t(Get(file, im.optional + 28, 4)) << 32;
    im.sizeOfImage = Get(file, im.optional + 56, 4);
    im.dirCount = Get(file, im.optional + 108, 4);
    if (im.dirCount > 16 || 112 + 8 * im.dirCount > optSize) Refuse("a malformed optional header");
    if (im.sizeOfImage == 0 || im.sizeOfImage > (256u << 20)) Refuse("an image size out of range");
    if (count == 0 || count > PackMaxSections) Refuse("a section count out of range (1-" +
                                                      std::to_string(PackMaxSections) + ")");
    im.memory.assign(im.sizeOfImage, 0);
    size_t table = im.optional + optSize;
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = table + 40 * i;
        Section s;
        Get(file, at + 39, 1);
        s.name.assign((const char*)&file[at], strnlen((const char*)&file[at], 8));
        s.virtualSize = Get(file, at + 8, 4);
        s.rva = Get(file, at + 12, 4);
        s.rawSize = Get(file, at + 16, 4);
        s.rawOffset = Get(file, at + 20, 4);
        s.characteristics = Get(file, at + 36, 4);
        if (s.rawSize && uint64_t(s.rawOffset) + s.rawSize > file.size())
            Refuse("section " + s.name + " lies beyond the end of the file");
        if (s.rva < 0x1000 || uint64_t(s.rva) + s.virtualSize > im.sizeOfImage ||
            (!im.sections.empty() && s.rva < im.sections.back().rva + im.sections.back().virtualSize))
            Refuse("section " + s.name + " lies outside the image or out of order");
        if ((s.characteristics & 0x20000000) && (s.characteristics & 0x80000000))
            Refuse("section " + s.name + " is both writable and executable");
        std::memcpy(&im.memory[s.rva], &file[s.rawOffset], std::min(s.rawSize, s.virtualSize));
        im.sections.push_back(s);
    }
    if (im.entryRva < 0x1000 || im.entryRva >= im.sizeOfImage) Refuse("an entry point outside the image");
    static const struct { int dir; const char* what; } carried[] = {
        {DirExport, "exports"}, {DirResource, "resources"}, {DirTls, "a TLS directory"},
        {DirLoadConfig, "a load configuration"}, {DirBoundImport, "bound imports"},
        {DirDelayImport, "delay-load imports"}, {DirClr, "a .NET header"}, {DirSecurity, "a signature"}};
    for (auto c : carried)
        if (DirSize(im, c.dir)) Refuse(std::string("it has ") + c.what + ", which the packer does not carry");
    return im;
}

// Reads `size` bytes at an RVA of the mapped image, refusing what lies outside it.
static const uint8_t* At(const Image& im, uint32_t rva, uint32_t size, const char* what)
{
    if (uint64_t(rva) + size > im.memory.size()) Refuse(std::string(what) + " outside the image");
    return &im.memory[rva];
}

static std::string NameAt(const Image& im, uint32_t rva)
{
    std::string name;
    for (;; ++rva) {
        char c = char(*At(im, rva, 1, "a name"));
        if (!c) return name;
        name += c;
        if (name.size() > 255) Refuse("an import name over 255 characters");
    }
}

static void Clear(Image& im, uint32_t rva, uint32_t size)
{
    At(im, rva, size, "import data");
    std::memset(&im.memory[rva], 0, size);
}

// The import list the depacker resolves (pack_image.h); the import data it replaces is
// cleared from the image, so only the list is coded.
static Bytes ImportList(Image& im)
{
    Bytes list;
    uint32_t rva = DirRva(im, DirImport), size = DirSize(im, DirImport);
    for (uint32_t d = rva; size; d += 20) {
        const uint8_t* desc = At(im, d, 20, "an import descriptor");
        uint32_t lookup = PackRead32(desc), nameRva = PackRead32(desc + 12), slots = PackRead32(desc + 16);
        if (!nameRva && !slots) { Clear(im, rva, d + 20 - rva); break; }
        if (!lookup) lookup = slots;
        std::string dll = NameAt(im, nameRva);
        Put(list, list.size(), slots, 4);
        list.insert(list.end(), dll.begin(), dll.end() + 0);
        list.push_back(0);
        uint32_t n = 0;
        for (;; ++n) {
            const uint8_t* e = At(im, lookup + 8 * n, 8, "an import lookup entry");
            uint32_t lo = PackRead32(e), hi = PackRead32(e + 4);
            if (!lo && !hi) break;
            if (hi & 0x80000000u) Refuse("an import by ordinal (" + dll + "), which the packer does not carry");
            std::string name = NameAt(im, lo + 2);
            list.insert(list.end(), name.begin(), name.end());
            list.push_back(0);
            Clear(im, lo, uint32_t(2 + name.size() + 1));
        }
        list.push_back(0);
        Clear(im, lookup, 8 * (n + 1));
        Clear(im, slots, 8 * (n + 1));
        Clear(im, nameRva, uint32_t(dll.size() + 1));
    }
    Put(list, list.size(), 0, 4);
    if (list.size() > PackMaxImportBytes) Refuse("an import list over 64 KiB");
    return list;
}

static void CheckRelocations(const Image& im)
{
    uint32_t rva = DirRva(im, DirReloc), size = DirSize(im, DirReloc);
    const uint8_t* p = At(im, rva, size, "the relocations");
    for (uint32_t at = 0; at < size;) {
        if (size - at < 8) Refuse("a truncated relocation block");
        uint32_t page = PackRead32(p + at), block = PackRead32(p + at + 4);
        if (block < 8 || block > size - at || block % 2) Refuse("a malformed relocation block");
        for (uint32_t i = 8; i + 2 <= block; i += 2) {
            uint32_t e = p[at + i] | p[at + i + 1] << 8;
            if (e >> 12 != 0 && e >> 12 != 10) Refuse("a relocation of a kind other than a 64-bit address");
            if (e >> 12 == 10 && uint64_t(page) + (e & 0xFFF) + 8 > im.sizeOfImage)
                Refuse("a relocation outside the image");
        }
        at += block;
    }
}

// --- Coding ---
// One piece of the stream, coded with the models of its kind.
struct Piece {
    std::string name;
    int kind;
    Bytes bytes;
    uint32_t cost = 0;   // the bytes of stream it took
};

// The x86-64 opcode maps by class (pack_model.h): M ModRM, b imm8, w imm16, e imm16 and imm8,
// z imm16/32, v imm16/32/64, d imm32 (rel32), q a 64-bit address, B and Z ModRM with imm8 or
// imm16/32, F and G TEST's groups (F6, F7), P a prefix, E the 0F escape, T 0F 38 and 0F 3A.
static const char OpcodeMaps[] =
    "MMMMbz..MMMMbz.EMMMMbz..MMMMbz..MMMMbzP.MMMMbzP.MMMMbzP.MMMMbzP."
    "PPPPPPPPPPPPPPPP...................MPPPPzZbB....bbbbbbbbbbbbbbbb"
    "BZBBMMMMMMMMMMMM................qqqq....bz......bbbbbbbbvvvvvvvv"
    "BBw...BZe.w..b..MMMMbb..MMMMMMMMbbbbbbbbdd.b....P.PP..FG......MM"
    "MMMMM.....M.MM.MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM........TMTMMMMM"
    "MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMBBBBMMM.MMMMMMMM"
    "ddddddddddddddddMMMMMMMMMMMMMMMM...MBMMM...MBMMMMMMMMMMMMMBMMMMM"
    "MMBMBBBM........MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM";

static void OpcodeClasses(uint8_t* classes)
{
    static const char letters[] = ".bwezvdqMBZFGPET";
    static const uint8_t values[] = {0, 1, 2, 3, 4 | PackOpWord, 4 | PackOpWord | PackOpQuad, 4, 8,
        PackOpModrm, PackOpModrm | 1, PackOpModrm | PackOpWord | 4, PackOpGroup3 | 1,
        PackOpGroup3 | PackOpWord | 4, PackOpPrefix, PackOpEscape, PackOpEscape3};
    for (int i = 0; i < 512; ++i) classes[i] = values[std::strchr(letters, OpcodeMaps[i]) - letters];
}

// A model in zeroed memory, as the depacker makes one, with the opcode classes it decodes
// from the header.
static PackModel* NewModel(std::vector<uint8_t>& memory, const PackModelParams& params)
{
    static uint8_t classes[512];
    OpcodeClasses(classes);
    memory.assign(PackModelBytes(&params), 0);
    return PackModelInit(memory.data(), &params, classes);
}

static Bytes Encode(std::vector<Piece>& pieces, const PackModelParams& params)
{
    std::vector<uint8_t> memory;
    PackModel* m = NewModel(memory, params);
    size_t total = 0;
    for (const Piece& piece : pieces) total += piece.bytes.size();
    Bytes out(12 * total + 4);
    PackEncoder e;
    PackEncoderStart(&e, out.data());
    for (Piece& piece : pieces) {
        uint32_t before = e.size;
        PackEncodeBytes(m, &e, piece.kind, piece.bytes.data(), uint32_t(piece.bytes.size()));
        piece.cost = e.size - before;
    }
    PackEncoderFlush(&e);
    out.resize(e.size);
    return out;
}

// Decodes the stream with the depacker's own steps; a packer that wrote what does not
// decode to its input would make a program that fails at its first instruction.
static void Verify(const std::vector<Piece>& pieces, const PackModelParams& params, Bytes stream)
{
    std::vector<uint8_t> memory;
    PackModel* m = NewModel(memory, params);
    stream.resize(stream.size() + 4);   // the decoder reads ahead
    PackDecoder d;
    PackDecoderStart(&d, stream.data());
    for (const Piece& piece : pieces) {
        Bytes bytes(piece.bytes.size());
        PackDecodeBytes(m, &d, piece.kind, bytes.data(), uint32_t(bytes.size()));
        if (bytes != piece.bytes) Refuse("a fault of the packer: the stream does not decode to " + piece.name);
    }
}

// Masks found by --search on the game (code: the opcode and its neighbours; data: records,
// text and the song's rows and samples); the code's last two and the data's last one added
// next to nothing, and every model costs the depacker time, so they are left out.
static const PackModelParams DefaultParams = {
    {10, 11},
    {{0x00, 0x01, 0x18, 0x61, 0x0C, 0x03, 0x34, 0xD1, 0x02, 0x04, 0xCA, 0x05},
     {0x00, 0x01, 0x1D, 0x03, 0x96, 0x0F, 0x59, 0xA6, 0x88, 0x06, 0x07, 0x0D}},
    24, 6, 15, 0};

// --- Laying out the packed program ---
struct Stub {
    Bytes code;           // up to the depacker's data
    uint32_t entry;       // offset of its entry point in `code`
};

// The depacker's code: the stub program's only section, up to the marker where the
// packer puts the depacker's data (the code reaches it by RIP-relative addresses).
static Stub ReadStub(const char* path)
{
    const char* saved = inputName;
    inputName = path;
    Image im = ReadImage(ReadFile(path));
    Stub stub;
    for (const Section& s : im.sections) {
        if (s.name == ".text") {
            const uint8_t* text = &im.memory[s.rva];
            static const char marker[] = "KorvaPak";
            for (uint32_t i = 0; i + 8 <= s.virtualSize && stub.code.empty(); i += 8)
                if (std::memcmp(text + i, marker, 8) == 0) stub.code.assign(text, text + i);
            if (stub.code.empty()) Refuse("the depacker's data marker is missing");
            if (im.entryRva < s.rva || im.entryRva >= s.rva + stub.code.size()) Refuse("the entry point is not in the code");
            stub.entry = im.entryRva - s.rva;
        } else if (s.rawSize && s.name != ".idata") {
            Refuse("the depacker has a section of its own (" + s.name + "); it must be code only");
        }
    }
    if (DirSize(im, DirImport) && PackRead32(At(im, DirRva(im, DirImport) + 12, 4, "an import descriptor")))
        Refuse("the depacker imports functions itself");
    inputName = saved;
    return stub;
}

static uint32_t Align(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// The depacker's data, as src/pack/depacker_win.cpp reads it.
enum { StubSlots = 6 };  // LoadLibraryA, GetProcAddress, VirtualAlloc, VirtualProtect, VirtualFree, end
static const char* const StubImports[] = {"LoadLibraryA", "GetProcAddress", "VirtualAlloc",
                                          "VirtualProtect", "VirtualFree"};

static Bytes PackedFile(const Image& im, const Stub& stub, const PackModelParams& params, const Bytes& stream,
                        uint64_t imageBase)
{
    const uint32_t fileAlign = 0x200, sectionAlign = 0x1000, headers = 0x200;
    const uint32_t stubRva = Align(im.sizeOfImage, sectionAlign);
    // The depacker's section: code, slots + model settings + stream, import table, relocations.
    Bytes sec = stub.code;
    uint32_t slots = uint32_t(sec.size());
    sec.resize(slots + 8 * StubSlots);
    sec.insert(sec.end(), (const uint8_t*)&params, (const uint8_t*)&params + sizeof params);
    sec.insert(sec.end(), stream.begin(), stream.end());
    sec.resize(Align(uint32_t(sec.size()), 4));
    uint32_t descriptors = uint32_t(sec.size());
    sec.resize(descriptors + 40);
    uint32_t dllName = uint32_t(sec.size());
    static const char kernel[] = "KERNEL32.dll";
    sec.insert(sec.end(), kernel, kernel + sizeof kernel);
    for (int i = 0; i < StubSlots - 1; ++i) {
        sec.resize(Align(uint32_t(sec.size()), 2));
        Put(sec, slots + 8 * i, stubRva + sec.size(), 8);
        sec.resize(sec.size() + 2);  // hint 0
        sec.insert(sec.end(), StubImports[i], StubImports[i] + std::strlen(StubImports[i]) + 1);
    }
    Put(sec, descriptors + 12, stubRva + dllName, 4);
    Put(sec, descriptors + 16, stubRva + slots, 4);
    // No address in the depacker needs moving, but a movable image needs a (here empty)
    // relocation table for the loader to move it.
    uint32_t dllFlags = Get(im.file, im.optional + 70, 2);
    bool movable = dllFlags & 0x40;
    uint32_t relocs = 0;
    if (movable) {
        sec.resize(Align(uint32_t(sec.size()), 4));
        relocs = uint32_t(sec.size());
        Put(sec, relocs, stubRva, 4);
        Put(sec, relocs + 4, 8, 4);
    }
    uint32_t secSize = uint32_t(sec.size()), secRaw = Align(secSize, fileAlign);
    sec.resize(secRaw);

    Bytes f(headers, 0);
    f[0] = 'M'; f[1] = 'Z';
    Put(f, 0x3C, 0x40, 4);
    size_t pe = 0x40, opt = pe + 24, table = opt + 240;
    Put(f, pe, 0x4550, 4);
    Put(f, pe + 4, 0x8664, 2);
    Put(f, pe + 6, 2, 2);
    Put(f, pe + 20, 240, 2);
    Put(f, pe + 22, Get(im.file, im.optional - 2, 2), 2);   // characteristics as the input's
    Put(f, opt, 0x20B, 2);
    Put(f, opt + 2, Get(im.file, im.optional + 2, 2), 2);   // linker version
    Put(f, opt + 4, secRaw, 4);                             // size of code
    Put(f, opt + 12, im.sizeOfImage - 0x1000, 4);           // size of uninitialised data
    Put(f, opt + 16, stubRva + stub.entry, 4);
    Put(f, opt + 20, stubRva, 4);                           // base of code
    Put(f, opt + 24, imageBase, 8);
    Put(f, opt + 32, sectionAlign, 4);
    Put(f, opt + 36, fileAlign, 4);
    for (int o = 40; o < 56; o += 2) Put(f, opt + o, Get(im.file, im.optional + o, 2), 2);  // versions
    Put(f, opt + 56, stubRva + Align(secSize, sectionAlign), 4);
    Put(f, opt + 60, headers, 4);
    Put(f, opt + 68, Get(im.file, im.optional + 68, 2), 2);  // subsystem
    Put(f, opt + 70, dllFlags, 2);
    for (int o = 72; o < 112; o += 4) Put(f, opt + o, Get(im.file, im.optional + o, 4), 4);  // stack, heap
    Put(f, opt + 108, 16, 4);
    auto dir = [&](int d, uint32_t rva, uint32_t size) { Put(f, opt + 112 + 8 * d, rva, 4); Put(f, opt + 116 + 8 * d, size, 4); };
    dir(DirImport, stubRva + descriptors, 40);
    dir(DirException, DirRva(im, DirException), DirSize(im, DirException));
    if (movable) dir(DirReloc, stubRva + relocs, 8);
    dir(DirIat, stubRva + slots, 8 * StubSlots);
    // The rebuilt image: read-write until the depacker gives each section its own protection.
    std::memcpy(&f[table], ".image", 6);
    Put(f, table + 8, stubRva - 0x1000, 4);
    Put(f, table + 12, 0x1000, 4);
    Put(f, table + 36, 0xC0000080u, 4);
    std::memcpy(&f[table + 40], ".depack", 7);
    Put(f, table + 48, secSize, 4);
    Put(f, table + 52, stubRva, 4);
    Put(f, table + 56, secRaw, 4);
    Put(f, table + 60, headers, 4);
    Put(f, table + 76, 0x60000020u, 4);
    f.insert(f.end(), sec.begin(), sec.end());
    return f;
}

// --- Mask search ---
static size_t Cost(std::vector<Piece> pieces, const PackModelParams& params)
{
    return Encode(pieces, params).size();
}

static void Search(std::vector<Piece>& pieces, PackModelParams params)
{
    size_t best = Cost(pieces, params);
    std::fprintf(stderr, "start: %zu bytes\n", best);
    for (bool better = true; better;) {
        better = false;
        for (int kind = 0; kind < PackKinds; ++kind)
            for (int k = 0; k < params.count[kind]; ++k)
                for (int mask = 0; mask < 256; ++mask) {
                    if (__builtin_popcount(mask) > 4 && mask != 0xFF && mask != 0x7F && mask != 0x3F) continue;
                    PackModelParams trial = params;
                    trial.masks[kind][k] = uint8_t(mask);
                    size_t c = Cost(pieces, trial);
                    if (c < best) {
                        best = c, params = trial, better = true;
                        std::fprintf(stderr, "kind %d model %d mask %02X: %zu bytes\n", kind, k, mask, best);
                    }
                }
    }
    for (int kind = 0; kind < PackKinds; ++kind) {
        std::printf("{");
        for (int k = 0; k < params.count[kind]; ++k) std::printf("%s0x%02X", k ? ", " : "", params.masks[kind][k]);
        std::printf("}\n");
    }
}

// --- Main ---
static std::vector<Piece> Pieces(Image& im, PackHeader& header)
{
    std::vector<Piece> pieces;
    Bytes imports = ImportList(im);
    CheckRelocations(im);
    header = PackHeader();
    header.imageBase = im.imageBase;
    header.entryRva = im.entryRva;
    header.relocRva = DirRva(im, DirReloc);
    header.relocSize = DirSize(im, DirReloc);
    header.importBytes = uint32_t(imports.size());
    header.sectionCount = uint32_t(im.sections.size());
    OpcodeClasses(header.classes);
    pieces.push_back({"header", 1, {}});
    pieces.push_back({"imports", 1, imports});
    for (size_t i = 0; i < im.sections.size(); ++i) {
        const Section& s = im.sections[i];
        uint32_t raw = std::min(s.rawSize, s.virtualSize);
        while (raw && im.memory[s.rva + raw - 1] == 0) --raw;  // trailing zeros are the loader's
        bool code = s.characteristics & 0x20000000;
        PackSection& ps = header.sections[i];
        ps.rva = s.rva;
        ps.rawSize = raw;
        ps.virtualSize = s.virtualSize;
        ps.flags = code ? 0x20 | PackSectionCode : (s.characteristics & 0x80000000) ? 0x04 : 0x02;
        Bytes bytes(im.memory.begin() + s.rva, im.memory.begin() + s.rva + raw);
        if (code) PackFilterCode(bytes.data(), raw, s.rva, 0);
        pieces.push_back({s.name, code ? 0 : 1, bytes});
    }
    pieces[0].bytes.assign((const uint8_t*)&header, (const uint8_t*)&header + sizeof header);
    return pieces;
}

int main(int argc, char** argv)
{
    if (argc == 3 && (std::strcmp(argv[1], "--search") == 0 || std::strcmp(argv[1], "--measure") == 0)) {
        inputName = argv[2];
        Image im = ReadImage(ReadFile(argv[2]));
        PackHeader header;
        std::vector<Piece> pieces = Pieces(im, header);
        if (argv[1][2] == 'm') {
            Bytes stream = Encode(pieces, DefaultParams);
            for (const Piece& p : pieces) std::printf("  %-8s %6zu -> %6u\n", p.name.c_str(), p.bytes.size(), p.cost);
            std::printf("stream %zu\n", stream.size());
            return 0;
        }
        Search(pieces, DefaultParams);
        return 0;
    }
    uint64_t base = 0;
    if (argc == 6 && std::strcmp(argv[1], "--base") == 0) {
        char* end;
        base = std::strtoull(argv[2], &end, 0);
        if (*end || !base || base % 0x10000) {
            std::fprintf(stderr, "korvapack: --base %s: not an address on a 64 KiB boundary\n", argv[2]);
            return 1;
        }
        argv += 2, argc -= 2;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: korvapack [--base ADDR] IN.exe STUB.exe OUT.exe | korvapack --search|--measure IN.exe\n");
        return 2;
    }
    inputName = argv[1];
    Image im = ReadImage(ReadFile(argv[1]));
    Stub stub = ReadStub(argv[2]);
    PackHeader header;
    std::vector<Piece> pieces = Pieces(im, header);
    Bytes stream = Encode(pieces, DefaultParams);
    auto began = std::chrono::steady_clock::now();
    Verify(pieces, DefaultParams, stream);
    double decodeMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    Bytes packed = PackedFile(im, stub, DefaultParams, stream, base ? base : im.imageBase);

    std::string temp = std::string(argv[3]) + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    bool written = f && std::fwrite(packed.data(), 1, packed.size(), f) == packed.size();
    if (f && std::fclose(f) != 0) written = false;
    if (written) chmod(temp.c_str(), 0755);   // a program, as the linker's output is
    if (!written || std::rename(temp.c_str(), argv[3]) != 0) {
        std::remove(temp.c_str());
        inputName = argv[3];
        Refuse("cannot write it");
    }
    for (const Piece& p : pieces) std::printf("  %-8s %6zu -> %6u bytes\n", p.name.c_str(), p.bytes.size(), p.cost);
    std::printf("korvapack: %s: %zu -> %zu bytes (depacker %zu, stream %zu; decoded again in %.0f ms)\n",
                argv[1], im.file.size(), packed.size(), stub.code.size(), stream.size(), decodeMs);
    return 0;
}
