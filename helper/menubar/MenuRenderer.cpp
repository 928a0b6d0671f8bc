#include "menubar/MenuRenderer.hpp"

#include "menubar/SubmenuPlacement.hpp"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

#include <algorithm>
#include <map>
#include <string_view>
#include <utility>

namespace orvik::helper {

using Kind = MenuItem::Kind;

struct MenuRenderer::Row {
    std::string key;
    // Whether the key is the item's identifier (else its kind and title).
    bool identified = false;
    Kind kind = Kind::text;
    // The row's action; for a submenu, the submenu's own menu action.
    QAction* action = nullptr;
    std::unique_ptr<MenuRenderer> submenu;
    // What the action was last told, so that unchanged properties are never written again (each write makes Qt
    // announce the item anew on D-Bus).
    std::string title;
    std::string shortcut;
    bool enabled = true;
    bool checked = false;
    // Replaced at each update; the action's connection reads it when chosen.
    std::shared_ptr<std::function<void()>> run = std::make_shared<std::function<void()>>();
};

namespace {

// Keys of rows with an identifier.
constexpr std::string_view identifiedPrefix = "id:";

std::string kindName(Kind kind) {
    switch (kind) {
    case Kind::text: return "text";
    case Kind::button: return "button";
    case Kind::toggle: return "toggle";
    case Kind::separator: return "separator";
    case Kind::submenu: return "submenu";
    }
    return "text";
}

// The rows' keys in order: the item's identifier, else its kind and title with the how-many-th such row it is.
std::vector<std::string> keysOf(const std::vector<MenuItem>& items) {
    std::vector<std::string> keys;
    std::map<std::string, int> seen;
    for (const MenuItem& item : items) {
        std::string key =
            item.id.empty() ? kindName(item.kind) + ":" + item.title : std::string(identifiedPrefix) + item.id;
        const int occurrence = seen[key]++;
        if (occurrence > 0) key += "#" + std::to_string(occurrence);
        keys.push_back(std::move(key));
    }
    return keys;
}

} // namespace

// Whether the row is the item, without making keys: a phone's connection changes a few rows' texts, never the
// list. Rows without an identifier are known by their title.
bool MenuRenderer::sameRow(const Row& row, const MenuItem& item) {
    if (row.kind != item.kind || row.identified == item.id.empty()) return false;
    if (!row.identified) return row.title == item.title;
    return std::string_view(row.key).substr(identifiedPrefix.size()) == item.id;
}

MenuRenderer::MenuRenderer(QMenu& menu) : menu_(menu) {}

MenuRenderer::~MenuRenderer() {
    for (auto& row : rows_) discard(std::move(row), menu_);
}

void MenuRenderer::update(const std::vector<MenuItem>& items) {
    // Mostly the same rows in the same order: each is changed where it stands.
    if (std::equal(items.begin(), items.end(), rows_.begin(), rows_.end(),
                   [](const MenuItem& item, const std::unique_ptr<Row>& row) { return sameRow(*row, item); })) {
        for (std::size_t index = 0; index < items.size(); ++index) apply(*rows_[index], items[index]);
        return;
    }
    const std::vector<std::string> keys = keysOf(items);
    std::map<std::string, std::unique_ptr<Row>> previous;
    for (auto& row : rows_) previous.emplace(row->key, std::move(row));
    rows_.clear();
    for (std::size_t index = 0; index < items.size(); ++index) {
        auto kept = previous.find(keys[index]);
        std::unique_ptr<Row> row;
        if (kept != previous.end() && kept->second->kind == items[index].kind) {
            row = std::move(kept->second);
            previous.erase(kept);
        } else {
            row = makeRow(items[index], keys[index]);
        }
        apply(*row, items[index]);
        rows_.push_back(std::move(row));
    }
    for (auto& [key, row] : previous) discard(std::move(row), menu_);
    arrange();
}

std::unique_ptr<MenuRenderer::Row> MenuRenderer::makeRow(const MenuItem& item, std::string key) {
    auto row = std::make_unique<Row>();
    row->key = std::move(key);
    row->identified = !item.id.empty();
    row->kind = item.kind;
    if (item.kind == Kind::submenu) {
        auto* submenu = new QMenu(&menu_);
        SubmenuPlacement::keepBesideItsMenu(*submenu);
        row->submenu = std::make_unique<MenuRenderer>(*submenu);
        row->action = submenu->menuAction();
        return row;
    }
    row->action = new QAction(&menu_);
    row->action->setSeparator(item.kind == Kind::separator);
    row->action->setCheckable(item.kind == Kind::toggle);
    // A copy is called, so the update that choosing it may cause can replace the function meanwhile.
    QObject::connect(row->action, &QAction::triggered, row->action, [run = row->run] {
        const std::function<void()> call = *run;
        if (call) call();
    });
    return row;
}

void MenuRenderer::apply(Row& row, const MenuItem& item) {
    QAction& action = *row.action;
    if (row.title != item.title) {
        row.title = item.title;
        const QString shown = menuTitle(item.title);
        if (row.submenu) {
            row.submenu->menu().setTitle(shown);
        } else {
            action.setText(shown);
        }
    }
    if (row.enabled != item.enabled) {
        row.enabled = item.enabled;
        action.setEnabled(item.enabled);
    }
    // A toggle that is chosen checks itself: the model's answer is written whenever it differs from the action.
    if (item.kind == Kind::toggle && (row.checked != item.checked || action.isChecked() != item.checked)) {
        row.checked = item.checked;
        action.setChecked(item.checked);
    }
    if (row.shortcut != item.shortcut) {
        row.shortcut = item.shortcut;
        action.setShortcut(QKeySequence(QString::fromStdString(item.shortcut), QKeySequence::PortableText));
    }
    *row.run = item.run;
    if (row.submenu) row.submenu->update(item.children);
}

// Puts the actions into the menu in the rows' order, touching only those out of place.
void MenuRenderer::arrange() {
    QList<QAction*> shown = menu_.actions();
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        QAction* wanted = rows_[index]->action;
        const auto at = static_cast<qsizetype>(index);
        if (at < shown.size() && shown[at] == wanted) continue;
        QAction* before = at < shown.size() ? shown[at] : nullptr;
        menu_.insertAction(before, wanted);
        shown.removeAll(wanted);
        shown.insert(at, wanted);
    }
}

void MenuRenderer::discard(std::unique_ptr<Row> row, QMenu& from) {
    from.removeAction(row->action);
    if (row->submenu) {
        QMenu& submenu = row->submenu->menu();
        // Empties the submenu first (see the class comment), then deletes it with its actions.
        row->submenu.reset();
        submenu.deleteLater();
        return;
    }
    row->action->deleteLater();
}

QString MenuRenderer::menuTitle(std::string_view title) {
    QString text = QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace orvik::helper
