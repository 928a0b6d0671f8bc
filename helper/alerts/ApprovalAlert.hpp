#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace orvik::helper {

// One question to the person at the computer: a message box in plain text, kept on top and raised, that leaves
// the rest of the application usable (opened, never run in an event loop of its own), so that several questions
// can be open at once and answered in any order. Made and answered on the GUI thread.
class ApprovalAlert {
public:
    struct Question {
        QString message;
        QString informativeText;
        // Left to right; the first is the default button (Return).
        QStringList buttons;
        // The button that Escape, closing the window or the end of the application chooses.
        qsizetype escapeButton = 0;
    };

    // Shows the question and returns at once. `done` gets the index of the chosen button, exactly once.
    static void open(const Question& question, std::function<void(qsizetype chosen)> done);
};

} // namespace orvik::helper
