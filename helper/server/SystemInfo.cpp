#include "server/SystemInfo.hpp"

#include "core/UnicodeText.hpp"

#include <linux/if_packet.h>
#include <net/if.h>
#include <netdb.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <sstream>
#include <unordered_set>

namespace orvik::helper {
namespace {

constexpr const char* machineInfoFile = "/etc/machine-info";
constexpr const char* productNameFile = "/sys/class/dmi/id/product_name";
constexpr const char* deviceTreeModelFile = "/proc/device-tree/model";
constexpr const char* routeTableFile = "/proc/net/route";
constexpr std::size_t hardwareAddressLength = 6;
constexpr std::size_t numericHostBufferSize = 1025; // NI_MAXHOST
constexpr std::string_view linkLocalPrefix = "169.254.";
constexpr unsigned routeUp = 0x1; // RTF_UP

std::string_view trimmedWhitespace(std::string_view text) {
    constexpr std::string_view whitespace = " \t\r\n\v\f";
    auto start = text.find_first_not_of(whitespace);
    if (start == std::string_view::npos) return {};
    auto end = text.find_last_not_of(whitespace);
    return text.substr(start, end - start + 1);
}

// The bytes up to the first zero byte, as UTF-8 with ill-formed sequences replaced by U+FFFD.
std::string validUTF8(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    return UnicodeText::wellFormed(bytes);
}

std::optional<std::string> nonEmpty(std::string text) {
    if (text.empty()) return std::nullopt;
    return text;
}

// Undoes the shell quoting of an env-style value: "…" and '…' quotes and backslash escapes.
std::string unquoted(std::string_view value) {
    std::string text;
    char quote = 0;
    for (std::size_t index = 0; index < value.size(); ++index) {
        char c = value[index];
        if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else if (quote != 0 && c == quote) {
            quote = 0;
        } else if (c == '\\' && quote != '\'' && index + 1 < value.size()) {
            text.push_back(value[++index]);
        } else {
            text.push_back(c);
        }
    }
    return text;
}

std::string hardwareAddressText(const unsigned char* bytes) {
    char text[3 * hardwareAddressLength] = {};
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                  bytes[5]);
    return text;
}

std::optional<std::string> numericHost(const SocketAddress& address) {
    char host[numericHostBufferSize] = {};
    if (::getnameinfo(address.get(), address.length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) {
        return std::nullopt;
    }
    return validUTF8(std::string_view(host, sizeof host));
}

} // namespace

SystemInfo::SystemInfo(std::shared_ptr<const SystemInfoSource> source) : source_(std::move(source)) {}

std::string SystemInfo::computerName() const {
    if (auto machineInfo = source_->readFile(machineInfoFile)) {
        if (auto pretty = prettyHostName(*machineInfo)) return *pretty;
    }
    if (auto host = source_->hostName(); host && !host->empty()) return validUTF8(*host);
    return std::string(fallbackName);
}

std::string SystemInfo::modelIdentifier() const {
    for (const char* file : {productNameFile, deviceTreeModelFile}) {
        if (auto contents = source_->readFile(file)) {
            auto model = validUTF8(trimmedWhitespace(std::string_view(*contents).substr(0, contents->find('\0'))));
            if (!model.empty()) return model;
        }
    }
    return std::string(fallbackName);
}

std::optional<std::string> SystemInfo::primaryMACAddress() const {
    auto routes = source_->readFile(routeTableFile);
    if (!routes) return std::nullopt;
    auto interfaceName = defaultRouteInterface(*routes);
    if (!interfaceName) return std::nullopt;
    return macAddress(*interfaceName);
}

std::optional<std::string> SystemInfo::macAddress(std::string_view interfaceName) const {
    std::optional<std::string> result;
    for (const auto& entry : source_->interfaces()) {
        if (entry.name != interfaceName || !entry.address || entry.address->family() != AF_PACKET) continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(&entry.address->storage);
        if (link->sll_halen != hardwareAddressLength) continue;
        result = hardwareAddressText(link->sll_addr);
    }
    return result;
}

std::optional<std::string> SystemInfo::localHostName() const {
    std::optional<std::string> name;
    {
        std::lock_guard lock(mutex_);
        name = advertisedHostName_;
    }
    if (!name) {
        auto host = source_->hostName();
        if (!host) return std::nullopt;
        name = host->substr(0, host->find('.'));
    }
    if (name->empty()) return std::nullopt;
    return *name + std::string(localDomainSuffix);
}

std::vector<HostPort> SystemInfo::reachableAddresses(std::uint16_t port) const {
    std::vector<HostPort> addresses;
    constexpr unsigned required = IFF_UP | IFF_RUNNING;
    for (const auto& entry : source_->interfaces()) {
        if ((entry.flags & required) != required || (entry.flags & IFF_LOOPBACK) != 0) continue;
        if (!entry.address || entry.address->family() != AF_INET) continue;
        auto host = numericHost(*entry.address);
        if (!host || host->starts_with(linkLocalPrefix)) continue;
        addresses.push_back({*host, port});
    }
    if (auto name = localHostName()) addresses.push_back({*name, port});

    std::unordered_set<HostPort> seen;
    std::erase_if(addresses, [&seen](const HostPort& address) { return !seen.insert(address).second; });
    return addresses;
}

void SystemInfo::setAdvertisedHostName(std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    advertisedHostName_ = std::move(name);
}

std::optional<std::string> SystemInfo::defaultRouteInterface(std::string_view routeTable) {
    std::optional<std::string> best;
    unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
    std::istringstream lines{std::string(routeTable)};
    std::string line;
    std::getline(lines, line); // the column titles
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flagsText, references, use, metricText, mask;
        if (!(fields >> name >> destination >> gateway >> flagsText >> references >> use >> metricText >> mask)) {
            continue;
        }
        unsigned flags = 0;
        unsigned long metric = 0;
        if (std::from_chars(flagsText.data(), flagsText.data() + flagsText.size(), flags, 16).ec != std::errc{} ||
            std::from_chars(metricText.data(), metricText.data() + metricText.size(), metric).ec != std::errc{}) {
            continue;
        }
        bool isDefault = destination == "00000000" && mask == "00000000" && (flags & routeUp) != 0;
        if (isDefault && metric < bestMetric) {
            best = name;
            bestMetric = metric;
        }
    }
    return best;
}

std::optional<std::string> SystemInfo::prettyHostName(std::string_view machineInfo) {
    constexpr std::string_view key = "PRETTY_HOSTNAME=";
    std::optional<std::string> value;
    std::istringstream lines{std::string(machineInfo)};
    std::string line;
    while (std::getline(lines, line)) {
        auto text = trimmedWhitespace(line);
        if (text.starts_with(key)) value = validUTF8(unquoted(trimmedWhitespace(text.substr(key.size()))));
    }
    if (!value) return std::nullopt;
    return nonEmpty(std::move(*value));
}

} // namespace orvik::helper
