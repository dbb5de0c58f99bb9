// Matrices and random numbers, meshes, the texture script and the texture upload's images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "content/mesh.h"
#include "content/texture_image.h"
#include "content/texture_script.h"
#include "core/matrix.h"
#include "core/random.h"

typedef std::vector<float> Floats;
typedef std::vector<int32_t> Ints;
uint64_t Fnv(const void* data, size_t size, uint64_t h = 0xCBF29CE484222325ull);  // music_test.cpp

// --- Matrices and random numbers ---
// The row vector v times m, the translation row included.
static void ExpectImage(const Matrix4& m, Vec3 v, Vec3 e, const char* what)
{
    EXPECT_NEAR(v.x * m(0, 0) + v.y * m(1, 0) + v.z * m(2, 0) + m(3, 0), e.x, 1e-5f) << what;
    EXPECT_NEAR(v.x * m(0, 1) + v.y * m(1, 1) + v.z * m(2, 1) + m(3, 1), e.y, 1e-5f) << what;
    EXPECT_NEAR(v.x * m(0, 2) + v.y * m(1, 2) + v.z * m(2, 2) + m(3, 2), e.z, 1e-5f) << what;
}

TEST(Matrix, RotationInverseAndScale)
{
    const float Pi = 3.14159265f;
    Matrix4 m, id, move;
    for (float& f : m.m) f = 7.0f;  // everything, the translation row included, is overwritten
    MatrixRotation(m, 0, 0, 0);
    MatrixIdentity(id);
    EXPECT_EQ(Floats(m.m, m.m + 16), Floats(id.m, id.m + 16));
    MatrixRotation(m, Pi / 2, 0, 0);
    ExpectImage(m, {0, 1, 0}, {0, 0, 1}, "x quarter turn: y");
    ExpectImage(m, {0, 0, 1}, {0, -1, 0}, "x quarter turn: z");
    MatrixRotation(m, 0, Pi / 2, Pi / 2);  // z first: (1,0,0) -> (0,1,0), which y leaves alone
    ExpectImage(m, {1, 0, 0}, {0, 1, 0}, "z then y");  // (y first would give (0,0,-1))
    MatrixIdentity(move);
    move(3, 2) = -100.0f;  // the camera placement; its view is the identity moved by (0, 0, 100)
    MatrixRigidInverse(m, move);
    id(3, 2) = 100.0f;
    EXPECT_EQ(Floats(m.m, m.m + 16), Floats(id.m, id.m + 16));
    MatrixRotation(m, 0, 0, Pi / 2);
    m(3, 0) = 1; m(3, 1) = 2; m(3, 2) = 3;
    MatrixScaleAxes(m, 2, 3, 4);  // along the object's own axes, before the turn; (1,2,3) stays
    ExpectImage(m, {0, 0, 0}, {1, 2, 3}, "scaled: origin");
    ExpectImage(m, {0, 1, 0}, {-2, 2, 3}, "scaled y");
}

TEST(Random, SequencesFromChosenSeeds)
{
    // state = state * 214013 + 2531011, bits 16..30 out. Seed 0: 2531011 = 0x269EC3 gives
    // 0x26 = 38. Seed 0x701BF641 steps to 0xFFFF0000: bit 31 set, 32767 out.
    const struct { uint32_t seed; Ints values; } runs[] = {
        {1, {41, 18467, 6334}}, {0, {38, 7719, 21238}}, {0x701BF641u, {32767, 15401, 13854}},
    };
    for (const auto& r : runs) {
        RandomSeed(r.seed);
        EXPECT_EQ(r.values, (Ints{RandomNext(), RandomNext(), RandomNext()})) << "seed " << r.seed;
    }
    RandomSeed(0x701BF641u);
    EXPECT_EQ(RandomUnit(), 1.0f);  // 32767 * 3.0518509e-05 rounds to 1
}

// --- Meshes ---
static float Length(float x, float y, float z) { return std::sqrt(x * x + y * y + z * z); }

// (V1 - V0) x (V2 - V0) of every triangle points away from the centre of a solid at the origin.
static void ExpectOutwardWinding(const MeshVertex* m, int32_t count)
{
    for (int32_t t = 0; t < count; t += 3) {
        const MeshVertex &a = m[t], &b = m[t + 1], &c = m[t + 2];
        const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z, vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        ASSERT_GT((uy * vz - uz * vy) * (a.x + b.x + c.x) + (uz * vx - ux * vz) * (a.y + b.y + c.y) +
                  (ux * vy - uy * vx) * (a.z + b.z + c.z), 0.0f) << "triangle " << t / 3;
    }
}

