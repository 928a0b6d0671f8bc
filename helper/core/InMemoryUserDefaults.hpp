#pragma once

#include "core/UserDefaults.hpp"

#include <cstdint>
#include <mutex>
#include <string>

namespace orvik::helper {

// User defaults kept in memory only: the double of FileUserDefaults. It counts the changes it took, so tests can
// tell that writing an equal value changed nothing.
class InMemoryUserDefaults final : public UserDefaults {
public:
    InMemoryUserDefaults() = default;

    std::optional<Value> value(std::string_view key) const override;
    void set(std::string_view key, Value value) override;
    void remove(std::string_view key) override;

    // How many set or remove calls changed a stored value.
    std::uint64_t changeCount() const;

private:
    mutable std::mutex mutex_;
    ValueMap values_;
    std::uint64_t changes_ = 0;
};

} // namespace orvik::helper
