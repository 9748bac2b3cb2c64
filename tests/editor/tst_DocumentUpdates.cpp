#include <QAction>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "QsciWidgets.h"

#include "DocumentController.h"
#include "DocumentUpdates.h"
#include "EditorTestSupport.h"
#include "HTTPRequests.h"
#include "LocalHttpServer.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UpdateTestSupport.h"
#include "UserDefaults.h"
#include "VagrantHelper.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"
#include "VeskViewController.h"
#include "VeskUpdateFinder.h"
#include "Workspace.h"

using namespace vesk;
using vesk::test::EditorWorld;
using vesk::test::kOtherUUID;
using vesk::test::kUUID;
using vesk::test::LocalHttpServer;
using vesk::test::veskDocument;

namespace {

const QString kFailedTitle = QStringLiteral("Check For Updates Failed...");
const QString kNoRemoteText = QStringLiteral(
    "This Vesk document does not have a Remote URL defined, so no update check can be performed.");
const QString kMismatchText = QStringLiteral(
    "The Vesk document available at the Remote URL has a different ID than this document. To "
    "prevent updating the wrong document, Vesk does not allow updates when there is an ID "
    "mismatch. Please check with your Vesk administrator for help.");
const QString kFailedText =
    QStringLiteral("An error occurred while checking for updates. Please check your internet "
                   "connection or contact your Vesk administrator.");
const QString kInvalidText = QStringLiteral(
    "The server returned an invalid response or an invalid Vesk document, and an update cannot "
    "be performed. Please check with your Vesk administrator.");
const QStringList kUpdateButtons{QStringLiteral("Update Now"), QStringLiteral("Ignore This Update"),
                                 QStringLiteral("Ignore All Future Updates"),
                                 QStringLiteral("Remind Me Later")};

} // namespace

// A document window's answers to each result of an update check, with scripted alerts.
class TestDocumentUpdates : public QObject
{
    Q_OBJECT

    LocalHttpServer m_server;
    QUrl m_refused;
    int m_searches = 0;
    QList<Alert> m_forScreenshots;

    QString url(const QString& path) const { return m_server.url(path).toString(); }

    /// Waits until the shared HTTP layer has delivered `count` replies.
    void waitForReplies(QSignalSpy& replies, int count)
    {
        QTRY_COMPARE(int(replies.size()), count);
        QCoreApplication::processEvents();
    }

    VeskDocument* openDocument(EditorWorld& world, const QByteArray& bytes,
                               const QString& name = QStringLiteral("web.vesk"))
    {
        const QString path = world.folder(QStringLiteral("docs")) + u'/' + name;
        test::writeFile(path, bytes);
        return world.controller().openDocument(path);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        LocalHttpServer closed;
        QVERIFY(closed.listen());
        m_refused = closed.url(QStringLiteral("/web.vesk"));
        // Searches started after an "Update Available" answer are counted, not run.
        VeskUpdateFinder::sharedInstance().setSearchFactory([this] {
            ++m_searches;
            return std::make_unique<FakeDesktopSearch>(QStringList{});
        });
    }
    void init()
    {
        m_server.clearRequests();
        m_searches = 0;
    }

