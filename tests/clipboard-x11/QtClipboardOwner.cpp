// A clipboard owner written with Qt, as a real application is: offers a text (Qt adds its own text targets)
// and, with --png-from-stdin, the bytes of its standard input as "image/png". Runs until it is stopped.
//
//   orvik-test-clipboard-owner TEXT [--png-from-stdin]
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TEXT [--png-from-stdin]\n", argv[0]);
        return 2;
    }
    auto* data = new QMimeData;
    data->setText(QString::fromUtf8(argv[1]));
    if (argc > 2) {
        QFile image;
        if (!image.open(stdin, QIODevice::ReadOnly)) return 2;
        data->setData("image/png", image.readAll());
    }
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    return app.exec();
}
