#include "server/OutgoingFrame.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

OrvikMessage decoded(const OutgoingFrame& outgoing) {
    return OrvikMessage::decode(outgoing.frame);
}

const std::string oversized(FrameHeader::maxPayloadLength, 'x');

TEST(OutgoingFrame, AMessageThatFitsGoesOutAsItsOwnFrame) {
    const OrvikMessage reply = ClipboardContent{7, std::string(FrameHeader::maxPayloadLength - 40, 'x')};
    auto outgoing = OutgoingFrame::of(reply);
    EXPECT_EQ(outgoing.frame, *reply.frame());
    EXPECT_FALSE(outgoing.replaced);
}

// Each reply is refused the way its request's refusals are, so that the phone waiting on it is answered.
TEST(OutgoingFrame, AReplyTooLargeForOneFrameIsReplacedByARefusalOfItsRequest) {
    const std::vector<std::pair<OrvikMessage, OrvikMessage>> cases{
        {ClipboardContent{7, oversized}, CommandResult{7, ErrorCode::invalidRequest, "too large"}},
        // JSON escaping makes a third of the limit too large.
        {ClipboardContent{8, std::string(FrameHeader::maxPayloadLength / 3, '\x01')},
         CommandResult{8, ErrorCode::invalidRequest, "too large"}},
        {ShortcutsList{9, std::vector<ShortcutInfo>(20000, ShortcutInfo{std::string(60, 's'), "Folder"})},
         CommandResult{9, ErrorCode::invalidRequest, "too large"}},
        {AppsList{10, std::vector<AppInfo>(15000, AppInfo{std::string(40, 'a'), std::string(40, 'b'), "1.0"})},
         CommandResult{10, ErrorCode::invalidRequest, "too large"}},
        {ScreenDisplays{11, std::vector<ScreenDisplay>(20000, ScreenDisplay{.name = std::string(60, 'd')})},
         ErrorMessage{ErrorCode::invalidRequest, "too large", 11}},
        {ErrorMessage{ErrorCode::notFound, oversized, std::nullopt},
         ErrorMessage{ErrorCode::invalidRequest, "too large", std::nullopt}},
        {ClipboardContent{12, "\xC3\x28"}, CommandResult{12, ErrorCode::internalError, "cannot be encoded"}},
    };
    for (const auto& [message, refusal] : cases) {
        auto outgoing = OutgoingFrame::of(message);
        EXPECT_EQ(decoded(outgoing), refusal) << name(message.type());
        EXPECT_TRUE(outgoing.replaced) << name(message.type());
    }
    EXPECT_EQ(OutgoingFrame::of(ClipboardContent{7, oversized}).replaced,
              "Reply too large: clipboardContent of " +
                  std::to_string(OrvikMessage(ClipboardContent{7, oversized}).encodedPayload()->size()) + " bytes");
}

} // namespace
} // namespace orvik::helper
