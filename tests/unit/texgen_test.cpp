#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "content/texture_script.h"

namespace {

std::string TempDir()
{
    char pattern[] = "/tmp/texgen-test-XXXXXX";
    return mkdtemp(pattern);
}

int RunTexgen(const std::string& arguments)
{
    const std::string command = std::string(TEXGEN_PATH) + " " + arguments + " 2>/dev/null";
    return WEXITSTATUS(std::system(command.c_str()));
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Texgen, WritesTheUploadTextureAsPngAndRaw)
{
    const std::string dir = TempDir();
    ASSERT_EQ(RunTexgen(dir + "/t.png --raw " + dir + "/t.rgb"), 0);

    const std::vector<uint8_t> raw = ReadFile(dir + "/t.rgb");
    ASSERT_EQ(raw.size(), 256u * 256u * 3u);
    EXPECT_EQ(raw[0], 253);
    EXPECT_EQ(raw[1], 148);
    EXPECT_EQ(raw[2], 123);
    RunTextureScript();
    EXPECT_EQ(0, std::memcmp(raw.data(), UploadSlot.pixels, raw.size()));

    const std::vector<uint8_t> png = ReadFile(dir + "/t.png");
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
    std::system(("rm -rf " + dir).c_str());
}

TEST(Texgen, RefusesBadArguments)
{
    EXPECT_EQ(RunTexgen(""), 1);
    EXPECT_EQ(RunTexgen("a.png b.png"), 1);
    EXPECT_EQ(RunTexgen("a.png --raw"), 1);
    EXPECT_EQ(RunTexgen("a.png --bogus"), 1);
    EXPECT_EQ(RunTexgen("/nonexistent-dir/t.png"), 1);
}

}  // namespace
