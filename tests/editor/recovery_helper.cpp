// A Vesk editor that types into an untitled document and is then killed, or one that starts
// after such a death and says what it recovered. The crash test runs it as two processes.
#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTest>

#include "QsciWidgets.h"

#include "BootstrapViewController.h"
#include "DocumentController.h"
#include "DocumentRecovery.h"
#include "VeskDocument.h"
#include "VeskViewController.h"

using namespace vesk;

namespace {

void print(const QJsonObject& object)
{
    std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QJsonObject shown(VeskDocument* document)
{
    return {{QStringLiteral("box"), document->vcVesk()->txtBoxName()->text()},
            {QStringLiteral("script"), document->vcBoot()->getCode()},
            {QStringLiteral("title"), document->displayName()},
            {QStringLiteral("edited"), document->isDocumentEdited()},
            {QStringLiteral("banner"), document->bannerText()}};
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString mode = app.arguments().value(1);
    DocumentController documents;
    documents.setAutosaveDelay(100);

    if (mode == QLatin1String("crash")) {
        VeskDocument* document = documents.newDocument();
        QLineEdit* box = document->vcVesk()->txtBoxName();
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("crash/box"));
        document->showBootstrap();
        QsciScintilla* script = document->vcBoot()->aceView();
        script->setFocus();
        QTest::keyClicks(script, QStringLiteral("echo typed before the crash"));
        const QString file =
            DocumentRecovery::folder() + u'/' + document->recoveryId() + QStringLiteral(".vesk");
        // Dies only once the autosave has put both edits on disk, as a crash after it would.
        const bool stored = QTest::qWaitFor(
            [&] {
                QFile recovery(file);
                if (!recovery.open(QIODevice::ReadOnly))
                    return false;
                const QByteArray data = recovery.readAll();
                return data.contains("crash/box") && data.contains("echo typed before the crash");
            },
            10000);
        print(shown(document));
        if (stored)
            std::raise(SIGKILL);
        return 1;
    }
    if (mode == QLatin1String("restore")) {
        const int restored = documents.restoreRecoveredDocuments();
        QJsonObject result = restored > 0 ? shown(documents.documents().first()) : QJsonObject();
        result.insert(QStringLiteral("restored"), restored);
        print(result);
        return 0;
    }
    return 2;
}
