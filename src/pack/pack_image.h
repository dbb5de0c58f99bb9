// What the depacker rebuilds besides the bytes: the layout it decodes into, the imports
// and the relocations. Shared with the packer, which writes the same records, and with the
// native tests, which run the same steps on a buffer.
#pragma once
#include <stdint.h>

enum {
    PackMaxSections = 12,
    PackMaxImportBytes = 65536,
    PackSectionCode = 0x100,       // in PackSection::flags, beside the page protection
    PackDllNotFound = 0xC0000135,  // the exit codes the system loader gives such a process
    PackEntryNotFound = 0xC0000139,
};

struct PackSection {
    uint32_t rva, rawSize, virtualSize; // rawSize bytes are coded, the rest stays zero
    uint32_t flags;                     // page protection | PackSectionCode
};

// The first record of the coded stream.
struct PackHeader {
    uint64_t imageBase;                 // the base the image was linked for
    uint32_t entryRva, relocRva, relocSize;
    uint32_t importBytes;               // the import list that follows this record
    uint32_t sectionCount;
    PackSection sections[PackMaxSections];
    uint8_t classes[512];               // the code's instruction classes (pack_model.h)
};

// Little-endian, as on both sides (x86-64): one move.
static inline uint32_t PackRead32(const uint8_t* p)
{
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}

typedef void* (*PackLoadLibrary)(const char* name);
typedef void* (*PackGetProcAddress)(void* module, const char* name);

// Fills the import slots from the list: for each library the RVA of its first slot (4
// bytes), its name, the names of its functions, an empty name; an RVA of 0 ends the list.
// Returns 0, or the system's status for a library or a function that is not there.
static inline uint32_t PackResolveImports(uint8_t* base, const char* list, PackLoadLibrary load,
                                          PackGetProcAddress find)
{
    for (;;) {
        uint32_t rva = PackRead32((const uint8_t*)list);
        if (rva == 0) return 0;
        list += 4;
        void* module = load(list);
        if (!module) return PackDllNotFound;
        while (*list++) {}
        for (void** slot = (void**)(base + rva); *list; ++slot) {
            if (!(*slot = find(module, list))) return PackEntryNotFound;
            while (*list++) {}
        }
        ++list;
    }
}

// Moves every 64-bit address of the base relocation blocks by `delta`; the packer has
// checked that the blocks hold nothing but such addresses and padding.
static inline void PackApplyRelocations(uint8_t* base, uint32_t rva, uint32_t size, uint64_t delta)
{
    for (uint8_t *p = base + rva, *end = p + size; p < end; p += PackRead32(p + 4)) {
        uint32_t page = PackRead32(p), blockSize = PackRead32(p + 4);
        for (uint32_t i = 8; i + 2 <= blockSize; i += 2) {
            uint32_t entry = uint32_t(p[i]) | uint32_t(p[i + 1]) << 8;
            if (entry >> 12 == 10) *(uint64_t*)(base + page + (entry & 0xFFF)) += delta;
        }
    }
}
