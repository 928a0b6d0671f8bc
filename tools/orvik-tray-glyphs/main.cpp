// orvik-tray-glyphs: writes the tray glyph of each state as a symbolic SVG icon into a folder, for the icon theme
// where tray hosts look icons up by name (and recolour symbolic ones for their panel). Used at build time.
#include "menubar/MenuBarGlyph.hpp"

#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    using orvik::helper::MenuBarGlyph;
    using State = orvik::helper::MenuBarGlyphState;
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvik-tray-glyphs FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (State state : {State::idle, State::connected, State::viewing, State::slashed}) {
        QFile file(folder + QLatin1Char('/') + MenuBarGlyph::symbolicIconName(state) + QStringLiteral(".svg"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(MenuBarGlyph::symbolicSvg(state)) < 0) {
            std::fprintf(stderr, "orvik-tray-glyphs: cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}
