#include "menubar/DBusMenuExporter.hpp"

#include <QAction>
#include <QActionEvent>
#include <QActionGroup>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>

namespace orvik::helper {
namespace {

// The version of the interface this exporter speaks.
constexpr uint protocolVersion = 3;
// The menu itself, whose items are the top-level rows.
constexpr int rootId = 0;

// The modifiers of a key press by their dbusmenu names, in the order hosts show them.
constexpr std::pair<Qt::KeyboardModifier, const char*> modifierNames[] = {{Qt::ControlModifier, "Control"},
                                                                          {Qt::AltModifier, "Alt"},
                                                                          {Qt::ShiftModifier, "Shift"},
                                                                          {Qt::MetaModifier, "Super"}};

DBusMenuShortcut shortcutOf(const QKeySequence& sequence) {
    DBusMenuShortcut presses;
    for (int index = 0; index < sequence.count(); ++index) {
        const QKeyCombination combination = sequence[static_cast<uint>(index)];
        QStringList keys;
        for (const auto& [modifier, name] : modifierNames) {
            if (combination.keyboardModifiers().testFlag(modifier)) keys << QString::fromLatin1(name);
        }
        keys << QKeySequence(combination.key()).toString(QKeySequence::PortableText);
        presses << keys;
    }
    return presses;
}

QVariantMap only(const QVariantMap& properties, const QStringList& names) {
    if (names.isEmpty()) return properties;
    QVariantMap chosen;
    for (const QString& name : names) {
        if (properties.contains(name)) chosen.insert(name, properties.value(name));
    }
    return chosen;
}

// What the interface says an item has where it names no value; the exporter leaves these out.
const QVariantMap& interfaceDefaults() {
    static const QVariantMap defaults{{QStringLiteral("type"), QStringLiteral("standard")},
                                      {QStringLiteral("label"), QString()},
                                      {QStringLiteral("enabled"), true},
                                      {QStringLiteral("visible"), true},
                                      {QStringLiteral("toggle-type"), QString()},
                                      {QStringLiteral("toggle-state"), -1},
                                      {QStringLiteral("children-display"), QString()}};
    return defaults;
}

} // namespace

DBusMenuExporter::DBusMenuExporter(QMenu& menu, QObject* parent) : QObject(parent), menu_(menu) {
    registerDBusMenuTypes();
    watch(menu_);
}

QVariantMap DBusMenuExporter::properties(const QAction& action) {
    QVariantMap properties;
    if (action.isSeparator()) {
        properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else {
        properties.insert(QStringLiteral("label"), label(action.text()));
    }
    // Absent ones take the interface's defaults: enabled, visible, no toggle, no children.
    if (!action.isEnabled()) properties.insert(QStringLiteral("enabled"), false);
    if (!action.isVisible()) properties.insert(QStringLiteral("visible"), false);
    if (action.menu() != nullptr) properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    if (action.isCheckable()) {
        const bool radio = action.actionGroup() != nullptr && action.actionGroup()->isExclusive();
        properties.insert(QStringLiteral("toggle-type"), radio ? QStringLiteral("radio") : QStringLiteral("checkmark"));
        properties.insert(QStringLiteral("toggle-state"), action.isChecked() ? 1 : 0);
    }
    if (!action.shortcut().isEmpty()) {
        properties.insert(QStringLiteral("shortcut"), QVariant::fromValue(shortcutOf(action.shortcut())));
    }
    return properties;
}

QString DBusMenuExporter::label(const QString& text) {
    QString label;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar character = text[at];
        if (character == u'&' && at + 1 < text.size()) {
            ++at;
            if (text[at] != u'&') label += u'_';
            label += text[at];
        } else if (character == u'_') {
            label += QStringLiteral("__");
        } else {
            label += character;
        }
    }
    return label;
}

uint DBusMenuExporter::version() const {
    return protocolVersion;
}

QString DBusMenuExporter::textDirection() const {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl") : QStringLiteral("ltr");
}

QString DBusMenuExporter::status() const {
    return QStringLiteral("normal");
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 DBusMenuLayoutItem& layout) {
    layout = layoutOf(parentId, recursionDepth, propertyNames);
    return revision_;
}

QList<DBusMenuItemProperties> DBusMenuExporter::GetGroupProperties(const QList<int>& ids,
                                                                   const QStringList& propertyNames) {
    QList<DBusMenuItemProperties> found;
    const QList<int> wanted = ids.isEmpty() ? actions_.keys() : ids;
    for (int id : wanted) {
        if (id != rootId && actionOf(id) == nullptr) continue;
        found.append({id, only(propertiesOf(id), propertyNames)});
    }
    return found;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
    if (id != rootId && actionOf(id) == nullptr) {
        refuse(QStringLiteral("No menu item has the id %1").arg(id));
        return {};
    }
    const QVariant value = propertiesOf(id).value(name, interfaceDefaults().value(name));
    // An invalid value cannot be sent: the caller would wait out its time-out instead.
    if (!value.isValid()) {
        refuse(QStringLiteral("Menu item %1 has no property \"%2\"").arg(id).arg(name));
        return {};
    }
    return QDBusVariant(value);
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant& /*data*/, uint /*timestamp*/) {
    QAction* action = actionOf(id);
    if (eventId != QLatin1String("clicked") || action == nullptr || action->menu() != nullptr ||
        action->isSeparator() || !action->isEnabled()) {
        return;
    }
    // After the answer: what the action does may take a while, or open a window.
    QMetaObject::invokeMethod(
        action, [action] { action->trigger(); }, Qt::QueuedConnection);
}

QList<int> DBusMenuExporter::EventGroup(const QList<DBusMenuEvent>& events) {
    QList<int> unknown;
    for (const DBusMenuEvent& event : events) {
        if (actionOf(event.id) == nullptr) {
            unknown.append(event.id);
            continue;
        }
        Event(event.id, event.eventId, event.data, event.timestamp);
    }
    return unknown;
}

bool DBusMenuExporter::AboutToShow(int id) {
    if (QMenu* menu = childrenOf(id)) watch(*menu);
    // Every change is announced as it happens: there is never anything to fetch first.
    return false;
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    for (int id : ids) {
        if (id != rootId && actionOf(id) == nullptr) idErrors.append(id);
        AboutToShow(id);
    }
    return {};
}

bool DBusMenuExporter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ActionAdded:
    case QEvent::ActionRemoved: {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (menu == &menu_) {
            changedMenus_.insert(rootId);
        } else if (menu != nullptr && ids_.contains(menu->menuAction())) {
            changedMenus_.insert(ids_.value(menu->menuAction()));
        }
        announceLater();
        break;
    }
    case QEvent::ActionChanged: {
        const int id = ids_.value(static_cast<QActionEvent*>(event)->action(), rootId);
        if (id != rootId) changedItems_.insert(id);
        announceLater();
        break;
    }
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

int DBusMenuExporter::idOf(QAction* action) {
    if (const auto known = ids_.constFind(action); known != ids_.constEnd()) return known.value();
    const int id = nextId_++;
    ids_.insert(action, id);
    actions_.insert(id, action);
    announced_.insert(id, properties(*action));
    connect(action, &QObject::destroyed, this, [this, action, id] {
        ids_.remove(action);
        actions_.remove(id);
        announced_.remove(id);
    });
    return id;
}

QAction* DBusMenuExporter::actionOf(int id) const {
    return actions_.value(id).data();
}

QMenu* DBusMenuExporter::childrenOf(int id) const {
    if (id == rootId) return &menu_;
    QAction* action = actionOf(id);
    return action != nullptr ? action->menu() : nullptr;
}

QVariantMap DBusMenuExporter::propertiesOf(int id) const {
    if (id == rootId) return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    QAction* action = actionOf(id);
    return action != nullptr ? properties(*action) : QVariantMap();
}

void DBusMenuExporter::refuse(const QString& message) {
    if (calledFromDBus()) sendErrorReply(QDBusError::InvalidArgs, message);
}

DBusMenuLayoutItem DBusMenuExporter::layoutOf(int id, int depth, const QStringList& names) {
    DBusMenuLayoutItem item;
    item.id = id;
    item.properties = only(propertiesOf(id), names);
    QMenu* menu = childrenOf(id);
    if (menu == nullptr || depth == 0) return item;
    watch(*menu);
    for (QAction* action : menu->actions()) item.children.append(layoutOf(idOf(action), depth - 1, names));
    return item;
}

void DBusMenuExporter::watch(QMenu& menu) {
    // Installing again only moves the filter to the front.
    menu.installEventFilter(this);
}

void DBusMenuExporter::announceLater() {
    if (std::exchange(announcing_, true)) return;
    QMetaObject::invokeMethod(this, &DBusMenuExporter::announce, Qt::QueuedConnection);
}

void DBusMenuExporter::announce() {
    announcing_ = false;
    if (!changedMenus_.isEmpty()) {
        ++revision_;
        const int parent = changedMenus_.size() == 1 ? *changedMenus_.begin() : rootId;
        changedMenus_.clear();
        emit LayoutUpdated(revision_, parent);
    }
    QList<DBusMenuItemProperties> updated;
    QList<DBusMenuItemPropertyNames> removed;
    for (int id : std::exchange(changedItems_, {})) {
        QAction* action = actionOf(id);
        if (action == nullptr) continue;
        const QVariantMap now = properties(*action);
        QVariantMap& before = announced_[id];
        QVariantMap differing;
        QStringList gone;
        for (auto property = now.constBegin(); property != now.constEnd(); ++property) {
            if (before.value(property.key()) != property.value()) differing.insert(property.key(), property.value());
        }
        for (auto property = before.constBegin(); property != before.constEnd(); ++property) {
            if (!now.contains(property.key())) gone.append(property.key());
        }
        before = now;
        if (!differing.isEmpty()) updated.append({id, differing});
        if (!gone.isEmpty()) removed.append({id, gone});
    }
    if (!updated.isEmpty() || !removed.isEmpty()) emit ItemsPropertiesUpdated(updated, removed);
}

} // namespace orvik::helper
