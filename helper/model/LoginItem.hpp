#pragma once

#include <optional>
#include <string>

namespace orvik::helper {

// Whether the application starts when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual bool isEnabled() const = 0;
    // Absent on success, else why the change failed (the caller logs it).
    virtual std::optional<std::string> setEnabled(bool enabled) = 0;
};

} // namespace orvik::helper
