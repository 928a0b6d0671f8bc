#include "settings/SettingsTab.hpp"

#include "model/HelperAppModel.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace orvik::helper {

SettingsTab::SettingsTab(std::shared_ptr<HelperAppModel> model)
    : model_(std::move(model)), form_(new QVBoxLayout(this)) {
    form_->setAlignment(Qt::AlignTop);
}

void SettingsTab::refresh() {
    for (auto& refresher : refreshers_) refresher();
}

QVBoxLayout* SettingsTab::layoutOf(QGroupBox* section) {
    return static_cast<QVBoxLayout*>(section->layout());
}

QGroupBox* SettingsTab::addSection(const QString& header) {
    auto* section = new QGroupBox(header);
    section->setLayout(new QVBoxLayout);
    form_->addWidget(section);
    return section;
}

QLabel* SettingsTab::addNote(QBoxLayout* layout, const QString& text) {
    auto* note = new QLabel(text);
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    showDimmed(note);
    layout->addWidget(note);
    return note;
}

QPushButton* SettingsTab::linkButton(const QString& text, const std::optional<std::string>& link) {
    if (!link) return nullptr;
    auto* button = new QPushButton(text);
    connect(button, &QPushButton::clicked, this, [this, link] { model_->openLink(link); });
    return button;
}

QCheckBox* SettingsTab::addToggle(QBoxLayout* layout, const QString& text, bool HelperPreferences::*field) {
    auto* toggle = new QCheckBox(text);
    layout->addWidget(toggle);
    refreshers_.emplace_back([this, toggle, field] {
        const QSignalBlocker blocker(toggle);
        toggle->setChecked(model_->preferences().*field);
    });
    connect(toggle, &QCheckBox::toggled, this, [this, field](bool on) { writePreference({field, on}); });
    refreshers_.back()();
    return toggle;
}

QComboBox* SettingsTab::addComboRow(QBoxLayout* layout, const QString& label) {
    auto* row = new QHBoxLayout;
    auto* box = new QComboBox;
    auto* title = new QLabel(label);
    title->setBuddy(box);
    row->addWidget(title);
    row->addStretch();
    row->addWidget(box);
    layout->addLayout(row);
    return box;
}

void SettingsTab::addOption(QComboBox* box, const QString& text) {
    box->addItem(text);
}

void SettingsTab::bindPicker(QComboBox* box, std::function<int()> read, std::function<void(int)> write) {
    refreshers_.emplace_back([box, read = std::move(read)] {
        const QSignalBlocker blocker(box);
        box->setCurrentIndex(read());
    });
    connect(box, &QComboBox::activated, this, std::move(write));
    refreshers_.back()();
}

const HelperPreferences& SettingsTab::preferences() const {
    return model_->preferences();
}

void SettingsTab::writePreference(PreferenceChange change) {
    model_->setPreference(std::move(change));
}

void showInAccentColor(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Highlight));
    widget->setPalette(palette);
}

void showDimmed(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    widget->setPalette(palette);
}

} // namespace orvik::helper
