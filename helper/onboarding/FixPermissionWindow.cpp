#include "onboarding/FixPermissionWindow.hpp"

#include "onboarding/SymbolImage.hpp"
#include "onboarding/Typography.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvik::helper {
namespace {

constexpr int fixMargin = 24;
constexpr int fixSymbolSide = 40;
constexpr int badgeSide = 22;

QWidget* stepRow(int number, const QString& text) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* badge = new QLabel(QString::number(number));
    badge->setFixedSize(badgeSide, badgeSide);
    badge->setAlignment(Qt::AlignCenter);
    Typography::apply(badge, Typography::Style::callout);
    QFont bold = badge->font();
    bold.setBold(true);
    badge->setFont(bold);
    QColor tint = Typography::accentColor(badge->palette());
    badge->setStyleSheet(QStringLiteral("background-color: rgba(%1, %2, %3, 20%); border-radius: %4px;")
                             .arg(tint.red())
                             .arg(tint.green())
                             .arg(tint.blue())
                             .arg(badgeSide / 2));
    layout->addWidget(badge, 0, Qt::AlignTop);
    auto* label = Typography::wrappingLabel(text, Typography::Style::body, false);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setMinimumHeight(badgeSide);
    layout->addWidget(label, 1);
    return row;
}

} // namespace

FixPermissionWindow::FixPermissionWindow(std::shared_ptr<OnboardingModel> model, WindowOpening& windows,
                                         const ViewTiming& timing)
    : ContentWindow(contentWidth, 0), model_(model),
      watch_(std::move(model), timing.makeTicker(), [&windows] { windows.close(WindowID::fixPermission); }),
      allowControl_(new QPushButton(QStringLiteral("Allow Control"))) {
    setWindowTitle(QStringLiteral("Allow Orvik Helper Again"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(fixMargin, fixMargin, fixMargin, fixMargin);
    layout->setSpacing(16);

    auto* header = new QHBoxLayout;
    header->setSpacing(14);
    header->addWidget(SymbolImage::make(QStringLiteral("hand"), {}, fixSymbolSide));
    auto* headerText = new QVBoxLayout;
    headerText->setSpacing(4);
    auto* title = Typography::wrappingLabel(QStringLiteral("Orvik Helper can’t post input in this session"),
                                            Typography::Style::title3, false);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setAlignment(Qt::AlignLeft);
    headerText->addWidget(title);
    auto* message = Typography::wrappingLabel(
        QStringLiteral("It needs an X11 session with the XTEST extension. This session is Wayland or has no XTEST."),
        Typography::Style::body, true);
    message->setAlignment(Qt::AlignLeft);
    headerText->addWidget(message);
    header->addLayout(headerText, 1);
    layout->addLayout(header);

    auto* steps = new QVBoxLayout;
    steps->setSpacing(10);
    steps->addWidget(stepRow(1, QStringLiteral("Log out.")));
    steps->addWidget(stepRow(2, QStringLiteral("On the login screen choose an Xorg session.")));
    steps->addWidget(stepRow(3, QStringLiteral("Log in again and open Orvik Helper: this window closes by itself.")));
    layout->addLayout(steps);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    allowControl_->setDefault(true);
    connect(allowControl_, &QPushButton::clicked, this, [this] { model_->requestPermission(); });
    buttons->addWidget(allowControl_);
    layout->addLayout(buttons);
    fit();
}

FixPermissionWindow::~FixPermissionWindow() = default;

void FixPermissionWindow::showEvent(QShowEvent* event) {
    ContentWindow::showEvent(event);
    watch_.start();
}

void FixPermissionWindow::hideEvent(QHideEvent* event) {
    ContentWindow::hideEvent(event);
    watch_.stop();
}

} // namespace orvik::helper
