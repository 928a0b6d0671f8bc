#include "server/HelperServer.hpp"

namespace orvik::helper {

std::optional<std::string> HelperServer::requesterAddress(const Uuid& sessionID) const {
    auto* session = findSession(sessionID);
    if (!session) return std::nullopt;
    return session->address;
}

void HelperServer::awaitApproval(const Uuid& sessionID) {
    if (auto* session = findSession(sessionID)) session->stage = Session::AwaitingApproval{};
}

void HelperServer::askPairingApproval(PairingApprovalRequest request, std::function<void(bool)> done) {
    // Read at each question: setServices may have replaced it.
    auto approve = services_.approvePairing;
    approve(std::move(request), std::move(done));
}

std::function<void(const Uuid&)> HelperServer::expiryHandler() {
    return [weakSelf = weak_from_this()](const Uuid& id) {
        if (auto self = weakSelf.lock()) self->expirePairing(id);
    };
}

} // namespace orvik::helper
