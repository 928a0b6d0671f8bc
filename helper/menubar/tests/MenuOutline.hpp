#pragma once

#include "menubar/HelperMenu.hpp"

#include <QAction>
#include <QMenu>

#include <string>
#include <vector>

namespace orvik::helper::test {

// A menu as the user sees it, as lines: "-" a separator, "T " a grey line (a text or a disabled button), "B " a
// button, "[x] "/"[ ] " a toggle, "> " a submenu with its lines indented below, " ⌨" a shortcut. Times' narrow spaces
// read as spaces, so any English time format compares.
inline std::string plainSpaces(std::string text) {
    for (std::size_t at; (at = text.find("\u202f")) != std::string::npos;) text.replace(at, 3, " ");
    return text;
}

inline void outline(const std::vector<MenuItem>& items, std::vector<std::string>& lines, const std::string& indent) {
    using Kind = MenuItem::Kind;
    for (const MenuItem& item : items) {
        std::string line = item.kind == Kind::separator ? "-"
                           : item.kind == Kind::text    ? "T " + item.title
                           : item.kind == Kind::button  ? (item.enabled ? "B " : "T ") + item.title
                           : item.kind == Kind::toggle  ? (item.checked ? "[x] " : "[ ] ") + item.title
                                                        : "> " + item.title;
        if (!item.shortcut.empty()) line += " ⌨" + item.shortcut;
        lines.push_back(indent + plainSpaces(line));
        outline(item.children, lines, indent + "  ");
    }
}

inline std::vector<std::string> outline(const std::vector<MenuItem>& items) {
    std::vector<std::string> lines;
    outline(items, lines, "");
    return lines;
}

// The same lines read back from a rendered QMenu, its "&&" read as the "&" it shows.
inline void outline(const QMenu& menu, std::vector<std::string>& lines, const std::string& indent) {
    for (const QAction* action : menu.actions()) {
        std::string title = action->text().replace(QStringLiteral("&&"), QStringLiteral("&")).toStdString();
        std::string line = action->isSeparator()   ? "-"
                           : action->menu()        ? "> " + title
                           : action->isCheckable() ? (action->isChecked() ? "[x] " : "[ ] ") + title
                                                   : (action->isEnabled() ? "B " : "T ") + title;
        if (!action->shortcut().isEmpty()) line += " ⌨" + action->shortcut().toString().toStdString();
        lines.push_back(indent + plainSpaces(line));
        if (action->menu()) outline(*action->menu(), lines, indent + "  ");
    }
}

} // namespace orvik::helper::test
