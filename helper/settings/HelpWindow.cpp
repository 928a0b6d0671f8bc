#include "settings/HelpWindow.hpp"

#include "settings/CloseKeys.hpp"

#include <QKeyEvent>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace orvik::helper {

const std::array<HelpWindow::Topic, 7> HelpWindow::topics{{
    {QT_TR_NOOP("Pair an iPhone"),
     QT_TR_NOOP("Choose Pair iPhone… in the Orvik Helper menu, then open Orvik on your iPhone and scan the code. No "
                "camera? Tap “Type code instead”.")},
    {QT_TR_NOOP("My iPhone can’t find this computer"),
     QT_TR_NOOP("Make sure both are on the same Wi-Fi and no VPN is active. If a firewall is on, allow incoming TCP "
                "connections to the port shown after “This computer:” in the Orvik Helper menu, and mDNS (UDP port "
                "5353).")},
    {QT_TR_NOOP("The pointer doesn’t move"),
     QT_TR_NOOP("Orvik Helper needs an X11 session: under Wayland it can’t move the pointer. Log out and choose an "
                "Xorg session on the login screen.")},
    {QT_TR_NOOP("Typing doesn’t work in a password field"),
     QT_TR_NOOP("Orvik can’t type at the lock screen or login window.")},
    {QT_TR_NOOP("Gestures and shortcuts"),
     QT_TR_NOOP("X11 doesn’t let apps create real touchpad gestures, so three-finger swipes and pinches send "
                "keyboard shortcuts. Workspace shortcuts can be changed in your desktop’s keyboard settings.")},
    {QT_TR_NOOP("Waking a sleeping computer"),
     QT_TR_NOOP("A sleeping computer can’t answer your iPhone. Keep it awake while you use Orvik (your desktop’s "
                "power settings).")},
    {QT_TR_NOOP("Stop control instantly"),
     // %1: where the menu is.
     QT_TR_NOOP("Choose Pause Orvik %1 or press Ctrl+Alt+Super+P. Remove a device in Settings > Devices to revoke "
                "it.")},
}};

HelpWindow::HelpWindow(MenuPlace menu) {
    setWindowTitle(tr("Orvik Helper Help"));
    setFixedSize(width, height);
    auto* list = new QWidget;
    auto* rows = new QVBoxLayout(list);
    rows->setAlignment(Qt::AlignTop);
    for (const Topic& topic : topics) {
        auto* title = new QLabel(tr(topic.title));
        title->setTextFormat(Qt::PlainText);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        const QString bodyText = tr(topic.body);
        auto* body = new QLabel(bodyText);
        if (bodyText.contains(QStringLiteral("%1"))) sayingWhereTheMenuIs_.emplace_back(body, bodyText);
        body->setTextFormat(Qt::PlainText);
        body->setWordWrap(true);
        QPalette palette = body->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
        body->setPalette(palette);
        rows->addSpacing(4);
        rows->addWidget(title);
        rows->addSpacing(2);
        rows->addWidget(body);
        rows->addSpacing(4);
    }
    auto* scroll = new QScrollArea;
    scroll->setWidget(list);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    showMenuPlace(menu);
}

void HelpWindow::showMenuPlace(MenuPlace menu) {
    const QString place = QString::fromStdString(menuPlaceText(menu));
    for (const auto& [label, text] : sayingWhereTheMenuIs_) label->setText(text.arg(place));
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
    if (CloseKeys::closes(*event)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace orvik::helper
