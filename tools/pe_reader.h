// The fields of a PE32+ (x86-64 Windows) image the packer reads and writes, named by the
// layout Microsoft's PE format gives them, with little-endian reads that refuse what lies
// past the end and writes that grow the buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Pe {

// A field: where it lies in its structure, and its width in bytes (1 to 8).
struct Field {
    uint32_t offset, size;
};

// --- The DOS header, at the start of the file ---
constexpr uint32_t DosHeaderSize = 64;
constexpr Field DosMagic{0x00, 2};
constexpr Field NewHeader{0x3C, 4};             // e_lfanew: where the PE signature lies
constexpr uint32_t DosSignature = 0x5A4D;       // "MZ"

// --- The PE signature and the file header, from the signature ---
constexpr Field Signature{0, 4};
constexpr Field Machine{4, 2};
constexpr Field SectionCount{6, 2};
constexpr Field OptionalHeaderSize{20, 2};
constexpr Field Characteristics{22, 2};
constexpr uint32_t OptionalHeader = 24;         // where the optional header starts
constexpr uint32_t PeSignature = 0x4550;        // "PE\0\0"
constexpr uint32_t MachineAmd64 = 0x8664, MachineI386 = 0x14C;
constexpr uint32_t FileDll = 0x2000;            // in Characteristics

// --- The PE32+ optional header, from its start ---
constexpr Field Magic{0, 2};
constexpr Field LinkerVersion{2, 2};
constexpr Field SizeOfCode{4, 4};
constexpr Field SizeOfUninitializedData{12, 4};
constexpr Field EntryPoint{16, 4};
constexpr Field BaseOfCode{20, 4};
constexpr Field ImageBase{24, 8};
constexpr Field SectionAlignment{32, 4};
constexpr Field FileAlignment{36, 4};
constexpr Field OsVersion{40, 4};               // major and minor, 2 bytes each, as the three below
constexpr Field ImageVersion{44, 4};
constexpr Field SubsystemVersion{48, 4};
constexpr Field Win32VersionValue{52, 4};
constexpr Field SizeOfImage{56, 4};
constexpr Field SizeOfHeaders{60, 4};
constexpr Field Subsystem{68, 2};
constexpr Field DllCharacteristics{70, 2};
constexpr Field StackReserve{72, 8};
constexpr Field StackCommit{80, 8};
constexpr Field HeapReserve{88, 8};
constexpr Field HeapCommit{96, 8};
constexpr Field LoaderFlags{104, 4};
constexpr Field DirectoryCount{108, 4};         // NumberOfRvaAndSizes
constexpr uint32_t Directories = 112, DirectoryEntrySize = 8, MaxDirectories = 16;
constexpr uint32_t OptionalHeaderSize64 = Directories + MaxDirectories * DirectoryEntrySize;
constexpr uint32_t Magic32 = 0x10B, Magic64 = 0x20B;
constexpr uint32_t DynamicBase = 0x40;          // in DllCharacteristics: the image may be moved

// The data directories, in their order in the optional header.
enum Directory {
    DirExport, DirImport, DirResource, DirException, DirSecurity, DirReloc, DirDebug, DirArch,
    DirGlobalPtr, DirTls, DirLoadConfig, DirBoundImport, DirIat, DirDelayImport, DirClr
};

constexpr Field DirectoryRva(Directory d) { return {Directories + DirectoryEntrySize * d, 4}; }
constexpr Field DirectorySize(Directory d) { return {Directories + DirectoryEntrySize * d + 4, 4}; }

// --- A section table entry ---
constexpr uint32_t SectionEntrySize = 40;
constexpr Field SectionName{0, 8};
constexpr Field VirtualSize{8, 4};
constexpr Field VirtualAddress{12, 4};
constexpr Field RawSize{16, 4};                 // SizeOfRawData
constexpr Field RawOffset{20, 4};               // PointerToRawData
constexpr Field SectionFlags{36, 4};
constexpr uint32_t SectionCode = 0x20, SectionUninitializedData = 0x80, SectionExecute = 0x20000000,
                   SectionRead = 0x40000000, SectionWrite = 0x80000000;

// --- An import descriptor, and the 64-bit lookup and address entries it points to ---
constexpr uint32_t ImportDescriptorSize = 20;
constexpr Field ImportLookup{0, 4};             // OriginalFirstThunk: the names (0: use the slots)
constexpr Field ImportDllName{12, 4};
constexpr Field ImportSlots{16, 4};             // FirstThunk: what the loader fills in
constexpr Field Thunk{0, 8};
constexpr uint64_t ThunkByOrdinal = uint64_t(1) << 63;
constexpr uint32_t HintSize = 2;                // before each imported name

// --- A base relocation block ---
constexpr uint32_t RelocBlockHeader = 8;
constexpr Field RelocPage{0, 4};
constexpr Field RelocBlockSize{4, 4};
constexpr Field RelocEntry{0, 2};               // the type in the top 4 bits, the page offset below
constexpr uint32_t RelocAbsolute = 0, RelocDir64 = 10, RelocOffsetMask = 0xFFF;

// Whether `size` bytes at `at` lie within `b`.
inline bool Fits(const std::vector<uint8_t>& b, size_t at, size_t size)
{
    return at <= b.size() && b.size() - at >= size;
}

// Reads the field of the structure at `base` into `v`; false, and `v` untouched, when it
// does not lie within `b`.
inline bool Read(const std::vector<uint8_t>& b, size_t base, Field f, uint64_t* v)
{
    if (base > SIZE_MAX - f.offset || !Fits(b, base + f.offset, f.size)) return false;
    uint64_t value = 0;
    for (uint32_t i = f.size; i-- > 0;) value = value << 8 | b[base + f.offset + i];
    *v = value;
    return true;
}

// Writes the field of the structure at `base`, growing `b` to hold it.
inline void Write(std::vector<uint8_t>& b, size_t base, Field f, uint64_t v)
{
    const size_t at = base + f.offset;
    if (b.size() < at + f.size) b.resize(at + f.size);
    for (uint32_t i = 0; i < f.size; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

}  // namespace Pe
