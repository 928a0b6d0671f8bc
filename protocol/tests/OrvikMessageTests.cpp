#include "SampleMessages.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include "DecodingFailure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <regex>
#include <set>
#include <string>

using namespace std::string_literals;
using namespace orvik;
using Kind = DecodingError::Kind;

namespace {

std::optional<Kind> decodeFailure(std::uint16_t type, Bytes payload) {
    return orvik::testing::failureOf([&] { OrvikMessage::decode(Frame{type, 0, std::move(payload)}); });
}

constexpr auto code = [](MessageType type) { return static_cast<std::uint16_t>(type); };

} // namespace

TEST(OrvikMessage, EveryMessageSurvivesFramingAndJson) {
    std::set<MessageType> covered;
    for (const auto& message : orvik::testing::sampleMessages()) {
        SCOPED_TRACE(name(message.type()));
        covered.insert(message.type());
        auto frame = message.frame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->type, code(message.type()));
        EXPECT_EQ(frame->flags, 0);
        EXPECT_EQ(OrvikMessage::decode(*frame), message);
        frame->flags = 0x8001; // receivers ignore flags
        EXPECT_EQ(OrvikMessage::decode(*frame), message);

        auto json = toJson(message);
        EXPECT_EQ(json["type"], name(message.type()));
        EXPECT_EQ(messageFromJson(nlohmann::json::parse(json.dump())), message);
    }
    EXPECT_EQ(covered.size(), allMessageTypes.size()) << "the samples cover every case";
}

TEST(OrvikMessage, DecodingFailuresHaveTheirKinds) {
    for (auto type : {MessageType::requestUpdateCheck, MessageType::unpair, MessageType::cancelSleepTimer,
                      MessageType::statusRequest, MessageType::screenStop, MessageType::screenKeyframeRequest}) {
        EXPECT_EQ(decodeFailure(code(type), {}), std::nullopt) << name(type);
        EXPECT_EQ(decodeFailure(code(type), Bytes{'{', '}'}), Kind::unexpectedLength) << name(type);
    }
    EXPECT_EQ(decodeFailure(0xF000, {}), Kind::unknownMessageType);
    EXPECT_EQ(decodeFailure(0x0108, Bytes(16)), Kind::unknownMessageType);
    EXPECT_EQ(decodeFailure(0x0000, {}), Kind::unknownMessageType);
    EXPECT_STREQ(name(static_cast<MessageType>(0xF000)), "unknown");
    EXPECT_FALSE(messageTypeNamed("PointerMove"));
    EXPECT_EQ(decodeFailure(code(MessageType::pointerMove), Bytes(11)), Kind::unexpectedLength);
    EXPECT_EQ(decodeFailure(code(MessageType::button), Bytes{0, 5}), Kind::invalidValue);
    EXPECT_EQ(decodeFailure(code(MessageType::screenFrame), Bytes(17)), Kind::invalidValue);
    EXPECT_EQ(decodeFailure(code(MessageType::status), {}), Kind::malformedPayload);
    EXPECT_EQ(decodeFailure(code(MessageType::status), Bytes{'[', ']'}), Kind::malformedPayload);
    EXPECT_EQ(decodeFailure(code(MessageType::text), Bytes(FrameHeader::maxPayloadLength + 1, ' ')),
              Kind::unexpectedLength);
}

