#include "updates/UpdateGate.hpp"
#include "updates/UpdateMessage.hpp"
#include "updates/VersionNumber.hpp"

#include <gtest/gtest.h>

#include <tuple>

namespace orvik::helper {
namespace {

TEST(UpdateGate, HoldsOnlyForASetKeyAndAnHttpsFeed) {
    const char* https = "https://a.org/feed.xml";
    for (const char* key : {"key", "\n"}) EXPECT_TRUE(UpdateGate::holds(https, key)); // line breaks are kept
    for (const char* key : {"", " \t ", "{{KEY}}", "{{"}) EXPECT_FALSE(UpdateGate::holds(https, key)) << key;
    for (const char* feed : {"", "{{URL}}", "http://a.org/f", "HTTPS://a.org/f", " https://a.org/f", "https://a b/f"}) {
        EXPECT_FALSE(UpdateGate::holds(feed, "key")) << feed;
    }
}

TEST(VersionNumber, ComparesPartsAsNumbers) {
    using std::strong_ordering;
    const std::tuple<const char*, const char*, strong_ordering> table[] = {
        {"1.10", "1.9", strong_ordering::greater},
        {"1.2", "1.2.0", strong_ordering::equal},
        {" 01.02 ", "1.2", strong_ordering::equal},
        {"1.2", "1.2.1", strong_ordering::less},
        {"1.0.10", "1.1", strong_ordering::less},
        {"99999999999999999999.1", "99999999999999999998.2", strong_ordering::greater}};
    for (const auto& [left, right, order] : table) {
        EXPECT_EQ(*VersionNumber::parse(left) <=> *VersionNumber::parse(right), order) << left << " <=> " << right;
    }
    for (const char* invalid : {"", "1.", ".1", "1..2", "1.2b3", "v1", "-1"}) {
        EXPECT_FALSE(VersionNumber::parse(invalid)) << invalid;
    }
}

std::string feed(const std::string& items) {
    return R"(<?xml version="1.0"?><rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><title>Orvik</title>)" +
           items + "</channel></rss>";
}

std::string item(const std::string& version, const std::string& extra = {}) {
    return "<item><title>Release</title><sparkle:version>" + version + "</sparkle:version>" + extra + "</item>";
}

struct MessageCase {
    const char* name;
    std::string document;
    UpdateCheckKind kind;
    // How the text begins and where "Download" leads; no text: nothing is shown.
    const char* text;
    std::string downloadUrl;
    friend void PrintTo(const MessageCase& row, std::ostream* out) { *out << row.name; }
};

class UpdateMessageFixture : public testing::TestWithParam<MessageCase> {};

TEST_P(UpdateMessageFixture, TellsWhatTheFeedSays) {
    const auto& row = GetParam();
    const auto message = UpdateMessage::about(UpdateCheckOutcome::fromFeed(row.document, "1.2.0"), row.kind, "1.2.0");
    ASSERT_EQ(message.has_value(), row.text != nullptr);
    if (!message) return;
    EXPECT_TRUE(message->text.starts_with(row.text)) << message->text;
    EXPECT_EQ(message->downloadUrl, row.downloadUrl);
}

constexpr auto user = UpdateCheckKind::userInitiated, background = UpdateCheckKind::background;
const auto newer = "Orvik Helper 1.10 is available. You have 1.2.0.";
const std::string link = "<link>https://example.org/notes</link>";
const std::string enclosure = R"(<enclosure url="https://example.org/orvik-1.10.deb" length="1" type="x"/>)";

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateMessageFixture,
    testing::Values(
        MessageCase{"newestOfSeveral", feed(item("1.9") + item("1.10", link + enclosure) + item("9.0b") + item("1.1")),
                    background, newer, "https://example.org/orvik-1.10.deb"},
        MessageCase{"linkWithoutEnclosure", feed(item("1.10", link)), user, newer, "https://example.org/notes"},
        MessageCase{"unsafeAddresses", feed(R"(<item><enclosure url="file:///bin/sh" sparkle:version="1.10.0"
                            sparkle:shortVersionString="1.10"/><link>javascript:x</link></item>)"),
                    user, newer, ""},
        MessageCase{"notRss", "<html><body>1.3</body></html>", user,
                    "Update check failed.\n\nThe update feed could not be read.", ""},
        MessageCase{"noVersion", feed(item("soon")), user, "Update check failed.\n\nThe update feed lists no version.",
                    ""},
        MessageCase{"noVersionInBackground", feed(item("soon")), background, nullptr, ""}));

} // namespace
} // namespace orvik::helper
