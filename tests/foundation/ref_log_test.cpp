// Counted objects and the log line format.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "foundation/log.h"
#include "foundation/ref.h"
#include "test_support.h"

namespace {

struct Tracked : OxRef {
    explicit Tracked(int* destroyed) : destroyed(destroyed) {}
    ~Tracked() override { ++*destroyed; }
    int* destroyed;
};

TEST(OxRef, LastReleaseDestroysThroughTheBase)
{
    int destroyed = 0;
    OxRef* object = new Tracked(&destroyed);
    object->refCount = 2;
    OxRelease(object);
    EXPECT_EQ(0, destroyed);
    OxRelease(object);
    EXPECT_EQ(1, destroyed);
    OxRelease(nullptr);  // skipped
}

TEST(OxRef, HolderReleasesOnEveryWayOut)
{
    int destroyed = 0;
    {
        OxHolder<Tracked> held(new Tracked(&destroyed));
        held.Reset(new Tracked(&destroyed));
        EXPECT_EQ(1, destroyed);
    }
    EXPECT_EQ(2, destroyed);

    OxHolder<Tracked> given(new Tracked(&destroyed));
    Tracked* detached = given.Detach();
    EXPECT_EQ(2, destroyed);
    OxReleaseAndClear(detached);
    EXPECT_EQ(nullptr, detached);
    EXPECT_EQ(3, destroyed);
}

TEST(OxRef, RetainedObjectLivesUntilEveryHolderReleases)
{
    int destroyed = 0;
    OxHolder<Tracked> first(new Tracked(&destroyed));
    {
        OxHolder<Tracked> second(OxRetain(first.get()));
        EXPECT_EQ(2, second->refCount);
        OxHolder<Tracked> moved(std::move(second));
        EXPECT_FALSE(second);
        EXPECT_EQ(2, moved->refCount);
        first = std::move(moved);  // the same object: one reference goes
        EXPECT_EQ(0, destroyed);
        EXPECT_EQ(1, first->refCount);
    }
    EXPECT_EQ(0, destroyed);
    first.Reset();
    EXPECT_EQ(1, destroyed);
    EXPECT_EQ(nullptr, OxRetain<Tracked>(nullptr));
}

TEST(LogMessage, LineFormat)
{
    struct {
        void (*emit)();
        const char* expected;
    } cases[] = {
        {[] { LogMessage(77, "src/app", LOG_ERROR, "glGetError() returns: %d (0x%X)", 1282, 0x502u); },
         "src/app[77]: glGetError() returns: 1282 (0x502)\n"},
        {[] { LogMessage(319, "", LOG_WARNING, "SAME_FILE_IN_DEFERENT_CASE"); },
         "[319]: SAME_FILE_IN_DEFERENT_CASE\n"},
        {[] { LogMessage(1, "src/glhelp", LOG_VERBOSE, "%s=%d", "x", -4); }, "src/glhelp[1]: x=-4\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, StdoutOf(c.emit));
}

}  // namespace

TEST(LogMessage, LinesBelowTheThresholdAreDropped)
{
    ASSERT_EQ(LogThreshold(), LOG_VERBOSE) << "every line is written unless asked otherwise";
    const struct {
        int threshold;
        const char* expected;
    } cases[] = {
        {LOG_VERBOSE, "[1]: verbose\n[2]: warning\n[3]: assert\n"},
        {LOG_WARNING, "[2]: warning\n[3]: assert\n"},
        {LOG_NONE, ""},
    };
    for (const auto& c : cases) {
        SetLogThreshold(c.threshold);
        testing::internal::CaptureStdout();
        LogMessage(1, "", LOG_VERBOSE, "verbose");
        LogMessage(2, "", LOG_WARNING, "warning");
        LogMessage(3, "", LOG_ASSERT, "assert");
        std::fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected) << c.threshold;
    }
    SetLogThreshold(LOG_VERBOSE);
}
