#pragma once

#include "menubar/DesktopColours.hpp"
#include "menubar/X11SelectionOwnerWatch.hpp"

#include <QDBusVariant>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace orvik::helper {

// What the desktop says about its colours (DesktopColours), followed as it changes: the settings portal's
// colour-scheme preference (asked once, then its SettingChanged signal), the settings daemon's GTK theme (its
// XSETTINGS on Qt's X connection: the daemon's window changing them, or a daemon taking over), and under KDE the
// Plasma theme and colour scheme of its configuration files (the folder that holds them, since KDE writes a file
// anew and renames it over the old one). Only events wake it: nothing is polled while the desktop stays as it is.
// Used on the GUI thread.
class DesktopColourWatch : public QObject {
    Q_OBJECT
public:
    explicit DesktopColourWatch(QObject* parent = nullptr);

    const DesktopColours& current() const { return colours_; }

signals:
    // What the desktop says changed.
    void changed();

private slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void takeColorScheme(const QVariant& value);
    // A version of a file: a file replaced by renaming has another inode, one written in place another
    // modification time or size.
    struct FileVersion {
        bool exists = false;
        std::uint64_t inode = 0;
        std::int64_t modifiedSeconds = 0;
        std::int64_t modifiedNanoseconds = 0;
        std::int64_t size = 0;

        static FileVersion of(const QString& path);
        bool operator==(const FileVersion&) const = default;
    };

    void watchKdeConfiguration();
    bool followKdeConfiguration();
    void refresh();

    std::optional<std::uint32_t> colorScheme_;
    X11SelectionOwnerWatch xsettings_;
    QFileSystemWatcher kdeConfiguration_;
    // kdeglobals' and plasmarc's versions when last looked at.
    std::array<FileVersion, 2> kdeVersions_;
    DesktopColours colours_;
};

} // namespace orvik::helper
