// vesk-boxpicker: the box catalogue in a browser window of its own. The windows' program starts
// it when a box is to be picked and reads the chosen name from its standard output; closing the
// window without a choice ends it with status 1.
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QWindow>

#include "BoxPicker.h"

int main(int argc, char* argv[])
{
    // The browser engine wants this before the application exists; only this program pays.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setDesktopFileName(QStringLiteral("vesk"));

    QCommandLineParser parser;
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Catalogue host."),
                                  QStringLiteral("url"));
    const QCommandLineOption transientFor(QStringLiteral("transient-for"),
                                          QStringLiteral("Window to stay above."),
                                          QStringLiteral("id"));
    parser.addOptions({host, transientFor});
    parser.process(app);

    vesk::BoxPicker picker;
    picker.setWindowModality(Qt::NonModal);
    picker.setWindowTitle(QStringLiteral("Choose a Box"));
    if (parser.isSet(host))
        picker.setCatalogueHost(QUrl(parser.value(host)));
    QObject::connect(&picker, &vesk::BoxPicker::boxChosen, &app, [](const QString& boxName) {
        std::fputs(boxName.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    QObject::connect(&picker, &QDialog::rejected, &app, [] { QCoreApplication::exit(1); });
    picker.show();
    if (parser.isSet(transientFor)) {
        if (QWindow* owner = QWindow::fromWinId(WId(parser.value(transientFor).toULongLong())))
            picker.windowHandle()->setTransientParent(owner);
    }
    return app.exec();
}
