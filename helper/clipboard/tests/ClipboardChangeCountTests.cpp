#include "clipboard/ClipboardChangeCount.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using Change = ClipboardChangeCount::OwnerChange;

constexpr unsigned long ourWindow = 0x400001;
constexpr unsigned long otherWindow = 0x600001;

TEST(ClipboardChangeCount, OurWriteCountsWhenMadeAndItsReportDoesNotCountAgain) {
    ClipboardChangeCount count;
    EXPECT_EQ(count.recordOwnChange({ourWindow, 100}), 1);
    count.ownerChanged({ourWindow, 100});
    EXPECT_EQ(count.value(), 1);
    // The same report a second time is no longer awaited.
    count.ownerChanged({ourWindow, 100});
    EXPECT_EQ(count.value(), 2);
}

TEST(ClipboardChangeCount, ReportsInterleavedWithOurWritesEachCountOnceAndOthersAlways) {
    ClipboardChangeCount count;
    count.recordOwnChange({ourWindow, 100});
    count.recordOwnChange({0, 110}); // releasing the clipboard is a change of ours too
    count.recordOwnChange({ourWindow, 120});
    EXPECT_EQ(count.value(), 3);

    count.ownerChanged({ourWindow, 100});
    count.ownerChanged({otherWindow, 105}); // someone copied between our writes
    count.ownerChanged({0, 110});
    count.ownerChanged({ourWindow, 120});
    EXPECT_EQ(count.value(), 4);
    count.ownerChanged({0, 130}); // other owners and vanished owners count
    count.ownerGone();
    EXPECT_EQ(count.value(), 6);
}

TEST(ClipboardChangeCount, AReportSkippedByTheServerDropsTheOlderAwaitedOnes) {
    ClipboardChangeCount count;
    count.recordOwnChange({ourWindow, 100});
    count.recordOwnChange({ourWindow, 120});
    count.ownerChanged({ourWindow, 120});
    // The report of the write at 100 can no longer come; if it did, it would be a new change.
    count.ownerChanged({ourWindow, 100});
    EXPECT_EQ(count.value(), 3);
}

TEST(ClipboardChangeCount, KeepsOnlyABoundedNumberOfAwaitedReports) {
    ClipboardChangeCount count;
    for (unsigned long time = 1; time <= 40; ++time) count.recordOwnChange({ourWindow, time});
    count.ownerChanged({ourWindow, 1}); // long forgotten: counts
    count.ownerChanged({ourWindow, 40});
    EXPECT_EQ(count.value(), 41);
}

} // namespace
} // namespace orvik::helper
