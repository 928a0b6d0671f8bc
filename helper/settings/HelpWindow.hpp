#pragma once

#include <QString>
#include <QWidget>

#include <array>

namespace orvik::helper {

// The help window: seven short topics, each a title and a paragraph, in a fixed 480×460 window whose list
// scrolls. Shows nothing from the model. Escape and Ctrl+W close it.
class HelpWindow final : public QWidget {
public:
    static constexpr int width = 480;
    static constexpr int height = 460;

    struct Topic {
        const char* title;
        const char* body;
    };
    static const std::array<Topic, 7> topics;

    HelpWindow();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace orvik::helper
