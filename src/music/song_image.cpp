// The song, linked into the program's data from assets/song.xm at build time.
#include "music/xm.h"

#define KORVA_STRING2(x) #x
#define KORVA_STRING(x) KORVA_STRING2(x)

#if defined(_WIN32)
#define KORVA_READ_ONLY_SECTION ".section .rdata,\"dr\"\n"
#define KORVA_DATA_SYMBOL(name, size) ""
#elif defined(__wasm__)
// WebAssembly objects give each data symbol its own section, type and size.
#define KORVA_READ_ONLY_SECTION ".section .rodata.korvasong,\"\",@\n"
#define KORVA_DATA_SYMBOL(name, size) ".type " #name ",@object\n.size " #name ", " size "\n"
#else
#define KORVA_READ_ONLY_SECTION ".section .rodata\n"
#define KORVA_DATA_SYMBOL(name, size) ""
#endif

// C names carry the target's label prefix (an underscore on 32-bit Windows).
#define KORVA_LABEL(name) KORVA_STRING(__USER_LABEL_PREFIX__) #name

__asm__(KORVA_READ_ONLY_SECTION
        ".balign 16\n"
        ".globl " KORVA_LABEL(SongImage) "\n"
        KORVA_LABEL(SongImage) ":\n"
        ".incbin \"" KORVA_STRING(KORVA_SONG_PATH) "\"\n"
        ".globl " KORVA_LABEL(SongImageEnd) "\n"
        KORVA_LABEL(SongImageEnd) ":\n"
        ".byte 0\n"
        KORVA_DATA_SYMBOL(SongImage, "SongImageEnd - SongImage")
        KORVA_DATA_SYMBOL(SongImageEnd, "1")
        ".text\n");
