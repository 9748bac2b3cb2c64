#include <csignal>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QSessionManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "QsciWidgets.h"

#include "BootstrapViewController.h"
#include "DocumentController.h"
#include "DocumentRecovery.h"
#include "EditorTestSupport.h"
#include "FilePanels.h"
#include "SessionEnd.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"
#include "VeskViewController.h"

using namespace vesk;
using namespace vesk::test;

namespace {

constexpr int kHour = 60 * 60 * 1000;

QString boxOnDisk(const QString& path)
{
    return QJsonDocument::fromJson(readFile(path))[QStringLiteral("boxName")].toString();
}

// The fixture document as another program would write it, with another box.
QByteArray theirVersion(const QString& path, const QString& box)
{
    QJsonObject object = QJsonDocument::fromJson(readFile(path)).object();
    object[QStringLiteral("boxName")] = box;
    return QJsonDocument(object).toJson();
}

QJsonObject runHelper(const QString& mode, const QString& home, QProcess::ExitStatus* status)
{
    QProcess helper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    helper.setProcessEnvironment(environment);
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start(QStringLiteral(RECOVERY_HELPER), {mode});
    helper.waitForFinished(30000);
    *status = helper.exitStatus();
    return QJsonDocument::fromJson(helper.readAllStandardOutput()).object();
}

} // namespace

// What has no file of its own survives a crash: kept in the recovery folder by autosave,
// reopened as untitled and edited at the next start.
class TestRecovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void survivesSigkill()
    {
        QTemporaryDir home;
        QProcess::ExitStatus status = QProcess::NormalExit;
        const QJsonObject typed = runHelper(QStringLiteral("crash"), home.path(), &status);
        QCOMPARE(status, QProcess::CrashExit);
        QCOMPARE(typed[QStringLiteral("box")].toString(), QStringLiteral("crash/box"));
        QVERIFY(typed[QStringLiteral("script")].toString().contains(
            QStringLiteral("echo typed before the crash")));

        const QJsonObject restored = runHelper(QStringLiteral("restore"), home.path(), &status);
        QCOMPARE(status, QProcess::NormalExit);
        QCOMPARE(restored[QStringLiteral("restored")].toInt(), 1);
        QCOMPARE(restored[QStringLiteral("box")], typed[QStringLiteral("box")]);
        QCOMPARE(restored[QStringLiteral("script")], typed[QStringLiteral("script")]);
        QCOMPARE(restored[QStringLiteral("title")].toString(), QStringLiteral("Untitled"));
        QVERIFY(restored[QStringLiteral("edited")].toBool());
        QVERIFY2(restored[QStringLiteral("banner")].toString().startsWith(
                     QStringLiteral("This document was recovered")),
                 qPrintable(restored[QStringLiteral("banner")].toString()));
        // Still kept: only saving it or "Don't Save" lets it go.
        const QJsonObject again = runHelper(QStringLiteral("restore"), home.path(), &status);
        QCOMPARE(again[QStringLiteral("restored")].toInt(), 1);
    }

    void restoredDocumentsAreNamedAndSavable()
    {
        EditorWorld world;
        QVERIFY(DocumentRecovery::store(QStringLiteral("11111111-aaaa"),
                                        R"({"veskVersion":2,"boxName":"first"})"));
        QTest::qWait(20); // a later modification time: restored in the order they were kept
        QVERIFY(DocumentRecovery::store(QStringLiteral("22222222-bbbb"),
                                        R"({"veskVersion":2,"boxName":"second"})"));
        QVERIFY(DocumentRecovery::store(QStringLiteral("33333333-cccc"), "not a document"));
        VeskDocument* open = world.controller().newDocument(); // already "Untitled"

        QCOMPARE(world.controller().restoreRecoveredDocuments(), 2);
        const QList<VeskDocument*> documents = world.controller().documents();
        QCOMPARE(documents.size(), 3);
        QCOMPARE(documents.at(0), open);
        QCOMPARE(documents.at(1)->displayName(), QStringLiteral("Untitled 2"));
        QCOMPARE(documents.at(1)->vcVesk()->txtBoxName()->text(), QStringLiteral("first"));
        QCOMPARE(documents.at(2)->vcVesk()->txtBoxName()->text(), QStringLiteral("second"));
        QVERIFY(documents.at(1)->isDocumentEdited());
        saveScreenshot(documents.at(1)->window(), QStringLiteral("document-recovered"));

        const QString path = world.folder() + QStringLiteral("/first.vesk");
        world.panels.answer(path);
        QVERIFY(documents.at(1)->saveDocument());
        QCOMPARE(boxOnDisk(path), QStringLiteral("first"));
        // The other one is still open and unsaved; the unreadable one stays for the user.
        QCOMPARE(DocumentRecovery::pending().size(), 2);
    }
};

