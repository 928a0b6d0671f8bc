#pragma once

#include "JsonValue.hpp"

#include "orvik/protocol/messages/OrvikMessage.hpp"

// The JSON keys of every payload: the field names. The binary payloads have a JSON form too, for tools and
// tests; there their enumerations are case names and bytes Base64, like everywhere else, and their floats may
// be non-finite, as on the wire.
namespace orvik::json {

#define ORVIK_JSON_FIELDS(Type, ...)                                                                                   \
    template <> struct JsonFields<Type> {                                                                              \
        using T = Type;                                                                                                \
        static constexpr auto fields = std::tuple{__VA_ARGS__};                                                        \
    }

#define ORVIK_JSON_NO_FIELDS(Type)                                                                                     \
    template <> struct JsonFields<Type> { static constexpr auto fields = std::tuple<>{}; }

// Live input
ORVIK_JSON_FIELDS(PointerMove, anyFloatField("dx", &T::dx), anyFloatField("dy", &T::dy),
                  field("sequence", &T::sequence));
ORVIK_JSON_FIELDS(ButtonEvent, field("button", &T::button), field("action", &T::action));
ORVIK_JSON_FIELDS(ScrollEvent, anyFloatField("dx", &T::dx), anyFloatField("dy", &T::dy), field("phase", &T::phase),
                  field("momentum", &T::momentum));
ORVIK_JSON_FIELDS(KeyEvent, field("keyCode", &T::keyCode), field("modifiers", &T::modifiers),
                  field("action", &T::action));
ORVIK_JSON_FIELDS(Ping, field("value", &T::value));
ORVIK_JSON_FIELDS(Pong, field("value", &T::value));
ORVIK_JSON_FIELDS(PointerAbsolute, field("displayID", &T::displayID), anyFloatField("x", &T::x),
                  anyFloatField("y", &T::y), field("sequence", &T::sequence));

// Session and handshake
ORVIK_JSON_FIELDS(Hello, field("protocolVersion", &T::protocolVersion), field("minimumSupported", &T::minimumSupported),
                  field("appVersion", &T::appVersion), field("capabilities", &T::capabilities));
ORVIK_JSON_FIELDS(HelloAck, field("protocolVersion", &T::protocolVersion),
                  field("minimumSupported", &T::minimumSupported), field("helperVersion", &T::helperVersion),
                  field("helperID", &T::helperID), field("macName", &T::macName), field("model", &T::model),
                  field("capabilities", &T::capabilities), field("macAddress", &T::macAddress),
                  field("challenge", &T::challenge));
ORVIK_JSON_FIELDS(Authenticate, field("deviceID", &T::deviceID), field("proof", &T::proof));
ORVIK_JSON_FIELDS(Authenticated, field("deviceName", &T::deviceName));
ORVIK_JSON_FIELDS(PairRequest, field("deviceID", &T::deviceID), field("deviceName", &T::deviceName),
                  field("deviceModel", &T::deviceModel), field("appVersion", &T::appVersion),
                  field("method", &T::method), field("proof", &T::proof));
ORVIK_JSON_FIELDS(PairAccepted, field("deviceKey", &T::deviceKey), field("helperID", &T::helperID),
                  field("macName", &T::macName), field("capabilities", &T::capabilities));
ORVIK_JSON_FIELDS(ErrorMessage, field("code", &T::code), field("detail", &T::detail),
                  field("requestID", &T::requestID));

// Commands
ORVIK_JSON_FIELDS(TextInput, field("text", &T::text), field("mode", &T::mode));
ORVIK_JSON_FIELDS(MediaCommand, field("key", &T::key));
ORVIK_JSON_FIELDS(VolumeSet, field("level", &T::level));
ORVIK_JSON_FIELDS(PresentationCommand, field("action", &T::action), field("app", &T::app));
ORVIK_JSON_FIELDS(PowerCommand, field("requestID", &T::requestID), field("action", &T::action),
                  field("delaySeconds", &T::delaySeconds));
ORVIK_JSON_FIELDS(AppCommand, field("requestID", &T::requestID), field("bundleID", &T::bundleID),
                  field("action", &T::action));
ORVIK_JSON_FIELDS(ShortcutRun, field("requestID", &T::requestID), field("name", &T::name));
ORVIK_JSON_FIELDS(SendURL, field("requestID", &T::requestID), field("url", &T::url));
ORVIK_JSON_FIELDS(ClipboardSet, field("requestID", &T::requestID), field("text", &T::text));
ORVIK_JSON_FIELDS(OverlayCommand, field("mode", &T::mode));
ORVIK_JSON_FIELDS(CommandResult, field("requestID", &T::requestID), field("error", &T::error),
                  field("detail", &T::detail));

// Status
ORVIK_JSON_FIELDS(BatteryStatus, field("level", &T::level), field("isCharging", &T::isCharging));
ORVIK_JSON_FIELDS(VolumeStatus, field("level", &T::level), field("isMuted", &T::isMuted),
                  field("isSettable", &T::isSettable));
ORVIK_JSON_FIELDS(SleepTimerStatus, field("action", &T::action), field("remainingSeconds", &T::remainingSeconds));
ORVIK_JSON_FIELDS(HelperStatus, field("battery", &T::battery), field("volume", &T::volume),
                  field("secureInputActive", &T::secureInputActive), field("frontmostAppName", &T::frontmostAppName),
                  field("frontmostBundleID", &T::frontmostBundleID), field("displayCount", &T::displayCount),
                  field("sleepTimer", &T::sleepTimer), field("isPaused", &T::isPaused),
                  field("canControl", &T::canControl));

// Queries and replies
ORVIK_JSON_FIELDS(AppsListRequest, field("requestID", &T::requestID));
ORVIK_JSON_FIELDS(RunningAppsRequest, field("requestID", &T::requestID));
ORVIK_JSON_FIELDS(ShortcutsListRequest, field("requestID", &T::requestID));
ORVIK_JSON_FIELDS(ClipboardGet, field("requestID", &T::requestID));
ORVIK_JSON_FIELDS(ScreenDisplaysRequest, field("requestID", &T::requestID));
ORVIK_JSON_FIELDS(AppInfo, field("name", &T::name), field("bundleID", &T::bundleID), field("version", &T::version));
ORVIK_JSON_FIELDS(AppsList, field("requestID", &T::requestID), field("apps", &T::apps));
ORVIK_JSON_FIELDS(RunningApp, field("name", &T::name), field("bundleID", &T::bundleID),
                  field("isActive", &T::isActive));
ORVIK_JSON_FIELDS(RunningApps, field("requestID", &T::requestID), field("apps", &T::apps));
ORVIK_JSON_FIELDS(AppIconRequest, field("requestID", &T::requestID), field("bundleID", &T::bundleID),
                  field("size", &T::size));
ORVIK_JSON_FIELDS(AppIcon, field("requestID", &T::requestID), field("bundleID", &T::bundleID),
                  field("version", &T::version), field("png", &T::png));
ORVIK_JSON_FIELDS(ShortcutInfo, field("name", &T::name), field("folder", &T::folder));
ORVIK_JSON_FIELDS(ShortcutsList, field("requestID", &T::requestID), field("shortcuts", &T::shortcuts));
ORVIK_JSON_FIELDS(ClipboardContent, field("requestID", &T::requestID), field("text", &T::text));

// Screen viewing
ORVIK_JSON_FIELDS(ScreenDisplay, field("id", &T::id), field("name", &T::name), field("width", &T::width),
                  field("height", &T::height), field("pixelWidth", &T::pixelWidth),
                  field("pixelHeight", &T::pixelHeight), field("isMain", &T::isMain));
ORVIK_JSON_FIELDS(ScreenDisplays, field("requestID", &T::requestID), field("displays", &T::displays));
ORVIK_JSON_FIELDS(NormalizedRect, field("x", &T::x), field("y", &T::y), field("width", &T::width),
                  field("height", &T::height));
ORVIK_JSON_FIELDS(ScreenSettings, field("maxWidth", &T::maxWidth), field("maxHeight", &T::maxHeight),
                  field("frameRate", &T::frameRate), field("region", &T::region));
ORVIK_JSON_FIELDS(ScreenStart, field("displayID", &T::displayID), field("settings", &T::settings),
                  field("codecs", &T::codecs));
ORVIK_JSON_FIELDS(ScreenConfigure, field("displayID", &T::displayID), field("settings", &T::settings));
ORVIK_JSON_FIELDS(ScreenStarted, field("display", &T::display), field("codec", &T::codec),
                  field("frameRate", &T::frameRate));
ORVIK_JSON_FIELDS(ScreenState, field("state", &T::state));
ORVIK_JSON_FIELDS(ScreenFormat, field("codec", &T::codec), field("width", &T::width), field("height", &T::height),
                  field("parameterSets", &T::parameterSets), field("region", &T::region));
ORVIK_JSON_FIELDS(ScreenFrame, field("sequence", &T::sequence), field("isKeyframe", &T::isKeyframe),
                  field("fragmentIndex", &T::fragmentIndex), field("fragmentCount", &T::fragmentCount),
                  field("captureTime", &T::captureTime), field("data", &T::data));
ORVIK_JSON_FIELDS(ScreenFrameAck, field("sequence", &T::sequence), field("captureTime", &T::captureTime));

// Signals
ORVIK_JSON_NO_FIELDS(RequestUpdateCheck);
ORVIK_JSON_NO_FIELDS(Unpair);
ORVIK_JSON_NO_FIELDS(CancelSleepTimer);
ORVIK_JSON_NO_FIELDS(StatusRequest);
ORVIK_JSON_NO_FIELDS(ScreenStop);
ORVIK_JSON_NO_FIELDS(ScreenKeyframeRequest);

#undef ORVIK_JSON_FIELDS
#undef ORVIK_JSON_NO_FIELDS

} // namespace orvik::json
