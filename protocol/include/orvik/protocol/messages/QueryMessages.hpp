#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Queries from the phone and the helper's replies. A reply echoes the query's request identifier.
namespace orvik {

// The payload of every query that carries nothing but its request identifier. Each such message has a type
// of its own derived from it, so that the message variant tells them apart.
struct Request {
    std::uint32_t requestID = 0;

    bool operator==(const Request&) const = default;
};

struct AppsListRequest : Request {
    bool operator==(const AppsListRequest&) const = default;
};
struct RunningAppsRequest : Request {
    bool operator==(const RunningAppsRequest&) const = default;
};
struct ShortcutsListRequest : Request {
    bool operator==(const ShortcutsListRequest&) const = default;
};
struct ClipboardGet : Request {
    bool operator==(const ClipboardGet&) const = default;
};
struct ScreenDisplaysRequest : Request {
    bool operator==(const ScreenDisplaysRequest&) const = default;
};

// `version` may be empty.
struct AppInfo {
    std::string name{};
    std::string bundleID{};
    std::string version{};

    bool operator==(const AppInfo&) const = default;
};

struct AppsList {
    std::uint32_t requestID = 0;
    std::vector<AppInfo> apps{};

    bool operator==(const AppsList&) const = default;
};

// `isActive`: the app is the one in front.
struct RunningApp {
    std::string name{};
    std::string bundleID{};
    bool isActive = false;

    bool operator==(const RunningApp&) const = default;
};

struct RunningApps {
    std::uint32_t requestID = 0;
    std::vector<RunningApp> apps{};

    bool operator==(const RunningApps&) const = default;
};

// `size` is the icon's edge length in pixels.
struct AppIconRequest {
    std::uint32_t requestID = 0;
    std::string bundleID{};
    std::int64_t size = 0;

    bool operator==(const AppIconRequest&) const = default;
};

// `png` holds a PNG image.
struct AppIcon {
    std::uint32_t requestID = 0;
    std::string bundleID{};
    std::string version{};
    Bytes png{};

    bool operator==(const AppIcon&) const = default;
};

struct ShortcutInfo {
    std::string name{};
    std::optional<std::string> folder = std::nullopt;

    bool operator==(const ShortcutInfo&) const = default;
};

struct ShortcutsList {
    std::uint32_t requestID = 0;
    std::vector<ShortcutInfo> shortcuts{};

    bool operator==(const ShortcutsList&) const = default;
};

// `text` is absent when the clipboard holds no text.
struct ClipboardContent {
    std::uint32_t requestID = 0;
    std::optional<std::string> text = std::nullopt;

    bool operator==(const ClipboardContent&) const = default;
};

} // namespace orvik