// Another program changes, replaces, removes or moves an open document's file.
class TestExternalChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void table_data()
    {
        QTest::addColumn<bool>("editedHere");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("onDisk"); // empty: no file
        QTest::addColumn<QString>("inWindow");
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QString>("banner");
        QTest::addColumn<int>("questions");
        const QString original = QStringLiteral("debian/bookworm64");
        const QString mine = QStringLiteral("mine/box");
        const QString theirs = QStringLiteral("theirs/box");
        const QString reloaded = QStringLiteral("changed by another program and has been reloaded");
        const QString removed = QStringLiteral("was moved or deleted by another program");
        QTest::newRow("unchanged here, written there")
            << false << "write"
            << "" << theirs << theirs << false << reloaded << 0;
        QTest::newRow("unchanged here, replaced by rename")
            << false << "rename"
            << "" << theirs << theirs << false << reloaded << 0;
        QTest::newRow("edited here, written there, keep mine")
            << true << "write"
            << "Keep My Changes" << mine << mine << false << "" << 1;
        QTest::newRow("edited here, written there, reload")
            << true << "write"
            << "Reload" << theirs << theirs << false << reloaded << 1;
        QTest::newRow("edited here, replaced by rename, keep mine")
            << true << "rename"
            << "Keep My Changes" << mine << mine << false << "" << 1;
        QTest::newRow("edited here, not a document there, keep mine")
            << true << "garbage"
            << "Keep My Changes" << mine << mine << false << "" << 1;
        QTest::newRow("removed") << false << "remove"
                                 << ""
                                 << "" << original << true << removed << 0;
        QTest::newRow("moved away") << false << "move"
                                    << ""
                                    << "" << original << true << removed << 0;
    }
    void table()
    {
        QFETCH(bool, editedHere);
        QFETCH(QString, change);
        QFETCH(QString, answer);
        QFETCH(QString, onDisk);
        QFETCH(QString, inWindow);
        QFETCH(bool, edited);
        QFETCH(QString, banner);
        QFETCH(int, questions);
        EditorWorld world;
        world.controller().setAutosaveDelay(editedHere ? kHour : 50);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("p/db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        if (editedHere)
            typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("mine/box"));
        if (!answer.isEmpty())
            world.alerts.answer(answer);
        QTest::qWait(100);

        const QByteArray theirs = theirVersion(path, QStringLiteral("theirs/box"));
        if (change == QLatin1String("write") || change == QLatin1String("garbage")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(change == QLatin1String("write") ? theirs : QByteArray("<<<<<<< HEAD"));
        } else if (change == QLatin1String("rename")) {
            QVERIFY(writeFile(path + QStringLiteral(".tmp"), theirs));
            QVERIFY(::rename(QFile::encodeName(path + QStringLiteral(".tmp")).constData(),
                             QFile::encodeName(path).constData()) == 0);
        } else if (change == QLatin1String("remove")) {
            QVERIFY(QFile::remove(path));
        } else {
            QVERIFY(QFile::rename(path,
                                  world.folder(QStringLiteral("q")) + QStringLiteral("/db.vesk")));
        }
        QTRY_VERIFY(world.alerts.count() == questions && document->bannerText().contains(banner) &&
                    document->isDocumentEdited() == edited);
        QTest::qWait(300); // autosave and further events have had their turn

        QCOMPARE(world.alerts.count(), questions);
        if (questions)
            QCOMPARE(world.alerts.last().messageText,
                     QStringLiteral("“db.vesk” was changed by another program."));
        QCOMPARE(document->vcVesk()->txtBoxName()->text(), inWindow);
        QCOMPARE(document->isDocumentEdited(), edited);
        if (onDisk.isEmpty()) {
            // A removed file is not written back behind the user's back; its content is kept.
            QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(DocumentRecovery::pending().size(), 1);
            QCOMPARE(document->diskState(), VeskDocument::DiskState::Missing);
            // Saving puts it back, and the window's line goes.
            QVERIFY(document->saveDocument());
            QCOMPARE(boxOnDisk(path), inWindow);
            QCOMPARE(document->bannerText(), QString());
            QVERIFY(DocumentRecovery::pending().isEmpty());
        } else {
            QCOMPARE(boxOnDisk(path), onDisk);
            QCOMPARE(document->diskState(), VeskDocument::DiskState::InSync);
        }
        // Our own writes are not taken for someone else's.
        if (!onDisk.isEmpty()) {
            typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("later"));
            QVERIFY(document->saveDocument());
            QTest::qWait(300);
            QCOMPARE(world.alerts.count(), questions);
            QVERIFY(!document->isDocumentEdited());
        }
    }
};

