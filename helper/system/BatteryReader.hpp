#pragma once

#include "orvik/protocol/messages/HelperStatus.hpp"

#include <asio.hpp>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>

namespace orvik::helper {

// The internal battery's charge and charging state from the kernel's power-supply folder. Reads can be slow (a
// battery's firmware answers them), so `latest()` answers from a cache at once and asks the worker for a fresh
// reading when the cached one is older than `refreshInterval`. Thread-safe; the worker must outlive the reader.
class BatteryReader : public std::enable_shared_from_this<BatteryReader> {
public:
    static constexpr const char* systemRoot = "/sys/class/power_supply";
    static constexpr std::chrono::seconds refreshInterval{2};

    // Starts the first reading at once.
    static std::shared_ptr<BatteryReader> create(std::filesystem::path root, asio::any_io_executor worker);

    // The last reading; absent before the first one ends and when no battery qualifies.
    std::optional<BatteryStatus> latest();

    // Reads now: the first source in name order whose type is Battery and whose scope is not Device (a mouse's
    // or a phone's battery). Level from energy, else charge, else capacity; absent when none is readable.
    static std::optional<BatteryStatus> read(const std::filesystem::path& root);

private:
    BatteryReader(std::filesystem::path root, asio::any_io_executor worker);
    void refresh();

    const std::filesystem::path root_;
    asio::any_io_executor worker_;

    std::mutex mutex_;
    std::optional<BatteryStatus> cached_;
    std::optional<std::chrono::steady_clock::time_point> requestedAt_;
};

} // namespace orvik::helper
