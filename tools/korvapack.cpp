// korvapack: packs an x86-64 Windows executable into a smaller one that rebuilds it in
// memory at start-up (the depacker, src/pack/depacker.S, linked as its own stub program).
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
#include "pe_reader.h"

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

// A field of the structure at `base`, refusing a file that ends before it.
static uint64_t Get(const Bytes& b, size_t base, Pe::Field f)
{
    uint64_t v = 0;
    if (!Pe::Read(b, base, f, &v)) Refuse("truncated file");
    return v;
}

static void Put(Bytes& b, size_t base, Pe::Field f, uint64_t v) { Pe::Write(b, base, f, v); }

// --- Reading the input ---
struct Section {
    std::string name;
    uint32_t rva, virtualSize, rawOffset, rawSize, characteristics;
};

struct Image {
    Bytes file;
    size_t header, optional;            // offsets of the PE signature and of the optional header
    uint64_t imageBase;
    uint32_t entryRva, sizeOfImage, dirCount;
    std::vector<Section> sections;
    Bytes memory;                       // the image as the loader maps it, sizeOfImage bytes
};

// The first page holds the headers; the sections follow it.
static const uint32_t HeaderPage = 0x1000;

static uint32_t DirRva(const Image& im, Pe::Directory dir)
{
    return uint32_t(dir) < im.dirCount ? uint32_t(Get(im.file, im.optional, Pe::DirectoryRva(dir))) : 0;
}

static uint32_t DirSize(const Image& im, Pe::Directory dir)
{
    return uint32_t(dir) < im.dirCount ? uint32_t(Get(im.file, im.optional, Pe::DirectorySize(dir))) : 0;
}