// The corners of the external-change rules: text in an open sheet, and a version on disk that
// is no document while ours cannot be written.
class TestExternalChangeCorners : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openSheetTextIsNotReloadedAway()
    {
        EditorWorld world;
        world.controller().setAutosaveDelay(kHour);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        document->editVagrantfilePreamble();
        document->acePreamble()->setText(QStringLiteral("# typed, not saved"));
        QVERIFY(!document->isDocumentEdited());
        world.alerts.answer(QStringLiteral("Keep My Changes"));
        QVERIFY(writeFile(path, theirVersion(path, QStringLiteral("theirs/box"))));
        QTRY_COMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().messageText,
                 QStringLiteral("“db.vesk” was changed by another program."));
        QCOMPARE(document->acePreamble()->text(), QStringLiteral("# typed, not saved"));
        QCOMPARE(QJsonDocument::fromJson(readFile(path))[QStringLiteral("preamble")].toString(),
                 QStringLiteral("# typed, not saved"));
    }

    void closingWhenNeitherVersionCanBeKept()
    {
        EditorWorld world;
        world.controller().setAutosaveDelay(kHour);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("mine/box"));
        QVERIFY(writeFile(path, "<<<<<<< HEAD"));
        world.alerts.answer(QStringLiteral("Don't Save"));
        document->window()->close();
        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().buttons,
                 (QStringList{QStringLiteral("Keep My Changes"), QStringLiteral("Don't Save"),
                              QStringLiteral("Cancel")}));
        QVERIFY(world.controller().documents().isEmpty());
        QCOMPARE(readFile(path), QByteArray("<<<<<<< HEAD"));
    }
};

