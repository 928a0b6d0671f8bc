#include "updates/UpdateGate.hpp"
#include "updates/UpdateMessage.hpp"
#include "updates/VersionNumber.hpp"

#include <gtest/gtest.h>

#include <tuple>

namespace orvik::helper {
namespace {

using Failure = UpdateCheckOutcome::Failure;

class UpdateGateTest : public testing::TestWithParam<std::tuple<const char*, const char*, bool>> {};

TEST_P(UpdateGateTest, HoldsOnlyForASetKeyAndAnHttpsFeed) {
    const auto& [feed, key, holds] = GetParam();
    EXPECT_EQ(UpdateGate::holds(feed, key), holds) << feed << " / " << key;
}

INSTANTIATE_TEST_SUITE_P(Table, UpdateGateTest,
                         testing::Values(std::tuple("https://example.org/appcast.xml", "key", true),
                                         std::tuple("https://example.org/appcast.xml", "\n", true),
                                         std::tuple("", "key", false),
                                         std::tuple("https://example.org/a.xml", " \t ", false),
                                         std::tuple("https://example.org/a.xml", "{{PUBLIC_KEY}}", false),
                                         std::tuple("{{FEED_URL}}", "key", false),
                                         std::tuple("http://example.org/a.xml", "key", false),
                                         std::tuple("HTTPS://example.org/a.xml", "key", false),
                                         std::tuple(" https://example.org/a.xml", "key", false),
                                         std::tuple("https://exa mple.org/a.xml", "key", false)));

TEST(VersionNumberTest, ComparesPartsAsNumbers) {
    const auto order = [](const char* left, const char* right) {
        return *VersionNumber::parse(left) <=> *VersionNumber::parse(right);
    };
    EXPECT_EQ(order("1.10", "1.9"), std::strong_ordering::greater);
    EXPECT_EQ(order("1.2", "1.2.0"), std::strong_ordering::equal);
    EXPECT_EQ(order(" 01.02 ", "1.2"), std::strong_ordering::equal);
    EXPECT_EQ(order("1.2", "1.2.1"), std::strong_ordering::less);
    EXPECT_EQ(order("1.0.10", "1.1"), std::strong_ordering::less);
    EXPECT_EQ(order("99999999999999999999.1", "99999999999999999998.2"), std::strong_ordering::greater);
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
    std::string document;
    UpdateCheckKind kind;
    std::optional<UpdateMessage> expected;
};

class UpdateMessageTest : public testing::TestWithParam<MessageCase> {};

TEST_P(UpdateMessageTest, TellsWhatTheFeedSays) {
    const auto& param = GetParam();
    const auto outcome = UpdateCheckOutcome::fromFeed(param.document, "1.2.0");
    EXPECT_EQ(UpdateMessage::about(outcome, param.kind, "1.2.0"), param.expected) << param.document;
}

const auto user = UpdateCheckKind::userInitiated;
const auto background = UpdateCheckKind::background;
const std::string upToDate = "You’re up to date.\n\nOrvik Helper 1.2.0 is the newest version available.";
const std::string newer = "Orvik Helper 1.10 is available. You have 1.2.0.\n\n";
const std::string package = "install it with your system’s package manager.";
const std::string enclosure = R"(<enclosure url="https://example.org/orvik-1.10.deb" length="1" type="x"/>)";

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateMessageTest,
    testing::Values(
        MessageCase{feed(item("1.10", enclosure)), background,
                    UpdateMessage{newer + "Download it from https://example.org/orvik-1.10.deb, or " + package,
                                  "https://example.org/orvik-1.10.deb"}},
        MessageCase{feed(item("1.9") + item("1.10", "<link>https://example.org/notes</link>") + item("1.1")), user,
                    UpdateMessage{newer + "Download it from https://example.org/notes, or " + package,
                                  "https://example.org/notes"}},
        MessageCase{feed(R"(<item><enclosure url="file:///bin/sh" sparkle:version="1.10.0"
                            sparkle:shortVersionString="1.10"/><link>javascript:x</link></item>)"),
                    user, UpdateMessage{newer + "I" + package.substr(1), {}}},
        MessageCase{feed(item("1.2")), user, UpdateMessage{upToDate, {}}},
        MessageCase{feed(item("1.1.9") + item("1.2b")), user, UpdateMessage{upToDate, {}}},
        MessageCase{feed(item("1.2")), background, std::nullopt},
        MessageCase{feed(item("1.3") + "<item>"), user,
                    UpdateMessage{"Update check failed.\n\nThe update feed could not be read.", {}}},
        MessageCase{"<html><body>1.3</body></html>", user,
                    UpdateMessage{"Update check failed.\n\nThe update feed could not be read.", {}}},
        MessageCase{feed(item("soon")), user,
                    UpdateMessage{"Update check failed.\n\nThe update feed lists no version.", {}}},
        MessageCase{feed(item("soon")), background, std::nullopt}));

} // namespace
} // namespace orvik::helper
