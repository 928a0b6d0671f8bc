#include "onboarding/OnboardingWindow.hpp"

#include "onboarding/AllowControlStep.hpp"
#include "onboarding/AppStoreHint.hpp"
#include "onboarding/LocalNetworkStep.hpp"
#include "onboarding/OnboardingStepText.hpp"
#include "onboarding/PairingView.hpp"
#include "onboarding/StepDots.hpp"
#include "onboarding/SymbolImage.hpp"
#include "onboarding/Typography.hpp"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvik::helper {
namespace {

constexpr int onboardingMargin = 32;
constexpr int spacing = 20;
constexpr int onboardingSymbolSide = 64;
constexpr int symbolFrameHeight = 76;
// The pairing step holds the code, the hint and "Pair Later" within the same 640 px, before and after a pairing:
// closer together, the symbol in a frame of its own size, "Pair Later" beside the hint.
constexpr int pairVerticalMargin = 20;
constexpr int pairSpacing = 12;

struct Symbol {
    const char* name;
    const char* themeName;
};

Symbol symbolOf(OnboardingWindow::Step step, bool paired) {
    switch (step) {
    case OnboardingWindow::Step::welcome: return {"computer-and-phone", "phone"};
    case OnboardingWindow::Step::allowControl: return {"pointer-click", "input-mouse"};
    case OnboardingWindow::Step::localNetwork: return {"network", "network-workgroup"};
    case OnboardingWindow::Step::pair: break;
    }
    return paired ? Symbol{"checkmark", "emblem-ok-symbolic"} : Symbol{"qrcode-viewfinder", ""};
}

QVBoxLayout* stepColumn(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QPushButton* mainButton(const QString& text) {
    auto* button = new QPushButton(text);
    button->setDefault(true);
    button->setMinimumWidth(120);
    return button;
}

} // namespace

OnboardingWindow::OnboardingWindow(std::shared_ptr<OnboardingModel> model, WindowOpening& windows, Options options)
    : ContentWindow(contentWidth, minimumHeight), model_(std::move(model)), windows_(windows),
      options_(std::move(options)), symbol_(new QLabel), dots_(new StepDots(stepCount)) {
    setWindowTitle(QStringLiteral("Set Up Orvik Helper"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(onboardingMargin, onboardingMargin, onboardingMargin, onboardingMargin);
    layout->setSpacing(spacing);
    symbol_->setFixedHeight(symbolFrameHeight);
    symbol_->setAlignment(Qt::AlignCenter);
    layout->addWidget(symbol_);
    layout->addWidget(dots_, 0, Qt::AlignHCenter);
    observation_ = std::make_unique<ModelObservation>(model_, [this] { fit(); });
    showStep(Step::welcome);
}

OnboardingWindow::~OnboardingWindow() = default;

void OnboardingWindow::showStep(Step step) {
    step_ = step;
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    if (content_) {
        // The old step may be the caller: it goes once control is back in the event loop.
        content_->hide();
        layout->removeWidget(content_);
        content_->deleteLater();
    }
    defaultButton_ = nullptr;
    pairingView_ = nullptr;
    switch (step) {
    case Step::welcome: content_ = makeWelcome(); break;
    case Step::allowControl: {
        auto* page = new AllowControlStep(model_, options_.timing, [this] { showStep(Step::localNetwork); });
        defaultButton_ = [page] { return page->defaultButton(); };
        content_ = page;
        break;
    }
    case Step::localNetwork: {
        auto* page = new LocalNetworkStep(model_, [this] { showStep(Step::pair); });
        defaultButton_ = [page] { return page->defaultButton(); };
        content_ = page;
        break;
    }
    case Step::pair: content_ = pairedName_ ? makeConfirmation() : makePair(); break;
    }
    layout->insertWidget(1, content_, 1);
    const Symbol symbol = symbolOf(step, pairedName_.has_value());
    SymbolImage::set(symbol_, QString::fromLatin1(symbol.name), QString::fromLatin1(symbol.themeName),
                     onboardingSymbolSide);
    dots_->setCurrent(static_cast<int>(step));
    const bool pairing = step == Step::pair;
    const int verticalMargin = pairing ? pairVerticalMargin : onboardingMargin;
    layout->setContentsMargins(onboardingMargin, verticalMargin, onboardingMargin, verticalMargin);
    layout->setSpacing(pairing ? pairSpacing : spacing);
    symbol_->setFixedHeight(pairing ? onboardingSymbolSide : symbolFrameHeight);
    setMinimumContentHeight(pairing ? pairMinimumHeight : minimumHeight);
    // Last, for a step may move on as soon as it shows (a permission already there), showing the next one from
    // here. A layout shows a new child only later, from the event loop: the step's watch starts now.
    if (isVisible()) content_->show();
}

QWidget* OnboardingWindow::makeWelcome() {
    auto* page = new QWidget;
    auto* layout = stepColumn(page);
    layout->addWidget(new OnboardingStepText(
        QStringLiteral("Control this computer from your iPhone."),
        QStringLiteral("Orvik Helper lets the Orvik app on your iPhone move the pointer, type and control media on "
                       "this computer. It only works with iPhones you pair, over your own Wi-Fi.")));
    auto* button = mainButton(QStringLiteral("Continue"));
    connect(button, &QPushButton::clicked, this, [this] { showStep(Step::allowControl); });
    defaultButton_ = [button] { return button; };
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch();
    return page;
}

QWidget* OnboardingWindow::makePair() {
    auto* page = new QWidget;
    auto* layout = stepColumn(page);
    layout->setSpacing(pairSpacing);
    pairingView_ = new PairingView(model_, options_.timing, [this](const PairedDevice& device) { paired(device); });
    layout->addWidget(pairingView_);
    auto* footer = new QHBoxLayout;
    footer->setSpacing(pairSpacing);
    footer->addWidget(new AppStoreHint(options_.appStoreID), 1);
    auto* later = new QPushButton(QStringLiteral("Pair Later"));
    later->setObjectName(QStringLiteral("pairLater"));
    later->setFlat(true);
    later->setCursor(Qt::PointingHandCursor);
    QPalette linkLook = later->palette();
    linkLook.setColor(QPalette::ButtonText, linkLook.color(QPalette::Link));
    later->setPalette(linkLook);
    connect(later, &QPushButton::clicked, this, [this] { pairLater(); });
    footer->addWidget(later, 0, Qt::AlignVCenter);
    layout->addLayout(footer);
    layout->addStretch();
    pairingView_->startSession();
    return page;
}

QWidget* OnboardingWindow::makeConfirmation() {
    auto* page = new QWidget;
    auto* layout = stepColumn(page);
    auto* text = new OnboardingStepText(QStringLiteral("Paired with ") + QString::fromStdString(*pairedName_),
                                        QStringLiteral("You’re all set. Open Orvik on your iPhone to start."));
    layout->addWidget(text);
    auto* loginItem = new QCheckBox(QStringLiteral("Open Orvik Helper when you log in"));
    loginItem->setChecked(launchAtLogin_);
    connect(loginItem, &QCheckBox::toggled, this, [this](bool checked) { launchAtLogin_ = checked; });
    layout->addWidget(loginItem, 0, Qt::AlignHCenter);
    auto* done = mainButton(QStringLiteral("Done"));
    connect(done, &QPushButton::clicked, this, [this] { finish(); });
    defaultButton_ = [done] { return done; };
    layout->addWidget(done, 0, Qt::AlignHCenter);
    layout->addStretch();
    return page;
}

void OnboardingWindow::paired(const PairedDevice& device) {
    pairedName_ = device.name;
    showStep(Step::pair);
}

void OnboardingWindow::pairLater() {
    if (pairingView_) pairingView_->endSession();
    finish();
}

void OnboardingWindow::finish() {
    finished_ = true;
    if (pairedName_) model_->setLaunchesAtLogin(launchAtLogin_);
    model_->setOnboardingCompleted(true);
    model_->startServer();
    windows_.close(WindowID::onboarding);
}

void OnboardingWindow::closeEvent(QCloseEvent* event) {
    // A code shown nowhere else must not stay valid.
    if (pairingView_ && !pairedName_ && !finished_) pairingView_->endSession();
    ContentWindow::closeEvent(event);
}

} // namespace orvik::helper
