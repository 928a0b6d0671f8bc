#include "alerts/ScreenViewingApproval.hpp"

#include "alerts/ApprovalAlert.hpp"

namespace orvik::helper {

namespace {
constexpr qsizetype allowOnceButton = 0;
constexpr qsizetype alwaysAllowButton = 1;
constexpr qsizetype denyViewingButton = 2;

ScreenViewingDecision decision(qsizetype chosen) {
    switch (chosen) {
    case allowOnceButton: return ScreenViewingDecision::allowOnce;
    case alwaysAllowButton: return ScreenViewingDecision::alwaysAllow;
    default: return ScreenViewingDecision::deny;
    }
}
} // namespace

void ScreenViewingApproval::ask(const ScreenViewingRequest& request, MenuPlace menu,
                                std::function<void(ScreenViewingDecision)> done) {
    const ApprovalAlert::Question question{
        QStringLiteral("Allow “") + QString::fromStdString(request.deviceName) +
            QStringLiteral("” to view this computer’s screen?"),
        QStringLiteral("It will see everything on the screen while viewing. The Orvik icon %1 shows when someone is "
                       "viewing, and you can stop it there.")
            .arg(QString::fromStdString(menuPlaceText(menu))),
        {QStringLiteral("Allow Once"), QStringLiteral("Always Allow"), QStringLiteral("Don’t Allow")},
        denyViewingButton,
    };
    ApprovalAlert::open(question, [done = std::move(done)](qsizetype chosen) { done(decision(chosen)); });
}

} // namespace orvik::helper
