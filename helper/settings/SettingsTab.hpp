#pragma once

#include "preferences/HelperPreferences.hpp"
#include "preferences/PreferenceChange.hpp"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace orvik::helper {

class HelperAppModel;

// One tab of the settings window: a form of sections whose preference controls each write one field of the
// model's preferences. The window calls refresh() after every model change and appeared() when the tab comes on
// screen (not when the window comes back from being minimised). GUI thread only.
class SettingsTab : public QWidget {
public:
    explicit SettingsTab(std::shared_ptr<HelperAppModel> model);

    // Shows the model's current values; writes nothing.
    virtual void refresh();
    virtual void appeared() {}

    // The rows of a section made by addSection.
    static QVBoxLayout* layoutOf(QGroupBox* section);

protected:
    HelperAppModel& model() const { return *model_; }
    QVBoxLayout* form() const { return form_; }

    // A titled group of rows; an empty header gives a section without a title.
    QGroupBox* addSection(const QString& header);
    // The dimmed, wrapped note under a section's rows (or any caption).
    static QLabel* addNote(QBoxLayout* layout, const QString& text);

    // A button that opens a system settings link; none when the link is absent.
    QPushButton* linkButton(const QString& text, const std::optional<std::string>& link);

    // A check box showing and writing one Boolean field of the preferences.
    QCheckBox* addToggle(QBoxLayout* layout, const QString& text, bool HelperPreferences::*field);

    // A labelled picker showing and writing one enumerated field; the options in their order.
    template <class Value>
    QComboBox* addPicker(QBoxLayout* layout, const QString& label, Value HelperPreferences::*field,
                         std::vector<std::pair<QString, Value>> options) {
        QComboBox* box = addComboRow(layout, label);
        std::vector<Value> values;
        for (auto& [text, value] : options) {
            addOption(box, text);
            values.push_back(value);
        }
        bindPicker(
            box, [this, field, values] { return indexOf(values, preferences().*field); },
            [this, field, values](int index) {
                writePreference({field, values.at(static_cast<std::size_t>(index))});
            });
        return box;
    }

    const HelperPreferences& preferences() const;
    void writePreference(PreferenceChange change);

private:
    template <class Value> static int indexOf(const std::vector<Value>& values, Value value) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (values[i] == value) return static_cast<int>(i);
        }
        return -1;
    }
    QComboBox* addComboRow(QBoxLayout* layout, const QString& label);
    static void addOption(QComboBox* box, const QString& text);
    void bindPicker(QComboBox* box, std::function<int()> read, std::function<void(int)> write);

    std::shared_ptr<HelperAppModel> model_;
    QVBoxLayout* form_;
    // Each puts one control in line with the model, with its signals blocked.
    std::vector<std::function<void()>> refreshers_;
};

// Text in the palette's accent colour, as the designs show a good state.
void showInAccentColor(QWidget* widget);
// Text in the dimmed colour of secondary information.
void showDimmed(QWidget* widget);

} // namespace orvik::helper
