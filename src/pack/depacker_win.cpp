// The depacker: the entry point of the packed program. It decodes the original image into
// place, resolves its imports, moves its addresses if the image was loaded elsewhere, gives
// every section its own protection and jumps to the original entry point.
//
// Built as a stub program of code only (no data, no imports, no runtime): korvapack copies
// its code into the packed program and writes the depacker's data where the marker is,
// right after it; the code reaches that data and nothing else by RIP-relative addresses.
#include "pack/pack_image.h"
#include "pack/pack_model.h"

// What korvapack writes after the code: the import slots the system loader fills, the
// model's settings, the coded stream.
struct StubData {
    void* (*loadLibrary)(const char*);
    void* (*getProcAddress)(void*, const char*);
    uint8_t* (*virtualAlloc)(void*, uint64_t, uint32_t, uint32_t);
    int (*virtualProtect)(void*, uint64_t, uint32_t, uint32_t*);
    int (*virtualFree)(void*, uint64_t, uint32_t);
    void* end;
    PackModelParams model;
    uint8_t stream[1];
};
extern "C" const StubData DepackerData;
asm(".section .text$zzz,\"xr\"\n"
    ".p2align 3\n"
    ".globl DepackerData\n"
    "DepackerData:\n"
    ".ascii \"KorvaPak\"\n"
    ".text\n");

extern "C" uint32_t DepackerEntry()
{
    const StubData* data = &DepackerData;
    uint8_t* peb;
    asm("movq %%gs:0x60, %0" : "=r"(peb));
    uint8_t* base = *(uint8_t**)(peb + 0x10);   // the process's image base

    // Fresh pages are zeroed, as the model's table must start.
    uint32_t modelBytes = PackModelBytes(&data->model);
    uint8_t* scratch = data->virtualAlloc(nullptr, modelBytes + sizeof(PackHeader) + PackMaxImportBytes,
                                          0x3000, 0x04);   // MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE
    if (!scratch) return 0xC0000017;                        // STATUS_NO_MEMORY
    PackHeader* h = (PackHeader*)(scratch + modelBytes);
    PackModel* m = PackModelInit(scratch, &data->model, h->classes);
    PackDecoder d;
    PackDecoderStart(&d, data->stream);
    PackDecodeBytes(m, &d, 1, (uint8_t*)h, sizeof *h);
    char* imports = (char*)(h + 1);
    PackDecodeBytes(m, &d, 1, (uint8_t*)imports, h->importBytes);
    for (uint32_t i = 0; i < h->sectionCount; ++i) {
        const PackSection& s = h->sections[i];
        int code = (s.flags & PackSectionCode) != 0;
        PackDecodeBytes(m, &d, !code, base + s.rva, s.rawSize);
        if (code) PackFilterCode(base + s.rva, s.rawSize, s.rva, 1);
    }
    uint32_t status = PackResolveImports(base, imports, data->loadLibrary, data->getProcAddress);
    if (status) return status;
    PackApplyRelocations(base, h->relocRva, h->relocSize, uint64_t(base) - h->imageBase);
    for (uint32_t i = 0; i < h->sectionCount; ++i) {
        uint32_t old;
        data->virtualProtect(base + h->sections[i].rva, h->sections[i].virtualSize,
                             h->sections[i].flags & 0xFF, &old);
    }
    uint32_t entry = h->entryRva;
    data->virtualFree(scratch, 0, 0x8000);                  // MEM_RELEASE
    return ((uint32_t(*)())(base + entry))();
}
