#pragma once

#include <QObject>

namespace orvik::helper {

// Whether a tray host is there to show the application's icon, learnt from events, never by asking again and
// again: asking is costly on D-Bus (Qt opens a new session-bus connection for each answer) and wakes the panel.
// Used on the GUI thread.
class TrayHostWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TrayHostWatch() override;

    virtual bool available() const = 0;

signals:
    // After `available()` may have changed; emitted from the event loop.
    void availabilityChanged();
};

} // namespace orvik::helper
