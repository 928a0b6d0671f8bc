#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include "DecodingFailure.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>

using namespace orvik;
using Kind = DecodingError::Kind;
using nlohmann::json;

namespace {

const Uuid helperID = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

std::string payloadText(const OrvikMessage& message) {
    auto frame = message.frame();
    if (!frame) return "<no frame>";
    return std::string(frame->payload.begin(), frame->payload.end());
}

OrvikMessage decodeText(MessageType type, const std::string& text) {
    return OrvikMessage::decode(Frame{static_cast<std::uint16_t>(type), 0, Bytes(text.begin(), text.end())});
}

std::optional<Kind> failure(MessageType type, const std::string& text) {
    return orvik::testing::failureOf([&] { decodeText(type, text); });
}

std::optional<Kind> jsonFailure(const json& value) {
    return orvik::testing::failureOf([&] { messageFromJson(value); });
}

} // namespace

TEST(MessageJson, GoldenPayloads) {
    HelperStatus status{.battery = BatteryStatus{0.8f, true},
                        .volume = VolumeStatus{0.25f, false, true},
                        .frontmostAppName = "Files",
                        .displayCount = 2,
                        .canControl = true};
    EXPECT_EQ(payloadText(status), R"({"battery":{"isCharging":true,"level":0.8},"canControl":true,"displayCount":2,)"
                                   R"("frontmostAppName":"Files","isPaused":false,"secureInputActive":false,)"
                                   R"("volume":{"isMuted":false,"isSettable":true,"level":0.25}})");
    HelloAck ack{.helperVersion = "1.0",
                 .helperID = helperID,
                 .macName = "desk",
                 .model = "x86_64",
                 .capabilities = Capabilities::pointer | Capabilities::keyboard,
                 .challenge = {0, 1, 2, 3}};
    EXPECT_EQ(payloadText(ack), R"({"capabilities":3,"challenge":"AAECAw==",)"
                                R"("helperID":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","helperVersion":"1.0",)"
                                R"("macName":"desk","minimumSupported":1,"model":"x86_64","protocolVersion":1})");
    PairRequest request{helperID, "Ana’s iPhone", "iPhone15,2", "2.3", PairingMethod::manualCode, {0xFF, 0xEE}};
    EXPECT_EQ(payloadText(request), R"({"appVersion":"2.3","deviceID":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
                                    R"("deviceModel":"iPhone15,2","deviceName":"Ana’s iPhone","method":"manualCode",)"
                                    R"("proof":"/+4="})");
    EXPECT_EQ(payloadText(ErrorMessage{ErrorCode::rateLimited}), R"({"code":"rateLimited"})");
    EXPECT_EQ(toJson(ButtonEvent{MouseButton::left, ButtonAction::click}),
              json::parse(R"({"type":"button","payload":{"button":"left","action":"click"}})"));
}

TEST(MessageJson, FloatsTravelAsTheirShortestDecimal) {
    EXPECT_EQ(payloadText(VolumeSet{0.1f}), R"({"level":0.1})");
    EXPECT_EQ(payloadText(VolumeSet{1.0f}), R"({"level":1.0})");
    // Floats sampled across all bit patterns read back as themselves; so do the two whose shortest decimal,
    // read as a double, rounds to another float.
    std::vector<std::uint32_t> patterns{0x15AE43FDu, 0x95AE43FDu};
    for (std::uint64_t bits = 0; bits <= 0xFFFF'FFFFu; bits += 524'287) patterns.push_back(std::uint32_t(bits));
    for (auto bits : patterns) {
        auto level = std::bit_cast<float>(bits);
        if (!std::isfinite(level)) continue;
        auto decoded = decodeText(MessageType::volumeSet, payloadText(VolumeSet{level}));
        ASSERT_EQ(std::bit_cast<std::uint32_t>(decoded.get<VolumeSet>()->level), bits) << level;
    }
}

