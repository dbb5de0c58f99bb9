// The song, linked into the program's data from assets/song.xm at build time.
#include "music/xm.h"

#define KORVA_STRING2(x) #x
#define KORVA_STRING(x) KORVA_STRING2(x)

#if defined(_WIN32)
#define KORVA_READ_ONLY_SECTION ".section .rdata,\"dr\"\n"
#else
#define KORVA_READ_ONLY_SECTION ".section .rodata\n"
#endif

__asm__(KORVA_READ_ONLY_SECTION
        ".balign 16\n"
        ".globl SongImage\n"
        "SongImage:\n"
        ".incbin \"" KORVA_STRING(KORVA_SONG_PATH) "\"\n"
        ".globl SongImageEnd\n"
        "SongImageEnd:\n"
        ".byte 0\n"
        ".text\n");
