#include "core/Log.hpp"

#include <sys/stat.h>
#include <systemd/sd-journal.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace orvik::helper {
namespace {

std::mutex sinkMutex;
Log::Sink customSink;

const char* levelName(Log::Level level) {
    switch (level) {
    case Log::Level::debug: return "debug";
    case Log::Level::info: return "info";
    case Log::Level::notice: return "notice";
    case Log::Level::error: return "error";
    case Log::Level::fault: return "fault";
    }
    return "info";
}

int syslogPriority(Log::Level level) {
    switch (level) {
    case Log::Level::debug: return 7;
    case Log::Level::info: return 6;
    case Log::Level::notice: return 5;
    case Log::Level::error: return 3;
    case Log::Level::fault: return 2;
    }
    return 6;
}

bool journalAvailable() {
    static const bool available = [] {
        struct stat info {};
        return ::stat("/run/systemd/journal/socket", &info) == 0;
    }();
    return available;
}

void writeDefault(Log::Level level, std::string_view category, std::string_view message) {
    if (journalAvailable()) {
        sd_journal_send("MESSAGE=%.*s", static_cast<int>(message.size()), message.data(), "PRIORITY=%d",
                        syslogPriority(level), "ORVIK_CATEGORY=%.*s", static_cast<int>(category.size()),
                        category.data(), "SYSLOG_IDENTIFIER=orvik-helper", nullptr);
    }
    if (level == Log::Level::debug && !std::getenv("ORVIK_DEBUG")) return;
    std::fprintf(stderr, "orvik-helper[%.*s] %s: %.*s\n", static_cast<int>(category.size()), category.data(),
                 levelName(level), static_cast<int>(message.size()), message.data());
}

} // namespace

void Log::write(Level level, std::string_view category, std::string_view message) {
    Sink sink;
    {
        std::lock_guard lock(sinkMutex);
        sink = customSink;
    }
    if (sink) {
        sink(level, category, message);
    } else {
        writeDefault(level, category, message);
    }
}

void Log::debug(std::string_view category, std::string_view message) {
    write(Level::debug, category, message);
}
void Log::info(std::string_view category, std::string_view message) {
    write(Level::info, category, message);
}
void Log::notice(std::string_view category, std::string_view message) {
    write(Level::notice, category, message);
}
void Log::error(std::string_view category, std::string_view message) {
    write(Level::error, category, message);
}
void Log::fault(std::string_view category, std::string_view message) {
    write(Level::fault, category, message);
}

void Log::setSink(Sink sink) {
    std::lock_guard lock(sinkMutex);
    customSink = std::move(sink);
}

} // namespace orvik::helper
