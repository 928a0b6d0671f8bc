#include "SampleMessages.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>

using namespace std::string_literals;

using namespace orvik;
using orvik::testing::sampleMessages;

namespace {

DecodingError::Kind decodeFailure(const Frame& frame) {
    try {
        OrvikMessage::decode(frame);
    } catch (const DecodingError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "decoded type " << frame.type;
    return DecodingError::Kind::truncated;
}

Frame frameOf(MessageType type, Bytes payload) {
    return Frame{static_cast<std::uint16_t>(type), 0, payload};
}

} // namespace

TEST(MessageType, CodesAreGroupedByFamilyInCaseOrder) {
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::pointerMove), 0x0101);
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::pointerAbsolute), 0x0107);
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::hello), 0x0201);
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::unpair), 0x0209);
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::text), 0x0301);
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::cancelSleepTimer), 0x030C);
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::status), 0x0401);
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::statusRequest), 0x040C);
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::screenDisplaysRequest), 0x0501);
    EXPECT_EQ(static_cast<std::uint16_t>(MessageType::screenKeyframeRequest), 0x050B);

    // Within each family the codes count up from 1 in the order of the cases.
    std::map<int, std::vector<std::uint16_t>> families;
    for (auto type : allMessageTypes) {
        auto code = static_cast<std::uint16_t>(type);
        families[code >> 8].push_back(code & 0xFF);
    }
    ASSERT_EQ(families.size(), 5u);
    for (const auto& [family, lows] : families) {
        for (std::size_t i = 0; i < lows.size(); ++i) EXPECT_EQ(lows[i], i + 1) << "family " << family;
    }
}

TEST(MessageType, RawCodesNameExactlyTheFiftyOneTypes) {
    int named = 0;
    for (std::uint32_t raw = 0; raw <= 0xFFFF; ++raw) {
        auto type = messageType(static_cast<std::uint16_t>(raw));
        if (!type) continue;
        ++named;
        EXPECT_EQ(static_cast<std::uint16_t>(*type), raw);
    }
    EXPECT_EQ(named, 51);
    EXPECT_FALSE(messageType(0xF000));
}

TEST(MessageType, NamesAreTheCaseNamesAndReadBack) {
    EXPECT_STREQ(name(MessageType::pointerMove), "pointerMove");
    EXPECT_STREQ(name(MessageType::error), "error");
    EXPECT_STREQ(name(MessageType::sendURL), "sendURL");
    EXPECT_STREQ(name(static_cast<MessageType>(0xF000)), "unknown");
    std::set<std::string> names;
    for (auto type : allMessageTypes) {
        names.insert(name(type));
        EXPECT_EQ(messageTypeNamed(name(type)), type);
    }
    EXPECT_EQ(names.size(), 51u);
    EXPECT_FALSE(messageTypeNamed("PointerMove"));
    EXPECT_FALSE(messageTypeNamed(""));
}

TEST(OrvikMessage, VariantIndexIsTheCaseOrder) {
    std::set<MessageType> covered;
    for (const auto& message : sampleMessages()) {
        EXPECT_EQ(message.type(), allMessageTypes[message.value.index()]);
        covered.insert(message.type());
    }
    EXPECT_EQ(covered.size(), 51u) << "the samples cover every case";
    EXPECT_EQ(OrvikMessage(Ping{1}).type(), MessageType::ping);
    EXPECT_EQ(OrvikMessage(ClipboardGet{{3}}).type(), MessageType::clipboardGet);
    EXPECT_EQ(OrvikMessage(ScreenDisplaysRequest{{3}}).type(), MessageType::screenDisplaysRequest);
    EXPECT_EQ(OrvikMessage(ScreenKeyframeRequest{}).type(), MessageType::screenKeyframeRequest);
    ASSERT_NE(OrvikMessage(Pong{5}).get<Pong>(), nullptr);
    EXPECT_EQ(OrvikMessage(Pong{5}).get<Pong>()->value, 5u);
    EXPECT_EQ(OrvikMessage(Pong{5}).get<Ping>(), nullptr);
}