TEST(MessageJson, ReadingIsTolerantWhereItMayBe) {
    // Unknown keys, any key order, whitespace, null optionals, lower-case UUIDs and integers for floats.
    EXPECT_EQ(decodeText(MessageType::error, R"( { "requestID" : 7, "future": [1, {"x": null}],
                                                  "detail": null, "code": "paused" } )"),
              OrvikMessage(ErrorMessage{ErrorCode::paused, std::nullopt, 7}));
    EXPECT_EQ(decodeText(MessageType::authenticate, R"({"deviceID":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","proof":""})")
                  .get<Authenticate>()
                  ->deviceID,
              helperID);
    EXPECT_EQ(decodeText(MessageType::volumeSet, R"({"level":1})"), OrvikMessage(VolumeSet{1.0f}));
    // A key given twice: the last value counts. An escaped surrogate pair is one character.
    EXPECT_EQ(decodeText(MessageType::authenticated, R"({"deviceName":"a","deviceName":"b"})"),
              OrvikMessage(Authenticated{"b"}));
    EXPECT_EQ(decodeText(MessageType::authenticated, R"({"deviceName":"\ud83d\ude00"})"),
              OrvikMessage(Authenticated{"\xF0\x9F\x98\x80"}));
}

TEST(MessageJson, PayloadsAreRefusedWithTheirKind) {
    const auto nested = [](std::size_t depth) {
        return R"({"requestID":1,"x":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
    };
    const auto malformed = Kind::malformedPayload, invalid = Kind::invalidValue;
    const std::optional<Kind> fine;
    const std::string hello = R"({"minimumSupported":0,"appVersion":"","capabilities":0,"protocolVersion":)";
    const std::string power = R"({"requestID":1,"action":"sleep","delaySeconds":)";
    const struct {
        MessageType type;
        std::string text;
        std::optional<Kind> result;
    } cases[] = {
        // Not one UTF-8 JSON object.
        {MessageType::authenticated, "", malformed},
        {MessageType::authenticated, "[]", malformed},
        {MessageType::authenticated, "{} x", malformed},
        {MessageType::authenticated, "{\"deviceName\":\"\xED\xA0\x80\"}", malformed}, // an encoded surrogate
        {MessageType::authenticated, R"({"deviceName":"\ud800"})", malformed},        // a lone escaped one
        {MessageType::authenticated, R"({"deviceName":"\udc00x"})", malformed},
        {MessageType::authenticated, "\xEF\xBB\xBF{}", malformed},
        // Missing keys and wrong types.
        {MessageType::authenticated, "{}", malformed},
        {MessageType::authenticated, R"({"deviceName":null})", malformed},
        {MessageType::authenticated, R"({"deviceName":5})", malformed},
        {MessageType::runningApps, R"({"requestID":1,"apps":{}})", malformed},
        {MessageType::runningApps, R"({"requestID":1,"apps":[{"name":"a","bundleID":"b","isActive":1}]})", malformed},
        {MessageType::status,
         R"({"secureInputActive":false,"displayCount":1,"isPaused":false,"canControl":true,)"
         R"("battery":[]})",
         malformed},
        {MessageType::volumeSet, R"({"level":"0.5"})", malformed},
        // Integers within their width; floats within a float's range.
        {MessageType::clipboardGet, R"({"requestID":4294967295})", fine},
        {MessageType::clipboardGet, R"({"requestID":-0})", fine},
        {MessageType::clipboardGet, R"({"requestID":4294967296})", invalid},
        {MessageType::clipboardGet, R"({"requestID":-1})", invalid},
        {MessageType::clipboardGet, R"({"requestID":1.0})", malformed},
        {MessageType::clipboardGet, R"({"requestID":1e2})", malformed},
        {MessageType::clipboardGet, R"({"requestID":18446744073709551616})", malformed},
        {MessageType::clipboardGet, R"({"requestID":"1"})", malformed},
        {MessageType::hello, hello + "65535}", fine},
        {MessageType::hello, hello + "65536}", invalid},
        {MessageType::hello,
         R"({"protocolVersion":1,"minimumSupported":1,"appVersion":"","capabilities":)"
         R"(18446744073709551615})",
         fine},
        {MessageType::hello, R"({"protocolVersion":1,"minimumSupported":1,"appVersion":"","capabilities":-1})",
         invalid},
        {MessageType::power, power + "9223372036854775807}", fine},
        {MessageType::power, power + "-9223372036854775808}", fine},
        {MessageType::power, power + "9223372036854775808}", invalid},
        {MessageType::volumeSet, R"({"level":3.4028235e38})", fine},
        {MessageType::volumeSet, R"({"level":-3.4028236e38})", invalid},
        {MessageType::volumeSet, R"({"level":1e400})", malformed},
        // Bytes, UUIDs and enumerations.
        {MessageType::authenticate, R"({"deviceID":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","proof":"AAE"})", invalid},
        {MessageType::authenticate, R"({"deviceID":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","proof":"AA-_"})", invalid},
        {MessageType::authenticate, R"({"deviceID":"E621E1F8C36C495A93FC0C247A3E6E5F","proof":""})", invalid},
        {MessageType::text, R"({"text":"a","mode":"Type"})", invalid},
        {MessageType::error, R"({"code":"teapot"})", invalid},
        {MessageType::screenStart, R"({"settings":{"maxWidth":1,"maxHeight":1,"frameRate":1},"codecs":["av1"]})",
         invalid},
        // Nesting is counted before parsing, brackets inside strings aside: the object and 15 levels in it.
        {MessageType::clipboardGet, nested(15), fine},
        {MessageType::clipboardGet, nested(16), malformed},
        {MessageType::clipboardGet, nested(500'000), malformed},
        {MessageType::clipboardGet, R"({"requestID":1,"x":")" + std::string(100, '[') + R"(\"["})", fine},
    };
    for (const auto& [type, text, result] : cases) EXPECT_EQ(failure(type, text), result) << text.substr(0, 80);
}

