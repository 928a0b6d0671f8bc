#include "server/PendingEviction.hpp"

#include <map>
#include <string_view>

namespace orvik::helper {

std::optional<Uuid> PendingEviction::choose(const std::vector<Candidate>& pending, const std::string& newcomerAddress) {
    std::map<std::string_view, int> insideTLS;
    for (const auto& session : pending) {
        if (!session.finishedTLS) ++insideTLS[session.address];
    }
    ++insideTLS[newcomerAddress];

    const Candidate* chosen = nullptr;
    for (const auto& session : pending) {
        if (session.finishedTLS) continue;
        if (!chosen) {
            chosen = &session;
            continue;
        }
        const int count = insideTLS[session.address];
        const int chosenCount = insideTLS[chosen->address];
        if (count > chosenCount || (count == chosenCount && session.openedAt < chosen->openedAt)) chosen = &session;
    }
    if (!chosen) return std::nullopt;
    return chosen->id;
}

} // namespace orvik::helper
