#include "MenuTestSupport.hpp"
#include "menubar/MenuBarGlyph.hpp"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

namespace orvik::helper {
namespace {

using State = MenuBarGlyphState;
const std::vector<State> states{State::idle, State::connected, State::viewing, State::slashed};

TEST(MenuBarGlyph, EveryStateLooksDifferentAndIsDrawnAtTheDevicePixelRatio) {
    test::application();
    const QColor text = QGuiApplication::palette().windowText().color();
    for (std::size_t a = 0; a < states.size(); ++a) {
        const QImage sharp = MenuBarGlyph::image(states[a], 36, 1, text);
        for (std::size_t b = a + 1; b < states.size(); ++b)
            EXPECT_NE(sharp, MenuBarGlyph::image(states[b], 36, 1, text));
        const QPixmap pixmap = MenuBarGlyph::icon(states[a]).pixmap(QSize(18, 18), 2.0);
        EXPECT_EQ(pixmap.devicePixelRatio(), 2.0);
        EXPECT_EQ(pixmap.toImage().convertToFormat(sharp.format()), sharp); // not 18 pixels scaled up
        EXPECT_NE(MenuBarGlyph::image(states[a], 18, 1, text).scaled(36, 36), sharp);
    }
}

struct Cut {
    State state;
    double x, y; // in points, y upwards
};

class MenuBarGlyphCuts : public testing::TestWithParam<Cut> {};

// Where the slash crosses the frame's top and bottom edges, and the frame's top-right corner beside the viewing
// ring: opaque frame in the idle glyph, a transparent margin in the other.
TEST_P(MenuBarGlyphCuts, LeaveATransparentMarginWhereTheyCrossTheFrame) {
    constexpr int side = 72; // four pixels per point: the margins are one point wide
    auto alpha = [](State state) {
        const QImage image = MenuBarGlyph::image(state, side, 1, Qt::black);
        return qAlpha(image.pixel(static_cast<int>(GetParam().x * 4), static_cast<int>((18 - GetParam().y) * 4)));
    };
    EXPECT_EQ(alpha(State::idle), 255);
    EXPECT_EQ(alpha(GetParam().state), 0);
}

INSTANTIATE_TEST_SUITE_P(States, MenuBarGlyphCuts,
                         testing::Values(Cut{State::slashed, 5.3, 14.4}, Cut{State::slashed, 12.8, 3.4},
                                         Cut{State::viewing, 15.82, 12.53}));

class MenuBarGlyphPanels : public testing::TestWithParam<QColor> {};

TEST_P(MenuBarGlyphPanels, TakesItsColourFromThePalette) {
    test::application();
    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::WindowText, GetParam());
    QGuiApplication::setPalette(palette);
    const QImage drawn = MenuBarGlyph::icon(State::idle).pixmap(36).toImage();
    EXPECT_EQ(QColor(drawn.pixel(4, 18)), GetParam()); // the frame's left edge
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, MenuBarGlyphPanels, testing::Values(QColor(20, 20, 20), QColor(235, 235, 235)));

// The symbolic icons written for tray hosts are the glyph itself: one shape in the current colour.
TEST(MenuBarGlyph, SymbolicIconsAreTheSameShapes) {
    test::application();
    constexpr int side = 72;
    for (State state : states) {
        const QByteArray svg = MenuBarGlyph::symbolicSvg(state);
        EXPECT_TRUE(svg.contains("fill=\"currentColor\"")) << svg.toStdString();
        QSvgRenderer renderer(svg);
        ASSERT_TRUE(renderer.isValid()) << svg.toStdString();
        QImage rendered(side, side, QImage::Format_ARGB32_Premultiplied);
        rendered.fill(Qt::transparent);
        {
            QPainter painter(&rendered);
            renderer.render(&painter);
        }
        const QImage drawn = MenuBarGlyph::image(state, side, 1, Qt::black);
        int differing = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x)
                differing += std::abs(qAlpha(rendered.pixel(x, y)) - qAlpha(drawn.pixel(x, y))) > 64;
        }
        EXPECT_LT(differing, side * side / 100) << MenuBarGlyph::symbolicIconName(state).toStdString();
    }
}

TEST(MenuBarGlyph, TheTrayIconIsDrawnInItsInkAndNamedOnlyWhenAsked) {
    test::application();
    const QColor ink(235, 235, 235);
    const QIcon named = MenuBarGlyph::trayIcon(State::connected, ink, true);
    EXPECT_EQ(named.name(), QStringLiteral("orvik-helper-connected-symbolic"));
    EXPECT_TRUE(MenuBarGlyph::trayIcon(State::connected, ink, false).name().isEmpty());
    const QImage drawn = named.pixmap(36).toImage();
    EXPECT_EQ(QColor(drawn.pixel(4, 18)), ink); // the frame's left edge
}

} // namespace
} // namespace orvik::helper
