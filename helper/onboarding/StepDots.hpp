#pragma once

#include <QWidget>

namespace orvik::helper {

// One dot per onboarding step, the current one in the accent colour; one accessible element, "Step 2 of 4".
class StepDots : public QWidget {
public:
    static constexpr int dotSide = 7;
    static constexpr int spacing = 8;

    StepDots(int count, QWidget* parent = nullptr);
    void setCurrent(int index);
    int current() const { return current_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const int count_;
    int current_ = 0;
};

} // namespace orvik::helper