TEST(MessageJson, MessageFromJsonChecksTheEnvelopeAndBinaryRules) {
    EXPECT_EQ(jsonFailure(json::array()), Kind::malformedPayload);
    EXPECT_EQ(jsonFailure(json{{"payload", json::object()}}), Kind::malformedPayload);
    EXPECT_EQ(jsonFailure(json{{"type", 0x0101}}), Kind::malformedPayload);
    EXPECT_EQ(jsonFailure(json{{"type", "teleport"}}), Kind::unknownMessageType);
    EXPECT_EQ(messageFromJson(json{{"type", "unpair"}}), OrvikMessage(Unpair{}));
    EXPECT_EQ(jsonFailure(json{{"type", "ping"}}), Kind::malformedPayload);
    EXPECT_EQ(jsonFailure(json{{"type", "ping"}, {"payload", {{"value", -1}}}}), Kind::invalidValue);
    EXPECT_EQ(jsonFailure(json{{"type", "button"}, {"payload", {{"button", "side"}, {"action", "up"}}}}),
              Kind::invalidValue);
    auto frame = json::parse(R"({"type":"screenFrame","payload":{"sequence":1,"isKeyframe":false,)"
                             R"("fragmentIndex":0,"fragmentCount":0,"captureTime":0,"data":""}})");
    EXPECT_EQ(jsonFailure(frame), Kind::invalidValue);
    frame["payload"]["fragmentCount"] = 1;
    EXPECT_EQ(jsonFailure(frame), std::nullopt);
}

TEST(MessageJson, BinaryLayoutsKeepNonFiniteFloatsInTheirJsonForm) {
    constexpr float infinity = std::numeric_limits<float>::infinity();
    auto scroll = OrvikMessage(ScrollEvent{0.25f, -infinity, ScrollPhase::began, MomentumPhase::none});
    auto form = toJson(scroll);
    EXPECT_EQ(form["payload"]["dy"], "-Infinity");
    EXPECT_EQ(messageFromJson(form), scroll);
    auto pointer = messageFromJson(
        json::parse(R"({"type":"pointerAbsolute","payload":{"displayID":1,"x":"NaN","y":"Infinity","sequence":2}})"));
    EXPECT_TRUE(std::isnan(pointer.get<PointerAbsolute>()->x));
    EXPECT_EQ(pointer.get<PointerAbsolute>()->y, infinity);
    EXPECT_EQ(toJson(pointer)["payload"]["x"], "NaN");
    // JSON payloads carry numbers only, on the wire and in this form.
    EXPECT_EQ(failure(MessageType::volumeSet, R"({"level":"Infinity"})"), Kind::malformedPayload);
    EXPECT_EQ(jsonFailure(json::parse(R"({"type":"pointerMove","payload":{"dx":"inf","dy":0,"sequence":0}})")),
              Kind::invalidValue);
}
