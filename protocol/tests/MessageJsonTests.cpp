#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>

using namespace orvik;

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

std::optional<DecodingError::Kind> failure(MessageType type, const std::string& text) {
    try {
        decodeText(type, text);
    } catch (const DecodingError& error) {
        return error.kind();
    }
    return std::nullopt;
}

constexpr auto malformed = DecodingError::Kind::malformedPayload;
constexpr auto invalid = DecodingError::Kind::invalidValue;

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
              nlohmann::json::parse(R"({"type":"button","payload":{"button":"left","action":"click"}})"));
}

TEST(MessageJson, FloatsTravelAsTheirShortestDecimal) {
    EXPECT_EQ(payloadText(VolumeSet{0.1f}), R"({"level":0.1})");
    EXPECT_EQ(payloadText(VolumeSet{1.0f}), R"({"level":1.0})");
    // Every float, sampled across all bit patterns, reads back as itself; so do the two whose shortest decimal,
    // read as a double, rounds to another float.
    for (std::uint32_t bits : {0x15AE43FDu, 0x95AE43FDu}) {
        auto level = std::bit_cast<float>(bits);
        auto decoded = decodeText(MessageType::volumeSet, payloadText(VolumeSet{level}));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(decoded.get<VolumeSet>()->level), bits);
    }
    for (std::uint64_t bits = 0; bits <= 0xFFFF'FFFFu; bits += 524'287) {
        auto level = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        if (!std::isfinite(level)) continue;
        auto decoded = decodeText(MessageType::volumeSet, payloadText(VolumeSet{level}));
        ASSERT_EQ(std::bit_cast<std::uint32_t>(decoded.get<VolumeSet>()->level), bits) << level;
    }
}

TEST(MessageJson, ReadingIsTolerantWhereItMayBe) {
    // Unknown keys, any key order, whitespace, lower-case UUIDs, null optionals and integers for floats.
    auto decoded = decodeText(MessageType::error, R"( { "requestID" : 7, "future": [1, {"x": null}],
                                                        "detail": null, "code": "paused" } )");
    EXPECT_EQ(decoded, OrvikMessage(ErrorMessage{ErrorCode::paused, std::nullopt, 7}));
    auto authenticate =
        decodeText(MessageType::authenticate, R"({"deviceID":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","proof":""})");
    EXPECT_EQ(authenticate.get<Authenticate>()->deviceID, helperID);
    EXPECT_EQ(decodeText(MessageType::volumeSet, R"({"level":1})"), OrvikMessage(VolumeSet{1.0f}));
}

TEST(MessageJson, TextThatIsNotAJsonObjectIsMalformed) {
    for (const char* text : {"", "{", "[]", "\"x\"", "null", "{} x", "{\"deviceName\":\"a\"} {}",
                             "{\"deviceName\":\"\xC3\x28\"}", "{\"deviceName\":\"\xFF\"}", "\xEF\xBB\xBF"}) {
        EXPECT_EQ(failure(MessageType::authenticated, text), malformed) << text;
    }
}

TEST(MessageJson, MissingKeysAndWrongTypesAreMalformed) {
    EXPECT_EQ(failure(MessageType::authenticated, "{}"), malformed);
    EXPECT_EQ(failure(MessageType::authenticated, R"({"deviceName":null})"), malformed);
    EXPECT_EQ(failure(MessageType::authenticated, R"({"deviceName":5})"), malformed);
    EXPECT_EQ(failure(MessageType::runningApps, R"({"requestID":1,"apps":{}})"), malformed);
    EXPECT_EQ(failure(MessageType::runningApps, R"({"requestID":1,"apps":[{"name":"a","bundleID":"b"}]})"), malformed);
    EXPECT_EQ(failure(MessageType::runningApps, R"({"requestID":1,"apps":[{"name":"a","bundleID":"b","isActive":1}]})"),
              malformed);
    EXPECT_EQ(failure(MessageType::status, R"({"secureInputActive":false,"displayCount":1,"isPaused":false,)"
                                           R"("canControl":true,"battery":[]})"),
              malformed);
    EXPECT_EQ(failure(MessageType::volumeSet, R"({"level":"0.5"})"), malformed);
}

TEST(MessageJson, IntegersAreCheckedAgainstTheirWidth) {
    struct Case {
        MessageType type;
        std::string text;
        std::optional<DecodingError::Kind> result;
    };
    const Case cases[] = {
        {MessageType::clipboardGet, R"({"requestID":4294967295})", std::nullopt},
        {MessageType::clipboardGet, R"({"requestID":0})", std::nullopt},
        {MessageType::clipboardGet, R"({"requestID":-0})", std::nullopt},
        {MessageType::clipboardGet, R"({"requestID":4294967296})", invalid},
        {MessageType::clipboardGet, R"({"requestID":-1})", invalid},
        {MessageType::clipboardGet, R"({"requestID":1.5})", malformed},
        {MessageType::clipboardGet, R"({"requestID":1.0})", malformed},
        {MessageType::clipboardGet, R"({"requestID":1e2})", malformed},
        {MessageType::clipboardGet, R"({"requestID":18446744073709551616})", malformed},
        {MessageType::clipboardGet, R"({"requestID":"1"})", malformed},
        {MessageType::clipboardGet, R"({"requestID":true})", malformed},
        {MessageType::hello, R"({"protocolVersion":65535,"minimumSupported":0,"appVersion":"","capabilities":0})",
         std::nullopt},
        {MessageType::hello, R"({"protocolVersion":65536,"minimumSupported":0,"appVersion":"","capabilities":0})",
         invalid},
        {MessageType::hello,
         R"({"protocolVersion":1,"minimumSupported":1,"appVersion":"","capabilities":18446744073709551615})",
         std::nullopt},
        {MessageType::hello, R"({"protocolVersion":1,"minimumSupported":1,"appVersion":"","capabilities":-1})",
         invalid},
        {MessageType::power, R"({"requestID":1,"action":"sleep","delaySeconds":-9223372036854775808})", std::nullopt},
        {MessageType::power, R"({"requestID":1,"action":"sleep","delaySeconds":9223372036854775807})", std::nullopt},
        {MessageType::power, R"({"requestID":1,"action":"sleep","delaySeconds":9223372036854775808})", invalid},
        {MessageType::volumeSet, R"({"level":3.4028235e38})", std::nullopt},
        {MessageType::volumeSet, R"({"level":-3.4028236e38})", invalid},
        {MessageType::volumeSet, R"({"level":1e39})", invalid},
        {MessageType::volumeSet, R"({"level":1e400})", malformed},
    };
    for (const auto& [type, text, result] : cases) EXPECT_EQ(failure(type, text), result) << text;
}