    void manualAndAutomaticAnswers_data()
    {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("no update")
            << QStringLiteral("/same.vesk") << veskDocument(kUUID, 4, std::nullopt)
            << QStringLiteral("No Update Available")
            << QStringLiteral("There are no updates available for this Vesk document.");
        QTest::newRow("lower revision")
            << QStringLiteral("/lower.vesk") << veskDocument(kUUID, 3, std::nullopt)
            << QStringLiteral("No Update Available")
            << QStringLiteral("There are no updates available for this Vesk document.");
        QTest::newRow("mismatched UUID")
            << QStringLiteral("/other.vesk") << veskDocument(kOtherUUID, 9, std::nullopt)
            << kFailedTitle << kMismatchText;
        QTest::newRow("request failed")
            << QStringLiteral("refused") << QByteArray() << kFailedTitle << kFailedText;
        QTest::newRow("HTML error page")
            << QStringLiteral("/page.vesk") << QByteArray("<html><h1>404</h1></html>")
            << kFailedTitle << kInvalidText;
        QTest::newRow("no remote URL")
            << QString() << QByteArray() << kFailedTitle << kNoRemoteText;
    }
    void manualAndAutomaticAnswers()
    {
        QFETCH(QString, remote);
        QFETCH(QByteArray, served);
        QFETCH(QString, title);
        QFETCH(QString, text);
        EditorWorld world;
        DocumentUpdates::install(world.controller());
        std::optional<QString> remoteURL;
        if (remote == QStringLiteral("refused"))
            remoteURL = m_refused.toString();
        else if (!remote.isEmpty())
            remoteURL = url(remote);
        if (!served.isEmpty())
            m_server.setResponse(remote, LocalHttpServer::Response::text(
                                             served, served.startsWith("<html") ? 404 : 200));
        QSignalSpy replies(HTTPRequests::shared().manager(), &QNetworkAccessManager::finished);
        const int expectedReplies = remoteURL ? 1 : 0;

        // Opening from a file checks automatically: silent for every result but news.
        VeskDocument* document = openDocument(world, veskDocument(kUUID, 4, remoteURL));
        QVERIFY(document);
        waitForReplies(replies, expectedReplies);
        QCOMPARE(world.alerts.count(), 0);

        // The menu command checks on request and answers.
        document->action(QStringLiteral("actionCheckForDocumentUpdates"))->trigger();
        waitForReplies(replies, 2 * expectedReplies);
        QTRY_COMPARE(world.alerts.count(), 1);
        const Alert& alert = world.alerts.last();
        QCOMPARE(alert.messageText, title);
        QCOMPARE(alert.informativeText, text);
        QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(alert.icon, QMessageBox::Warning);
        QCOMPARE(m_searches, 0);
        if (remote != QStringLiteral("refused") && !remote.isEmpty())
            QCOMPARE(m_server.requestsFor(remote).size(), 2);
        m_forScreenshots.append(alert);
    }

    void updateAvailableIsShownAfterOpening()
    {
        EditorWorld world;
        DocumentUpdates::install(world.controller());
        m_server.setResponse(QStringLiteral("/web.vesk"),
                             LocalHttpServer::Response::text(veskDocument(kUUID, 5, std::nullopt)));
        world.alerts.answer(QStringLiteral("Remind Me Later"));
        VeskDocument* document =
            openDocument(world, veskDocument(kUUID, 4, url(QStringLiteral("/web.vesk"))));
        QVERIFY(document);
        QTRY_COMPARE(world.alerts.count(), 1);
        const Alert& alert = world.alerts.last();
        QCOMPARE(alert.messageText, QStringLiteral("Update Available"));
        QCOMPARE(alert.informativeText,
                 QStringLiteral("Version 5 of this Vesk document is available. You have version 4. "
                                "Would you like to update now? You can also choose to ignore this "
                                "update or ignore all future updates."));
        QCOMPARE(alert.buttons, kUpdateButtons);
        QCOMPARE(alert.icon, QMessageBox::Warning);
        QCOMPARE(m_searches, 1);
        m_forScreenshots.append(alert);

        // "Remind Me Later" stored nothing: the next check offers it again.
        QVERIFY(UserDefaults::standard().dictionaryForKey(kUserDefaultsUpdateIgnores).isEmpty());
        document->checkForDocumentUpdates();
        QTRY_COMPARE(world.alerts.count(), 2);
        QCOMPARE(world.alerts.last().messageText, QStringLiteral("Update Available"));
        QCOMPARE(m_searches, 2);
    }

