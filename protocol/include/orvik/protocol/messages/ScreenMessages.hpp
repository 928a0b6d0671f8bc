#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/messages/CaseNames.hpp"
#include "orvik/protocol/messages/NormalizedRect.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The JSON payloads of screen viewing. The video itself travels in the binary ScreenFrame (ScreenFrame.hpp).
namespace orvik {

enum class ScreenCodec { h264, hevc };

// `width`/`height` in points, `pixelWidth`/`pixelHeight` in device pixels.
struct ScreenDisplay {
    std::uint32_t id = 0;
    std::string name{};
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t pixelWidth = 0;
    std::int64_t pixelHeight = 0;
    bool isMain = false;

    bool operator==(const ScreenDisplay&) const = default;
};

struct ScreenDisplays {
    std::uint32_t requestID = 0;
    std::vector<ScreenDisplay> displays{};

    bool operator==(const ScreenDisplays&) const = default;
};

// What a viewer asks for. The helper limits the frame rate to `frameRates` itself; the request carries it as sent.
struct ScreenSettings {
    struct FrameRateRange {
        std::int64_t lowerBound;
        std::int64_t upperBound;

        constexpr bool contains(std::int64_t rate) const { return rate >= lowerBound && rate <= upperBound; }
        constexpr std::int64_t clamp(std::int64_t rate) const { return std::clamp(rate, lowerBound, upperBound); }
    };
    static constexpr FrameRateRange frameRates{5, 60};

    std::int64_t maxWidth = 0;
    std::int64_t maxHeight = 0;
    std::int64_t frameRate = 0;
    std::optional<NormalizedRect> region = std::nullopt;

    bool operator==(const ScreenSettings&) const = default;
};

// `codecs` in the phone's order of preference. An absent display means the main display.
struct ScreenStart {
    std::optional<std::uint32_t> displayID = std::nullopt;
    ScreenSettings settings{};
    std::vector<ScreenCodec> codecs{};

    bool operator==(const ScreenStart&) const = default;
};

struct ScreenConfigure {
    std::optional<std::uint32_t> displayID = std::nullopt;
    ScreenSettings settings{};

    bool operator==(const ScreenConfigure&) const = default;
};

struct ScreenStarted {
    ScreenDisplay display{};
    ScreenCodec codec = ScreenCodec::h264;
    std::int64_t frameRate = 0;

    bool operator==(const ScreenStarted&) const = default;
};

enum class ScreenStreamState {
    streaming,
    awaitingApproval,
    paused,
    locked,
    permissionMissing,
    notAllowed,
    displayUnavailable,
};

struct ScreenState {
    ScreenStreamState state = ScreenStreamState::streaming;

    bool operator==(const ScreenState&) const = default;
};

// Announced before the first fragment of the keyframe that introduces it. `parameterSets` are the codec's
// parameter sets (VPS for HEVC, SPS, PPS) in order, each without start code or length field.
struct ScreenFormat {
    ScreenCodec codec = ScreenCodec::h264;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<Bytes> parameterSets{};
    NormalizedRect region{};

    bool operator==(const ScreenFormat&) const = default;
};

template <> struct CaseNames<ScreenCodec> {
    static constexpr std::array<std::pair<ScreenCodec, std::string_view>, 2> table{
        {{ScreenCodec::h264, "h264"}, {ScreenCodec::hevc, "hevc"}}};
};
template <> struct CaseNames<ScreenStreamState> {
    static constexpr std::array<std::pair<ScreenStreamState, std::string_view>, 7> table{
        {{ScreenStreamState::streaming, "streaming"},
         {ScreenStreamState::awaitingApproval, "awaitingApproval"},
         {ScreenStreamState::paused, "paused"},
         {ScreenStreamState::locked, "locked"},
         {ScreenStreamState::permissionMissing, "permissionMissing"},
         {ScreenStreamState::notAllowed, "notAllowed"},
         {ScreenStreamState::displayUnavailable, "displayUnavailable"}}};
};

} // namespace orvik
