#pragma once

class QKeyEvent;

namespace orvik::helper {

// The keys that close a plain window of the helper, as they close windows elsewhere on the desktop: Escape and
// Ctrl+W. A window asks from its keyPressEvent, so a control that uses the key itself keeps it.
struct CloseKeys {
    CloseKeys() = delete;

    static bool closes(const QKeyEvent& event);
};

} // namespace orvik::helper