static Image ReadImage(const Bytes& file)
{
    Image im;
    im.file = file;
    if (file.size() < Pe::DosHeaderSize || Get(file, 0, Pe::DosMagic) != Pe::DosSignature)
        Refuse("not a PE file (no MZ header)");
    im.header = Get(file, 0, Pe::NewHeader);
    if (Get(file, im.header, Pe::Signature) != Pe::PeSignature) Refuse("not a PE file (no PE signature)");
    uint32_t machine = uint32_t(Get(file, im.header, Pe::Machine));
    uint32_t count = uint32_t(Get(file, im.header, Pe::SectionCount));
    uint32_t optSize = uint32_t(Get(file, im.header, Pe::OptionalHeaderSize));
    im.optional = im.header + Pe::OptionalHeader;
    uint32_t magic = uint32_t(Get(file, im.optional, Pe::Magic));
    if (magic == Pe::Magic32 || machine == Pe::MachineI386)
        Refuse("a 32-bit image; only x86-64 (PE32+) images are packed");
    if (magic != Pe::Magic64 || machine != Pe::MachineAmd64) Refuse("not an x86-64 PE32+ image");
    if (Get(file, im.header, Pe::Characteristics) & Pe::FileDll) Refuse("a DLL; only programs are packed");
    im.entryRva = uint32_t(Get(file, im.optional, Pe::EntryPoint));
    im.imageBase = Get(file, im.optional, Pe::ImageBase);
    im.sizeOfImage = uint32_t(Get(file, im.optional, Pe::SizeOfImage));
    im.dirCount = uint32_t(Get(file, im.optional, Pe::DirectoryCount));
    if (im.dirCount > Pe::MaxDirectories || Pe::Directories + Pe::DirectoryEntrySize * im.dirCount > optSize)
        Refuse("a malformed optional header");
    if (im.sizeOfImage == 0 || im.sizeOfImage > (256u << 20)) Refuse("an image size out of range");
    if (count == 0 || count > PackMaxSections) Refuse("a section count out of range (1-" +
                                                      std::to_string(PackMaxSections) + ")");
    im.memory.assign(im.sizeOfImage, 0);
    size_t table = im.optional + optSize;
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = table + Pe::SectionEntrySize * i;
        Section s;
        if (!Pe::Fits(file, at, Pe::SectionEntrySize)) Refuse("truncated file");
        const char* name = (const char*)&file[at + Pe::SectionName.offset];
        s.name.assign(name, strnlen(name, Pe::SectionName.size));
        s.virtualSize = uint32_t(Get(file, at, Pe::VirtualSize));
        s.rva = uint32_t(Get(file, at, Pe::VirtualAddress));
        s.rawSize = uint32_t(Get(file, at, Pe::RawSize));
        s.rawOffset = uint32_t(Get(file, at, Pe::RawOffset));
        s.characteristics = uint32_t(Get(file, at, Pe::SectionFlags));
        if (s.rawSize && uint64_t(s.rawOffset) + s.rawSize > file.size())
            Refuse("section " + s.name + " lies beyond the end of the file");
        if (s.rva < HeaderPage || uint64_t(s.rva) + s.virtualSize > im.sizeOfImage ||
            (!im.sections.empty() && s.rva < im.sections.back().rva + im.sections.back().virtualSize))
            Refuse("section " + s.name + " lies outside the image or out of order");
        if ((s.characteristics & Pe::SectionExecute) && (s.characteristics & Pe::SectionWrite))
            Refuse("section " + s.name + " is both writable and executable");
        std::memcpy(&im.memory[s.rva], &file[s.rawOffset], std::min(s.rawSize, s.virtualSize));
        im.sections.push_back(s);
    }
    if (im.entryRva < HeaderPage || im.entryRva >= im.sizeOfImage) Refuse("an entry point outside the image");
    static const struct { Pe::Directory dir; const char* what; } carried[] = {
        {Pe::DirExport, "exports"}, {Pe::DirResource, "resources"}, {Pe::DirTls, "a TLS directory"},
        {Pe::DirLoadConfig, "a load configuration"}, {Pe::DirBoundImport, "bound imports"},
        {Pe::DirDelayImport, "delay-load imports"}, {Pe::DirClr, "a .NET header"}, {Pe::DirSecurity, "a signature"}};
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
    auto put32 = [&list](uint32_t v) { for (int i = 0; i < 4; ++i) list.push_back(uint8_t(v >> (8 * i))); };
    const uint32_t thunk = Pe::Thunk.size;
    uint32_t rva = DirRva(im, Pe::DirImport), size = DirSize(im, Pe::DirImport);
    for (uint32_t d = rva; size; d += Pe::ImportDescriptorSize) {
        At(im, d, Pe::ImportDescriptorSize, "an import descriptor");
        uint32_t lookup = uint32_t(Get(im.memory, d, Pe::ImportLookup));
        uint32_t nameRva = uint32_t(Get(im.memory, d, Pe::ImportDllName));
        uint32_t slots = uint32_t(Get(im.memory, d, Pe::ImportSlots));
        if (!nameRva && !slots) { Clear(im, rva, d + Pe::ImportDescriptorSize - rva); break; }
        if (!lookup) lookup = slots;
        std::string dll = NameAt(im, nameRva);
        put32(slots);
        list.insert(list.end(), dll.begin(), dll.end());
        list.push_back(0);
        uint32_t n = 0;
        for (;; ++n) {
            At(im, lookup + thunk * n, thunk, "an import lookup entry");
            uint64_t e = Get(im.memory, lookup + thunk * n, Pe::Thunk);
            if (!e) break;
            if (e & Pe::ThunkByOrdinal) Refuse("an import by ordinal (" + dll + "), which the packer does not carry");
            std::string name = NameAt(im, uint32_t(e) + Pe::HintSize);
            uint32_t hash = PackNameHash(name.c_str());
            if (hash == 0) Refuse("an import name whose hash is the list's end (" + name + ")");
            put32(hash);
            Clear(im, uint32_t(e), uint32_t(Pe::HintSize + name.size() + 1));
        }
        put32(0);
        Clear(im, lookup, thunk * (n + 1));
        Clear(im, slots, thunk * (n + 1));
        Clear(im, nameRva, uint32_t(dll.size() + 1));
    }
    put32(0);
    if (list.size() > PackMaxImportBytes) Refuse("an import list over 8 KiB");
    return list;
}

static void CheckRelocations(const Image& im)
{
    uint32_t rva = DirRva(im, Pe::DirReloc), size = DirSize(im, Pe::DirReloc);
    At(im, rva, size, "the relocations");
    const uint32_t entry = Pe::RelocEntry.size;
    for (uint32_t at = 0; at < size;) {
        if (size - at < Pe::RelocBlockHeader) Refuse("a truncated relocation block");
        uint32_t page = uint32_t(Get(im.memory, rva + at, Pe::RelocPage));
        uint32_t block = uint32_t(Get(im.memory, rva + at, Pe::RelocBlockSize));
        if (block < Pe::RelocBlockHeader || block > size - at || block % entry) Refuse("a malformed relocation block");
        for (uint32_t i = Pe::RelocBlockHeader; i + entry <= block; i += entry) {
            uint32_t e = uint32_t(Get(im.memory, rva + at + i, Pe::RelocEntry)), type = e >> 12;
            if (type != Pe::RelocAbsolute && type != Pe::RelocDir64)
                Refuse("a relocation of a kind other than a 64-bit address");
            uint64_t end = uint64_t(page) + (e & Pe::RelocOffsetMask) + sizeof(uint64_t);   // of the address moved
            if (type == Pe::RelocDir64 && end > im.sizeOfImage) Refuse("a relocation outside the image");
        }
        at += block;
    }
}