TEST(Mesh, CubeAndSubdivision)
{
    Mesh cube = BuildCube(5.0f);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ((Floats{cube[0].x, cube[0].y, cube[0].z, cube[0].u, cube[0].v, cube[2].x, cube[2].y, cube[2].z,
                      cube[2].u, cube[2].v}), (Floats{-5, 5, 5, 0, 1, 5, 5, -5, 1, 0}));  // vertices 0, 2
    ExpectOutwardWinding(cube, CubeVertexCount);
    int32_t count = 0;
    FreeMesh(SubdivideMesh(cube, CubeVertexCount, &count));
    EXPECT_TRUE(count == 144 && cube[0].x == -5);  // the input is untouched
    FreeMesh(cube);
    // One triangle V0 (0,0,8), V1 (4,0,0), V2 (0,4,0), normals and (u, v) differing too: its
    // midpoints halve all eight floats. The four come in the order (V0 M0 M2) (M2 M1 V2)
    // (M2 M0 M1) (M0 V1 M1); a crumbling target keeps the first half of its list.
    const MeshVertex V0 = {0, 0, 8}, V1 = {4, 0, 0, 4, 0, 0, 1, 0}, V2 = {0, 4, 0, 0, 4, 0, 0, 1};
    const MeshVertex M0 = {2, 0, 4, 2, 0, 0, 0.5f, 0}, M1 = {2, 2, 0, 2, 2, 0, 0.5f, 0.5f},
                     M2 = {0, 2, 4, 0, 2, 0, 0, 0.5f};
    const MeshVertex one[3] = {V0, V1, V2}, expected[12] = {V0, M0, M2, M2, M1, V2, M2, M0, M1, M0, V1, M1};
    Mesh four = SubdivideMesh(one, 3, &count);
    ASSERT_EQ(count, 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(0, std::memcmp(&four[i], &expected[i], sizeof(MeshVertex))) << "vertex " << i;
    FreeMesh(four);
}

TEST(Mesh, SpheresAndSmoothNormals)
{
    int32_t count = 0;
    for (uint8_t levels : {0, 3}) {  // on the radius; the normal is the unit position, (u, v) = (nx, ny)
        const float radius = levels == 0 ? 2.5f : 1.0f;
        Mesh sphere = BuildSphere(levels, &count, radius);
        ASSERT_EQ(count, levels == 0 ? 36 : UncleVertexCount);
        for (int32_t i = 0; i < count; ++i) {
            const MeshVertex& v = sphere[i];
            ASSERT_NEAR(Length(v.x, v.y, v.z), radius, 1e-6f) << i;
            ASSERT_NEAR(Length(v.nx - v.x / radius, v.ny - v.y / radius, v.nz - v.z / radius), 0.0f, 1e-6f) << i;
            ASSERT_TRUE(v.u == v.nx && v.v == v.ny) << i;
        }
        ExpectOutwardWinding(sphere, count);
        FreeMesh(sphere);
    }
    Mesh target = BuildTargetMesh(&count);  // smoothed: the normals lean outward
    ASSERT_EQ(count, TargetVertexCount);
    for (int32_t i = 0; i < count; ++i)
        ASSERT_GT(target[i].nx * target[i].x + target[i].ny * target[i].y + target[i].nz * target[i].z, 0.0f) << i;
    FreeMesh(target);
    // A line (zero area: face normal 0, no division by zero); (V0 - V1) x (V0 - V2) of the
    // second is +x, of the third +y. Where they meet, the mean (0.5, 0.5, 0), not renormalised.
    MeshVertex v[9] = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {5, 0, 0}, {5, 1, 0}, {5, 0, 1},
                       {5, 0, 0}, {5, 0, 1}, {6, 0, 0}};
    SmoothNormals(v, 9);
    const float normals[9][3] = {{}, {}, {}, {0.5f, 0.5f}, {1, 0, 0}, {0.5f, 0.5f},
                                 {0.5f, 0.5f}, {0.5f, 0.5f}, {0, 1, 0}};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ((Floats{v[i].nx, v[i].ny, v[i].nz}), Floats(normals[i], normals[i] + 3)) << i;
}

// --- Texture script ---
static uint8_t Pixel(int layer, int x, int y) { return TextureLayers[layer].pixels[y * 256 + x]; }
static void Fill(int layer, uint8_t value) { std::memset(TextureLayers[layer].pixels, value, 65536); }

static bool RunProgram(std::vector<uint8_t> script, std::vector<uint8_t> selection = {0xFF, 0xFF})
{
    return RunTextureProgram(script.data(), script.size(), selection.data(), selection.size());
}

