#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace orvik::helper {

// The one log facade of the application. Messages are short sentences with public values; the category names
// the component ("Server", "Listener", "DeviceStore", …). Writes to the journal when one runs, else to stderr.
class Log {
public:
    enum class Level { debug, info, notice, error, fault };
    using Sink = std::function<void(Level, std::string_view category, std::string_view message)>;

    static void debug(std::string_view category, std::string_view message);
    static void info(std::string_view category, std::string_view message);
    static void notice(std::string_view category, std::string_view message);
    static void error(std::string_view category, std::string_view message);
    static void fault(std::string_view category, std::string_view message);
    static void write(Level level, std::string_view category, std::string_view message);

    // Replaces where messages go (tests capture them); an empty sink restores the default. Thread-safe.
    static void setSink(Sink sink);
};

} // namespace orvik::helper