// The close, quit, logout and external-change paths with the real, asynchronous alerts,
// answered the way a user answers them: after they appear, with a click.
class TestRealAlerts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void closeWaitsForTheAnswer()
    {
        EditorWorld world;
        AlertPresenter::setResponder({});
        VeskDocument* document = world.controller().newDocument();
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("typed"));
        QTRY_COMPARE(DocumentRecovery::pending().size(), 1);
        document->window()->close();
        QMessageBox* alert = shownAlert();
        QVERIFY(alert);
        QCOMPARE(alert->text(),
                 QStringLiteral("Do you want to save the changes you made to “Untitled”?"));
        QCOMPARE(world.controller().documents().size(), 1); // nothing decided before the answer
        QVERIFY(pressAlertButton(alert, QStringLiteral("Don't Save")));
        QTRY_VERIFY(world.controller().documents().isEmpty());
        QVERIFY(DocumentRecovery::pending().isEmpty());
    }

    void quitWaitsForTheAnswer()
    {
        EditorWorld world;
        AlertPresenter::setResponder({});
        world.controller().setAutosaveDelay(kHour);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* saved = world.controller().openDocument(path);
        typeInto(saved->vcVesk()->txtBoxName(), QStringLiteral("quit/box"));
        VeskDocument* untitled = world.controller().newDocument();
        typeInto(untitled->vcVesk()->txtBoxName(), QStringLiteral("typed"));

        std::optional<bool> terminate;
        world.controller().applicationShouldTerminate([&](bool answer) { terminate = answer; });
        QMessageBox* alert = shownAlert();
        QVERIFY(alert);
        QVERIFY(!terminate);
        QCOMPARE(boxOnDisk(path), QStringLiteral("quit/box"));
        QVERIFY(pressAlertButton(alert, QStringLiteral("Cancel")));
        QTRY_COMPARE(terminate, std::optional<bool>(false));
        QCOMPARE(world.controller().documents(), QList<VeskDocument*>{untitled});

        terminate.reset();
        world.controller().applicationShouldTerminate([&](bool answer) { terminate = answer; });
        QVERIFY((alert = shownAlert()));
        QVERIFY(pressAlertButton(alert, QStringLiteral("Don't Save")));
        QTRY_COMPARE(terminate, std::optional<bool>(true));
    }

    // Logout and termination signals: nothing asked, nothing lost, nothing waits.
    void sessionEndAsksNothing()
    {
        EditorWorld world;
        AlertPresenter::setResponder({});
        world.controller().setAutosaveDelay(kHour);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* saved = world.controller().openDocument(path);
        typeInto(saved->vcVesk()->txtBoxName(), QStringLiteral("logout/box"));
        const QString changedPath =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("other.vesk"));
        VeskDocument* changed = world.controller().openDocument(changedPath);
        typeInto(changed->vcVesk()->txtBoxName(), QStringLiteral("mine"));
        QVERIFY(writeFile(changedPath, theirVersion(changedPath, QStringLiteral("theirs"))));
        VeskDocument* untitled = world.controller().newDocument();
        typeInto(untitled->vcVesk()->txtBoxName(), QStringLiteral("untitled/box"));

        int quits = 0;
        SessionEnd sessionEnd(*qApp, world.controller(), [&quits] { ++quits; });
        auto* manager = qApp->findChild<QSessionManager*>();
        QVERIFY2(manager, "the application has no session manager");
        Q_EMIT qApp->commitDataRequest(*manager);

        // Checked before the event loop runs again: the handler itself asked nothing.
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(!(qobject_cast<QMessageBox*>(window) && window->isVisible()));
        QCOMPARE(quits, 0);
        QCOMPARE(world.controller().documents().size(), 3);
        QCOMPARE(boxOnDisk(path), QStringLiteral("logout/box"));
        // Theirs stays on disk; ours and the untitled one are in the recovery folder.
        QCOMPARE(boxOnDisk(changedPath), QStringLiteral("theirs"));
        QStringList kept;
        for (const DocumentRecovery::Entry& entry : DocumentRecovery::pending())
            kept.append(
                QJsonDocument::fromJson(entry.content)[QStringLiteral("boxName")].toString());
        kept.sort();
        QCOMPARE(kept, (QStringList{QStringLiteral("mine"), QStringLiteral("untitled/box")}));

        // The session may yet go on: the change there is then asked about as usual.
        QMessageBox* question = shownAlert();
        QVERIFY(question);
        QVERIFY(pressAlertButton(question, QStringLiteral("Reload")));
        QTRY_COMPARE(changed->vcVesk()->txtBoxName()->text(), QStringLiteral("theirs"));

        // systemd ends a session with SIGTERM: the same, then the application quits.
        typeInto(untitled->vcVesk()->txtBoxName(), QStringLiteral("after/signal"));
        ::raise(SIGTERM);
        QTRY_COMPARE(quits, 1);
        QVERIFY(!shownAlert(100));
        QCOMPARE(DocumentRecovery::pending().size(), 1);
        bool found = false;
        for (const DocumentRecovery::Entry& entry : DocumentRecovery::pending())
            found = found || entry.content.contains("after/signal");
        QVERIFY(found);
    }

    // The real save panel: typing "notes" where notes.vesk exists asks about notes.vesk.
    void savePanelAsksAboutTheFinalName()
    {
        EditorWorld world;
        AlertPresenter::setResponder({});
        FilePanels::setResponder({});
        const QString folder = world.folder(QStringLiteral("s"));
        QVERIFY(writeFile(folder + QStringLiteral("/notes.vesk"), "someone else's notes"));
        VeskDocument* document = world.controller().newDocument();
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("mine"));

        QString question;
        int panels = 0;
        std::function<void()> step = [&] {
            auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (panel && panels == 0) {
                ++panels;
                panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                    ->setText(folder + QStringLiteral("/notes"));
                QMetaObject::invokeMethod(panel, "accept", Qt::QueuedConnection);
            } else if (QMessageBox* alert = shownAlert(0); alert && question.isEmpty()) {
                question = alert->text();
                pressAlertButton(alert, QStringLiteral("Cancel"));
            } else if (panel && !question.isEmpty()) {
                ++panels;
                panel->reject(); // back in the panel after "Cancel"; give up
                return;
            }
            QTimer::singleShot(100, step);
        };
        QTimer::singleShot(100, step);
        QVERIFY(!document->saveDocument());
        QCOMPARE(question,
                 QStringLiteral("“notes.vesk” already exists. Do you want to replace it?"));
        QCOMPARE(panels, 2);
        QCOMPARE(readFile(folder + QStringLiteral("/notes.vesk")),
                 QByteArray("someone else's notes"));
        QVERIFY(document->isDocumentEdited());
    }

    // A session manager follows its commit request with a quit, which closes every window: that
    // asks nothing either, and the recovery copies stay for the next start.
    void quitAfterLogoutAsksNothing()
    {
        EditorWorld world;
        AlertPresenter::setResponder({});
        world.controller().setAutosaveDelay(kHour);
        VeskDocument* untitled = world.controller().newDocument();
        typeInto(untitled->vcVesk()->txtBoxName(), QStringLiteral("kept/box"));
        SessionEnd sessionEnd(*qApp, world.controller(), [] {});
        Q_EMIT qApp->commitDataRequest(*qApp->findChild<QSessionManager*>());
        std::optional<bool> terminate;
        world.controller().applicationShouldTerminate([&](bool answer) { terminate = answer; });
        QCOMPARE(terminate, std::optional<bool>(true));
        QVERIFY(!shownAlert(200));
        QCOMPARE(DocumentRecovery::pending().size(), 1);
        QVERIFY(DocumentRecovery::pending().first().content.contains("kept/box"));
    }

    // While the question is open, autosave writes nothing over the other program's version.
    void externalChangeQuestionHoldsAutosave()
    {
        EditorWorld world;
        AlertPresenter::setResponder({});
        world.controller().setAutosaveDelay(kHour);
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        document->window()->resize(760, 560);
        document->window()->show();
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("mine/box"));
        QVERIFY(writeFile(path, theirVersion(path, QStringLiteral("theirs/box"))));
        QMessageBox* alert = shownAlert();
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("“db.vesk” was changed by another program."));
        saveScreenshot(alert, QStringLiteral("document-changed-question"));
        document->autosave();
        QCOMPARE(boxOnDisk(path), QStringLiteral("theirs/box"));
        // Meanwhile a crash would lose nothing: the window's version is in the recovery folder.
        QCOMPARE(DocumentRecovery::pending().size(), 1);
        QVERIFY(DocumentRecovery::pending().first().content.contains("mine/box"));
        QVERIFY(pressAlertButton(alert, QStringLiteral("Keep My Changes")));
        QTRY_COMPARE(boxOnDisk(path), QStringLiteral("mine/box"));
        QVERIFY(!document->isDocumentEdited());
    }
};

VESK_TEST(TestRecovery)
VESK_TEST(TestExternalChanges)
VESK_TEST(TestExternalChangeCorners)
VESK_TEST(TestRealAlerts)
#include "tst_DocumentSafety.moc"
