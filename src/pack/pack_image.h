// What the depacker rebuilds besides the bytes: the layout it decodes into, the imports and
// the relocations, and the data korvapack writes after its code. Read by depacker.S (as the
// assembler's constants) and by the packer, which writes the same records.
#pragma once

#define PACK_MAX_SECTIONS 12
#define PACK_MAX_IMPORT_BYTES 8192
#define PACK_SECTION_DATA 0x100       // in a section's flags, beside the page protection: coded as data
#define PACK_DLL_NOT_FOUND 0xC0000135 // the exit codes the system loader gives such a process
#define PACK_ENTRY_NOT_FOUND 0xC0000139

// The first record of the coded stream (struct PackHeader); the import list follows it.
#define H_IMAGEBASE 0                 // the base the image was linked for
#define H_ENTRYRVA 8
#define H_RELOCRVA 12
#define H_RELOCSIZE 16
#define H_IMPORTBYTES 20
#define H_SECTIONCOUNT 24
#define H_SECTIONS 28                 // PACK_MAX_SECTIONS records, then one of zeros that ends them:
#define S_RVA 0                       //   rawSize bytes at rva are coded, the rest stays zero
#define S_RAWSIZE 4
#define S_VIRTUALSIZE 8
#define S_FLAGS 12                    //   page protection | PACK_SECTION_DATA
#define S_KIND 13                     //   (its second byte: the kind, 0 code, 1 data)
#define S_SIZE 16
#define H_CLASSES (H_SECTIONS + (PACK_MAX_SECTIONS + 1) * S_SIZE)   // the code's instruction classes
#define PACK_HEADER_BYTES 752

// The depacker's data after its code: the import slots the system loader fills (and the
// null slot that ends them), the model's settings, the coded stream.
#define D_LOADLIBRARY 0
#define D_GETPROCADDRESS 8
#define D_VIRTUALALLOC 16
#define D_VIRTUALPROTECT 24
#define D_VIRTUALFREE 32
#define D_PARAMS 48
#define D_STREAM (D_PARAMS + PACK_PARAMS_BYTES)

#ifndef __ASSEMBLER__
#include <stdint.h>

enum { PackMaxSections = PACK_MAX_SECTIONS, PackMaxImportBytes = PACK_MAX_IMPORT_BYTES, PackSectionData = PACK_SECTION_DATA };

struct PackSection {
    uint32_t rva, rawSize, virtualSize, flags;
};

struct PackHeader {
    uint64_t imageBase;
    uint32_t entryRva, relocRva, relocSize;
    uint32_t importBytes;   // the import list that follows: for each library the RVA of its
                            // first slot (4 bytes), its name, its functions' name hashes (4
                            // bytes each), a hash of 0; an RVA of 0 ends it
    uint32_t sectionCount;
    PackSection sections[PackMaxSections + 1];
    uint8_t classes[512];
};
// A function's name as the import list carries it (FNV-1a's step from 0, the name's final
// zero included); the depacker finds the name among the library's exports by it.
static inline uint32_t PackNameHash(const char* name)
{
    uint32_t h = 0;
    do h = (h ^ uint8_t(*name)) * 0x01000193u;
    while (*name++);
    return h;
}

static_assert(sizeof(PackHeader) == PACK_HEADER_BYTES && __builtin_offsetof(PackHeader, sections) == H_SECTIONS &&
              __builtin_offsetof(PackHeader, classes) == H_CLASSES && __builtin_offsetof(PackHeader, sectionCount) == H_SECTIONCOUNT,
              "the header as depacker.S reads it");
#endif