TEST(OrvikMessage, FrameIsAbsentForWhatCannotTravel) {
    // Payload limit: the JSON object around the text adds 24 bytes.
    const std::size_t wrapper = R"({"mode":"type","text":""})"s.size();
    auto fitting = TextInput{std::string(FrameHeader::maxPayloadLength - wrapper, 'a'), TextMode::type};
    ASSERT_TRUE(OrvikMessage(fitting).frame());
    EXPECT_EQ(OrvikMessage(fitting).frame()->payload.size(), FrameHeader::maxPayloadLength);
    fitting.text.push_back('a');
    EXPECT_FALSE(OrvikMessage(fitting).frame());
    EXPECT_EQ(OrvikMessage(fitting).encodedPayload()->size(), FrameHeader::maxPayloadLength + 1) << "not limited";
    EXPECT_FALSE(OrvikMessage(TextInput{"\xC3\x28", TextMode::type}).encodedPayload());

    EXPECT_FALSE(OrvikMessage(VolumeSet{std::numeric_limits<float>::quiet_NaN()}).frame());
    EXPECT_FALSE(OrvikMessage(VolumeSet{std::numeric_limits<float>::infinity()}).frame());
    EXPECT_FALSE(OrvikMessage(ScreenFormat{.region = {0, std::nan(""), 1, 1}}).frame());
    EXPECT_FALSE(OrvikMessage(TextInput{"\xC3\x28", TextMode::type}).frame());
    EXPECT_FALSE(OrvikMessage(MediaCommand{static_cast<MediaKey>(42)}).frame());
    EXPECT_FALSE(OrvikMessage(CommandResult{1, static_cast<ErrorCode>(99)}).frame());
    EXPECT_THROW(toJson(OrvikMessage(VolumeSet{std::numeric_limits<float>::quiet_NaN()})), std::invalid_argument);

    // Binary layouts carry any float, NaN included.
    auto nan = OrvikMessage(PointerMove{std::numeric_limits<float>::quiet_NaN(), 0, 1});
    ASSERT_TRUE(nan.frame());
    EXPECT_TRUE(std::isnan(OrvikMessage::decode(*nan.frame()).get<PointerMove>()->dx));
}

TEST(OrvikMessage, RoutingReadsTheRequestIdentifierAndTheOverlayModeFromThePayload) {
    EXPECT_EQ(OrvikMessage(PowerCommand{91, PowerAction::lock, std::nullopt}).requestID(), 91u);
    EXPECT_EQ(OrvikMessage(ClipboardGet{{92}}).requestID(), 92u);
    EXPECT_EQ(OrvikMessage(ScreenDisplaysRequest{{93}}).requestID(), std::nullopt);
    EXPECT_TRUE(OrvikMessage(OverlayCommand{OverlayMode::off}).isAllowedWhilePaused());
    EXPECT_FALSE(OrvikMessage(OverlayCommand{OverlayMode::laser}).isAllowedWhilePaused());
}

// The document's message table must say what the message list says.
TEST(OrvikMessage, TheProtocolDocumentListsEveryMessageAsDefined) {
    std::ifstream document(ORVIK_PROTOCOL_DOCUMENT);
    ASSERT_TRUE(document) << ORVIK_PROTOCOL_DOCUMENT;
    const std::regex row(R"(^\| 0x([0-9A-F]{4}) \| `(\w+)` \| [^|]+ \| [^|]+ \| (yes|no) \| (yes|no|when off) \| )"
                         R"((commandResult|error) \|$)");
    std::set<MessageType> listed;
    for (std::string line; std::getline(document, line);) {
        std::smatch match;
        if (!std::regex_match(line, match, row)) continue;
        auto type = messageType(static_cast<std::uint16_t>(std::stoi(match[1], nullptr, 16)));
        ASSERT_TRUE(type) << line;
        EXPECT_EQ(name(*type), match[2]) << line;
        const auto routed = routing(*type);
        EXPECT_EQ(match[3], routed.metering == MessageRouting::Metering::metered ? "yes" : "no") << line;
        const char* whilePaused[] = {"no", "yes", "when off"};
        EXPECT_EQ(match[4], whilePaused[static_cast<std::size_t>(routed.whilePaused)]) << line;
        EXPECT_EQ(match[5], routed.echo == MessageRouting::Echo::requestID ? "commandResult" : "error") << line;
        EXPECT_TRUE(listed.insert(*type).second) << line;
    }
    EXPECT_EQ(listed.size(), allMessageTypes.size());
}
