#pragma once

#include "core/ServerClock.hpp"
#include "orvik/protocol/messages/HelperStatus.hpp"

#include <asio.hpp>

#include <filesystem>
#include <mutex>
#include <optional>

namespace orvik::helper {

// The internal battery's charge and charging state from the kernel's power-supply folder. Reads can be slow (a
// battery's firmware answers them), so `latest()` answers from a cache at once and asks the worker for a fresh
// reading when the cached one is older than `refreshInterval`. The status every phone gets every two seconds asks
// for it, so the interval is what a connected, idle phone costs in reads and wake-ups of the worker; a battery
// moves a percent in minutes. Thread-safe; the worker must outlive the reader.
class BatteryReader : public std::enable_shared_from_this<BatteryReader> {
public:
    static constexpr const char* systemRoot = "/sys/class/power_supply";
    static constexpr double refreshInterval = 30; // seconds

    // Starts the first reading at once.
    static std::shared_ptr<BatteryReader> create(std::filesystem::path root, asio::any_io_executor worker,
                                                 ServerClock now = systemUptimeClock());

    // The last reading; absent before the first one ends and when no battery qualifies.
    std::optional<BatteryStatus> latest();

    // Reads now: the first source in name order whose type is Battery and whose scope is not Device (a mouse's
    // or a phone's battery). Level from energy, else charge, else capacity; absent when none is readable.
    static std::optional<BatteryStatus> read(const std::filesystem::path& root);

private:
    BatteryReader(std::filesystem::path root, asio::any_io_executor worker, ServerClock now);
    void refresh();

    const std::filesystem::path root_;
    asio::any_io_executor worker_;
    const ServerClock now_;

    std::mutex mutex_;
    std::optional<BatteryStatus> cached_;
    std::optional<double> requestedAt_;
};

} // namespace orvik::helper
