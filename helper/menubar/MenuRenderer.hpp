#pragma once

#include "menubar/MenuItem.hpp"

#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QMenu;

namespace orvik::helper {

// Shows menu items in a QMenu and keeps them there. Each update changes only what changed: a row that stays
// (the same identifier) keeps its action, which is told only of the properties that differ; rows that appear are
// inserted and rows that go are taken out. So an exported menu keeps its items and their identifiers, and a
// phone's connection costs one changed row instead of a new menu. Titles show verbatim: names are never read as
// mnemonics.
//
// A row that goes is emptied before it is deleted, so that whoever follows the menu's actions (an exported menu)
// sees each one leave.
//
// Used on the GUI thread. The renderer owns the actions and submenus it made; the menu must outlive it.
class MenuRenderer {
public:
    explicit MenuRenderer(QMenu& menu);
    ~MenuRenderer();
    MenuRenderer(const MenuRenderer&) = delete;
    MenuRenderer& operator=(const MenuRenderer&) = delete;

    // Makes the menu show `items`. Rows that go away are deleted later, never at once: an item's own action may
    // be what led to this update, and Qt is still inside its signal then.
    void update(const std::vector<MenuItem>& items);

    QMenu& menu() const { return menu_; }

    // The text that shows `title` verbatim (a tab, which would start a shortcut column, becomes a space).
    static QString menuTitle(std::string_view title);

private:
    struct Row;

    static bool sameRow(const Row& row, const MenuItem& item);
    std::unique_ptr<Row> makeRow(const MenuItem& item, std::string key);
    void apply(Row& row, const MenuItem& item);
    void arrange();
    static void discard(std::unique_ptr<Row> row, QMenu& from);

    QMenu& menu_;
    // In menu order.
    std::vector<std::unique_ptr<Row>> rows_;
};

} // namespace orvik::helper
