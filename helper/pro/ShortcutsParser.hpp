#pragma once

#include "orvik/protocol/messages/QueryMessages.hpp"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// Turns the listing program's output into names and joins the names with their folders.
class ShortcutsParser {
public:
    ShortcutsParser() = delete;

    // The output's non-empty lines in order, trimmed of horizontal white space; duplicates stay. Bytes that are not
    // UTF-8 become U+FFFD. Every newline counts: LF, CR, CR LF, VT, FF, NEL and the Unicode line and paragraph
    // separators.
    static std::vector<std::string> lines(std::string_view output);

    // Every name of `all` once, in the order of its first occurrence, with the first folder that lists it, folders
    // taken in byte order of their names. Names that only a folder lists are left out.
    static std::vector<ShortcutInfo> combine(const std::vector<std::string>& all,
                                             const std::map<std::string, std::vector<std::string>>& folders);
};

} // namespace orvik::helper
