#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include "LocalHttpServer.h"
#include "SoftwareUpdater.h"
#include "TestMain.h"
#include "UserDefaults.h"

using namespace vesk;
using test::LocalHttpServer;
using Status = UpdateCheckResult::Status;

namespace {

// JSON written with single quotes, which stand for double quotes.
QByteArray js(const char* text)
{
    return QByteArray(text).replace('\'', '"');
}

} // namespace

class TestVersionComparison : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compare_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        QTest::newRow("equal") << "1.2.3"
                               << "1.2.3" << 0;
        QTest::newRow("numeric, not text") << "1.10.0"
                                           << "1.9.3" << 1;
        QTest::newRow("numeric minor") << "2.9"
                                       << "2.10" << -1;
        QTest::newRow("missing parts are zero") << "1.2"
                                                << "1.2.0" << 0;
        QTest::newRow("longer and larger") << "1.2.0.1"
                                           << "1.2" << 1;
        QTest::newRow("major wins") << "2.0"
                                    << "1.99.99" << 1;
        QTest::newRow("leading v") << "v1.3"
                                   << "1.2.9" << 1;
        QTest::newRow("leading zeros") << "1.02"
                                       << "1.2" << 0;
        QTest::newRow("pre-release before release") << "1.2.0-beta"
                                                    << "1.2.0" << -1;
        QTest::newRow("pre-release after earlier release") << "1.3.0-rc1"
                                                           << "1.2.9" << 1;
        QTest::newRow("pre-releases by name") << "1.0-beta2"
                                              << "1.0-beta1" << 1;
        QTest::newRow("garbage below any version") << "latest"
                                                   << "0.0.1" << -1;
        QTest::newRow("two garbage equal") << ""
                                           << "x" << 0;
    }
    void compare()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        QCOMPARE(SoftwareUpdater::compareVersions(a, b), expected);
        QCOMPARE(SoftwareUpdater::compareVersions(b, a), -expected);
    }

    void nextCheck_data()
    {
        QTest::addColumn<qint64>("secondsSinceLast");
        QTest::addColumn<qint64>("expectedMs");
        QTest::newRow("just checked") << qint64(0) << qint64(43200000);
        QTest::newRow("an hour ago") << qint64(3600) << qint64(39600000);
        QTest::newRow("overdue") << qint64(50000) << qint64(0);
        QTest::newRow("clock went back") << qint64(-7200) << qint64(43200000);
    }
    void nextCheck()
    {
        QFETCH(qint64, secondsSinceLast);
        QFETCH(qint64, expectedMs);
        const QDateTime now(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
        QCOMPARE(
            SoftwareUpdater::millisecondsUntilNextCheck(now.addSecs(-secondsSinceLast), now, 43200),
            expectedMs);
    }
};

class TestSoftwareUpdater : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<LocalHttpServer> m_server;

    std::unique_ptr<SoftwareUpdater> makeUpdater()
    {
        auto updater = std::make_unique<SoftwareUpdater>(*m_defaults);
        updater->setFeedUrl(m_server->url(QStringLiteral("/vesk/update.json")));
        updater->setCurrentVersion(QStringLiteral("1.9.3"));
        return updater;
    }

