#pragma once

#include "menubar/DBusMenuTypes.hpp"

#include <QDBusContext>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QAction;
class QMenu;

namespace orvik::helper {

// A QMenu and its submenus as the menu a StatusNotifierItem host shows (com.canonical.dbusmenu): the host reads
// the layout and the items' properties, and says which item the user chose, whose action is then triggered as a
// click in the menu would. Each action keeps its identifier for its life, so an item relabelled stays the same
// item. The menu is followed by its own events: changed items are announced with their properties, added and
// removed ones as a new layout of their menu, gathered into one announcement per turn of the event loop.
//
// The interface's members are this object's scriptable ones, named as on the bus; a question about an item or a
// property that is not there is answered with an error. Used on the GUI thread; the menu must outlive it.
class DBusMenuExporter : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    explicit DBusMenuExporter(QMenu& menu, QObject* parent = nullptr);

    // What a host is told of an action.
    static QVariantMap properties(const QAction& action);
    // An action's text as a dbusmenu label: "&&" stands for "&" and "&x" marks a mnemonic, which dbusmenu writes
    // "_x"; so "_" itself is written "__".
    static QString label(const QString& text);

    uint version() const;
    QString textDirection() const;
    QString status() const;
    QStringList iconThemePath() const { return {}; }

public slots:
    Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                orvik::helper::DBusMenuLayoutItem& layout);
    Q_SCRIPTABLE QList<orvik::helper::DBusMenuItemProperties> GetGroupProperties(const QList<int>& ids,
                                                                                 const QStringList& propertyNames);
    Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
    Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    Q_SCRIPTABLE QList<int> EventGroup(const QList<orvik::helper::DBusMenuEvent>& events);
    Q_SCRIPTABLE bool AboutToShow(int id);
    Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    Q_SCRIPTABLE void ItemsPropertiesUpdated(const QList<orvik::helper::DBusMenuItemProperties>& updatedProps,
                                             const QList<orvik::helper::DBusMenuItemPropertyNames>& removedProps);
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int idOf(QAction* action);
    QAction* actionOf(int id) const;
    // The menu whose items are the children of the item `id` (0: the menu itself); null for a plain item.
    QMenu* childrenOf(int id) const;
    QVariantMap propertiesOf(int id) const;
    // Answers the caller on the bus with an error of its arguments.
    void refuse(const QString& message);
    DBusMenuLayoutItem layoutOf(int id, int depth, const QStringList& names);
    void watch(QMenu& menu);
    void announceLater();
    void announce();

    QMenu& menu_;
    QHash<QAction*, int> ids_;
    QHash<int, QPointer<QAction>> actions_;
    int nextId_ = 1;
    uint revision_ = 1;
    // Each item's properties as of its last announcement (or when it got its identifier), whatever hosts read
    // meanwhile: every host hears of every change once, and an update names the properties that went.
    QHash<int, QVariantMap> announced_;
    // Waiting to be announced: items whose properties changed, menus whose items came or went (by item).
    QSet<int> changedItems_;
    QSet<int> changedMenus_;
    bool announcing_ = false;
};

} // namespace orvik::helper
