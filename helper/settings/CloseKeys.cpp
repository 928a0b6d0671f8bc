#include "settings/CloseKeys.hpp"

#include <QKeyEvent>

namespace orvik::helper {

bool CloseKeys::closes(const QKeyEvent& event) {
    const auto modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_Escape) return modifiers == Qt::NoModifier;
    return event.key() == Qt::Key_W && modifiers == Qt::ControlModifier;
}

} // namespace orvik::helper
