#pragma once

#include <QColor>
#include <QImage>

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace orvik::helper::testing {

// The screen as another client sees it (the root window, as composited when a compositor runs).
QImage grabScreen();
QColor pixelAt(int x, int y);
// Equal within `tolerance` per channel.
bool near(QColor actual, QColor expected, int tolerance = 3);

// Processes Qt events until `condition` holds or a generous limit passes; for waiting on the X server and
// other processes, never for measuring time.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
// Processes Qt events for a while (for checks that something stays as it is).
void processEventsFor(std::chrono::milliseconds duration);

// Moves the real pointer and presses and releases the left button there, as a user would (XTest).
void movePointer(int x, int y);
void clickLeftButton();

// The id of the window with the keyboard focus.
unsigned long focusedWindow();

// A program running in the background whose standard output lines are read as they come; stopped by pid.
class ReportingProgram {
public:
    explicit ReportingProgram(const std::vector<std::string>& argv);
    ~ReportingProgram();
    ReportingProgram(const ReportingProgram&) = delete;
    ReportingProgram& operator=(const ReportingProgram&) = delete;

    // Every line printed so far.
    const std::vector<std::string>& lines();
    bool hasPrinted(const std::string& line) { return hasPrintedPrefix(line, true); }
    bool hasPrintedPrefix(const std::string& prefix, bool whole = false);

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
};

} // namespace orvik::helper::testing