    void updateNowTakesTheRemoteCopyAndSavesIt()
    {
        EditorWorld world;
        DocumentUpdates::install(world.controller());
        const QString newRemote = url(QStringLiteral("/moved.vesk"));
        const QByteArray remoteCopy =
            veskDocument(kUUID, 5, newRemote, QStringLiteral("ubuntu/jammy64"));
        m_server.setResponse(QStringLiteral("/web.vesk"),
                             LocalHttpServer::Response::text(remoteCopy));
        m_server.setResponse(QStringLiteral("/moved.vesk"),
                             LocalHttpServer::Response::text(remoteCopy));
        world.alerts.answer(QStringLiteral("Update Now"));
        VeskDocument* document =
            openDocument(world, veskDocument(kUUID, 4, url(QStringLiteral("/web.vesk"))));
        QVERIFY(document);
        QTRY_COMPARE(world.alerts.count(), 2);
        QCOMPARE(world.alerts.titles(),
                 (QStringList{QStringLiteral("Update Available"),
                              QStringLiteral("Document Updated Successfully")}));
        QCOMPARE(world.alerts.last().informativeText,
                 QStringLiteral("This Vesk document has been updated to version 5. You'll need to "
                                "export your Vagrantfile and Reload and/or Provision your virtual "
                                "machine for the new changes to take effect."));
        QCOMPARE(world.alerts.last().buttons, QStringList{QStringLiteral("OK")});
        m_forScreenshots.append(world.alerts.last());
        QCOMPARE(m_searches, 1);

        // Model, fields and file are the remote copy's; the document is saved.
        QCOMPARE(document->dataModel()->revision(), std::optional<int>(5));
        QCOMPARE(document->dataModel()->boxName(),
                 std::optional<QString>(QStringLiteral("ubuntu/jammy64")));
        QCOMPARE(document->txtRemoteURL()->text(), newRemote);
        QCOMPARE(document->txtRevisionNumber()->text(), QStringLiteral("5"));
        QVERIFY(!document->isDocumentEdited());
        DataModel saved;
        QVERIFY(saved.loadData(test::readFile(*document->fileName())));
        QCOMPARE(saved.revision(), std::optional<int>(5));
        QCOMPARE(saved.remoteURL(), std::optional<QString>(newRemote));
        QCOMPARE(saved.boxName(), std::optional<QString>(QStringLiteral("ubuntu/jammy64")));
        QVERIFY(world.runner().calls.isEmpty());

        // The new model is observed, and later checks use the new remote URL.
        document->dataModel()->setPortForwards({PortForward{1, 2}});
        QVERIFY(document->isDocumentEdited());
        // The finder's search after the answer checks the saved document too, once.
        QTRY_COMPARE(m_server.requestsFor(QStringLiteral("/moved.vesk")).size(), 1);
        document->checkForDocumentUpdates();
        QTRY_COMPARE(world.alerts.count(), 3);
        QCOMPARE(world.alerts.last().messageText, QStringLiteral("No Update Available"));
        QCOMPARE(m_server.requestsFor(QStringLiteral("/moved.vesk")).size(), 2);
    }

    // The remote copy is taken whole: what it lacks (here a preamble and a remote URL) does not
    // survive from the old document. When the save after it fails, the document stays edited.
    void updateNowTakesTheRemoteCopyWhole_data()
    {
        QTest::addColumn<bool>("saveFails");
        QTest::newRow("saved") << false;
        QTest::newRow("save fails") << true;
    }
    void updateNowTakesTheRemoteCopyWhole()
    {
        QFETCH(bool, saveFails);
        EditorWorld world;
        world.controller().setAutosaveDelay(60 * 60 * 1000);
        DocumentUpdates::install(world.controller());
        m_server.setResponse(QStringLiteral("/bare.vesk"),
                             LocalHttpServer::Response::text(veskDocument(
                                 kUUID, 9, std::nullopt, QStringLiteral("ubuntu/noble64"))));
        QByteArray local = veskDocument(kUUID, 4, url(QStringLiteral("/bare.vesk")));
        local.chop(1);
        local += ",\"preamble\":\"# local preamble\"}";
        const QString folder =
            world.folder(saveFails ? QStringLiteral("doomed") : QStringLiteral("docs"));
        const QString path = folder + QStringLiteral("/bare.vesk");
        test::writeFile(path, local);
        world.alerts.answer(QStringLiteral("Update Now"));
        VeskDocument* document = world.controller().openDocument(path);
        QVERIFY(document);
        QCOMPARE(document->acePreamble()->text(), QStringLiteral("# local preamble"));
        if (saveFails) {
            // The folder becomes a plain file: nothing can be written there any more.
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(test::writeFile(folder, "not a folder"));
        }
        QTRY_VERIFY(world.alerts.count() >= 2);
        QCOMPARE(document->vcVesk()->txtBoxName()->text(), QStringLiteral("ubuntu/noble64"));
        QCOMPARE(document->acePreamble()->text(), QString());
        QCOMPARE(document->txtRemoteURL()->text(), QString());
        if (saveFails) {
            QCOMPARE(world.alerts.titles().value(1),
                     QStringLiteral("The document “bare.vesk” could not be saved."));
            QVERIFY(document->isDocumentEdited());
        } else {
            QCOMPARE(world.alerts.titles().value(1),
                     QStringLiteral("Document Updated Successfully"));
            const QJsonObject saved = QJsonDocument::fromJson(test::readFile(path)).object();
            QCOMPARE(saved[QStringLiteral("preamble")].toString(), QString());
            QCOMPARE(saved[QStringLiteral("remoteURL")].toString(), QString());
            QCOMPARE(saved[QStringLiteral("boxName")].toString(), QStringLiteral("ubuntu/noble64"));
        }
    }

