#include "core/InMemoryUserDefaults.hpp"

namespace orvik::helper {

std::optional<UserDefaults::Value> InMemoryUserDefaults::value(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

void InMemoryUserDefaults::set(std::string_view key, Value value) {
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    if (found != values_.end()) {
        if (found->second == value) return;
        found->second = std::move(value);
    } else {
        values_.emplace(std::string(key), std::move(value));
    }
    ++changes_;
}

void InMemoryUserDefaults::remove(std::string_view key) {
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    if (found == values_.end()) return;
    values_.erase(found);
    ++changes_;
}

std::uint64_t InMemoryUserDefaults::changeCount() const {
    std::lock_guard lock(mutex_);
    return changes_;
}

} // namespace orvik::helper
