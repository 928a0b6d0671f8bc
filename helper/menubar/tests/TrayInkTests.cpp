#include "menubar/TrayInk.hpp"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace orvik::helper {
namespace {

TEST(TrayInk, ContrastIsTheLuminanceRatio) {
    EXPECT_DOUBLE_EQ(TrayInk::contrast(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(TrayInk::contrast(QColor(64, 64, 64), QColor(64, 64, 64)), 1.0);
    EXPECT_NEAR(TrayInk::contrast(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
    // Black on the dark grey of a common panel: hardly seen.
    EXPECT_NEAR(TrayInk::contrast(Qt::black, QColor(0x3f, 0x3f, 0x3f)), 2.0, 0.05);
}

struct PanelCase {
    const char* name;
    QColor panel;
    QColor ink;
    // The theme's text and window colours.
    QColor text = QColor(0x20, 0x20, 0x20);
    QColor window = QColor(0xef, 0xef, 0xef);
};

class TrayInkOnPanel : public testing::TestWithParam<PanelCase> {};

TEST_P(TrayInkOnPanel, IsTheThemesInkThatStandsOutElseBlackOrWhite) {
    QPalette palette;
    palette.setColor(QPalette::WindowText, GetParam().text);
    palette.setColor(QPalette::Window, GetParam().window);
    const QColor ink = TrayInk::onPanel(GetParam().panel, palette);
    EXPECT_EQ(ink, GetParam().ink);
    EXPECT_GE(TrayInk::contrast(ink, GetParam().panel), TrayInk::minimumContrast);
}

INSTANTIATE_TEST_SUITE_P(Panels, TrayInkOnPanel,
                         testing::Values(PanelCase{"Dark", QColor(0x3f, 0x3f, 0x3f), QColor(0xef, 0xef, 0xef)},
                                         PanelCase{"Light", QColor(0xe8, 0xe8, 0xe8), QColor(0x20, 0x20, 0x20)},
                                         PanelCase{"Black", Qt::black, QColor(0xef, 0xef, 0xef)},
                                         // Neither colour of a soft theme reaches 3:1 on a mid grey: black does.
                                         PanelCase{"SoftThemeOnMidGrey", QColor(0x80, 0x80, 0x80), Qt::black,
                                                   QColor(0x60, 0x60, 0x60), QColor(0xa0, 0xa0, 0xa0)}),
                         [](const testing::TestParamInfo<PanelCase>& panel) { return panel.param.name; });

struct UnseenPanelCase {
    const char* name;
    DesktopColours desktop;
    QColor ink;
};

DesktopColours desktop(std::string names, std::optional<std::uint32_t> colorScheme = std::nullopt,
                       std::string gtkTheme = {}, std::string plasmaTheme = {},
                       std::optional<QColor> kdeWindow = std::nullopt) {
    DesktopColours colours;
    colours.desktops = std::move(names);
    colours.colorScheme = colorScheme;
    colours.gtkTheme = std::move(gtkTheme);
    colours.plasmaTheme = std::move(plasmaTheme);
    colours.kdeWindow = kdeWindow;
    return colours;
}

class TrayInkOnUnseenPanel : public testing::TestWithParam<UnseenPanelCase> {};

// The theme's light window colour on a dark panel, its dark text colour on a light one, and where nothing tells the
// panel a grey that stands out from both.
TEST_P(TrayInkOnUnseenPanel, FollowsWhatTheDesktopSaysOfItsColours) {
    QPalette palette;
    palette.setColor(QPalette::WindowText, QColor(0x20, 0x20, 0x20));
    palette.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    const QColor ink = TrayInk::onUnseenPanel(palette, GetParam().desktop);
    EXPECT_EQ(ink, GetParam().ink) << ink.name().toStdString();
    const auto panel = TrayInk::unseenPanel(GetParam().desktop);
    for (const QColor& each :
         panel ? std::vector<QColor>{*panel} : std::vector{TrayInk::darkPanel, TrayInk::lightPanel}) {
        EXPECT_GE(TrayInk::contrast(ink, each), TrayInk::minimumContrast) << each.name().toStdString();
    }
}

const QColor light(0xef, 0xef, 0xef);
const QColor dark(0x20, 0x20, 0x20);
const QColor breezeDarkWindow(0x20, 0x23, 0x26);
const QColor breezeWindow(0xef, 0xf0, 0xf1);

INSTANTIATE_TEST_SUITE_P(
    Desktops, TrayInkOnUnseenPanel,
    testing::Values(
        // Nothing but a name, or not even that.
        UnseenPanelCase{"Unnamed", desktop(""), TrayInk::neutral},
        UnseenPanelCase{"KdeAlone", desktop("KDE"), TrayInk::neutral},
        UnseenPanelCase{"XfceAlone", desktop("XFCE"), TrayInk::neutral},
        UnseenPanelCase{"ThemeNamedLight", desktop("XFCE", 0, "Adwaita"), TrayInk::neutral},
        // GNOME's top bar is dark even in its light scheme.
        UnseenPanelCase{"Gnome", desktop("GNOME"), light},
        UnseenPanelCase{"UbuntuGnomeLight", desktop("ubuntu:GNOME", 2, "Yaru"), light},
        UnseenPanelCase{"BudgieGnome", desktop("Budgie:GNOME"), light},
        // The settings portal's preference.
        UnseenPanelCase{"PortalDark", desktop("XFCE", 1), light}, UnseenPanelCase{"PortalLight", desktop("", 2), dark},
        // The settings daemon's GTK theme.
        UnseenPanelCase{"GtkThemeDark", desktop("XFCE", std::nullopt, "Adwaita-dark"), light},
        UnseenPanelCase{"GtkThemeDarkVariant", desktop("", std::nullopt, "Materia-dark-compact"), light},
        UnseenPanelCase{"GtkThemeDarkerThanPortal", desktop("XFCE", 0, "Arc-Dark"), light},
        // KDE: the Plasma theme draws the panel, in the colour scheme's window colour unless it is a dark theme.
        UnseenPanelCase{"KdeColourSchemeDark", desktop("KDE", std::nullopt, "", "default", breezeDarkWindow), light},
        UnseenPanelCase{"KdeColourSchemeLight", desktop("KDE", 1, "Breeze-Dark", "default", breezeWindow), dark},
        UnseenPanelCase{"KdeTwilight", desktop("KDE", 2, "", "breeze-dark", breezeWindow), light},
        UnseenPanelCase{"KdeColoursElsewhereIgnored", desktop("XFCE", std::nullopt, "", "", breezeDarkWindow),
                        TrayInk::neutral}),
    [](const testing::TestParamInfo<UnseenPanelCase>& row) { return row.param.name; });

struct KdeConfigCase {
    const char* name;
    std::string_view text;
    std::optional<std::string> backgroundNormal;
};

class KdeConfig : public testing::TestWithParam<KdeConfigCase> {};

TEST_P(KdeConfig, ReadsTheKeyOfTheGroupAsKdeDoes) {
    EXPECT_EQ(DesktopColours::kdeValue(GetParam().text, "Colors:Window", "BackgroundNormal"),
              GetParam().backgroundNormal);
}

INSTANTIATE_TEST_SUITE_P(
    Files, KdeConfig,
    testing::Values(
        KdeConfigCase{"InItsGroup",
                      "[Colors:View]\nBackgroundNormal=255,255,255\n\n[Colors:Window]\nBackgroundAlternate=1,2,3\n"
                      "BackgroundNormal=32,35,38\n[General]\nBackgroundNormal=9,9,9\n",
                      "32,35,38"},
        KdeConfigCase{"SpacesAndCarriageReturns", "  [Colors:Window]\r\n BackgroundNormal = 32,35,38 \r\n", "32,35,38"},
        KdeConfigCase{"LaterLineWins",
                      "[Colors:Window]\nBackgroundNormal=1,1,1\n[Colors:Window]\nBackgroundNormal=2,2,2", "2,2,2"},
        KdeConfigCase{"CommentedOut", "[Colors:Window]\n#BackgroundNormal=1,1,1\n", std::nullopt},
        KdeConfigCase{"OtherGroupOnly", "[Colors:Window][Inactive]\nBackgroundNormal=1,1,1\n", std::nullopt},
        KdeConfigCase{"KeyBeforeAnyGroup", "BackgroundNormal=1,1,1\n[Colors:Window]\n", std::nullopt},
        KdeConfigCase{"Empty", "", std::nullopt}),
    [](const testing::TestParamInfo<KdeConfigCase>& row) { return row.param.name; });

TEST(DesktopColours, ReadsKdeColoursThemeNamesAndDesktopLists) {
    EXPECT_EQ(DesktopColours::kdeColour("32,35,38"), QColor(32, 35, 38));
    EXPECT_EQ(DesktopColours::kdeColour(" 0, 255 ,7"), QColor(0, 255, 7));
    for (std::string_view bad : {"", "1,2", "1,2,3,4", "1,2,256", "1,-2,3", "a,b,c", "1,,3", "#202020"}) {
        EXPECT_EQ(DesktopColours::kdeColour(bad), std::nullopt) << bad;
    }
    for (std::string_view darkTheme :
         {"Adwaita-dark", "Breeze-Dark", "breeze-dark", "Materia-dark-compact", "Adwaita:dark", "Yaru_dark"}) {
        EXPECT_TRUE(DesktopColours::namesDarkTheme(darkTheme)) << darkTheme;
    }
    for (std::string_view other : {"", "Adwaita", "Darkmint", "default", "HighContrast"}) {
        EXPECT_FALSE(DesktopColours::namesDarkTheme(other)) << other;
    }
    EXPECT_TRUE(desktop("ubuntu:GNOME").names("GNOME"));
    EXPECT_TRUE(desktop("KDE").names("KDE"));
    EXPECT_FALSE(desktop("GNOME-Flashback").names("GNOME"));
}

} // namespace
} // namespace orvik::helper
