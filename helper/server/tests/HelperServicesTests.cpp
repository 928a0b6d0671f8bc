#include "server/HelperServices.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(HelperServices, DefaultsPermitPostingRefusePairingAndOfferNothingElse) {
    for (const HelperServices& services : {HelperServices(), HelperServices({}, {}, {})}) {
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
}

} // namespace
} // namespace orvik::helper
