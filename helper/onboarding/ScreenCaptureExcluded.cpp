#include "onboarding/ScreenCaptureExcluded.hpp"

#include "screen/CaptureExclusions.hpp"

#include <QEvent>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace orvik::helper {
namespace {

// Qt's own connection: its requests reach the server in order with Qt's, so a property set before Qt maps the
// window is on the window when it appears.
xcb_connection_t* qtConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t markerAtom(xcb_connection_t* connection) {
    const std::string name(CaptureExclusions::windowProperty);
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace

ScreenCaptureExcluded::ScreenCaptureExcluded(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(0, 0);
}

ScreenCaptureExcluded::~ScreenCaptureExcluded() {
    release();
}

void ScreenCaptureExcluded::setMarked(std::uint64_t window, bool marked) {
    xcb_connection_t* connection = qtConnection();
    if (!connection || window == 0) return;
    const xcb_atom_t atom = markerAtom(connection);
    if (atom == XCB_ATOM_NONE) return;
    const auto id = static_cast<xcb_window_t>(window);
    if (marked) {
        const std::uint32_t value = 1;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom, XCB_ATOM_CARDINAL, 32, 1, &value);
    } else {
        xcb_delete_property(connection, id, atom);
    }
    xcb_flush(connection);
}

bool ScreenCaptureExcluded::isMarked(std::uint64_t window) {
    xcb_connection_t* connection = qtConnection();
    if (!connection || window == 0) return false;
    const xcb_atom_t atom = markerAtom(connection);
    const auto cookie =
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(window), atom, XCB_ATOM_CARDINAL, 0, 1);
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    return reply && reply->type == XCB_ATOM_CARDINAL && xcb_get_property_value_length(reply.get()) > 0;
}

bool ScreenCaptureExcluded::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Show: follow(); break;
    case QEvent::Hide:
        // A minimised window keeps its mark: a restore maps it before Qt tells us it is shown again.
        if (!event->spontaneous()) release();
        break;
    case QEvent::ParentChange:
        release();
        if (isVisible()) follow();
        break;
    default: break;
    }
    return QWidget::event(event);
}

void ScreenCaptureExcluded::follow() {
    QWidget* top = window();
    const std::uint64_t id = top->internalWinId();
    if (top == marked_ && id == markedWindow_) return;
    release();
    if (id == 0) return;
    setMarked(id, true);
    marked_ = top;
    markedWindow_ = id;
}

void ScreenCaptureExcluded::release() {
    // A window that is gone takes its property with it.
    if (marked_ && marked_->internalWinId() == markedWindow_) setMarked(markedWindow_, false);
    marked_.clear();
    markedWindow_ = 0;
}

} // namespace orvik::helper