TEST(MessageJson, BadBytesUuidsAndEnumerationTextsAreInvalid) {
    EXPECT_EQ(
        failure(MessageType::authenticate, R"({"deviceID":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","proof":"AAE"})"),
        invalid);
    EXPECT_EQ(
        failure(MessageType::authenticate, R"({"deviceID":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","proof":"AA-_"})"),
        invalid);
    EXPECT_EQ(failure(MessageType::authenticate, R"({"deviceID":"E621E1F8C36C495A93FC0C247A3E6E5F","proof":""})"),
              invalid);
    EXPECT_EQ(failure(MessageType::text, R"({"text":"a","mode":"Type"})"), invalid);
    EXPECT_EQ(failure(MessageType::error, R"({"code":"teapot"})"), invalid);
    EXPECT_EQ(failure(MessageType::screenStart, R"({"settings":{"maxWidth":1,"maxHeight":1,"frameRate":1},)"
                                                R"("codecs":["h264","av1"]})"),
              invalid);
}

TEST(MessageJson, DeepNestingIsRefusedBeforeParsing) {
    auto nested = [](std::size_t depth) {
        return R"({"requestID":1,"x":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
    };
    EXPECT_EQ(failure(MessageType::clipboardGet, nested(15)), std::nullopt);
    EXPECT_EQ(failure(MessageType::clipboardGet, nested(16)), malformed);
    EXPECT_EQ(failure(MessageType::clipboardGet, nested(500'000)), malformed);
    // Brackets inside strings do not count.
    EXPECT_EQ(failure(MessageType::clipboardGet, R"({"requestID":1,"x":")" + std::string(100, '[') + R"(\"["})"),
              std::nullopt);
}

TEST(MessageJson, MessageFromJsonChecksTheEnvelopeAndBinaryRules) {
    using nlohmann::json;
    auto kind = [](const json& value) -> std::optional<DecodingError::Kind> {
        try {
            messageFromJson(value);
        } catch (const DecodingError& error) {
            return error.kind();
        }
        return std::nullopt;
    };
    EXPECT_EQ(kind(json::array()), malformed);
    EXPECT_EQ(kind(json{{"payload", json::object()}}), malformed);
    EXPECT_EQ(kind(json{{"type", 0x0101}}), malformed);
    EXPECT_EQ(kind(json{{"type", "teleport"}}), DecodingError::Kind::unknownMessageType);
    EXPECT_EQ(messageFromJson(json{{"type", "unpair"}}), OrvikMessage(Unpair{}));
    EXPECT_EQ(kind(json{{"type", "ping"}}), malformed);
    EXPECT_EQ(kind(json{{"type", "ping"}, {"payload", {{"value", -1}}}}), invalid);
    EXPECT_EQ(kind(json{{"type", "button"}, {"payload", {{"button", "side"}, {"action", "up"}}}}), invalid);
    json frame{{"type", "screenFrame"},
               {"payload",
                {{"sequence", 1},
                 {"isKeyframe", false},
                 {"fragmentIndex", 0},
                 {"fragmentCount", 0},
                 {"captureTime", 0},
                 {"data", ""}}}};
    EXPECT_EQ(kind(frame), invalid);
    frame["payload"]["fragmentCount"] = 1;
    EXPECT_EQ(kind(frame), std::nullopt);
}

TEST(MessageJson, BinaryLayoutsKeepNonFiniteFloatsInTheirJsonForm) {
    constexpr float infinity = std::numeric_limits<float>::infinity();
    auto scroll = OrvikMessage(ScrollEvent{0.25f, -infinity, ScrollPhase::began, MomentumPhase::none});
    auto json = toJson(scroll);
    EXPECT_EQ(json["payload"]["dy"], "-Infinity");
    EXPECT_EQ(messageFromJson(json), scroll);
    auto pointer = messageFromJson(
        nlohmann::json::parse(R"({"type":"pointerAbsolute","payload":{"displayID":1,"x":"NaN","y":"Infinity",)"
                              R"("sequence":2}})"));
    EXPECT_TRUE(std::isnan(pointer.get<PointerAbsolute>()->x));
    EXPECT_EQ(pointer.get<PointerAbsolute>()->y, infinity);
    EXPECT_EQ(toJson(pointer)["payload"]["x"], "NaN");
    // JSON payloads carry numbers only, on the wire and in this form.
    EXPECT_EQ(failure(MessageType::volumeSet, R"({"level":"Infinity"})"), malformed);
    EXPECT_THROW(messageFromJson(nlohmann::json::parse(R"({"type":"pointerMove","payload":{"dx":"inf","dy":0,)"
                                                       R"("sequence":0}})")),
                 DecodingError);
}
