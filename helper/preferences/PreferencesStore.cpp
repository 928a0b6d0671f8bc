#include "preferences/PreferencesStore.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"

namespace orvik::helper {

UserDefaultsPreferencesStore::UserDefaultsPreferencesStore(std::shared_ptr<UserDefaults> defaults)
    : defaults_(std::move(defaults)) {}

HelperPreferences UserDefaultsPreferencesStore::load() const {
    auto stored = defaults_->data(key);
    if (!stored) return {};
    try {
        return HelperPreferences::decode(*stored);
    } catch (const DecodingError&) {
        return {};
    }
}

void UserDefaultsPreferencesStore::save(const HelperPreferences& preferences) {
    defaults_->setData(key, preferences.encode());
}

InMemoryPreferencesStore::InMemoryPreferencesStore(HelperPreferences initial) : preferences_(std::move(initial)) {}

HelperPreferences InMemoryPreferencesStore::load() const {
    std::lock_guard lock(mutex_);
    return preferences_;
}

void InMemoryPreferencesStore::save(const HelperPreferences& preferences) {
    std::lock_guard lock(mutex_);
    preferences_ = preferences;
}

} // namespace orvik::helper
