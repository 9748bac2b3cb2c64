#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTextStream>

#include "AppDelegate.h"
#include "ApplicationInfo.h"
#include "CommandLine.h"
#include "DocumentController.h"
#include "DocumentUpdates.h"
#include "Icons.h"
#include "SessionEnd.h"
#include "SingleInstance.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"

int main(int argc, char* argv[])
{
    // A file-size limit makes a write fail (and be reported, the old file kept) instead of
    // killing the process with whatever is unsaved.
    std::signal(SIGXFSZ, SIG_IGN);

    // The script-friendly forms were answered by `vesk` before it started this program.
    QStringList files;
    QApplication app(argc, argv);
    QApplication::setApplicationName(vesk::applicationName());
    QApplication::setApplicationVersion(vesk::applicationVersion());
    QApplication::setOrganizationName(vesk::applicationName());
    QApplication::setDesktopFileName(QStringLiteral("vesk"));
    QApplication::setWindowIcon(vesk::veskIcon(QStringLiteral("vesk")));
    // Vesk lives on in the tray when its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    // QApplication has taken its own options (-platform ...); what is left names documents.
    const QStringList arguments = QApplication::arguments().mid(1);
    for (const QString& argument : arguments) {
        QString error;
        if (const std::optional<QString> path = vesk::documentPathFromArgument(argument, &error))
            files.append(*path);
        else if (!error.isEmpty())
            QTextStream(stderr) << error << Qt::endl;
    }

    // One Vesk per session: a later start hands its documents over and leaves.
    vesk::SingleInstance instance;
    if (instance.start(files) == vesk::SingleInstance::Role::Secondary)
        return 0;

    vesk::DocumentController documents;
    vesk::AppDelegate delegate(documents);
    vesk::DocumentUpdates::install(documents);
    documents.hooks().installVirtualBox = [&delegate] { delegate.installVirtualBox(); };
    documents.hooks().installVagrant = [&delegate] { delegate.installVagrant(); };
    documents.hooks().applicationMenu = [&delegate](QMenu* menu) {
        delegate.populateApplicationMenu(menu);
    };

    auto openOrChoose = [&](const QStringList& paths) {
        for (const QString& path : paths)
            documents.openDocument(path);
        if (paths.isEmpty()) {
            if (!documents.documents().isEmpty()) {
                QWidget* window = documents.documents().first()->window();
                window->show();
                window->raise();
                window->activateWindow();
            } else if (delegate.applicationShouldOpenUntitledFile())
                documents.newDocument();
        }
    };
    QObject::connect(&instance, &vesk::SingleInstance::openFilesRequested, &app, openOrChoose);
    QObject::connect(&instance, &vesk::SingleInstance::activationRequested, &app,
                     [&] { openOrChoose({}); });

    delegate.applicationDidFinishLaunching();
    // The launch rules may show the welcome window; what an earlier run could not save then
    // comes back in front of it, as the untitled documents it was, and takes the place of a
    // new untitled document.
    const bool untitled = files.isEmpty() && delegate.applicationShouldOpenUntitledFile();
    const int recovered = documents.restoreRecoveredDocuments();
    if (!files.isEmpty())
        openOrChoose(files);
    else if (untitled && recovered == 0)
        documents.newDocument();

    // exit, not quit: quit would first ask every window to close, and windows ask questions.
    vesk::SessionEnd sessionEnd(app, documents, [] { QCoreApplication::exit(0); });
    return app.exec();
}
