// texgen OUT.png [--raw OUT.rgb]
// Runs the built-in texture script and writes the 256x256 upload texture as PNG,
// and as raw R,G,B bytes row-major when asked.
#include <cstdio>
#include <cstring>
#include <string>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

#include "content/texture_script.h"

static int Usage()
{
    std::fprintf(stderr, "usage: texgen OUT.png [--raw OUT.rgb]\n");
    return 1;
}

static bool WriteRaw(const char* path)
{
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(UploadSlot.pixels, 1, sizeof UploadSlot.pixels, f) ==
                    sizeof UploadSlot.pixels;
    return std::fclose(f) == 0 && ok;
}

int main(int argc, char** argv)
{
    const char* png = nullptr;
    const char* raw = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--raw") == 0) {
            if (++i >= argc || raw)
                return Usage();
            raw = argv[i];
        } else if (argv[i][0] == '-' || png) {
            return Usage();
        } else {
            png = argv[i];
        }
    }
    if (!png)
        return Usage();

    RunTextureScript();

    if (!stbi_write_png(png, TextureSize, TextureSize, 3, UploadSlot.pixels, TextureSize * 3)) {
        std::fprintf(stderr, "texgen: cannot write %s\n", png);
        return 1;
    }
    if (raw && !WriteRaw(raw)) {
        std::fprintf(stderr, "texgen: cannot write %s\n", raw);
        return 1;
    }
    return 0;
}
