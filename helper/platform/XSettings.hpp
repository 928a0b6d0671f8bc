#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Xlib's Display, declared as Xlib does, without its macros.
struct _XDisplay; // NOLINT(bugprone-reserved-identifier): Xlib's own name

namespace orvik::helper {

class X11Display;

// The desktop's XSETTINGS (the settings daemon publishes them on the owner of the selection _XSETTINGS_S<n>).
class XSettings {
public:
    // Toolkit default when no settings daemon runs (GTK and Qt both use 400 ms).
    static constexpr double defaultDoubleClickInterval = 0.4;
    // Values outside (0, 5 s] are taken as a broken setting.
    static constexpr std::int32_t maxDoubleClickMilliseconds = 5000;
    // The selection whose owner publishes a screen's settings is this followed by the screen's number; the owner
    // keeps them in this property of its window.
    static constexpr const char* selectionPrefix = "_XSETTINGS_S";
    static constexpr const char* property = "_XSETTINGS_SETTINGS";

    // The integer setting `name` of an _XSETTINGS_SETTINGS property; absent when the blob does not hold it as an
    // integer or is malformed.
    static std::optional<std::int32_t> integer(ByteView blob, std::string_view name);
    // The text setting `name` ("Net/ThemeName"); absent when the blob does not hold it as a text or is malformed.
    static std::optional<std::string> text(ByteView blob, std::string_view name);

    // The current _XSETTINGS_SETTINGS property of the display's screen; absent without a settings owner.
    static std::optional<Bytes> read(X11Display& display);
    // The same on a connection the caller shares with a toolkit (whose error handler sees failed requests).
    static std::optional<Bytes> read(_XDisplay* display);

    // The double-click interval in seconds: "Net/DoubleClickTime" or the toolkit default.
    static double doubleClickInterval(X11Display& display);
};

} // namespace orvik::helper
