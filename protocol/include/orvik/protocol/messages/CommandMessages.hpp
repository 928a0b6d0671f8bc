#pragma once

#include "orvik/protocol/coding/ErrorCode.hpp"
#include "orvik/protocol/messages/CaseNames.hpp"

#include <cstdint>
#include <optional>
#include <string>

// Commands from the phone and the helper's reply to those that carry a request identifier. Every enumeration
// here travels as its case name.
namespace orvik {

enum class TextMode { type, paste };

struct TextInput {
    std::string text{};
    TextMode mode = TextMode::type;

    bool operator==(const TextInput&) const = default;
};

enum class MediaKey { playPause, next, previous, volumeUp, volumeDown, mute };

struct MediaCommand {
    MediaKey key = MediaKey::playPause;

    bool operator==(const MediaCommand&) const = default;
};

// `level` is the output volume from 0 to 1.
struct VolumeSet {
    float level = 0;

    bool operator==(const VolumeSet&) const = default;
};

enum class PresentationAction { next, previous, start, stop, blackScreen, whiteScreen };
enum class PresentationApp { keynote, powerPoint, googleSlides, generic };

struct PresentationCommand {
    PresentationAction action = PresentationAction::next;
    PresentationApp app = PresentationApp::generic;

    bool operator==(const PresentationCommand&) const = default;
};

enum class PowerAction { lock, displaySleep, sleep, restart, shutDown, logOut };

// An absent delay means now.
struct PowerCommand {
    std::uint32_t requestID = 0;
    PowerAction action = PowerAction::lock;
    std::optional<std::int64_t> delaySeconds = std::nullopt;

    bool operator==(const PowerCommand&) const = default;
};

enum class AppAction { launch, activate, quit };

struct AppCommand {
    std::uint32_t requestID = 0;
    std::string bundleID{};
    AppAction action = AppAction::launch;

    bool operator==(const AppCommand&) const = default;
};

struct ShortcutRun {
    std::uint32_t requestID = 0;
    std::string name{};

    bool operator==(const ShortcutRun&) const = default;
};

struct SendURL {
    std::uint32_t requestID = 0;
    std::string url{};

    bool operator==(const SendURL&) const = default;
};

struct ClipboardSet {
    std::uint32_t requestID = 0;
    std::string text{};

    bool operator==(const ClipboardSet&) const = default;
};

enum class OverlayMode { off, laser, spotlight };

struct OverlayCommand {
    OverlayMode mode = OverlayMode::off;

    bool operator==(const OverlayCommand&) const = default;
};

// The outcome of a command with a request identifier: no error means it succeeded.
struct CommandResult {
    std::uint32_t requestID = 0;
    std::optional<ErrorCode> error = std::nullopt;
    std::optional<std::string> detail = std::nullopt;

    bool operator==(const CommandResult&) const = default;
};

template <> struct CaseNames<TextMode> {
    static constexpr std::array<std::pair<TextMode, std::string_view>, 2> table{
        {{TextMode::type, "type"}, {TextMode::paste, "paste"}}};
};
template <> struct CaseNames<MediaKey> {
    static constexpr std::array<std::pair<MediaKey, std::string_view>, 6> table{{{MediaKey::playPause, "playPause"},
                                                                                 {MediaKey::next, "next"},
                                                                                 {MediaKey::previous, "previous"},
                                                                                 {MediaKey::volumeUp, "volumeUp"},
                                                                                 {MediaKey::volumeDown, "volumeDown"},
                                                                                 {MediaKey::mute, "mute"}}};
};
template <> struct CaseNames<PresentationAction> {
    static constexpr std::array<std::pair<PresentationAction, std::string_view>, 6> table{
        {{PresentationAction::next, "next"},
         {PresentationAction::previous, "previous"},
         {PresentationAction::start, "start"},
         {PresentationAction::stop, "stop"},
         {PresentationAction::blackScreen, "blackScreen"},
         {PresentationAction::whiteScreen, "whiteScreen"}}};
};
template <> struct CaseNames<PresentationApp> {
    static constexpr std::array<std::pair<PresentationApp, std::string_view>, 4> table{
        {{PresentationApp::keynote, "keynote"},
         {PresentationApp::powerPoint, "powerPoint"},
         {PresentationApp::googleSlides, "googleSlides"},
         {PresentationApp::generic, "generic"}}};
};
template <> struct CaseNames<PowerAction> {
    static constexpr std::array<std::pair<PowerAction, std::string_view>, 6> table{
        {{PowerAction::lock, "lock"},
         {PowerAction::displaySleep, "displaySleep"},
         {PowerAction::sleep, "sleep"},
         {PowerAction::restart, "restart"},
         {PowerAction::shutDown, "shutDown"},
         {PowerAction::logOut, "logOut"}}};
};
template <> struct CaseNames<AppAction> {
    static constexpr std::array<std::pair<AppAction, std::string_view>, 3> table{
        {{AppAction::launch, "launch"}, {AppAction::activate, "activate"}, {AppAction::quit, "quit"}}};
};
template <> struct CaseNames<OverlayMode> {
    static constexpr std::array<std::pair<OverlayMode, std::string_view>, 3> table{
        {{OverlayMode::off, "off"}, {OverlayMode::laser, "laser"}, {OverlayMode::spotlight, "spotlight"}}};
};

} // namespace orvik
