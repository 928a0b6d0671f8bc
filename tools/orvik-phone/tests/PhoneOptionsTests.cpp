#include "PhoneOptions.hpp"

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::phone;

namespace {

std::variant<PhoneOptions, std::string> parse(std::vector<std::string_view> arguments) {
    return parseOptions(arguments);
}

const std::string deviceID = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";
const std::string hexKey = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

} // namespace

TEST(PhoneOptions, KeysAreReadAsHexOrEitherBase64) {
    Bytes expected;
    for (int i = 0; i < 32; ++i) expected.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(parseKey(hexKey), expected);
    EXPECT_EQ(parseKey("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="), expected);
    EXPECT_EQ(parseKey("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8"), expected);
    EXPECT_FALSE(parseKey(hexKey.substr(2)));                           // 31 bytes
    EXPECT_FALSE(parseKey("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxw=")); // 29 bytes
    EXPECT_FALSE(parseKey("not a key"));
}

TEST(PhoneOptions, AuthenticationNeedsIdentityKeyAndAddress) {
    auto parsed = parse({"--identity", deviceID, "--key", hexKey, "--connect", "127.0.0.1:5555", "--send",
                         R"({"type":"ping","payload":{"value":5}})", "--until", "pong", "--wait-ms", "250"});
    ASSERT_TRUE(std::holds_alternative<PhoneOptions>(parsed)) << std::get<std::string>(parsed);
    const auto& options = std::get<PhoneOptions>(parsed);
    EXPECT_EQ(options.mode, PhoneOptions::Mode::authenticate);
    EXPECT_EQ(options.deviceID.text(), deviceID);
    EXPECT_EQ(options.address, (HostPort{"127.0.0.1", 5555}));
    EXPECT_EQ(options.messages, std::vector<OrvikMessage>{Ping{5}});
    EXPECT_EQ(options.until, std::vector{MessageType::pong});
    EXPECT_EQ(options.wait, std::chrono::milliseconds(250));
    EXPECT_EQ(options.repeat, 1U);
}

TEST(PhoneOptions, RefusesWhatCannotWork) {
    const auto code = ManualPairingCode::fromPairingSecret(Bytes(32, 0x07))->formatted();
    const std::string ping = R"({"type":"ping","payload":{"value":1}})";
    const std::vector<std::vector<std::string_view>> bad{
        {},
        {"--identity", deviceID, "--key", hexKey},
        {"--identity", deviceID, "--connect", "h:1"},
        {"--identity", deviceID, "--key", hexKey, "--pair-code", "0000", "--connect", "h:1"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "h:1", "--reconnect"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "h:1", "--send", "{not json"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "h:1", "--send", R"({"type":"nope"})"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "h:1", "--until", "nope"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "no-port"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "h:1", "--wait-ms"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "h:1", "--bogus", "1"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "h:1", "--handshake", "half"},
        {"--pair-url", "orvik://pair?v=2"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "h:1", "--repeat", "0"},
        {"--identity", deviceID, "--key", hexKey, "--connect", "h:1", "--repeat", "2", "--stdin"},
        {"--pair-code", code, "--connect", "h:1", "--repeat", "2"},
        // The helper closes the pairing connection: messages need --reconnect.
        {"--pair-code", code, "--connect", "h:1", "--send", ping},
    };
    for (const auto& arguments : bad) {
        EXPECT_TRUE(std::holds_alternative<std::string>(parse(arguments)))
            << (arguments.empty() ? "" : arguments.back());
    }
    auto reconnecting = parse({"--pair-code", code, "--connect", "h:1", "--reconnect", "--send", ping});
    ASSERT_TRUE(std::holds_alternative<PhoneOptions>(reconnecting)) << std::get<std::string>(reconnecting);
    EXPECT_EQ(std::get<PhoneOptions>(reconnecting).mode, PhoneOptions::Mode::pairWithCode);
    EXPECT_TRUE(std::holds_alternative<PhoneOptions>(
        parse({"--pair-code", code, "--connect", "h:1", "--handshake", "hello", "--send", R"({"type":"unpair"})"})));
}

TEST(PhoneOptions, PairingAndViewingWorkInOneCommandThroughASecondConnection) {
    const auto code = ManualPairingCode::fromPairingSecret(Bytes(32, 0x07))->formatted();
    auto viewing = parse({"--pair-code", code, "--connect", "h:1", "--view", "main", "--view-frames", "5"});
    ASSERT_TRUE(std::holds_alternative<PhoneOptions>(viewing)) << std::get<std::string>(viewing);
    const auto& options = std::get<PhoneOptions>(viewing);
    EXPECT_TRUE(options.reconnect);
    ASSERT_TRUE(options.view);
    EXPECT_EQ(options.view->frames, 5U);
    EXPECT_TRUE(std::holds_alternative<std::string>(
        parse({"--pair-code", code, "--connect", "h:1", "--handshake", "hello", "--view", "main"})))
        << "a pairing that stops after hello never authenticates";
    EXPECT_TRUE(std::holds_alternative<std::string>(parse({"--pair-code", code, "--connect", "h:1", "--view-ms", "5"})))
        << "viewing options without --view";
}
