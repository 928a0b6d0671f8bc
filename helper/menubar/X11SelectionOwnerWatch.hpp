#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <string>

// Xlib's Display, declared as Xlib does, without its macros.
struct _XDisplay; // NOLINT(bugprone-reserved-identifier): Xlib's own name

namespace orvik::helper {

// Who owns one of the screen's X selections (a tray's manager window, a settings daemon's window), and optionally
// one property of the owner's window, followed by events on Qt's own X connection: the owner's coming and going
// through XFixes, the property's changes through PropertyNotify on the owner's window. Nothing is asked again and
// again. Off X11 nothing is ever owned. Used on the GUI thread.
class X11SelectionOwnerWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Follows the selection `prefix` followed by the default screen's number ("_NET_SYSTEM_TRAY_S0"), and the
    // owner's `property` unless empty.
    explicit X11SelectionOwnerWatch(const std::string& prefix, const std::string& property = {},
                                    QObject* parent = nullptr);
    X11SelectionOwnerWatch(const X11SelectionOwnerWatch&) = delete;
    X11SelectionOwnerWatch& operator=(const X11SelectionOwnerWatch&) = delete;

    // Qt's X connection; null off X11.
    _XDisplay* display() const { return display_; }
    // The owner's window; 0 while the selection has none.
    unsigned long owner() const { return owner_; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // Emitted from the event loop, after the owner was read again.
    void ownerChanged();
    void propertyChanged();

private:
    void readOwner();

    _XDisplay* display_ = nullptr;
    unsigned long selection_ = 0;
    unsigned long property_ = 0;
    unsigned long owner_ = 0;
    int fixesEventBase_ = -1;
};

} // namespace orvik::helper
