#include "server/HelperServices.hpp"
#include "server/ServerTypes.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(ServerEvent, CarriesEachCaseWithItsPayload) {
    auto event = ServerEvent::handshakeFailed("10.0.0.9");
    ASSERT_TRUE(event.get<ServerEvent::HandshakeFailed>());
    EXPECT_EQ(event.get<ServerEvent::HandshakeFailed>()->address, "10.0.0.9");
    EXPECT_FALSE(event.get<ServerEvent::Paused>());
    EXPECT_FALSE(ServerEvent::pairing(std::nullopt).get<ServerEvent::Pairing>()->info);
    EXPECT_EQ(ServerEvent::listenerStatus(ListenerStatus::ready(5)).get<ServerEvent::ListenerStatusChanged>()->status,
              ListenerStatus::ready(5));
}

TEST(HelperServices, DefaultsPermitPostingRefusePairingAndOfferNothingElse) {
    HelperServices services;
    EXPECT_TRUE(services.canPostEvents());
    bool checked = false;
    services.requestUpdateCheck([&checked] { checked = true; });
    EXPECT_TRUE(checked) << "completes at once";
    std::optional<bool> approved;
    services.approvePairing({"Anna", "iPhone15,2"}, [&approved](bool answer) { approved = answer; });
    EXPECT_EQ(approved, false);
    EXPECT_FALSE(services.system);
    EXPECT_FALSE(services.screen);
}

TEST(HelperServices, AnEmptyCallableStandsForTheDefault) {
    HelperServices services({}, {}, [](PairingApprovalRequest request, std::function<void(bool)> done) {
        done(request.deviceName == "Anna");
    });
    EXPECT_TRUE(services.canPostEvents());
    std::optional<bool> approved;
    services.approvePairing({"Anna", "m"}, [&approved](bool answer) { approved = answer; });
    EXPECT_EQ(approved, true);
}

} // namespace
} // namespace orvik::helper
