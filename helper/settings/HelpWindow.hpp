#pragma once

#include "model/MenuPlace.hpp"

#include <QString>
#include <QWidget>

#include <array>
#include <utility>
#include <vector>

class QLabel;

namespace orvik::helper {

// The help window: seven short topics, each a title and a paragraph, in a fixed 480×460 window whose list
// scrolls. Reads nothing from the model; is told where the menu is. Escape and Ctrl+W close it.
class HelpWindow final : public QWidget {
public:
    static constexpr int width = 480;
    static constexpr int height = 460;

    struct Topic {
        const char* title;
        const char* body;
    };
    static const std::array<Topic, 7> topics;

    explicit HelpWindow(MenuPlace menu = MenuPlace::tray);

    // The topics that send the user to the menu say where it is.
    void showMenuPlace(MenuPlace menu);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Each with its text, "%1" standing for where the menu is.
    std::vector<std::pair<QLabel*, QString>> sayingWhereTheMenuIs_;
};

} // namespace orvik::helper
