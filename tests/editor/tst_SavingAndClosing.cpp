#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "QsciWidgets.h"

#include "BootstrapViewController.h"
#include "DocumentController.h"
#include "DocumentRecovery.h"
#include "EditorTestSupport.h"
#include "NotificationCenter.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"
#include "VeskViewController.h"

using namespace vesk;
using namespace vesk::test;

namespace {

QString savedBoxName(const QString& path)
{
    return QJsonDocument::fromJson(readFile(path))
        .object()
        .value(QStringLiteral("boxName"))
        .toString();
}

/// Makes the document's folder unwritable even for root: the folder becomes a plain file.
void breakFolder(const QString& documentPath)
{
    const QString folder = QFileInfo(documentPath).absolutePath();
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(writeFile(folder, "not a folder"));
}

} // namespace

class TestSavingAndClosing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typingMarksTheWindowEdited_data()
    {
        QTest::addColumn<QString>("control");
        QTest::newRow("box name") << "box";
        QTest::newRow("provisioning script") << "script";
        QTest::newRow("additional commands") << "commands";
    }
    void typingMarksTheWindowEdited()
    {
        QFETCH(QString, control);
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        QVERIFY(!document->window()->isWindowModified());
        if (control == QStringLiteral("box"))
            typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("debian/bookworm64"));
        else if (control == QStringLiteral("script"))
            document->vcBoot()->aceView()->insert(QStringLiteral("echo hi\n"));
        else
            document->vcVesk()->aceAdditionalCommands()->insert(QStringLiteral("# more"));
        QVERIFY(document->isDocumentEdited());
        QVERIFY(document->window()->isWindowModified());
    }

    void settingsChangeConcernsOnlyItsOwnDocument()
    {
        EditorWorld world;
        VeskDocument* first = world.controller().newDocument();
        VeskDocument* second = world.controller().newDocument();
        typeInto(first->vcVesk()->txtBoxName(), QStringLiteral("a/b"));
        QVERIFY(first->isDocumentEdited());
        QVERIFY(!second->isDocumentEdited());
        // A notification without a sender belongs to nobody.
        NotificationCenter::defaultCenter().post(NOTE_VC_VESK_DATA_CHANGED);
        QVERIFY(!second->isDocumentEdited());
    }

    void autosaveWritesShortlyAfterAnEdit()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        QSignalSpy saved(document, &VeskDocument::saved);
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("debian/trixie64"));
        QVERIFY(document->isDocumentEdited());
        QTRY_COMPARE(saved.count(), 1);
        QCOMPARE(savedBoxName(path), QStringLiteral("debian/trixie64"));
        QVERIFY(!document->isDocumentEdited());
        QVERIFY(!document->window()->isWindowModified());
        QCOMPARE(world.alerts.count(), 0);
    }

    // An untitled document has no file to autosave into; its content goes to the recovery
    // folder instead, owner-only, without any panel or question.
    void untitledDocumentsAreKeptForRecovery()
    {
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        QSignalSpy saved(document, &VeskDocument::saved);
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("a/b"));
        const QString file =
            DocumentRecovery::folder() + u'/' + document->recoveryId() + QStringLiteral(".vesk");
        QTRY_VERIFY(QFileInfo::exists(file));
        QCOMPARE(QJsonDocument::fromJson(readFile(file))[QStringLiteral("boxName")].toString(),
                 QStringLiteral("a/b"));
        QCOMPARE(QFileInfo(DocumentRecovery::folder()).permissions() & 0x0077, 0);
        QCOMPARE(QFileInfo(file).permissions() & 0x0077, 0);
        QCOMPARE(saved.count(), 0);
        QVERIFY(world.panels.asked.isEmpty());
        QCOMPARE(world.alerts.count(), 0);
        QVERIFY(document->isDocumentEdited());

        // Saved to a file: the recovery copy has done its work.
        world.panels.answer(world.folder() + QStringLiteral("/kept.vesk"));
        QVERIFY(document->saveDocument());
        QVERIFY(!QFileInfo::exists(file));
    }

    void closingUntitledEditedDocumentAsks_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("savePanelAnswered");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("fileWritten");
        QTest::newRow("Save... and choose a file") << "Save..." << true << true << true;
        QTest::newRow("Save... then cancel the panel") << "Save..." << false << false << false;
        QTest::newRow("Don't Save") << "Don't Save" << false << true << false;
        QTest::newRow("Cancel") << "Cancel" << false << false << false;
    }
    void closingUntitledEditedDocumentAsks()
    {
        QFETCH(QString, button);
        QFETCH(bool, savePanelAnswered);
        QFETCH(bool, closed);
        QFETCH(bool, fileWritten);
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("kept/box"));
        const QString path = world.folder(QStringLiteral("save")) + QStringLiteral("/kept.vesk");
        if (savePanelAnswered)
            world.panels.answer(path);
        world.alerts.answer(button);
        QVERIFY(QTest::qWaitFor([] { return !DocumentRecovery::pending().isEmpty(); }));

        document->window()->close();

        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().messageText,
                 QStringLiteral("Do you want to save the changes you made to “Untitled”?"));
        QCOMPARE(world.alerts.last().informativeText,
                 QStringLiteral("Your changes will be lost if you don't save them."));
        QCOMPARE(world.alerts.last().buttons,
                 (QStringList{QStringLiteral("Save..."), QStringLiteral("Don't Save"),
                              QStringLiteral("Cancel")}));
        QCOMPARE(world.controller().documents().isEmpty(), closed);
        QCOMPARE(QFileInfo::exists(path), fileWritten);
        if (fileWritten)
            QCOMPARE(savedBoxName(path), QStringLiteral("kept/box"));
        if (!closed) {
            QVERIFY(document->window()->isVisible());
            QVERIFY(document->isDocumentEdited());
        }
        // What was dropped or saved leaves no recovery copy behind; what stays open keeps it.
        QCOMPARE(DocumentRecovery::pending().isEmpty(), closed);
    }

    void closingUneditedDocumentDoesNotAsk()
    {
        EditorWorld world;
        world.controller().newDocument()->window()->close();
        QCOMPARE(world.alerts.count(), 0);
        QVERIFY(world.controller().documents().isEmpty());
    }

    void closingEditedDocumentWithFileWritesIt()
    {
        EditorWorld world;
        world.controller().setAutosaveDelay(60 * 60 * 1000);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("closing/box"));
        document->window()->close();
        QCOMPARE(world.alerts.count(), 0);
        QVERIFY(world.controller().documents().isEmpty());
        QCOMPARE(savedBoxName(path), QStringLiteral("closing/box"));
    }

    void quitSavesOrAsks()
    {
        EditorWorld world;
        world.controller().setAutosaveDelay(60 * 60 * 1000);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* saved = world.controller().openDocument(path);
        typeInto(saved->vcVesk()->txtBoxName(), QStringLiteral("quit/box"));
        VeskDocument* untitled = world.controller().newDocument();
        typeInto(untitled->vcVesk()->txtBoxName(), QStringLiteral("typed"));

        world.alerts.answer(QStringLiteral("Cancel"));
        bool terminate = true;
        world.controller().applicationShouldTerminate([&](bool answer) { terminate = answer; });
        QVERIFY(!terminate);
        QCOMPARE(savedBoxName(path), QStringLiteral("quit/box"));
        QCOMPARE(world.controller().documents(), QList<VeskDocument*>{untitled});

        world.alerts.answer(QStringLiteral("Don't Save"));
        world.controller().applicationShouldTerminate([&](bool answer) { terminate = answer; });
        QVERIFY(terminate);
        QVERIFY(world.controller().documents().isEmpty());
    }

    void failedWriteIsReportedAndKeepsTheDocumentEdited()
    {
        EditorWorld world;
        world.controller().setAutosaveDelay(60 * 60 * 1000);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("gone/db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("unsaved/box"));
        breakFolder(path);

        QVERIFY(!document->saveDocument());
        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().messageText,
                 QStringLiteral("The document “db.vesk” could not be saved."));
        QVERIFY2(world.alerts.last().informativeText.startsWith(
                     QStringLiteral("The file “%1” could not be written: ").arg(path)),
                 qPrintable(world.alerts.last().informativeText));
        QVERIFY(world.alerts.last().informativeText.endsWith(
            QStringLiteral(". Your changes are still in this window.")));
        QVERIFY(document->isDocumentEdited());

        // Closing must not drop the edit either: the window stays open with the same alert.
        document->window()->close();
        QCOMPARE(world.alerts.count(), 2);
        QCOMPARE(world.controller().documents().size(), 1);
        QCOMPARE(document->vcVesk()->txtBoxName()->text(), QStringLiteral("unsaved/box"));
    }

    // A full disk while saving: the old file stays as it was, the user is told, and the edit
    // stays in the window.
    void fullDiskKeepsTheSavedFile()
    {
        EditorWorld world;
        world.controller().setAutosaveDelay(60 * 60 * 1000);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("disk/db.vesk"));
        const QByteArray old = readFile(path);
        VeskDocument* document = world.controller().openDocument(path);
        QLineEdit* box = document->vcVesk()->txtBoxName();
        typeInto(box, QStringLiteral("a"));
        QApplication::clipboard()->setText(QString(20000, u'b'));
        QTest::keySequence(box, QKeySequence::Paste);
        QVERIFY(document->isDocumentEdited());
        bool saved = true;
        {
            ScopedFileSizeLimit limit(qMax<qint64>(old.size(), 8192));
            saved = document->saveDocument();
        }
        QVERIFY(!saved);
        QCOMPARE(readFile(path), old);
        QCOMPARE(world.alerts.count(), 1);
        QVERIFY2(world.alerts.last().informativeText.contains(QStringLiteral("File too large")),
                 qPrintable(world.alerts.last().informativeText));
        QVERIFY(document->isDocumentEdited());
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"db.vesk"});
    }

    // A file that cannot be written must not hold its window open for ever: closing offers
    // another place, letting the changes go, or staying.
    void closingAnUnwritableFileOffersAWayOut_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("closed");
        QTest::newRow("Save As... then cancel the panel") << "Save As..." << false;
        QTest::newRow("Don't Save") << "Don't Save" << true;
        QTest::newRow("Cancel") << "Cancel" << false;
    }
    void closingAnUnwritableFileOffersAWayOut()
    {
        QFETCH(QString, button);
        QFETCH(bool, closed);
        EditorWorld world;
        world.controller().setAutosaveDelay(60 * 60 * 1000);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("full/db.vesk"));
        const QByteArray old = readFile(path);
        VeskDocument* document = world.controller().openDocument(path);
        QLineEdit* box = document->vcVesk()->txtBoxName();
        typeInto(box, QStringLiteral("a"));
        QApplication::clipboard()->setText(QString(20000, u'b'));
        QTest::keySequence(box, QKeySequence::Paste);
        world.alerts.answer(button);
        {
            ScopedFileSizeLimit limit(qMax<qint64>(old.size(), 8192));
            document->window()->close();
        }
        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().messageText,
                 QStringLiteral("The document “db.vesk” could not be saved."));
        QVERIFY2(world.alerts.last().informativeText.contains(QStringLiteral("File too large")),
                 qPrintable(world.alerts.last().informativeText));
        QCOMPARE(world.alerts.last().buttons,
                 (QStringList{QStringLiteral("Save As..."), QStringLiteral("Don't Save"),
                              QStringLiteral("Cancel")}));
        QCOMPARE(world.controller().documents().isEmpty(), closed);
        QCOMPARE(readFile(path), old);
        QCOMPARE(world.panels.asked.size(), button == QLatin1String("Save As...") ? 1 : 0);
        if (!closed)
            QVERIFY(document->isDocumentEdited());
    }

    // Typing "notes" in the save panel writes notes.vesk; when that exists, the question is
    // about notes.vesk, and "Cancel" goes back to the panel instead of replacing it.
    void saveAsAsksAboutTheFinalName()
    {
        EditorWorld world;
        const QString existing = world.folder(QStringLiteral("s")) + QStringLiteral("/notes.vesk");
        QVERIFY(writeFile(existing, "someone else's notes"));
        VeskDocument* document = world.controller().newDocument();
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("mine"));

        world.panels.answer(world.folder(QStringLiteral("s")) + QStringLiteral("/notes"));
        world.alerts.answer(QStringLiteral("Cancel"));
        QVERIFY(!document->saveDocument());
        QCOMPARE(
            world.alerts.titles(),
            QStringList{QStringLiteral("“notes.vesk” already exists. Do you want to replace it?")});
        QCOMPARE(world.alerts.last().buttons,
                 (QStringList{QStringLiteral("Replace"), QStringLiteral("Cancel")}));
        QCOMPARE(world.panels.asked.size(), 2); // back to the panel, which was then cancelled
        QCOMPARE(world.panels.asked.last().startPath, existing);
        QCOMPARE(readFile(existing), QByteArray("someone else's notes"));
        QVERIFY(document->isDocumentEdited());

        world.panels.answer(world.folder(QStringLiteral("s")) + QStringLiteral("/notes"));
        world.alerts.answer(QStringLiteral("Replace"));
        QVERIFY(document->saveDocument());
        QCOMPARE(savedBoxName(existing), QStringLiteral("mine"));
    }

    // Text typed into a sheet that is still open is an unsaved change for close and quit.
    void openSheetTextIsAnUnsavedChange_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::newRow("preamble") << "preamble";
        QTest::newRow("remote URL") << "remote URL";
    }
    void openSheetTextIsAnUnsavedChange()
    {
        QFETCH(QString, sheet);
        EditorWorld world;
        world.controller().setAutosaveDelay(60 * 60 * 1000);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* saved = world.controller().openDocument(path);
        VeskDocument* untitled = world.controller().newDocument();
        for (VeskDocument* document : {saved, untitled}) {
            if (sheet == QLatin1String("preamble")) {
                document->editVagrantfilePreamble();
                document->acePreamble()->setText(QStringLiteral("# typed in the sheet"));
            } else {
                document->editRemoteURL();
                typeInto(document->txtRemoteURL(), QStringLiteral("https://example.test/db.vesk"));
            }
            QVERIFY(!document->isDocumentEdited());
        }
        world.alerts.answer(QStringLiteral("Cancel"));
        bool terminate = true;
        world.controller().applicationShouldTerminate([&](bool answer) { terminate = answer; });
        QVERIFY(!terminate);
        const QJsonObject written = QJsonDocument::fromJson(readFile(path)).object();
        if (sheet == QLatin1String("preamble"))
            QCOMPARE(written[QStringLiteral("preamble")].toString(),
                     QStringLiteral("# typed in the sheet"));
        else
            QCOMPARE(written[QStringLiteral("remoteURL")].toString(),
                     QStringLiteral("https://example.test/db.vesk"));
        QCOMPARE(
            world.alerts.titles(),
            QStringList{QStringLiteral("Do you want to save the changes you made to “Untitled”?")});
    }

    // Autosave on a full disk: one alert, not one per keystroke; the edit stays.
    void failedAutosaveIsReportedOnce()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("full/db.vesk"));
        const QByteArray old = readFile(path);
        VeskDocument* document = world.controller().openDocument(path);
        QLineEdit* box = document->vcVesk()->txtBoxName();
        ScopedFileSizeLimit limit(qMax<qint64>(old.size(), 8192));
        typeInto(box, QStringLiteral("first"));
        QApplication::clipboard()->setText(QString(20000, u'b'));
        QTest::keySequence(box, QKeySequence::Paste);
        QTRY_COMPARE(world.alerts.count(), 1);
        typeInto(box, QStringLiteral("second") + QString(20000, u'c'));
        QTest::qWait(300);
        QCOMPARE(world.alerts.count(), 1);
        QVERIFY(document->isDocumentEdited());
        QCOMPARE(readFile(path), old);
    }

    void saveAsMovesTheDocument()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("a/db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        const QString copy = world.folder(QStringLiteral("b")) + QStringLiteral("/copy.vesk");
        world.panels.answer(copy);
        QVERIFY(document->saveDocumentAs());
        QCOMPARE(*document->fileName(), copy);
        QCOMPARE(world.controller().recentDocuments().value(0), copy);
        QCOMPARE(document->window()->windowTitle(), QStringLiteral("copy.vesk[*]"));
    }
};

VESK_TEST(TestSavingAndClosing)
#include "tst_SavingAndClosing.moc"
