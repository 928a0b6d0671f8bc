#include "system/BatteryReader.hpp"

#include "core/AtomicFile.hpp"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

namespace orvik::helper {

namespace {

// The first line of an attribute file, absent when it cannot be read.
std::optional<std::string> attribute(const std::filesystem::path& supply, const char* name) {
    auto file = AtomicFile::read(supply / name);
    if (file.status != AtomicFile::ReadResult::Status::contents || file.contents.empty()) return std::nullopt;
    return file.contents.substr(0, file.contents.find('\n'));
}

std::optional<double> number(const std::filesystem::path& supply, const char* name) {
    auto text = attribute(supply, name);
    if (!text) return std::nullopt;
    try {
        return std::stod(*text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// `now` / `full`, absent when either is missing or `full` is not above 0.
std::optional<float> fraction(const std::filesystem::path& supply, const char* now, const char* full) {
    auto current = number(supply, now);
    auto maximum = number(supply, full);
    if (!current || !maximum || *maximum <= 0) return std::nullopt;
    return static_cast<float>(*current / *maximum);
}

std::optional<float> level(const std::filesystem::path& supply) {
    if (auto energy = fraction(supply, "energy_now", "energy_full")) return energy;
    if (auto charge = fraction(supply, "charge_now", "charge_full")) return charge;
    constexpr double percent = 100;
    if (auto capacity = number(supply, "capacity")) return static_cast<float>(*capacity / percent);
    return std::nullopt;
}

bool isSystemBattery(const std::filesystem::path& supply) {
    return attribute(supply, "type") == "Battery" && attribute(supply, "scope") != "Device";
}

} // namespace

std::shared_ptr<BatteryReader> BatteryReader::create(std::filesystem::path root, asio::any_io_executor worker,
                                                     ServerClock now) {
    auto reader = std::shared_ptr<BatteryReader>(new BatteryReader(std::move(root), std::move(worker), std::move(now)));
    reader->latest();
    return reader;
}

BatteryReader::BatteryReader(std::filesystem::path root, asio::any_io_executor worker, ServerClock now)
    : root_(std::move(root)), worker_(std::move(worker)), now_(std::move(now)) {}

std::optional<BatteryStatus> BatteryReader::latest() {
    std::lock_guard lock(mutex_);
    const double now = now_();
    if (!requestedAt_ || now - *requestedAt_ >= refreshInterval) {
        requestedAt_ = now;
        asio::post(worker_, [weak = weak_from_this()] {
            if (auto reader = weak.lock()) reader->refresh();
        });
    }
    return cached_;
}

void BatteryReader::refresh() {
    auto reading = read(root_);
    std::lock_guard lock(mutex_);
    cached_ = reading;
}

std::optional<BatteryStatus> BatteryReader::read(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> supplies;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root, error)) supplies.push_back(entry.path());
    std::sort(supplies.begin(), supplies.end());
    for (const auto& supply : supplies) {
        if (!isSystemBattery(supply)) continue;
        auto charge = level(supply);
        if (!charge) continue;
        return BatteryStatus{*charge, attribute(supply, "status") == "Charging"};
    }
    return std::nullopt;
}

} // namespace orvik::helper
