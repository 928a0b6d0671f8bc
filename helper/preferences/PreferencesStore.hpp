#pragma once

#include "core/UserDefaults.hpp"
#include "preferences/HelperPreferences.hpp"

#include <memory>
#include <mutex>

namespace orvik::helper {

// Where the preferences live. load() never fails (defaults stand in for whatever is missing or unreadable);
// save() reports nothing.
class PreferencesStore {
public:
    virtual ~PreferencesStore() = default;
    virtual HelperPreferences load() const = 0;
    virtual void save(const HelperPreferences& preferences) = 0;
};

// The application's store: the record's JSON bytes as a data value under "helperPreferences".
class UserDefaultsPreferencesStore final : public PreferencesStore {
public:
    static constexpr const char* key = "helperPreferences";

    explicit UserDefaultsPreferencesStore(std::shared_ptr<UserDefaults> defaults);

    HelperPreferences load() const override;
    void save(const HelperPreferences& preferences) override;

private:
    std::shared_ptr<UserDefaults> defaults_;
};

// Keeps the record in memory only; safe from any thread.
class InMemoryPreferencesStore final : public PreferencesStore {
public:
    explicit InMemoryPreferencesStore(HelperPreferences initial = {});

    HelperPreferences load() const override;
    void save(const HelperPreferences& preferences) override;

private:
    mutable std::mutex mutex_;
    HelperPreferences preferences_;
};

} // namespace orvik::helper
