#include "menubar/TrayInk.hpp"

#include <gtest/gtest.h>

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

TEST(TrayInk, AnUnseenPanelIsDarkOnGnomeLikeDesktopsAndFollowsTheThemeElsewhere) {
    QPalette palette;
    palette.setColor(QPalette::WindowText, QColor(0x20, 0x20, 0x20));
    palette.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    EXPECT_EQ(TrayInk::onUnseenPanel(palette, "ubuntu:GNOME"), QColor(0xef, 0xef, 0xef));
    EXPECT_EQ(TrayInk::onUnseenPanel(palette, "Budgie:GNOME"), QColor(0xef, 0xef, 0xef));
    EXPECT_EQ(TrayInk::onUnseenPanel(palette, "KDE"), QColor(0x20, 0x20, 0x20));
    EXPECT_EQ(TrayInk::onUnseenPanel(palette, ""), QColor(0x20, 0x20, 0x20));
}

} // namespace
} // namespace orvik::helper
