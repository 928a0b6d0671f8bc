#include "server/CommandRouting.hpp"

#include <gtest/gtest.h>

#include <set>

namespace orvik::helper {
namespace {

// One message of every type, each payload at its default values.
std::vector<OrvikMessage> everyMessage() {
    return []<std::size_t... I>(std::index_sequence<I...>) {
        return std::vector<OrvikMessage>{OrvikMessage(std::variant_alternative_t<I, OrvikMessage::Variant>{})...};
    }
    (std::make_index_sequence<std::variant_size_v<OrvikMessage::Variant>>());
}

TEST(CommandRouting, OnlyTheTenCommandsWithARequestIdentifierCarryOne) {
    const std::set<MessageType> carrying{
        MessageType::power,          MessageType::appCommand,         MessageType::shortcutRun,
        MessageType::sendURL,        MessageType::clipboardSet,       MessageType::appsListRequest,
        MessageType::appIconRequest, MessageType::runningAppsRequest, MessageType::shortcutsListRequest,
        MessageType::clipboardGet};
    for (const auto& message : everyMessage()) {
        SCOPED_TRACE(name(message.type()));
        EXPECT_EQ(requestID(message).has_value(), carrying.contains(message.type()));
    }
    EXPECT_EQ(requestID(PowerCommand{91, PowerAction::lock, std::nullopt}), 91u);
    EXPECT_EQ(requestID(ClipboardGet{{92}}), 92u);
    // Its refusals are error messages, although its payload has an identifier too.
    EXPECT_EQ(requestID(ScreenDisplaysRequest{{93}}), std::nullopt);
}

TEST(CommandRouting, LiveInputStatusRequestsAndAcknowledgementsSpendNoTokens) {
    const std::set<MessageType> free{
        MessageType::pointerMove,  MessageType::button, MessageType::scroll,          MessageType::key,
        MessageType::ping,         MessageType::pong,   MessageType::pointerAbsolute, MessageType::screenFrameAck,
        MessageType::statusRequest};
    for (const auto& message : everyMessage()) {
        SCOPED_TRACE(name(message.type()));
        EXPECT_EQ(isRateLimitedCommand(message), !free.contains(message.type()));
    }
}

TEST(CommandRouting, OnlyListingsTheSleepTimerStatusAndOverlayOffAreAllowedWhilePaused) {
    const std::set<MessageType> allowed{MessageType::appsListRequest,
                                        MessageType::appIconRequest,
                                        MessageType::runningAppsRequest,
                                        MessageType::shortcutsListRequest,
                                        MessageType::cancelSleepTimer,
                                        MessageType::statusRequest,
                                        MessageType::overlay};
    for (const auto& message : everyMessage()) {
        SCOPED_TRACE(name(message.type()));
        EXPECT_EQ(isAllowedWhilePaused(message), allowed.contains(message.type()));
    }
    EXPECT_TRUE(isAllowedWhilePaused(OverlayCommand{OverlayMode::off}));
    EXPECT_FALSE(isAllowedWhilePaused(OverlayCommand{OverlayMode::laser}));
    EXPECT_FALSE(isAllowedWhilePaused(OverlayCommand{OverlayMode::spotlight}));
}

} // namespace
} // namespace orvik::helper
