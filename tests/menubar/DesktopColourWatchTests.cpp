#include "MenuTestSupport.hpp"
#include "WaitUntil.hpp"
#include "menubar/DesktopColourWatch.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdio>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

// Saved the way KDE and most programs save: written anew beside the file, then renamed over it.
bool saveByRename(const QString& folder, const QString& name, const QByteArray& text) {
    QFile file(folder + QStringLiteral("/") + name + QStringLiteral(".new"));
    const bool written = file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    file.close();
    return written && std::rename(qPrintable(file.fileName()), qPrintable(folder + QStringLiteral("/") + name)) == 0;
}

// Lets the folder's watch deliver what it saw.
void settle() {
    orvik::test::waitUntil([] { return false; }, 300ms,
                           [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

// Under KDE the configuration folder is watched for kdeglobals and plasmarc, which KDE replaces by renaming. Any
// other program's files saved there are none of its business: they make it read nothing. Each reading takes the
// desktop's name anew, so a name changed behind its back shows whether it read.
TEST(DesktopColourWatch, UnderKdeOnlyItsOwnFilesSavedInTheConfigurationFolderAreRead) {
    test::application();
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    ASSERT_TRUE(QDir().mkpath(config));
    ASSERT_TRUE(saveByRename(config, QStringLiteral("kdeglobals"), "[Colors:Window]\nBackgroundNormal=32,35,38\n"));
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    DesktopColourWatch watch;
    ASSERT_EQ(watch.current().kdeWindow, QColor(32, 35, 38));
    int changes = 0;
    QObject::connect(&watch, &DesktopColourWatch::changed, [&changes] { ++changes; });
    qputenv("XDG_CURRENT_DESKTOP", "KDE:read-again");

    for (const char* other : {"kwinrc", "dolphinrc", "mimeapps.list"}) {
        ASSERT_TRUE(saveByRename(config, QString::fromLatin1(other), "[General]\nx=1\n"));
    }
    settle();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(watch.current().desktops, "KDE");

    ASSERT_TRUE(saveByRename(config, QStringLiteral("kdeglobals"), "[Colors:Window]\nBackgroundNormal=239,240,241\n"));
    EXPECT_TRUE(orvik::test::waitUntil([&] { return watch.current().kdeWindow == QColor(239, 240, 241); }, 10s,
                                       [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }));
    settle();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(watch.current().desktops, "KDE:read-again");
    qunsetenv("XDG_CURRENT_DESKTOP");
}

} // namespace
} // namespace orvik::helper
