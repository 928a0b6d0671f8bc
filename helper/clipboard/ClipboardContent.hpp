#pragma once

#include "clipboard/PasteboardSnapshot.hpp"
#include "orvik/protocol/coding/Bytes.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// One target the clipboard owner answers: its name, the property type the data is written with, and the data.
// The data is shared so that a transfer still running keeps it after the owner moved on to new contents.
struct ClipboardTarget {
    std::string name;
    std::string type;
    std::shared_ptr<const Bytes> data;
};

// What the X11 CLIPBOARD offers while we own it. X11 has one item per selection, so the snapshot's items are
// folded into one list of targets.
struct ClipboardContent {
    std::vector<ClipboardTarget> targets;

    static constexpr std::string_view utf8StringTarget = "UTF8_STRING";
    static constexpr std::string_view stringTarget = "STRING";
    static constexpr std::string_view textTarget = "TEXT";
    // KDE's clipboard history skips content carrying this type with the data "secret".
    static constexpr std::string_view passwordManagerHintType = "x-kde-passwordManagerHint";
    static constexpr std::string_view passwordManagerHintValue = "secret";

    // Our own write of a text: UTF-8 under the plain-text type with UTF8_STRING, STRING (Latin-1) and TEXT as
    // aliases, the two empty marker types and the password-manager hint.
    static ClipboardContent forText(std::string_view utf8);

    // The targets that put a snapshot back. Types of later items are added when an earlier item does not
    // already have them, because the X11 clipboard holds a single item.
    static ClipboardContent fromSnapshot(const PasteboardSnapshot& snapshot);

    // The snapshot of this content: every target whose data is written under its own name. Aliases answered
    // in another type (TEXT) are left out, as they are when read from another owner.
    PasteboardSnapshot snapshot() const;

    const ClipboardTarget* find(std::string_view name) const;

    // The UTF-8 text, if the content has any text target.
    std::optional<std::string> text() const;
};

// Whether a target's data belongs in a snapshot. Not those that describe the selection rather than hold its
// data (TARGETS, TIMESTAMP, MULTIPLE, …), and not TEXT, which the owner answers in an encoding of its choice
// that a snapshot cannot carry (the same text is there under UTF8_STRING or STRING).
bool isSnapshotTarget(std::string_view name);

// Text conversions for the ICCCM text targets. STRING is Latin-1; characters outside it become '?'.
Bytes latin1FromUtf8(std::string_view utf8);
std::string utf8FromLatin1(ByteView latin1);
// Ill-formed UTF-8 sequences replaced by U+FFFD, so the text can travel in JSON.
std::string wellFormedUtf8(ByteView bytes);

} // namespace orvik::helper
