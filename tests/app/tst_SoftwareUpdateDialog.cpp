#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "LocalHttpServer.h"
#include "SoftwareUpdateDialog.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "Workspace.h"

using namespace vesk;
using test::LocalHttpServer;

namespace {

QByteArray feed(const char* version, const char* page)
{
    return QByteArray("{\"version\": \"") + version + "\", \"url\": \"" + page + "\"}";
}

} // namespace

class TestSoftwareUpdateDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<SoftwareUpdater> m_updater;
    RecordingWorkspace* m_workspace = nullptr;

    QString title(SoftwareUpdateDialog* dialog)
    {
        return dialog->findChild<QLabel*>(QStringLiteral("lblTitle"))->text();
    }
    QString message(SoftwareUpdateDialog* dialog)
    {
        return dialog->findChild<QLabel*>(QStringLiteral("lblMessage"))->text();
    }

private Q_SLOTS:
    void init()
    {
        m_defaults = std::make_unique<UserDefaults>(m_folder.filePath(QStringLiteral("u.ini")));
        m_defaults->clear();
        m_server = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->listen());
        m_updater = std::make_unique<SoftwareUpdater>(*m_defaults);
        m_updater->setFeedUrl(m_server->url(QStringLiteral("/update.json")));
        m_updater->setCurrentVersion(QStringLiteral("1.9.3"));
        auto workspace = std::make_unique<RecordingWorkspace>();
        m_workspace = workspace.get();
        Workspace::setShared(std::move(workspace));
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        m_updater.reset();
        m_server.reset();
    }

    void upToDate()
    {
        m_server->setResponse(QStringLiteral("/update.json"),
                              LocalHttpServer::Response::json(feed("1.9.3", "https://e.org/")));
        SoftwareUpdatePresenter presenter(*m_updater);
        m_updater->checkForUpdates();
        QVERIFY(presenter.dialog());
        QCOMPARE(title(presenter.dialog()), QStringLiteral("Checking for updates…"));
        QTRY_COMPARE(title(presenter.dialog()), QStringLiteral("You’re up to date!"));
        QCOMPARE(message(presenter.dialog()),
                 QStringLiteral("Vesk 1.9.3 is currently the newest version available."));
        QVERIFY(!presenter.dialog()
                     ->findChild<QPushButton*>(QStringLiteral("btnDownload"))
                     ->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(presenter.dialog()));
        test::saveScreenshot(presenter.dialog(), QStringLiteral("updater-up-to-date"));
    }

    void newerVersionOpensItsPage()
    {
        m_server->setResponse(QStringLiteral("/update.json"),
                              LocalHttpServer::Response::json(
                                  feed("1.10.0", "https://vesk.example.org/download/1.10.0")));
        SoftwareUpdatePresenter presenter(*m_updater);
        m_updater->checkForUpdates();
        QTRY_COMPARE(title(presenter.dialog()),
                     QStringLiteral("A new version of Vesk is available!"));
        QCOMPARE(message(presenter.dialog()),
                 QStringLiteral("Vesk 1.10.0 is now available — you have 1.9.3. Would you like "
                                "to download it now?"));
        QVERIFY(QTest::qWaitForWindowExposed(presenter.dialog()));
        test::saveScreenshot(presenter.dialog(), QStringLiteral("updater-newer-version"));

        auto* download = presenter.dialog()->findChild<QPushButton*>(QStringLiteral("btnDownload"));
        QVERIFY(download->isVisible());
        QTest::mouseClick(download, Qt::LeftButton);
        QCOMPARE(m_workspace->calls.size(), 1);
        QCOMPARE(m_workspace->calls.at(0).kind, QStringLiteral("openUrl"));
        QCOMPARE(m_workspace->calls.at(0).target,
                 QStringLiteral("https://vesk.example.org/download/1.10.0"));
        QTRY_VERIFY(!presenter.dialog() || !presenter.dialog()->isVisible());
    }

    void failureIsShownToTheUserWhoAsked()
    {
        m_server->setResponse(QStringLiteral("/update.json"),
                              LocalHttpServer::Response::text("nope", 404));
        SoftwareUpdatePresenter presenter(*m_updater);
        m_updater->checkForUpdates();
        QTRY_COMPARE(title(presenter.dialog()), QStringLiteral("Update Error!"));
        QVERIFY(message(presenter.dialog()).contains(QStringLiteral("404")));
        QVERIFY(QTest::qWaitForWindowExposed(presenter.dialog()));
        test::saveScreenshot(presenter.dialog(), QStringLiteral("updater-error"));
    }

    // A check that runs by itself stays silent unless it finds a newer version.
    void backgroundChecks_data()
    {
        QTest::addColumn<LocalHttpServer::Response>("response");
        QTest::addColumn<bool>("shown");
        QTest::newRow("up to date")
            << LocalHttpServer::Response::json(feed("1.9.3", "https://e.org/")) << false;
        QTest::newRow("failure") << LocalHttpServer::Response::text("nope", 500) << false;
        QTest::newRow("newer version")
            << LocalHttpServer::Response::json(feed("2.0", "https://e.org/2")) << true;
    }
    void backgroundChecks()
    {
        QFETCH(LocalHttpServer::Response, response);
        QFETCH(bool, shown);
        m_server->setResponse(QStringLiteral("/update.json"), response);
        SoftwareUpdatePresenter presenter(*m_updater);
        QSignalSpy finished(m_updater.get(), &SoftwareUpdater::checkFinished);
        m_updater->checkForUpdatesInBackground();
        QVERIFY(!presenter.dialog());
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(presenter.dialog() != nullptr, shown);
        if (shown)
            QVERIFY(presenter.dialog()->isVisible());
    }
};

VESK_TEST(TestSoftwareUpdateDialog)
#include "tst_SoftwareUpdateDialog.moc"
