#include "onboarding/PairingView.hpp"

#include "onboarding/QRCodeLabel.hpp"
#include "onboarding/ScreenCaptureExcluded.hpp"
#include "onboarding/SymbolImage.hpp"
#include "onboarding/Typography.hpp"

#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvik::helper {
namespace {

constexpr int stateMinimumHeight = 260;
constexpr int pairingSymbolSide = 64;
constexpr double panelCornerRadius = 22;
constexpr double panelBorderWidth = 3;

using Style = Typography::Style;

// The white rounded panel behind the QR code, white in a dark palette too (a code needs light around it).
class QRPanel : public QWidget {
public:
    explicit QRPanel(QWidget* content) {
        const int side = PairingView::qrSide + 2 * PairingView::qrPadding;
        setFixedSize(side, side);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(PairingView::qrPadding, PairingView::qrPadding, PairingView::qrPadding,
                                   PairingView::qrPadding);
        layout->addWidget(content);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double inset = panelBorderWidth / 2; // the border lies inside the shape's edge
        const QRectF shape = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
        painter.setPen(QPen(Typography::accentColor(palette()), panelBorderWidth));
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(shape, panelCornerRadius - inset, panelCornerRadius - inset);
    }
};

// As wide as its host: a wrapping text then takes the height its lines need at the width it is shown at (a
// column narrowed to its widest item showed the text at another width than it was measured at, over the item
// above). Items of a size of their own are centred one by one.
QVBoxLayout* centredColumn(QWidget* page, int spacing) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace

PairingView::PairingView(std::shared_ptr<OnboardingModel> model, ViewTiming timing, OnPaired onPaired, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), timing_(std::move(timing)), onPaired_(std::move(onPaired)),
      shownAt_(timing_.now()), lastPaired_(model_->lastPairedDevice()), ticker_(timing_.makeTicker()) {
    setObjectName(QStringLiteral("pairingView"));
    new ScreenCaptureExcluded(this);
    auto* layout = centredColumn(this, 14);
    auto* name = Typography::plainLabel(QString::fromStdString(model_->computerName()), Style::headline);
    name->setObjectName(QStringLiteral("computerName"));
    layout->addWidget(name, 0, Qt::AlignHCenter);
    codePage_ = makeCodePage();
    pairedPage_ = makePairedPage();
    expiredPage_ = makeExpiredPage();
    for (QWidget* page : {codePage_, pairedPage_, expiredPage_}) layout->addWidget(page);
    observation_ = std::make_unique<ModelObservation>(model_, [this] { refresh(); });
    refresh();
}

// A view replaced without being ended (the first-run window's, by the confirmation) only stops counting: its
// session was used up by the pairing.
PairingView::~PairingView() {
    disappear();
}

QWidget* PairingView::makeCodePage() {
    auto* page = new QWidget;
    auto* layout = centredColumn(page, 12);
    qrCode_ = new QRCodeLabel(qrSide);
    qrCode_->setObjectName(QStringLiteral("pairingQRCode"));
    qrCode_->setAccessibleName(QStringLiteral("Pairing code. Scan it with Orvik on your iPhone."));
    layout->addWidget(new QRPanel(qrCode_), 0, Qt::AlignHCenter);
    layout->addWidget(Typography::wrappingLabel(
        QStringLiteral("In Orvik on your iPhone, tap Scan and point the camera at this code."), Style::callout, true));

    auto* manual = new QVBoxLayout;
    manual->setSpacing(4);
    auto* caption = Typography::plainLabel(QStringLiteral("Or type this code"), Style::caption);
    Typography::apply(caption, Style::body, true);
    manual->addWidget(caption, 0, Qt::AlignHCenter);
    manualCode_ = Typography::plainLabel({}, Style::title3);
    manualCode_->setObjectName(QStringLiteral("manualCode"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(manualCode_->font().pointSizeF());
    mono.setWeight(QFont::DemiBold);
    manualCode_->setFont(mono);
    // Selectable by mouse and by keyboard: it takes the focus when a code shows, so Ctrl+A, Ctrl+C copies it.
    manualCode_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    manualCode_->setFocusPolicy(Qt::StrongFocus);
    manual->addWidget(manualCode_, 0, Qt::AlignHCenter);
    layout->addLayout(manual);

    countdown_ = Typography::plainLabel({}, Style::caption);
    Typography::apply(countdown_, Style::body, true);
    countdown_->setObjectName(QStringLiteral("countdown"));
    layout->addWidget(countdown_, 0, Qt::AlignHCenter);
    return page;
}

QWidget* PairingView::makePairedPage() {
    auto* page = new QWidget;
    page->setMinimumHeight(stateMinimumHeight);
    auto* layout = centredColumn(page, 12);
    layout->addStretch();
    auto* symbol =
        SymbolImage::make(QStringLiteral("checkmark"), QStringLiteral("emblem-ok-symbolic"), pairingSymbolSide);
    layout->addWidget(symbol, 0, Qt::AlignHCenter);
    pairedWith_ = Typography::plainLabel({}, Style::title2);
    pairedWith_->setWordWrap(true);
    layout->addWidget(pairedWith_);
    layout->addStretch();
    return page;
}

QWidget* PairingView::makeExpiredPage() {
    auto* page = new QWidget;
    page->setMinimumHeight(stateMinimumHeight);
    auto* layout = centredColumn(page, 12);
    layout->addStretch();
    layout->addWidget(
        SymbolImage::make(QStringLiteral("qrcode"), {}, pairingSymbolSide, Typography::secondaryColor(palette())), 0,
        Qt::AlignHCenter);
    layout->addWidget(Typography::plainLabel(QStringLiteral("This code has expired."), Style::body), 0,
                      Qt::AlignHCenter);
    auto* button = new QPushButton(QStringLiteral("Show a New Code"));
    button->setObjectName(QStringLiteral("showNewCode"));
    connect(button, &QPushButton::clicked, this, [this] { showNewCode(); });
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch();
    return page;
}

void PairingView::refresh() {
    const auto& pairing = model_->pairing();
    state_ = PairingPresentation::state(pairing, model_->lastPairedDevice(), shownAt_);
    if (state_ == PairingPresentation::State::code) {
        showCode(*pairing);
    } else {
        shownCode_.reset();
        ticker_->stop();
    }
    if (state_ == PairingPresentation::State::paired) {
        pairedWith_->setText(QStringLiteral("Paired with ") + QString::fromStdString(model_->lastPairedDevice()->name));
    }
    codePage_->setVisible(state_ == PairingPresentation::State::code);
    pairedPage_->setVisible(state_ == PairingPresentation::State::paired);
    expiredPage_->setVisible(state_ == PairingPresentation::State::expired);

    // Last: the host may replace this view when told of a pairing.
    if (model_->lastPairedDevice() == lastPaired_) return;
    lastPaired_ = model_->lastPairedDevice();
    if (PairingPresentation::pairedSince(lastPaired_, shownAt_) && onPaired_) {
        const auto onPaired = onPaired_;
        const PairedDevice device = *lastPaired_;
        onPaired(device);
    }
}

void PairingView::showCode(const PairingInfo& info) {
    if (shownCode_ == info) return;
    shownCode_ = info;
    // Made once per code, not on every tick.
    qrCode_->setPicture(QRCode::image(info.url));
    manualCode_->setText(QString::fromStdString(info.manualCode));
    manualCode_->setAccessibleName(QString::fromStdString(PairingPresentation::spelledOut(info.manualCode)));
    manualCode_->setFocus(Qt::OtherFocusReason);
    updateCountdown();
    ticker_->start([this] { updateCountdown(); });
}

void PairingView::updateCountdown() {
    if (!shownCode_) return;
    countdown_->setText(QString::fromStdString(PairingPresentation::countdown(shownCode_->expiresAt, timing_.now())));
}

void PairingView::appear() {
    if (onScreen_) return;
    onScreen_ = true;
    model_->countPairingView(true);
}

void PairingView::disappear() {
    if (!onScreen_) return;
    onScreen_ = false;
    model_->countPairingView(false);
}

void PairingView::startSession() {
    appear();
    auto own = std::make_shared<OwnSession>();
    ownSession_ = own;
    model_->startPairing([own, model = model_](const std::optional<PairingInfo>& info) {
        own->answered = true;
        if (!info) return;
        own->id = info->sessionID;
        // Views on screen show it now, whichever asked for it.
        if (own->ended && model->pairingViewsShown() == 0) model->cancelPairing(info->sessionID);
    });
}

void PairingView::showNewCode() {
    shownAt_ = timing_.now();
    refresh();
    startSession();
}

void PairingView::endSession() {
    disappear();
    if (ownSession_) ownSession_->ended = true;
    if (model_->pairingViewsShown() > 0) return;
    const auto& shown = model_->pairing();
    // Its own too, should the model not show it: ending a session that is closed already does nothing.
    if (ownSession_ && ownSession_->id && (!shown || shown->sessionID != *ownSession_->id)) {
        model_->cancelPairing(*ownSession_->id);
    }
    if (shown) model_->cancelPairing(shown->sessionID);
}

} // namespace orvik::helper
