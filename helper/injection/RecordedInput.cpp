#include "injection/RecordedInput.hpp"

#include <ostream>

namespace orvik::helper {
namespace {

const char* kindName(MouseEventKind kind) {
    switch (kind) {
    case MouseEventKind::moved: return "moved";
    case MouseEventKind::down: return "down";
    case MouseEventKind::up: return "up";
    case MouseEventKind::dragged: return "dragged";
    }
    return "?";
}

template <NamedEnum E> std::ostream& printCase(std::ostream& out, E value) {
    if (auto name = caseName(value); !name.empty()) return out << name;
    return out << static_cast<int>(value);
}

struct Printer {
    std::ostream& out;

    void operator()(const RecordedInput::Mouse& mouse) const {
        out << "mouse(" << kindName(mouse.kind) << ", ";
        if (mouse.button) {
            printCase(out, *mouse.button);
        } else {
            out << "no button";
        }
        out << ", " << mouse.location.x << ", " << mouse.location.y << ", " << mouse.clickCount << ")";
    }
    void operator()(const RecordedInput::Scroll& scroll) const {
        out << "scroll(" << scroll.dx << ", " << scroll.dy << ", ";
        printCase(out, scroll.phase) << ", ";
        printCase(out, scroll.momentum) << ")";
    }
    void operator()(const RecordedInput::Key& key) const {
        out << "key(" << key.keyCode << (key.isDown ? ", down" : ", up") << ", flags " << key.flags.rawValue << ")";
    }
    void operator()(const RecordedInput::Modifier& modifier) const {
        out << "modifier(" << modifier.keyCode << ", flags " << modifier.flags.rawValue << ")";
    }
    void operator()(const RecordedInput::Unicode& unicode) const {
        out << "unicode(\"" << unicode.text << "\"" << (unicode.isDown ? ", down" : ", up") << ")";
    }
    void operator()(const RecordedInput::Media& media) const {
        out << "media(" << media.code << (media.isDown ? ", down" : ", up") << ")";
    }
};

} // namespace

std::ostream& operator<<(std::ostream& out, const RecordedInput& input) {
    std::visit(Printer{out}, input.value);
    return out;
}

} // namespace orvik::helper
