#include "alerts/PairingApproval.hpp"

#include "alerts/ApprovalAlert.hpp"

namespace orvik::helper {

namespace {
constexpr qsizetype allowButton = 0;
constexpr qsizetype denyPairingButton = 1;
} // namespace

void PairingApproval::ask(const PairingApprovalRequest& request, std::function<void(bool allowed)> done) {
    const ApprovalAlert::Question question{
        QStringLiteral("Allow “") + QString::fromStdString(request.deviceName) +
            QStringLiteral("” to control this computer?"),
        QStringLiteral("It will be able to move the pointer, type and use Orvik’s controls. You can remove it at any "
                       "time in Orvik Helper Settings."),
        {QStringLiteral("Allow"), QStringLiteral("Deny")},
        denyPairingButton,
    };
    ApprovalAlert::open(question, [done = std::move(done)](qsizetype chosen) { done(chosen == allowButton); });
}

} // namespace orvik::helper
