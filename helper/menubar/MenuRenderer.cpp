#include "menubar/MenuRenderer.hpp"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace orvik::helper {
namespace {

void clear(QMenu& menu) {
    for (QAction* action : menu.actions()) {
        menu.removeAction(action);
        if (QMenu* submenu = action->menu(); submenu != nullptr && submenu->parent() == &menu) submenu->deleteLater();
        if (action->parent() == &menu) action->deleteLater();
    }
}

void add(const MenuItem& item, QMenu& menu, MenuRenderer::Titles titles) {
    using Kind = MenuItem::Kind;
    if (item.kind == Kind::separator) {
        menu.addSeparator();
        return;
    }
    if (item.kind == Kind::submenu) {
        auto* submenu = new QMenu(MenuRenderer::menuTitle(item.title, titles), &menu);
        for (const MenuItem& child : item.children) add(child, *submenu, titles);
        menu.addMenu(submenu);
        return;
    }
    auto* action = new QAction(MenuRenderer::menuTitle(item.title, titles), &menu);
    action->setEnabled(item.enabled);
    if (item.kind == Kind::toggle) {
        action->setCheckable(true);
        action->setChecked(item.checked);
    }
    if (!item.shortcut.empty()) {
        action->setShortcut(QKeySequence(QString::fromStdString(item.shortcut), QKeySequence::PortableText));
    }
    if (item.run) QObject::connect(action, &QAction::triggered, action, [run = item.run] { run(); });
    menu.addAction(action);
}

} // namespace

void MenuRenderer::render(const std::vector<MenuItem>& items, QMenu& menu, Titles titles) {
    clear(menu);
    for (const MenuItem& item : items) add(item, menu, titles);
}

QString MenuRenderer::menuTitle(std::string_view title, Titles titles) {
    QString text = QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    if (titles == Titles::widget) return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    text.replace(QLatin1Char('_'), QStringLiteral("__"));
    // Qt turns only the first "&" into "_": a leading one spends that on the first letter, so every "&" of the
    // title stays as it is (the first letter becomes the item's mnemonic).
    if (text.contains(QLatin1Char('&'))) text.prepend(QLatin1Char('&'));
    return text;
}

} // namespace orvik::helper
