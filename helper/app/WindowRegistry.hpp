#pragma once

#include "model/WindowID.hpp"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace orvik::helper {

// Keeps each of the application's windows single: opening one that is open raises it instead of making a second;
// a closed window is deleted and made anew the next time. Every opening first brings the application forward.
class WindowRegistry final : public WindowOpening {
public:
    using Factory = std::function<QWidget*()>;

    // The settings window is opened by openSettings(); register it under settingsID.
    static constexpr std::string_view settingsID = "settings";

    void registerWindow(std::string_view windowID, Factory factory);

    void open(std::string_view windowID) override;
    void close(std::string_view windowID) override;
    void openSettings() override { open(settingsID); }

    // The open window with this identifier, or null.
    QWidget* window(std::string_view windowID) const;
    // Brings every open window forward, the one opened last on top; false when none is open.
    bool raiseOpen();

private:
    struct Entry {
        Factory factory;
        QPointer<QWidget> window;
        std::uint64_t openedAt = 0;
    };
    static void bringForward(QWidget& window);

    std::map<std::string, Entry, std::less<>> entries_;
    std::uint64_t openings_ = 0;
};

} // namespace orvik::helper
