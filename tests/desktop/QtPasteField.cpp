// A text field written with Qt, as a real application's is: takes the keyboard focus, prints "ready" once it
// has it, and then prints its whole text after every change, one line each. Runs until it is stopped.
//
//   orvik-test-paste-field
#include <QApplication>
#include <QLineEdit>
#include <QWindow>

#include <cstdio>

namespace {

void printLine(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLineEdit field;
    field.setMinimumWidth(600);
    QObject::connect(&field, &QLineEdit::textChanged, &printLine);
    QObject::connect(&app, &QGuiApplication::focusWindowChanged, [&field](QWindow* window) {
        if (window != nullptr && window == field.windowHandle()) printLine("ready");
    });
    field.show();
    field.activateWindow();
    return app.exec();
}
