#include "OnboardingFakes.hpp"
#include "onboarding/AppStoreHint.hpp"
#include "onboarding/LocalNetworkStep.hpp"
#include "onboarding/PairingPresentation.hpp"
#include "onboarding/QRCode.hpp"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace orvik::helper::testing {
namespace {

using namespace std::chrono_literals;
using State = PairingPresentation::State;

TEST(QRCode, TakesTheLargestWholeScaleThatFitsAndNeverLessThanOnePixelPerModule) {
    struct Row {
        int width, pixelSize, factor;
    };
    for (auto row : {Row{37, 520, 14}, Row{37, 160, 4}, Row{40, 520, 13}, Row{37, 36, 1}, Row{37, 0, 1}, Row{37, -5, 1},
                     Row{37, 37, 1}, Row{37, 74, 2}}) {
        EXPECT_EQ(QRCode::scaleFactor(row.width, row.pixelSize), row.factor) << row.width << " in " << row.pixelSize;
    }
}

TEST(QRCode, EncodesTheUTF8BytesWithAQuietZoneAtWholeModuleSizes) {
    // 50 bytes need version 4 at level M: 33 modules and two on each side.
    const std::string text = "orvik://pair?n=Zoë’s computer&a=192.168.1.20:5000";
    ASSERT_EQ(text.size(), 52u);
    for (auto [pixelSize, side] : {std::pair{520, 518}, std::pair{160, 148}, std::pair{10, 37}}) {
        auto picture = QRCode::image(text, pixelSize);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->modules, 37);
        EXPECT_EQ(picture->image.width(), side);
        EXPECT_EQ(picture->image.height(), side);
    }
    auto picture = QRCode::image(text);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image.pixelColor(0, 0), QColor(Qt::white)) << "quiet zone";
    EXPECT_EQ(picture->image.pixelColor(2 * 14, 2 * 14), QColor(Qt::black)) << "finder pattern corner";
    QTemporaryDir folder;
    EXPECT_EQ(zbar(picture->image, folder.filePath(QStringLiteral("code.png"))), text);
    EXPECT_FALSE(QRCode::image(std::string(4000, 'x'))) << "beyond the largest version";
}

TEST(PairingPresentation, AnOpenSessionWinsThenADevicePairedSinceShownElseExpired) {
    const Date shownAt = Date{} + 1000s;
    const auto info = pairingInfo("CODE", shownAt + 300s);
    struct Row {
        bool session;
        std::optional<Date> pairedAt;
        State state;
    };
    for (auto row : {Row{true, shownAt, State::code}, Row{true, std::nullopt, State::code},
                     Row{false, shownAt, State::paired}, Row{false, shownAt + 1s, State::paired},
                     Row{false, shownAt - 1ms, State::expired}, Row{false, std::nullopt, State::expired}}) {
        std::optional<PairedDevice> paired;
        if (row.pairedAt) paired = device("Phone", *row.pairedAt);
        EXPECT_EQ(PairingPresentation::state(row.session ? std::optional(info) : std::nullopt, paired, shownAt),
                  row.state);
    }
}

TEST(PairingPresentation, CountsDownWholeSecondsCutTowardZeroAndStopsAtZero) {
    const Date expiry = Date{} + 10000s;
    struct Row {
        std::chrono::milliseconds left;
        const char* text;
    };
    for (auto row : {Row{299'900ms, "Code expires in 4:59"}, Row{300s, "Code expires in 5:00"},
                     Row{59'999ms, "Code expires in 0:59"}, Row{7s, "Code expires in 0:07"},
                     Row{-500ms, "Code expires in 0:00"}, Row{-90s, "Code expires in 0:00"}}) {
        EXPECT_EQ(PairingPresentation::countdown(expiry, expiry - row.left), row.text);
    }
    EXPECT_EQ(PairingPresentation::spelledOut("AB1-2"), "A B 1 - 2");
}

TEST(AppStoreHint, LinksOnlyAnIdentifierThatIsSetBlanksIncluded) {
    EXPECT_EQ(AppStoreHint::link(std::nullopt), std::nullopt);
    EXPECT_EQ(AppStoreHint::link(""), std::nullopt);
    EXPECT_EQ(AppStoreHint::link("{{APP_STORE_ID}}"), std::nullopt);
    EXPECT_EQ(AppStoreHint::link("{{"), std::nullopt);
    EXPECT_EQ(AppStoreHint::link("6443"), "https://apps.apple.com/app/id6443");
    EXPECT_EQ(AppStoreHint::link(" "), "https://apps.apple.com/app/id ");
}

TEST(LocalNetworkStep, ShowsTheFirstTimeBranchUntilStartedThenFollowsTheStatus) {
    using Branch = LocalNetworkStep::Branch;
    for (const auto& status : {ListenerStatus::ready(1), ListenerStatus::localNetworkDenied(),
                               ListenerStatus::starting(), ListenerStatus::failed("x")}) {
        EXPECT_EQ(LocalNetworkStep::branch(false, status), Branch::firstTime);
    }
    for (auto [status, shown] :
         {std::pair{ListenerStatus::ready(0), Branch::ready}, std::pair{ListenerStatus::ready(65535), Branch::ready},
          std::pair{ListenerStatus::localNetworkDenied(), Branch::denied},
          std::pair{ListenerStatus::starting(), Branch::waiting},
          std::pair{ListenerStatus::failed("address in use"), Branch::waiting}}) {
        EXPECT_EQ(LocalNetworkStep::branch(true, status), shown);
    }
}

} // namespace
} // namespace orvik::helper::testing
