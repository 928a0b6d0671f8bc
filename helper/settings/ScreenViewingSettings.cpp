#include "settings/ScreenViewingSettings.hpp"

#include "model/HelperAppModel.hpp"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace orvik::helper {
namespace {

// A holder of rows at the top of the section, so that rows made later still come before its buttons.
QVBoxLayout* rowsIn(QGroupBox* section) {
    auto* holder = new QWidget;
    auto* rows = new QVBoxLayout(holder);
    rows->setContentsMargins(0, 0, 0, 0);
    SettingsTab::layoutOf(section)->addWidget(holder);
    return rows;
}

} // namespace

ScreenViewingSettings::ScreenViewingSettings(std::shared_ptr<HelperAppModel> model,
                                             const std::optional<std::string>& recordingLink)
    : SettingsTab(std::move(model)) {
    auto* viewing = layoutOf(addSection({}));
    // Not bound to the field: the model decides what switching does.
    enabled_ = new QCheckBox(tr("Allow iPhones to view this computer’s screen"));
    viewing->addWidget(enabled_);
    connect(enabled_, &QCheckBox::toggled, this, [this](bool on) { this->model().setScreenViewingEnabled(on); });
    addNote(viewing, tr("Each iPhone asks the first time. Viewing works only on your local network and is encrypted "
                        "like every other Orvik connection."));

    // On X11 the permission is a fact of the session: the note says what to do, as there is no page to open.
    auto* recording = layoutOf(addSection(tr("Screen Recording")));
    auto* state = new QHBoxLayout;
    permissionIcon_ = new QLabel;
    permission_ = new QLabel;
    state->addWidget(permissionIcon_);
    state->addWidget(permission_);
    state->addStretch();
    openSettings_ = linkButton(tr("Open System Settings"), recordingLink);
    if (openSettings_) state->addWidget(openSettings_);
    recording->addLayout(state);
    permissionHint_ =
        addNote(recording, tr("Screen viewing needs an X11 session. Log in to an Xorg session, then reopen Orvik "
                              "Helper."));

    viewers_ = addSection(tr("Viewing now"));
    viewerRows_ = rowsIn(viewers_);
    auto* stop = new QPushButton(tr("Stop Viewing"));
    connect(stop, &QPushButton::clicked, this, [this] { this->model().stopScreenViewing(); });
    layoutOf(viewers_)->addWidget(stop, 0, Qt::AlignLeft);

    allowed_ = addSection(tr("Always allowed"));
    allowedRows_ = rowsIn(allowed_);
    auto* forget = new QPushButton(tr("Ask Again Next Time"));
    connect(forget, &QPushButton::clicked, this, [this] { this->model().forgetScreenViewingDevices(); });
    layoutOf(allowed_)->addWidget(forget, 0, Qt::AlignLeft);
    refresh();
}

void ScreenViewingSettings::refresh() {
    SettingsTab::refresh();
    {
        const QSignalBlocker blocker(enabled_);
        enabled_->setChecked(model().preferences().screenViewingEnabled);
    }
    const bool allowed = model().canCaptureScreen();
    permission_->setText(allowed ? tr("Allowed") : tr("Not allowed yet"));
    const auto icon = allowed ? QStyle::SP_DialogApplyButton : QStyle::SP_MessageBoxWarning;
    const int iconSize = permission_->fontMetrics().height();
    permissionIcon_->setPixmap(style()->standardIcon(icon).pixmap(iconSize, iconSize));
    if (allowed) {
        showInAccentColor(permission_);
    } else {
        showDimmed(permission_);
    }
    permissionHint_->setVisible(!allowed);
    if (openSettings_) openSettings_->setVisible(!allowed);

    std::vector<std::string> viewers;
    for (const auto& viewer : model().screenViewers()) viewers.push_back(viewer.name);
    if (viewers != shownViewers_) fillRows(viewerRows_, viewers);
    shownViewers_ = viewers;
    viewers_->setVisible(!viewers.empty());

    const auto names = model().screenViewingDeviceNames();
    if (names != shownAllowed_) fillRows(allowedRows_, names);
    shownAllowed_ = names;
    allowed_->setVisible(!names.empty());
}

void ScreenViewingSettings::appeared() {
    model().refreshScreenPermission();
}

void ScreenViewingSettings::fillRows(QVBoxLayout* rows, const std::vector<std::string>& names) {
    while (QLayoutItem* item = rows->takeAt(0)) {
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    for (const auto& name : names) {
        auto* row = new QLabel(QString::fromStdString(name));
        row->setTextFormat(Qt::PlainText);
        rows->addWidget(row);
    }
}

} // namespace orvik::helper
