#include "core/InMemoryUserDefaults.hpp"

namespace orvik::helper {

std::optional<UserDefaults::Value> InMemoryUserDefaults::value(std::string_view key) const {
    std::lock_guard lock(mutex_);
    return lookup(values_, key);
}

void InMemoryUserDefaults::set(std::string_view key, Value value) {
    std::lock_guard lock(mutex_);
    if (store(values_, key, std::move(value))) ++changes_;
}

void InMemoryUserDefaults::remove(std::string_view key) {
    std::lock_guard lock(mutex_);
    if (erase(values_, key)) ++changes_;
}

std::uint64_t InMemoryUserDefaults::changeCount() const {
    std::lock_guard lock(mutex_);
    return changes_;
}

} // namespace orvik::helper
