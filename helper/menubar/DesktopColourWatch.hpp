#pragma once

#include "menubar/DesktopColours.hpp"

#include <QDBusVariant>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace orvik::helper {

// Reads what the desktop says about its colours (DesktopColours) when asked: the desktop's name, the settings
// daemon's GTK theme on Qt's X connection, KDE's Plasma theme and colour scheme from its configuration files. The
// settings portal's colour-scheme preference is asked once and then followed by its SettingChanged signal, so
// nothing wakes the application while the desktop stays as it is. Used on the GUI thread.
class DesktopColourWatch : public QObject {
    Q_OBJECT
public:
    explicit DesktopColourWatch(QObject* parent = nullptr);

    DesktopColours current() const;

signals:
    // The portal's preference arrived or changed.
    void changed();

private slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void takeColorScheme(const QVariant& value);

    std::optional<std::uint32_t> colorScheme_;
};

} // namespace orvik::helper
