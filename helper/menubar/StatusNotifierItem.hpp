#pragma once

#include "menubar/DBusMenuExporter.hpp"
#include "menubar/StatusNotifierTypes.hpp"

#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;

namespace orvik::helper {

// The application's StatusNotifierItem on the session bus, the tray icon of desktops whose panel hosts such items:
// the glyph by name (with the folder of icon themes that holds it) and as pixmaps, a tooltip, and the menu, exported
// beside it (DBusMenuExporter). A host finds it through the StatusNotifierWatcher, with which StatusNotifierHostWatch
// registers `service()`. Qt's own tray icon cannot stand in: it is exported only where a host is registered when the
// icon is made, and never once one starts later.
//
// The interface's members are this object's scriptable ones, named as on the bus; a click on the icon comes back as
// `activated`. Without a session bus nothing is exported. Used on the GUI thread; the menu must outlive it.
class StatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QList<orvik::helper::StatusNotifierPixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QString OverlayIconName READ noIconName)
    Q_PROPERTY(QList<orvik::helper::StatusNotifierPixmap> OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ noIconName)
    Q_PROPERTY(QList<orvik::helper::StatusNotifierPixmap> AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ noIconName)
    Q_PROPERTY(orvik::helper::StatusNotifierToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
public:
    // `id` names the application to hosts that remember their items; `title` is also the tooltip.
    StatusNotifierItem(QString id, QString title, QMenu& menu, QObject* parent = nullptr);
    ~StatusNotifierItem() override;
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // The bus name the item is reached at; empty without a session bus.
    const QString& service() const { return service_; }

    // Shows `icon`: its name, where it has one, and its pixmaps at the sizes it has.
    void setIcon(const QIcon& icon);
    // Where a host looks up the icon's name besides its theme; empty: only there.
    void setIconThemePath(const QString& path);

    QString category() const;
    const QString& id() const { return id_; }
    const QString& title() const { return title_; }
    QString status() const;
    int windowId() const { return 0; }
    const QString& iconName() const { return iconName_; }
    const QList<StatusNotifierPixmap>& iconPixmap() const { return pixmaps_; }
    const QString& iconThemePath() const { return iconThemePath_; }
    QString noIconName() const { return {}; }
    QList<StatusNotifierPixmap> noPixmaps() const { return {}; }
    StatusNotifierToolTip toolTip() const;
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const;

public slots:
    Q_SCRIPTABLE void Activate(int x, int y);
    Q_SCRIPTABLE void SecondaryActivate(int x, int y);
    Q_SCRIPTABLE void ContextMenu(int x, int y);
    Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);

signals:
    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString& status);
    Q_SCRIPTABLE void NewIconThemePath(const QString& path);
    // The icon was clicked (or its menu asked for where the host shows none).
    void activated();

private:
    QString id_;
    QString title_;
    DBusMenuExporter menuExporter_;
    QString service_;
    QString iconName_;
    QList<StatusNotifierPixmap> pixmaps_;
    QString iconThemePath_;
};

} // namespace orvik::helper