TEST(TextureScript, PlasmaAndTheBuiltInScript)
{
    // The first plasma (corner 255, roughness 3, seed 210: d = 3 * 256): its first draws, 724
    // and 3892, give (128,0) 724 % 1536 + 255 - 768 = 211 and (0,128) 820 - 513, clamped to
    // 255; the bottom middle wraps onto (128,0), already set, so it draws nothing.
    RunTextureScript();
    EXPECT_EQ((Ints{Pixel(0, 0, 128), Pixel(0, 64, 0)}), (Ints{255, 94}));
    const Ints expected[5] = {{255, 211, 255}, {128, 64, 1},  // the two plasmas at (0,0), (128,0), (128,128)
                              {124, 79, 4}, {237, 241, 239}, {216, 228, 217}};  // blurred, displaced, shaded
    for (int layer = 0; layer < 5; ++layer)
        EXPECT_EQ((Ints{Pixel(layer, 0, 0), Pixel(layer, 128, 0), Pixel(layer, 128, 128)}), expected[layer]);
    EXPECT_EQ(0, std::memcmp(RgbTextures[0].pixels, "\xFD\x94\x7B", 3));  // 253, 148, 123
    EXPECT_EQ(0, std::memcmp(UploadSlot.pixels, RgbTextures[0].pixels, sizeof UploadSlot.pixels));
    // The upload texture and its levels 256 to 2 wide, pinned: texgen's raw bytes hashed
    // alike, the levels halved apart by the rule (each byte the truncated mean of four).
    uint64_t digests[2] = {Fnv(UploadSlot.pixels, sizeof UploadSlot.pixels), Fnv(nullptr, 0)};
    uint32_t* image = WorkingImageFromUploadSlot();
    for (int32_t size = 256; size >= 2; size /= 2) {
        digests[1] = Fnv(image, size_t(size * size) * 4, digests[1]);
        uint32_t* half = HalveImage(image, size, size);
        FreeImage(image), image = half;
    }
    FreeImage(image);
    EXPECT_TRUE(digests[0] == 0x15DEC2B166F54AB8ull && digests[1] == 0x51267A223BBB75E0ull) << digests[0] << " " << digests[1];
    ASSERT_TRUE(RunProgram({0x00, 7, 0x40, 0, 99, 0xFF}));  // roughness 0 draws as 1
    const std::vector<uint8_t> rough0(TextureLayers[7].pixels, TextureLayers[7].pixels + 65536);
    EXPECT_EQ(std::count(rough0.begin(), rough0.end(), 0), 0);  // every pixel set
    // One draw per pixel but the preset corner; the thread's generator goes on from the
    // plasma's last draw (later load-time draws depend on it).
    const int32_t next = RandomNext();
    RandomSeed(99);
    for (int i = 0; i < 65535; ++i) RandomNext();
    EXPECT_EQ(next, RandomNext());
    ASSERT_TRUE(RunProgram({0x00, 7, 0x40, 1, 99, 0xFF}));
    EXPECT_EQ(0, std::memcmp(rough0.data(), TextureLayers[7].pixels, 65536));
}

