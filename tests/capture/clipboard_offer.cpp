// clipboard_offer TYPE=FILE ...: another program on the X11 clipboard for the
// real-clipboard test. Offers every TYPE (a MIME type) at once with the
// bytes of its FILE, then serves the clipboard in the foreground until
// another program takes it over.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>

#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    auto* mime = new QMimeData;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (const QString& argument : arguments) {
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        QFile file(argument.mid(equals + 1));
        if (equals <= 0 || !file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "clipboard_offer: cannot offer %s\n", qPrintable(argument));
            return 2;
        }
        mime->setData(argument.left(equals), file.readAll());
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(mime);
    QObject::connect(clipboard, &QClipboard::dataChanged, &app, [clipboard] {
        if (!clipboard->ownsClipboard()) {
            QCoreApplication::quit();
        }
    });
    return app.exec();
}