// --- Coding ---
// One piece of the stream, coded with the models of its kind.
struct Piece {
    std::string name;
    int kind;
    Bytes bytes;         // as coded: code with its operands made absolute
    Bytes plain;         // as the depacker rebuilds them
    uint32_t rva = 0;
    uint32_t cost = 0;   // the bytes of stream it took
};

// A model in zeroed memory, as the depacker makes one, with the opcode classes it decodes
// from the header.
static void NewModel(std::vector<uint8_t>& memory, const PackModelParams& params)
{
    static uint8_t classes[512];
    PackOpcodeClasses(classes);
    memory.assign(PackModelBytes(&params), 0);
    PackStart(memory.data(), &params, classes);
}

static Bytes Encode(std::vector<Piece>& pieces, const PackModelParams& params)
{
    std::vector<uint8_t> memory;
    NewModel(memory, params);
    size_t total = 0;
    for (const Piece& piece : pieces) total += piece.bytes.size();
    Bytes out(12 * total + 4);
    PackEncoder e;
    PackEncoderStart(&e, out.data());
    for (Piece& piece : pieces) {
        uint32_t before = e.size;
        PackEncodeBytes(memory.data(), &e, piece.kind, piece.bytes.data(), uint32_t(piece.bytes.size()));
        piece.cost = e.size - before;
    }
    PackEncoderFlush(&e);
    out.resize(e.size);
    return out;
}

// Decodes the stream with the depacker's own routines, its code filter's included; a packer
// that wrote what does not decode to its input would make a program that fails at its first
// instruction.
static void Verify(const std::vector<Piece>& pieces, const PackModelParams& params, Bytes stream)
{
    std::vector<uint8_t> memory;
    NewModel(memory, params);
    stream.resize(stream.size() + 4);   // the decoder reads ahead
    PackDecodeStart(memory.data(), stream.data());
    for (const Piece& piece : pieces) {
        Bytes bytes(piece.bytes.size());
        uint64_t parser = PackParserState(memory.data());
        PackDecode(memory.data(), piece.kind, bytes.data(), uint32_t(bytes.size()));
        if (piece.kind == 0) {
            uint64_t after = PackParserState(memory.data());
            PackSetParserState(memory.data(), parser);
            PackUnfilter(memory.data(), bytes.data(), uint32_t(bytes.size()), piece.rva);
            if (PackParserState(memory.data()) != after) Refuse("a fault of the packer: the filter parses " + piece.name + " otherwise");
        }
        if (bytes != piece.plain) Refuse("a fault of the packer: the stream does not decode to " + piece.name);
    }
}

// Masks found by --search on the game (code: the opcode and its neighbours; data: records,
// text and the song's rows and samples). Since the code filter makes RIP-relative operands
// absolute, twelve models for code pay (27 bytes for the last two); the data's twelfth adds
// next to nothing, and every model costs the depacker time. A table of 4 Mi slots (16 MiB)
// codes within 0.1 % of one of 16 Mi and starts in a third of the time.
static const PackModelParams DefaultParams = {
    {12, 11},
    {{0x00, 0x01, 0x19, 0x71, 0x0E, 0x03, 0xC5, 0x92, 0x02, 0x04, 0x31, 0x05},
     {0x00, 0x01, 0x1D, 0x03, 0x95, 0x0F, 0x49, 0xB2, 0x88, 0x06, 0x07, 0x0D}},
    22};

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
    if (DirSize(im, Pe::DirImport)) {
        uint32_t descriptor = DirRva(im, Pe::DirImport);
        At(im, descriptor, Pe::ImportDllName.offset + Pe::ImportDllName.size, "an import descriptor");
        if (Get(im.memory, descriptor, Pe::ImportDllName)) Refuse("the depacker imports functions itself");
    }
    inputName = saved;
    return stub;
}

