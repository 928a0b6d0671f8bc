#pragma once

#include "preferences/HelperPreferences.hpp"

#include <functional>
#include <type_traits>
#include <utility>

namespace orvik::helper {

// One field of the preferences set to a value. Whoever holds the record applies it on top of its own copy, so a
// change carries nothing of the other fields as the sender last saw them. A plain value: copies may cross threads.
class PreferenceChange {
public:
    template <class Value>
    PreferenceChange(Value HelperPreferences::*field, std::type_identity_t<Value> value)
        : set_([field, value = std::move(value)](HelperPreferences& preferences) { preferences.*field = value; }) {}

    void applyTo(HelperPreferences& preferences) const { set_(preferences); }

    // The record with this change made.
    HelperPreferences appliedTo(HelperPreferences preferences) const {
        applyTo(preferences);
        return preferences;
    }

private:
    std::function<void(HelperPreferences&)> set_;
};

} // namespace orvik::helper
