#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusVirtualObject>
#include <QPointer>
#include <QString>

namespace orvik::helper {

// Qt exports the tray icon as a StatusNotifierItem without IconThemePath, the folder in which a host looks up the
// icon's name besides its theme: a program run from its build folder could not name its symbolic icons. This
// object stands in for Qt's at /StatusNotifierItem on the icon's own bus connection: it answers every property and
// method with Qt's adaptor, adds IconThemePath and relays the adaptor's signals. The bus delivers calls to it on
// its thread, the GUI thread.
class StatusNotifierThemePath final : public QDBusVirtualObject {
    Q_OBJECT
public:
    explicit StatusNotifierThemePath(QString themePath, QObject* parent = nullptr);
    // Gives the path back to Qt's object.
    ~StatusNotifierThemePath() override;

    // Stands in for the item of the tray icon shown last in this process (again, after Qt registered it anew);
    // false where Qt exports none.
    bool standIn();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private slots:
    void relay();
    void relayText(const QString& text);

private:
    QDBusMessage properties(const QDBusMessage& call) const;
    QDBusMessage invoke(const QDBusMessage& call) const;
    void emitSignal(const QString& name, const QVariantList& arguments);

    QString themePath_;
    QString connectionName_;
    QPointer<QObject> item_;
    QPointer<QDBusAbstractAdaptor> adaptor_;
};

} // namespace orvik::helper
