#include "injection/RecordingSink.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace orvik::helper {
namespace {

TEST(RecordingSink, DefaultsToOneDisplayWithOneBasedIdentifiersAndEveryMouseEventMovesTheCursor) {
    RecordingSink sink;
    EXPECT_EQ(sink.displayBounds(), (std::vector{DisplayRect{0, 0, 1440, 900}}));
    EXPECT_EQ(sink.displayBounds(1), (DisplayRect{0, 0, 1440, 900}));
    EXPECT_EQ(sink.displayBounds(0), std::nullopt);
    EXPECT_EQ(sink.displayBounds(2), std::nullopt);
    EXPECT_EQ(sink.cursorLocation().location, (DisplayPoint{720, 450}));
    EXPECT_EQ(sink.doubleClickInterval(), 0.5);
    EXPECT_FALSE(sink.isSecureInputEnabled());
    double x = 10;
    for (auto kind : {MouseEventKind::moved, MouseEventKind::down, MouseEventKind::up, MouseEventKind::dragged}) {
        sink.postMouse(kind, MouseButton::left, {x, 20}, 1, {99, 99});
        EXPECT_EQ(sink.cursorLocation().location, (DisplayPoint{x++, 20}));
    }
}

TEST(RecordingSink, RecordsEachCallInOrderWithItsTimeAndUnicodeAsTextWithLoneSurrogatesReplaced) {
    RecordingSink sink;
    auto before = RecordingSink::Clock::now();
    sink.postScroll(1, -2, ScrollPhase::began, MomentumPhase::none);
    sink.postKey(4, true, ModifierFlags::shift);
    sink.postModifierChange(0x38, ModifierFlags{});
    sink.postMediaKey(16, false);
    const char16_t lone[] = {0xD800};
    sink.postUnicode(std::u16string_view(lone, 1), false);
    const char16_t pair[] = {0xD83D, 0xDE00, 0xDC00};
    sink.postUnicode(std::u16string_view(pair, 3), true);
    EXPECT_EQ(
        sink.events(),
        (std::vector{RecordedInput::scroll(1, -2, ScrollPhase::began, MomentumPhase::none),
                     RecordedInput::key(4, true, ModifierFlags::shift), RecordedInput::modifier(0x38, ModifierFlags{}),
                     RecordedInput::media(16, false), RecordedInput::unicode("\xEF\xBF\xBD", false),
                     RecordedInput::unicode("\xF0\x9F\x98\x80\xEF\xBF\xBD", true)}));
    auto times = sink.eventTimes();
    ASSERT_EQ(times.size(), 6u);
    EXPECT_LE(before, times.front());
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));

    // Clearing keeps the cursor, the displays and the secure-input flag.
    sink.setSecureInput(true);
    sink.clearEvents();
    EXPECT_TRUE(sink.events().empty());
    EXPECT_TRUE(sink.eventTimes().empty());
    EXPECT_EQ(sink.cursorLocation().location, (DisplayPoint{720, 450}));
    EXPECT_EQ(sink.displayBounds(1), RecordingSink::defaultDisplay);
    EXPECT_TRUE(sink.isSecureInputEnabled());
}

TEST(RecordingSink, MayBeUsedFromSeveralThreads) {
    RecordingSink sink;
    constexpr int perThread = 500;
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&sink, t] {
            for (int i = 0; i < perThread; ++i) {
                sink.postMediaKey(t, true);
                (void)sink.cursorLocation();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(sink.events().size(), 4u * perThread);
    EXPECT_EQ(sink.eventTimes().size(), 4u * perThread);
}

} // namespace
} // namespace orvik::helper
