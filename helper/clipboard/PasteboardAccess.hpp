#pragma once

#include "clipboard/PasteboardSnapshot.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvik::helper {

// The clipboard as the paste flow sees it. No operation reports an error.
class PasteboardAccess {
public:
    // Published marker types that clipboard histories honour: transient content is not recorded, concealed
    // content is treated as secret. Our own writes carry both, with empty data.
    static constexpr std::string_view transientType = "org.nspasteboard.TransientType";
    static constexpr std::string_view concealedType = "org.nspasteboard.ConcealedType";

    virtual ~PasteboardAccess() = default;

    // Every item with every type's data.
    virtual PasteboardSnapshot snapshot() = 0;
    // Replaces the contents with `text`, marked transient and concealed so clipboard histories skip it, and
    // returns the change count right after the write.
    virtual std::int64_t setString(std::string_view text) = 0;
    // Puts `snapshot` back only while the change count still equals `changeCount`: a later copy wins.
    virtual void restore(const PasteboardSnapshot& snapshot, std::int64_t changeCount) = 0;
    // The current plain text, if any.
    virtual std::optional<std::string> string() = 0;
};

} // namespace orvik::helper
