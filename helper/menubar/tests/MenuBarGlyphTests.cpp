#include "menubar/MenuBarGlyph.hpp"

#include "TestApplication.hpp"

#include <gtest/gtest.h>

#include <QPalette>
#include <QPixmap>

namespace orvik::helper {
namespace {

using State = MenuBarGlyphState;
const std::vector<State> states{State::idle, State::connected, State::viewing, State::slashed};
constexpr int side = 36; // two pixels per design point

// The alpha at a point given in the drawing's own coordinates (y upwards).
int alphaAt(const QImage& image, double x, double y) {
    const double scale = image.width() / MenuBarGlyph::designSize;
    return qAlpha(image.pixel(static_cast<int>(x * scale), static_cast<int>((MenuBarGlyph::designSize - y) * scale)));
}

TEST(MenuBarGlyph, EveryStateLooksDifferent) {
    for (std::size_t a = 0; a < states.size(); ++a) {
        for (std::size_t b = a + 1; b < states.size(); ++b) {
            EXPECT_NE(MenuBarGlyph::image(states[a], side, 1, Qt::black),
                      MenuBarGlyph::image(states[b], side, 1, Qt::black));
        }
    }
}

struct Cut {
    State state;
    double x, y;
};

class MenuBarGlyphCuts : public testing::TestWithParam<Cut> {};

// Where the slash crosses the frame's top edge, and the frame's top-right corner beside the viewing ring: opaque
// frame in the idle glyph, a transparent margin in the other.
TEST_P(MenuBarGlyphCuts, LeaveATransparentMarginWhereTheyCrossTheFrame) {
    constexpr int fine = 72; // four pixels per point: the margins are one point wide
    EXPECT_EQ(alphaAt(MenuBarGlyph::image(State::idle, fine, 1, Qt::black), GetParam().x, GetParam().y), 255);
    EXPECT_EQ(alphaAt(MenuBarGlyph::image(GetParam().state, fine, 1, Qt::black), GetParam().x, GetParam().y), 0);
}

INSTANTIATE_TEST_SUITE_P(States, MenuBarGlyphCuts,
                         testing::Values(Cut{State::slashed, 5.3, 14.4}, Cut{State::slashed, 12.8, 3.4},
                                         Cut{State::viewing, 15.82, 12.53}));

TEST(MenuBarGlyph, IsDrawnAtTheDevicePixelRatioNotScaledUp) {
    test::application();
    for (State state : states) {
        const QPixmap pixmap = MenuBarGlyph::icon(state).pixmap(QSize(18, 18), 2.0);
        const QImage sharp = MenuBarGlyph::image(state, side, 1, QGuiApplication::palette().windowText().color());
        ASSERT_EQ(pixmap.size(), QSize(side, side));
        EXPECT_EQ(pixmap.devicePixelRatio(), 2.0);
        EXPECT_EQ(pixmap.toImage().convertToFormat(sharp.format()), sharp);
        const QImage upscaled = MenuBarGlyph::image(state, 18, 1, Qt::black).scaled(side, side);
        EXPECT_NE(MenuBarGlyph::image(state, side, 1, Qt::black), upscaled);
    }
}

class MenuBarGlyphPanels : public testing::TestWithParam<QColor> {};

TEST_P(MenuBarGlyphPanels, TakesItsColourFromThePalette) {
    test::application();
    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::WindowText, GetParam());
    QGuiApplication::setPalette(palette);
    const QImage drawn = MenuBarGlyph::icon(State::idle).pixmap(side).toImage();
    EXPECT_EQ(QColor(drawn.pixel(2 * side / 18, side / 2)), GetParam()); // the frame's left edge
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, MenuBarGlyphPanels, testing::Values(QColor(20, 20, 20), QColor(235, 235, 235)));

} // namespace
} // namespace orvik::helper