TEST(TextureScript, OperationsSelectionAndRefusedPrograms)
{
    Fill(5, 0);
    TextureLayers[5].pixels[0] = 90;  // one bright pixel in the corner
    ASSERT_TRUE(RunProgram({0x01, 6, 5, 1, 0xFF}));  // 90 / 9 on the corner's 3x3, wrapped
    Ints lit;
    for (int i = 0; i < 65536; ++i)
        if (TextureLayers[6].pixels[i] != 0) lit.push_back(i);
    EXPECT_EQ(lit, (Ints{0, 1, 255, 256, 257, 511, 65280, 65281, 65535}));
    for (int i : lit) EXPECT_EQ(TextureLayers[6].pixels[i], 10) << i;
    for (int i = 0; i < 65536; ++i) {  // every pixel tells its x (layer 8) and y (layer 9)
        TextureLayers[8].pixels[i] = uint8_t(i % 256);
        TextureLayers[9].pixels[i] = uint8_t(i / 256);
    }
    Fill(10, 0);
    TextureLayers[10].pixels[1] = 1;  // map: a step up at (1, 0)
    ASSERT_TRUE(RunProgram({0x02, 11, 8, 10, 3, 0x02, 12, 9, 10, 3, 0xFF}));
    // At (x, y) from (source x, y): dx = -1, column 0 - 3 wraps to 253; dx = dy = +1 at the step;
    // above it dy = 0 - 1, row 255 - 3; a flat map: unchanged.
    for (const Ints& c : {Ints{0, 0, 253, 0}, {1, 0, 4, 3}, {1, 255, 1, 252}, {50, 50, 50, 50}})
        EXPECT_EQ((Ints{Pixel(11, c[0], c[1]), Pixel(12, c[0], c[1])}), (Ints{c[2], c[3]})) << c[0] << "," << c[1];
    ASSERT_TRUE(RunProgram({0x02, 11, 8, 10, 0xFD, 0xFF}));  // factor -3
    EXPECT_EQ((Ints{Pixel(11, 0, 0), Pixel(11, 1, 0)}), (Ints{3, 254}));
    for (int i = 0; i < 65536; ++i) TextureLayers[13].pixels[i] = uint8_t(i & 255);
    Fill(15, 200);
    TextureLayers[15].pixels[0] = 100;  // a bump: |100-200| + |100-200| = 200
    // Factor 0 only scales by 255/256; factor 1 darkens by the local slope.
    ASSERT_TRUE(RunProgram({0x03, 14, 13, 0, 0x03, 16, 15, 1, 0xFF}));
    EXPECT_EQ((Ints{Pixel(14, 1, 7), Pixel(14, 128, 7), Pixel(14, 255, 7)}), (Ints{0, 127, 254}));
    // m = 255 - 200 at the bump; its left neighbour sees a slope of 100; flat elsewhere
    EXPECT_EQ((Ints{Pixel(16, 0, 0), Pixel(16, 255, 0), Pixel(16, 5, 5)}),
              (Ints{(100 * 55) >> 8, (200 * 155) >> 8, (200 * 255) >> 8}));
    ASSERT_TRUE(RunProgram({0x04, 3, 13, 128, 255, 0, 0xFF}));  // factor 128: the grey itself; 255:
    const uint8_t* rgb = RgbTextures[3].pixels;                   // (v * 255) >> 7, capped at 255
    EXPECT_EQ((Ints{rgb[300], rgb[301], rgb[302], rgb[381], rgb[382], rgb[384], rgb[385], rgb[766]}),
              (Ints{100, 199, 0, 127, 253, 128, 255, 255}));
    std::memset(UploadSlot.pixels, 0x55, sizeof UploadSlot.pixels);
    Fill(0, 200);
    ASSERT_TRUE(RunProgram({0x04, 2, 0, 128, 128, 128, 0xFF}, {0x00, 0xFF}));  // end at pair 0
    EXPECT_EQ(UploadSlot.pixels[0], 0x55);
    ASSERT_TRUE(RunProgram({0xFF}, {0x02, 0x00, 0x00, 0x01}));
    EXPECT_EQ(UploadSlot.pixels[0], 200);
    Fill(1, 9);
    EXPECT_FALSE(RunProgram({0x05, 0, 0, 0, 0xFF}));                  // undefined opcode
    EXPECT_FALSE(RunProgram({0x01, 20, 1, 1, 0xFF}));                 // layer beyond the 20
    EXPECT_FALSE(RunProgram({0x04, 10, 1, 1, 1, 1, 0xFF}));           // RgbTexture beyond the 10
    EXPECT_FALSE(RunProgram({0x01, 4, 4, 0}));                        // no end byte
    EXPECT_FALSE(RunProgram({0x00, 1, 0}));                           // truncated instruction
    EXPECT_FALSE(RunProgram({0xFF}, {0x00, 0x00, 0x00, 0x00, 0x01, 0x01}));  // a second upload slot
    EXPECT_FALSE(RunProgram({0xFF}, {0x0A, 0x00, 0x00, 0x01}));       // no such RgbTexture
    EXPECT_EQ(Pixel(1, 0, 0), 9);  // nothing ran past the first bad instruction
}

TEST(TextureImage, PixelsHalvingAnd565)
{
    std::memcpy(UploadSlot.pixels, "\xFD\x94\x7B", 3);  // 253, 148, 123: (31 << 11) | (37 << 5) | 15
    uint32_t* image = WorkingImageFromUploadSlot();
    EXPECT_TRUE(image && image[0] == 0x00FD947Bu && PackRgb565(image[0]) == 0xFCAF);
    FreeImage(image);
    // Each 2x2 block of a 4x4 image, each byte on its own, averaged and truncated: 3 of 4
    // ones; 0x10 + 0x20 + 0x30 + 0x41 = 0xA1 and 0xFF + 1 = 256; 8 + 9; 12 + 13.
    const uint32_t grid[16] = {0x01010101, 0x01010101, 0x00FF0010, 0x00010020,
                               0x01010101, 0, 0x30, 0x41, 0, 0, 0, 0, 8, 9, 12, 13};
    uint32_t* half = HalveImage(grid, 4, 4);
    EXPECT_EQ(std::vector<uint32_t>(half, half + 4), (std::vector<uint32_t>{0, 0x00400028u, 4, 6}));
    FreeImage(half);
}
