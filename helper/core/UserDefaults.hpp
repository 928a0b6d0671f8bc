#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace orvik::helper {

// A small typed key-value store of user settings. Reading a key under another type than it was written with
// gives absent (a text read as data is absent). Implementations are thread-safe.
class UserDefaults {
public:
    using Value = std::variant<bool, std::int64_t, std::string, Bytes>;

    virtual ~UserDefaults() = default;

    virtual std::optional<Value> value(std::string_view key) const = 0;
    // Writing a value equal to the stored one changes nothing (and writes nothing to disk).
    virtual void set(std::string_view key, Value value) = 0;
    virtual void remove(std::string_view key) = 0;
    // Keys to set (with a value) or to remove (without one) together.
    using Changes = std::vector<std::pair<std::string, std::optional<Value>>>;

    // Makes changes that must outlive the process, all of them or none: absent when they are saved, else why not,
    // and then nothing changed. A store that keeps nothing on disk only makes them.
    virtual std::optional<std::string> changeDurably(Changes changes) {
        for (auto& [key, value] : changes) {
            if (value) {
                set(key, std::move(*value));
            } else {
                remove(key);
            }
        }
        return std::nullopt;
    }
    std::optional<std::string> setDurably(std::string_view key, Value value) {
        Changes changes;
        changes.emplace_back(std::string(key), std::move(value));
        return changeDurably(std::move(changes));
    }

    std::optional<bool> boolean(std::string_view key) const { return typed<bool>(key); }
    std::optional<std::int64_t> integer(std::string_view key) const { return typed<std::int64_t>(key); }
    std::optional<std::string> text(std::string_view key) const { return typed<std::string>(key); }
    std::optional<Bytes> data(std::string_view key) const { return typed<Bytes>(key); }

    void setBoolean(std::string_view key, bool value) { set(key, Value(value)); }
    void setInteger(std::string_view key, std::int64_t value) { set(key, Value(value)); }
    void setText(std::string_view key, std::string value) { set(key, Value(std::move(value))); }
    void setData(std::string_view key, Bytes value) { set(key, Value(std::move(value))); }

protected:
    using ValueMap = std::map<std::string, Value, std::less<>>;

    // The rules every implementation keeps its values by. Each returns whether anything changed: writing an
    // equal value or removing a missing key changes nothing.
    static bool store(ValueMap& values, std::string_view key, Value value) {
        auto found = values.find(key);
        if (found == values.end()) {
            values.emplace(std::string(key), std::move(value));
        } else if (found->second == value) {
            return false;
        } else {
            found->second = std::move(value);
        }
        return true;
    }
    static bool erase(ValueMap& values, std::string_view key) {
        auto found = values.find(key);
        if (found == values.end()) return false;
        values.erase(found);
        return true;
    }
    static std::optional<Value> lookup(const ValueMap& values, std::string_view key) {
        auto found = values.find(key);
        if (found == values.end()) return std::nullopt;
        return found->second;
    }

private:
    template <typename T> std::optional<T> typed(std::string_view key) const {
        auto stored = value(key);
        if (!stored) return std::nullopt;
        if (auto* typedValue = std::get_if<T>(&*stored)) return std::move(*typedValue);
        return std::nullopt;
    }
};

} // namespace orvik::helper