private Q_SLOTS:
    void init()
    {
        m_defaults = std::make_unique<UserDefaults>(m_folder.filePath(QStringLiteral("u.ini")));
        m_defaults->clear();
        m_server = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->listen());
    }
    void cleanup()
    {
        m_server.reset();
        m_defaults.reset();
    }

    void userCheck_data()
    {
        QTest::addColumn<LocalHttpServer::Response>("response");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("latest");
        QTest::addColumn<QString>("page");
        using R = LocalHttpServer::Response;
        const int upToDate = int(Status::UpToDate);
        const int available = int(Status::UpdateAvailable);
        const int failed = int(Status::Failed);
        QTest::newRow("same version")
            << R::json(js("{'version': '1.9.3', 'url': 'https://example.org/get'}")) << upToDate
            << "1.9.3"
            << "https://example.org/get";
        QTest::newRow("older feed")
            << R::json(js("{'version': '1.9', 'url': 'https://example.org/get'}")) << upToDate
            << "1.9"
            << "https://example.org/get";
        QTest::newRow("newer version, compared numerically")
            << R::json(js("{'version': '1.10.0', 'url': 'https://example.org/get/1.10'}"))
            << available << "1.10.0"
            << "https://example.org/get/1.10";
        QTest::newRow("malformed JSON") << R::json(js("{'version': '2.0', ")) << failed << ""
                                        << "";
        QTest::newRow("not an object") << R::json(js("['2.0']")) << failed << ""
                                       << "";
        QTest::newRow("version is a number")
            << R::json(js("{'version': 2, 'url': 'https://example.org/'}")) << failed << ""
            << "";
        QTest::newRow("version is not one")
            << R::json(js("{'version': 'soon', 'url': 'https://example.org/'}")) << failed << ""
            << "";
        QTest::newRow("no page") << R::json(js("{'version': '2.0'}")) << failed << ""
                                 << "";
        QTest::newRow("page that is not a web page")
            << R::json(js("{'version': '2.0', 'url': 'file:///etc/passwd'}")) << failed << ""
            << "";
        QTest::newRow("404") << R::text("gone", 404) << failed << ""
                             << "";
        QTest::newRow("server error with a valid body")
            << R::json(js("{'version': '9.0', 'url': 'https://example.org/'}"), 500) << failed << ""
            << "";
        R dropped;
        dropped.dropConnection = true;
        QTest::newRow("connection dropped") << dropped << failed << ""
                                            << "";
        QTest::newRow("far too large")
            << R::json(QByteArray(js("{'version': '2.0', 'url': 'https://example.org/', 'x': '")) +
                       QByteArray(200 * 1024, 'a') + "\"}")
            << failed << ""
            << "";
    }
    void userCheck()
    {
        QFETCH(LocalHttpServer::Response, response);
        QFETCH(int, status);
        QFETCH(QString, latest);
        QFETCH(QString, page);
        m_server->setResponse(QStringLiteral("/vesk/update.json"), response);
        auto updater = makeUpdater();
        QSignalSpy started(updater.get(), &SoftwareUpdater::checkStarted);
        QSignalSpy finished(updater.get(), &SoftwareUpdater::checkFinished);

        updater->checkForUpdates();
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0).at(0).toBool(), true);
        QVERIFY(updater->isChecking());
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!updater->isChecking());

        const auto result = finished.at(0).at(0).value<UpdateCheckResult>();
        QCOMPARE(finished.at(0).at(1).toBool(), true);
        QCOMPARE(int(result.status), status);
        QCOMPARE(result.currentVersion, QStringLiteral("1.9.3"));
        QCOMPARE(result.latestVersion, latest);
        QCOMPARE(result.downloadPage.toString(), page);
        QCOMPARE(result.error.isEmpty(), status != int(Status::Failed));
        QVERIFY(updater->lastUpdateCheckDate().has_value());

        // Qt re-sends a GET once when the connection drops before any answer.
        QVERIFY(!m_server->requests().isEmpty());
        for (const LocalHttpServer::Request& request : m_server->requests()) {
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.path, QStringLiteral("/vesk/update.json"));
            QCOMPARE(request.header("User-Agent"), QByteArray("Vesk/1.9.3"));
        }
    }

    void connectionRefused()
    {
        // A port that was free a moment ago: nothing listens there now.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        auto updater = makeUpdater();
        updater->setFeedUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/feed.json").arg(port)));
        QSignalSpy finished(updater.get(), &SoftwareUpdater::checkFinished);
        updater->checkForUpdates();
        QTRY_COMPARE(finished.count(), 1);
        const auto result = finished.at(0).at(0).value<UpdateCheckResult>();
        QCOMPARE(result.status, Status::Failed);
        QVERIFY(!result.error.isEmpty());
    }

    void firstLaunchWaitsAWholeInterval()
    {
        auto updater = makeUpdater();
        QVERIFY(!updater->nextScheduledCheck());
        updater->setAutomaticallyChecksForUpdates(true);
        updater->setUpdateCheckInterval(43200);
        const std::optional<QDateTime> next = updater->nextScheduledCheck();
        QVERIFY(next.has_value());
        QVERIFY(QDateTime::currentDateTimeUtc().secsTo(*next) > 43000);
        QVERIFY(m_server->requests().isEmpty());
        updater->setAutomaticallyChecksForUpdates(false);
        QVERIFY(!updater->nextScheduledCheck());
    }

    void overdueCheckRunsAndIsRearmed()
    {
        m_server->setResponse(QStringLiteral("/vesk/update.json"),
                              LocalHttpServer::Response::json(
                                  js("{'version': '2.0', 'url': 'https://example.org/2.0'}")));
        m_defaults->setValue(
            QStringLiteral("SULastCheckTime"),
            QDateTime::currentDateTimeUtc().addDays(-2).toString(Qt::ISODateWithMs));
        auto updater = makeUpdater();
        QSignalSpy finished(updater.get(), &SoftwareUpdater::checkFinished);
        updater->setUpdateCheckInterval(43200);
        updater->setAutomaticallyChecksForUpdates(true);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(1).toBool(), false);
        QCOMPARE(finished.at(0).at(0).value<UpdateCheckResult>().status, Status::UpdateAvailable);
        QCOMPARE(m_server->requests().size(), 1);
        // The next check waits a full interval from this one.
        const std::optional<QDateTime> next = updater->nextScheduledCheck();
        QVERIFY(next.has_value());
        QVERIFY(QDateTime::currentDateTimeUtc().secsTo(*next) > 43000);
        QVERIFY(updater->lastUpdateCheckDate()->secsTo(QDateTime::currentDateTimeUtc()) < 3600);
    }

    void userAskingDuringBackgroundCheckSharesIt()
    {
        auto response = LocalHttpServer::Response::json(
            js("{'version': '1.9.3', 'url': 'https://example.org/'}"));
        response.delayMs = 300;
        m_server->setResponse(QStringLiteral("/vesk/update.json"), response);
        auto updater = makeUpdater();
        QSignalSpy finished(updater.get(), &SoftwareUpdater::checkFinished);
        updater->checkForUpdatesInBackground();
        QTRY_COMPARE(m_server->requests().size(), 1);
        updater->checkForUpdates();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(1).toBool(), true);
        QCOMPARE(m_server->requests().size(), 1);
    }
};

VESK_TEST(TestVersionComparison)
VESK_TEST(TestSoftwareUpdater)
#include "tst_SoftwareUpdater.moc"
