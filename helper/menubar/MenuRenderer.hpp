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
// phone's connection costs one changed row instead of a new menu.
//
// A row that goes is emptied before it is deleted: Qt frees an action's exported (dbusmenu) item only when the
// action is removed from its menu, never when the menu holding it is destroyed, so a submenu deleted with its
// actions still in it would leave its exported items behind for good.
//
// Used on the GUI thread. The renderer owns the actions and submenus it made; the menu must outlive it.
class MenuRenderer {
public:
    // How titles are written so that they show verbatim. A QMenu reads "&" as a mnemonic mark; a menu exported
    // over D-Bus (dbusmenu) reads "_" as one, and Qt turns the first "&" of a title into that "_".
    enum class Titles { widget, dbusMenu };

    explicit MenuRenderer(QMenu& menu, Titles titles = Titles::widget);
    ~MenuRenderer();
    MenuRenderer(const MenuRenderer&) = delete;
    MenuRenderer& operator=(const MenuRenderer&) = delete;

    // Makes the menu show `items`. Rows that go away are deleted later, never at once: an item's own action may
    // be what led to this update, and Qt is still inside its signal then.
    void update(const std::vector<MenuItem>& items);

    QMenu& menu() const { return menu_; }

    // The text that shows `title` verbatim (a tab, which would start a shortcut column, becomes a space).
    static QString menuTitle(std::string_view title, Titles titles = Titles::widget);

private:
    struct Row;

    static bool sameRow(const Row& row, const MenuItem& item);
    std::unique_ptr<Row> makeRow(const MenuItem& item, std::string key);
    void apply(Row& row, const MenuItem& item);
    void arrange();
    static void discard(std::unique_ptr<Row> row, QMenu& from);

    QMenu& menu_;
    const Titles titles_;
    // In menu order.
    std::vector<std::unique_ptr<Row>> rows_;
};

} // namespace orvik::helper
