#include "menubar/StatusNotifierItem.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace orvik::helper {
namespace {

const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString menuPath = QStringLiteral("/MenuBar");
// The name hosts expect of an item: the process and the item's number in it (one item here).
const QString serviceFormat = QStringLiteral("org.kde.StatusNotifierItem-%1-1");

} // namespace

StatusNotifierItem::StatusNotifierItem(QString id, QString title, QMenu& menu, QObject* parent)
    : QObject(parent), id_(std::move(id)), title_(std::move(title)), menuExporter_(menu) {
    registerStatusNotifierTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.registerObject(itemPath, this, QDBusConnection::ExportScriptableContents)) return;
    if (!bus.registerObject(menuPath, &menuExporter_, QDBusConnection::ExportScriptableContents)) {
        bus.unregisterObject(itemPath);
        return;
    }
    const QString name = serviceFormat.arg(QCoreApplication::applicationPid());
    // Hosts reach an item by whatever name it registers; a unique name does where the usual one cannot be had.
    service_ = bus.registerService(name) ? name : bus.baseService();
}

StatusNotifierItem::~StatusNotifierItem() {
    if (service_.isEmpty()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (service_ != bus.baseService()) bus.unregisterService(service_);
    bus.unregisterObject(menuPath);
    bus.unregisterObject(itemPath);
}

void StatusNotifierItem::setIcon(const QIcon& icon) {
    iconName_ = icon.name();
    pixmaps_.clear();
    for (const QSize& size : icon.availableSizes()) {
        pixmaps_.append(StatusNotifierPixmap::of(icon.pixmap(size).toImage()));
    }
    emit NewIcon();
}

void StatusNotifierItem::setIconThemePath(const QString& path) {
    if (path == iconThemePath_) return;
    iconThemePath_ = path;
    emit NewIconThemePath(path);
    // Hosts that know no such signal read the icon again, and with it the path.
    emit NewIcon();
}

QString StatusNotifierItem::category() const {
    return QStringLiteral("ApplicationStatus");
}

QString StatusNotifierItem::status() const {
    return QStringLiteral("Active");
}

StatusNotifierToolTip StatusNotifierItem::toolTip() const {
    StatusNotifierToolTip tip;
    tip.title = title_;
    return tip;
}

QDBusObjectPath StatusNotifierItem::menu() const {
    return QDBusObjectPath(menuPath);
}

void StatusNotifierItem::Activate(int /*x*/, int /*y*/) {
    emit activated();
}

void StatusNotifierItem::SecondaryActivate(int /*x*/, int /*y*/) {}

void StatusNotifierItem::ContextMenu(int /*x*/, int /*y*/) {
    emit activated();
}

void StatusNotifierItem::Scroll(int /*delta*/, const QString& /*orientation*/) {}

} // namespace orvik::helper