TEST(OrvikMessage, EveryMessageSurvivesFramingAndJson) {
    for (const auto& message : sampleMessages()) {
        SCOPED_TRACE(name(message.type()));
        auto frame = message.frame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->type, static_cast<std::uint16_t>(message.type()));
        EXPECT_EQ(frame->flags, 0);
        EXPECT_EQ(OrvikMessage::decode(*frame), message);

        auto json = toJson(message);
        EXPECT_EQ(json["type"], name(message.type()));
        EXPECT_EQ(messageFromJson(json), message);
        EXPECT_EQ(messageFromJson(nlohmann::json::parse(json.dump())), message);
    }
}

TEST(OrvikMessage, SignalMessagesHaveEmptyPayloadsAndRefuseOthers) {
    for (auto type : {MessageType::requestUpdateCheck, MessageType::unpair, MessageType::cancelSleepTimer,
                      MessageType::statusRequest, MessageType::screenStop, MessageType::screenKeyframeRequest}) {
        SCOPED_TRACE(name(type));
        EXPECT_EQ(OrvikMessage::decode(frameOf(type, {})).type(), type);
        EXPECT_EQ(decodeFailure(frameOf(type, Bytes{'{', '}'})), DecodingError::Kind::unexpectedLength);
    }
    EXPECT_TRUE(OrvikMessage(Unpair{}).frame()->payload.empty());
}

TEST(OrvikMessage, DecodingFailuresHaveTheirKinds) {
    using Kind = DecodingError::Kind;
    EXPECT_EQ(decodeFailure(Frame{0xF000, 0, {}}), Kind::unknownMessageType);
    EXPECT_EQ(decodeFailure(Frame{0x0108, 0, Bytes(16)}), Kind::unknownMessageType);
    EXPECT_EQ(decodeFailure(Frame{0x0000, 0, {}}), Kind::unknownMessageType);
    EXPECT_EQ(decodeFailure(frameOf(MessageType::pointerMove, Bytes(11))), Kind::unexpectedLength);
    EXPECT_EQ(decodeFailure(frameOf(MessageType::button, Bytes{0, 5})), Kind::invalidValue);
    EXPECT_EQ(decodeFailure(frameOf(MessageType::screenFrame, Bytes(17))), Kind::invalidValue);
    EXPECT_EQ(decodeFailure(frameOf(MessageType::status, {})), Kind::malformedPayload);
    EXPECT_EQ(decodeFailure(frameOf(MessageType::status, Bytes{'[', ']'})), Kind::malformedPayload);
    EXPECT_EQ(decodeFailure(frameOf(MessageType::text, Bytes(FrameHeader::maxPayloadLength + 1, ' '))),
              Kind::unexpectedLength);
}

TEST(OrvikMessage, FlagsAreIgnoredWhenDecoding) {
    auto frame = *OrvikMessage(Ping{9}).frame();
    frame.flags = 0x8001;
    EXPECT_EQ(OrvikMessage::decode(frame), OrvikMessage(Ping{9}));
}

TEST(OrvikMessage, FrameIsAbsentForWhatCannotTravel) {
    // Payload limit: the JSON object around the text adds 24 bytes.
    const std::size_t wrapper = R"({"mode":"type","text":""})"s.size();
    auto fitting = TextInput{std::string(FrameHeader::maxPayloadLength - wrapper, 'a'), TextMode::type};
    ASSERT_TRUE(OrvikMessage(fitting).frame());
    EXPECT_EQ(OrvikMessage(fitting).frame()->payload.size(), FrameHeader::maxPayloadLength);
    fitting.text.push_back('a');
    EXPECT_FALSE(OrvikMessage(fitting).frame());

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

TEST(OrvikMessage, EqualityComparesTheCaseAndThePayload) {
    EXPECT_EQ(OrvikMessage(Ping{1}), OrvikMessage(Ping{1}));
    EXPECT_NE(OrvikMessage(Ping{1}), OrvikMessage(Pong{1}));
    EXPECT_NE(OrvikMessage(AppsListRequest{{1}}), OrvikMessage(RunningAppsRequest{{1}}));
    EXPECT_NE(OrvikMessage(Unpair{}), OrvikMessage(ScreenStop{}));
    HelperStatus status{.displayCount = 1};
    auto other = status;
    other.volume = VolumeStatus{0.5f, false, true};
    EXPECT_NE(OrvikMessage(status), OrvikMessage(other));
}
