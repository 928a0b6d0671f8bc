#include "alerts/ApprovalAlert.hpp"

#include <QList>
#include <QMessageBox>
#include <QPushButton>

#include <memory>
#include <utility>

namespace orvik::helper {

namespace {

// Hands the answer on the first time only: a box may be finished and then destroyed.
class AnswerOnce {
public:
    explicit AnswerOnce(std::function<void(qsizetype)> done) : done_(std::move(done)) {}
    void operator()(qsizetype chosen) {
        if (const auto done = std::exchange(done_, nullptr)) done(chosen);
    }

private:
    std::function<void(qsizetype)> done_;
};

} // namespace

void ApprovalAlert::open(const Question& question, std::function<void(qsizetype chosen)> done) {
    auto* box = new QMessageBox();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    // Phone-chosen names are shown as they are, never as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(question.message);
    box->setInformativeText(question.informativeText);

    // One role for all keeps them in the order added: Qt sorts buttons of different roles by platform.
    QList<QAbstractButton*> buttons;
    for (const QString& label : question.buttons) buttons.append(box->addButton(label, QMessageBox::ActionRole));
    box->setDefaultButton(qobject_cast<QPushButton*>(buttons.constFirst()));
    box->setEscapeButton(buttons.at(question.escapeButton));

    const auto answer = std::make_shared<AnswerOnce>(std::move(done));
    const qsizetype escape = question.escapeButton;
    QObject::connect(box, &QDialog::finished, box, [box, buttons, escape, answer] {
        const qsizetype chosen = buttons.indexOf(box->clickedButton());
        (*answer)(chosen < 0 ? escape : chosen);
    });
    QObject::connect(box, &QObject::destroyed, [escape, answer] { (*answer)(escape); });

    // Without a parent, open() shows the box without blocking any other window.
    box->open();
    box->raise();
    box->activateWindow();
}

} // namespace orvik::helper