static uint32_t Align(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// The depacker's data, as src/pack/depacker.S reads it (pack_image.h).
enum { StubSlots = 6 };  // LoadLibraryA, GetProcAddress, VirtualAlloc, VirtualProtect, VirtualFree, end
static_assert(StubSlots * 8 == D_PARAMS && D_VIRTUALFREE == 8 * 4, "the slots as depacker.S reads them");
static const char* const StubImports[] = {"LoadLibraryA", "GetProcAddress", "VirtualAlloc",
                                          "VirtualProtect", "VirtualFree"};

static Bytes PackedFile(const Image& im, const Stub& stub, const PackModelParams& params, const Bytes& stream,
                        uint64_t imageBase)
{
    const uint32_t fileAlign = 0x200, sectionAlign = 0x1000, headers = 0x200;
    const uint32_t stubRva = Align(im.sizeOfImage, sectionAlign), thunk = Pe::Thunk.size;
    const size_t pe = Pe::DosHeaderSize, opt = pe + Pe::OptionalHeader, table = opt + Pe::OptionalHeaderSize64;
    Bytes f(headers, 0);
    // The depacker's section: code, slots + model settings + stream, relocations.
    Bytes sec = stub.code;
    uint32_t slots = uint32_t(sec.size());
    sec.resize(slots + thunk * StubSlots);
    sec.insert(sec.end(), (const uint8_t*)&params, (const uint8_t*)&params + sizeof params);
    sec.insert(sec.end(), stream.begin(), stream.end());
    // Its import table lies in the headers' unused bytes (the headers are mapped at RVA 0):
    // the descriptors after the section table, the names there and in the DOS header, of
    // which the loader reads only the signature and the offset of the PE header.
    size_t free[2][2] = {{table + 2 * Pe::SectionEntrySize + 2 * Pe::ImportDescriptorSize, headers},
                         {2, Pe::NewHeader.offset}};
    auto place = [&](const char* text, uint32_t before, uint32_t align) {
        size_t size = before + std::strlen(text) + 1;
        for (auto& range : free) {
            size_t at = Align(uint32_t(range[0]), align);
            if (at + size > range[1]) continue;
            std::memcpy(&f[at + before], text, size - before);
            range[0] = at + size;
            return uint32_t(at);
        }
        Refuse("a fault of the packer: the depacker's imports do not fit in the headers");
    };
    const uint32_t descriptors = uint32_t(table + 2 * Pe::SectionEntrySize);   // KERNEL32's, and the empty one
    for (int i = 0; i < StubSlots - 1; ++i) Put(sec, slots + thunk * i, Pe::Thunk, place(StubImports[i], Pe::HintSize, 2));
    Put(f, descriptors, Pe::ImportDllName, place("KERNEL32.dll", 0, 1));
    Put(f, descriptors, Pe::ImportSlots, stubRva + slots);
    // No address in the depacker needs moving, but a movable image needs a (here empty)
    // relocation table for the loader to move it.
    uint32_t dllFlags = uint32_t(Get(im.file, im.optional, Pe::DllCharacteristics));
    bool movable = dllFlags & Pe::DynamicBase;
    uint32_t relocs = 0;
    if (movable) {
        sec.resize(Align(uint32_t(sec.size()), 4));
        relocs = uint32_t(sec.size());
        Put(sec, relocs, Pe::RelocPage, stubRva);
        Put(sec, relocs, Pe::RelocBlockSize, Pe::RelocBlockHeader);
    }
    uint32_t secSize = uint32_t(sec.size()), secRaw = Align(secSize, fileAlign);
    sec.resize(secRaw);

    Put(f, 0, Pe::DosMagic, Pe::DosSignature);
    Put(f, 0, Pe::NewHeader, pe);
    Put(f, pe, Pe::Signature, Pe::PeSignature);
    Put(f, pe, Pe::Machine, Pe::MachineAmd64);
    Put(f, pe, Pe::SectionCount, 2);
    Put(f, pe, Pe::OptionalHeaderSize, Pe::OptionalHeaderSize64);
    Put(f, opt, Pe::Magic, Pe::Magic64);
    Put(f, opt, Pe::SizeOfCode, secRaw);
    Put(f, opt, Pe::SizeOfUninitializedData, im.sizeOfImage - HeaderPage);
    Put(f, opt, Pe::EntryPoint, stubRva + stub.entry);
    Put(f, opt, Pe::BaseOfCode, stubRva);
    Put(f, opt, Pe::ImageBase, imageBase);
    Put(f, opt, Pe::SectionAlignment, sectionAlign);
    Put(f, opt, Pe::FileAlignment, fileAlign);
    Put(f, opt, Pe::SizeOfImage, stubRva + Align(secSize, sectionAlign));
    Put(f, opt, Pe::SizeOfHeaders, headers);
    Put(f, opt, Pe::DirectoryCount, Pe::MaxDirectories);
    // As the input's: what it is, what it was linked with and for, and what it asks of the loader.
    Put(f, pe, Pe::Characteristics, Get(im.file, im.header, Pe::Characteristics));
    for (Pe::Field o : {Pe::LinkerVersion, Pe::OsVersion, Pe::ImageVersion, Pe::SubsystemVersion,
                        Pe::Win32VersionValue, Pe::Subsystem, Pe::DllCharacteristics, Pe::StackReserve,
                        Pe::StackCommit, Pe::HeapReserve, Pe::HeapCommit, Pe::LoaderFlags})
        Put(f, opt, o, Get(im.file, im.optional, o));
    auto dir = [&](Pe::Directory d, uint32_t rva, uint32_t size) {
        Put(f, opt, Pe::DirectoryRva(d), rva);
        Put(f, opt, Pe::DirectorySize(d), size);
    };
    dir(Pe::DirImport, descriptors, 2 * Pe::ImportDescriptorSize);
    dir(Pe::DirException, DirRva(im, Pe::DirException), DirSize(im, Pe::DirException));
    if (movable) dir(Pe::DirReloc, stubRva + relocs, Pe::RelocBlockHeader);
    dir(Pe::DirIat, stubRva + slots, thunk * StubSlots);
    // The rebuilt image: read-write until the depacker gives each section its own protection.
    std::memcpy(&f[table + Pe::SectionName.offset], ".image", 6);
    Put(f, table, Pe::VirtualSize, stubRva - HeaderPage);
    Put(f, table, Pe::VirtualAddress, HeaderPage);
    Put(f, table, Pe::SectionFlags, Pe::SectionUninitializedData | Pe::SectionRead | Pe::SectionWrite);
    const size_t depack = table + Pe::SectionEntrySize;
    std::memcpy(&f[depack + Pe::SectionName.offset], ".depack", 7);
    Put(f, depack, Pe::VirtualSize, secSize);
    Put(f, depack, Pe::VirtualAddress, stubRva);
    Put(f, depack, Pe::RawSize, secRaw);
    Put(f, depack, Pe::RawOffset, headers);
    Put(f, depack, Pe::SectionFlags, Pe::SectionCode | Pe::SectionExecute | Pe::SectionRead);
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
// Windows' page protections, which the depacker gives the sections once rebuilt.
static const uint32_t PageReadOnly = 0x02, PageReadWrite = 0x04, PageExecuteRead = 0x20;

static std::vector<Piece> Pieces(Image& im, PackHeader& header)
{
    std::vector<Piece> pieces;
    Bytes imports = ImportList(im);
    CheckRelocations(im);
    header = PackHeader();
    header.imageBase = im.imageBase;
    header.entryRva = im.entryRva;
    header.relocRva = DirRva(im, Pe::DirReloc);
    header.relocSize = DirSize(im, Pe::DirReloc);
    header.importBytes = uint32_t(imports.size());
    header.sectionCount = uint32_t(im.sections.size());
    PackOpcodeClasses(header.classes);
    // The filter parses the code as the model will: from the state in which the last piece of
    // code left it (a model of its own, since only the parser is used).
    std::vector<uint8_t> parser;
    NewModel(parser, {{1, 1}, {{0}, {0}}, 0});
    pieces.push_back({"header", 1, {}, {}});
    pieces.push_back({"imports", 1, imports, imports});
    for (size_t i = 0; i < im.sections.size(); ++i) {
        const Section& s = im.sections[i];
        uint32_t raw = std::min(s.rawSize, s.virtualSize);
        while (raw && im.memory[s.rva + raw - 1] == 0) --raw;  // trailing zeros are the loader's
        bool code = s.characteristics & Pe::SectionExecute;
        PackSection& ps = header.sections[i];
        ps.rva = s.rva;
        ps.rawSize = raw;
        ps.virtualSize = s.virtualSize;
        ps.flags = code ? PageExecuteRead
                        : PackSectionData | ((s.characteristics & Pe::SectionWrite) ? PageReadWrite : PageReadOnly);
        Bytes plain(im.memory.begin() + s.rva, im.memory.begin() + s.rva + raw), bytes = plain;
        if (code) PackFilter(parser.data(), bytes.data(), raw, s.rva);
        pieces.push_back({s.name, code ? 0 : 1, bytes, plain, s.rva});
    }
    pieces[0].bytes.assign((const uint8_t*)&header, (const uint8_t*)&header + sizeof header);
    pieces[0].plain = pieces[0].bytes;
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
            auto began = std::chrono::steady_clock::now();
            Verify(pieces, DefaultParams, stream);
            double decodeMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
            for (const Piece& p : pieces) std::printf("  %-8s %6zu -> %6u\n", p.name.c_str(), p.bytes.size(), p.cost);
            std::printf("stream %zu (decoded in %.0f ms)\n", stream.size(), decodeMs);
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
