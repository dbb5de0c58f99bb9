// Runs under Wine: a thread made by CreateThread has its own random state,
// starting at 1, and the main thread's sequence is not disturbed by it.
#include <windows.h>

#include <gtest/gtest.h>

#include "render/random.h"

namespace {

struct Draws {
    int32_t values[3];
};

DWORD WINAPI DrawThree(LPVOID parameter)
{
    Draws* draws = static_cast<Draws*>(parameter);
    for (int32_t& v : draws->values)
        v = RandomNext();
    return 0;
}

TEST(ThreadRandom, CreateThreadStartsFromStateOne)
{
    RandomSeed(1234);
    int32_t mainDraws[6];
    mainDraws[0] = RandomNext();
    mainDraws[1] = RandomNext();
    mainDraws[2] = RandomNext();

    Draws first = {}, second = {};
    HANDLE threads[2] = {CreateThread(nullptr, 0, DrawThree, &first, 0, nullptr),
                         CreateThread(nullptr, 0, DrawThree, &second, 0, nullptr)};
    ASSERT_NE(threads[0], nullptr);
    ASSERT_NE(threads[1], nullptr);
    mainDraws[3] = RandomNext();  // while the threads draw
    ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 10000), WAIT_OBJECT_0);
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    mainDraws[4] = RandomNext();
    mainDraws[5] = RandomNext();

    const int32_t fromOne[3] = {41, 18467, 6334};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(first.values[i], fromOne[i]);
        EXPECT_EQ(second.values[i], fromOne[i]);
    }
    RandomSeed(1234);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(mainDraws[i], RandomNext()) << i;
}

}  // namespace