    void ignoreButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<qint64>("offeredAgainFrom");
        QTest::newRow("Ignore This Update")
            << QStringLiteral("Ignore This Update") << qint64(5) << qint64(6);
        QTest::newRow("Ignore All Future Updates") << QStringLiteral("Ignore All Future Updates")
                                                   << qint64(999999999) << qint64(1000000000);
    }
    void ignoreButtons()
    {
        QFETCH(QString, button);
        QFETCH(qint64, stored);
        QFETCH(qint64, offeredAgainFrom);
        EditorWorld world;
        DocumentUpdates::install(world.controller());
        m_server.setResponse(QStringLiteral("/web.vesk"),
                             LocalHttpServer::Response::text(veskDocument(kUUID, 5, std::nullopt)));
        world.alerts.answer(button);
        VeskDocument* document =
            openDocument(world, veskDocument(kUUID, 4, url(QStringLiteral("/web.vesk"))));
        QTRY_COMPARE(world.alerts.count(), 1);
        QCOMPARE(UserDefaults::standard().dictionaryForKey(kUserDefaultsUpdateIgnores),
                 (QVariantMap{{kUUID, stored}}));
        QCOMPARE(m_searches, 1);
        QVERIFY(!document->isDocumentEdited());

        // A manual check of the ignored revision says there is none.
        document->checkForDocumentUpdates();
        QTRY_COMPARE(world.alerts.count(), 2);
        QCOMPARE(world.alerts.last().messageText, QStringLiteral("No Update Available"));

        m_server.setResponse(
            QStringLiteral("/web.vesk"),
            LocalHttpServer::Response::text(veskDocument(kUUID, offeredAgainFrom, std::nullopt)));
        world.alerts.answer(QStringLiteral("Remind Me Later"));
        document->checkForDocumentUpdates();
        QTRY_COMPARE(world.alerts.count(), 3);
        QCOMPARE(world.alerts.last().messageText, QStringLiteral("Update Available"));
    }

    // The sheet's fields take effect at the next check, even unsaved.
    void revisionFieldOfLettersMakesAnyRevisionNewer()
    {
        EditorWorld world;
        DocumentUpdates::install(world.controller());
        m_server.setResponse(QStringLiteral("/one.vesk"),
                             LocalHttpServer::Response::text(veskDocument(kUUID, 1, std::nullopt)));
        QSignalSpy replies(HTTPRequests::shared().manager(), &QNetworkAccessManager::finished);
        VeskDocument* document = openDocument(world, veskDocument(kUUID, 1, std::nullopt));
        QVERIFY(document);
        QCOMPARE(replies.size(), 0);
        document->editRemoteURL();
        test::typeInto(document->txtRemoteURL(), url(QStringLiteral("/one.vesk")));
        test::typeInto(document->txtRevisionNumber(), QStringLiteral("abc"));
        document->saveRemoteURL();
        QVERIFY(document->isDocumentEdited());
        world.alerts.answer(QStringLiteral("Remind Me Later"));
        document->checkForDocumentUpdates();
        QTRY_COMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().messageText, QStringLiteral("Update Available"));
        QVERIFY(
            world.alerts.last().informativeText.contains(QStringLiteral("You have version 0.")));
    }

    void remoteURLSheetSaveAndHelp()
    {
        EditorWorld world;
        DocumentUpdates::install(world.controller());
        QSignalSpy replies(HTTPRequests::shared().manager(), &QNetworkAccessManager::finished);
        VeskDocument* document = openDocument(world, veskDocument(kUUID, 3, m_refused.toString()));
        QVERIFY(document);
        waitForReplies(replies, 1); // the silent check on opening
        document->editRemoteURL();
        QVERIFY(document->sheetRemoteURL()->isVisible());
        auto* save =
            document->sheetRemoteURL()->findChild<QPushButton*>(QStringLiteral("btnSaveRemoteURL"));
        QVERIFY(save);
        save->click();
        QVERIFY(!document->sheetRemoteURL()->isVisible());
        QVERIFY(!document->isDocumentEdited()); // nothing changed

        document->editRemoteURL();
        test::typeInto(document->txtRevisionNumber(), QStringLiteral("4"));
        save->click();
        QVERIFY(document->isDocumentEdited());

        auto* help =
            document->sheetRemoteURL()->findChild<QToolButton*>(QStringLiteral("btnRemoteURLHelp"));
        QVERIFY(help);
        help->click();
        QCOMPARE(world.workspace().calls.size(), 1);
        QCOMPARE(world.workspace().calls.first().kind, QStringLiteral("openUrl"));
    }

    void newDocumentIsNotCheckedAutomatically()
    {
        EditorWorld world;
        DocumentUpdates::install(world.controller());
        QSignalSpy replies(HTTPRequests::shared().manager(), &QNetworkAccessManager::finished);
        VeskDocument* document = world.controller().newDocument();
        QVERIFY(document);
        QTest::qWait(50);
        QCOMPARE(replies.size(), 0);
        QCOMPARE(world.alerts.count(), 0);
        document->checkForDocumentUpdates();
        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().informativeText, kNoRemoteText);
    }

    void closedDocumentHearsNothing()
    {
        EditorWorld world;
        DocumentUpdates::install(world.controller());
        LocalHttpServer::Response slow =
            LocalHttpServer::Response::text(veskDocument(kUUID, 9, std::nullopt));
        slow.delayMs = 200;
        m_server.setResponse(QStringLiteral("/slow.vesk"), slow);
        QSignalSpy replies(HTTPRequests::shared().manager(), &QNetworkAccessManager::finished);
        VeskDocument* document =
            openDocument(world, veskDocument(kUUID, 1, url(QStringLiteral("/slow.vesk"))));
        QVERIFY(document);
        QTRY_COMPARE(m_server.requestsFor(QStringLiteral("/slow.vesk")).size(), 1);
        bool closed = false;
        document->close([&](bool c) { closed = c; });
        QVERIFY(closed);
        waitForReplies(replies, 1);
        QCOMPARE(world.alerts.count(), 0);
    }

    void screenshots()
    {
        QVERIFY(m_forScreenshots.size() >= 6);
        EditorWorld world;
        DocumentUpdates::install(world.controller());
        VeskDocument* document = world.controller().newDocument();
        QSet<QString> names;
        for (const Alert& alert : std::as_const(m_forScreenshots)) {
            QString name = QStringLiteral("update-alert-") +
                           alert.messageText.toLower().remove(u'.').replace(u' ', u'-');
            if (alert.messageText == kFailedTitle) {
                name += alert.informativeText == kNoRemoteText   ? QStringLiteral("-no-remote-url")
                        : alert.informativeText == kMismatchText ? QStringLiteral("-mismatch")
                        : alert.informativeText == kFailedText   ? QStringLiteral("-offline")
                                                                 : QStringLiteral("-invalid");
            }
            if (names.contains(name))
                continue;
            names.insert(name);
            QMessageBox* box = AlertPresenter::createMessageBox(document->window(), alert);
            box->adjustSize();
            const QString path = test::saveScreenshot(box, name);
            QVERIFY2(QFile::exists(path), qPrintable(path));
            delete box;
        }
        QCOMPARE(names.size(), 7);
    }
};

VESK_TEST(TestDocumentUpdates)
#include "tst_DocumentUpdates.moc"
