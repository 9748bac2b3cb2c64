#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "AlertRecorder.h"
#include "AtlasHelper.h"
#include "AtlasLoginWindowController.h"
#include "CDEvents.h"
#include "LocalHttpServer.h"
#include "NotificationCenter.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "Workspace.h"

using namespace vesk;
using vesk::test::AlertRecorder;
using vesk::test::LocalHttpServer;

namespace {

AtlasHelper::Options optionsFor(const QString& home, const LocalHttpServer* server = nullptr,
                                bool watch = false)
{
    AtlasHelper::Options options;
    options.homePath = home;
    options.host =
        server ? server->url(QString()).toString() : QStringLiteral("http://127.0.0.1:9");
    options.watch = watch;
    return options;
}

} // namespace

class TestAtlasHelper : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        UserDefaults::standard().clear();
    }

    void paths()
    {
        AtlasHelper helper(optionsFor(m_home->path()));
        QCOMPARE(helper.pathToAtlasToken(),
                 m_home->path() + QStringLiteral("/.vagrant.d/data/vagrant_login_token"));
        QCOMPARE(helper.pathToAtlasTokenDirectory(),
                 m_home->path() + QStringLiteral("/.vagrant.d/data"));
        QCOMPARE(helper.authenticationUrl(),
                 QStringLiteral("http://127.0.0.1:9/api/v1/authenticate"));
    }

    void loggedInMeansTheTokenFileExists_data()
    {
        QTest::addColumn<bool>("createFile");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loggedIn");
        QTest::newRow("no file") << false << QByteArray() << false;
        QTest::newRow("a token") << true << QByteArray("abc") << true;
        QTest::newRow("an empty file written by another program") << true << QByteArray() << true;
        QTest::newRow("anything at all") << true << QByteArray("\x00\xff not a token", 15) << true;
    }
    void loggedInMeansTheTokenFileExists()
    {
        QFETCH(bool, createFile);
        QFETCH(QByteArray, content);
        QFETCH(bool, loggedIn);
        AtlasHelper helper(optionsFor(m_home->path()));
        if (createFile)
            QVERIFY(test::writeFile(helper.pathToAtlasToken(), content));
        QCOMPARE(helper.userIsLoggedInToAtlas(), loggedIn);
    }

    void writeTokenIsExactAndOwnerOnly()
    {
        AtlasHelper helper(optionsFor(m_home->path()));
        // An older token readable by everyone is replaced as a whole, and is no longer readable.
        QVERIFY(test::writeFile(helper.pathToAtlasToken(), "old token, much longer than the new"));
        QVERIFY(QFile::setPermissions(helper.pathToAtlasToken(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadOther | QFileDevice::ReadGroup));
        QVERIFY(helper.writeToken(QStringLiteral("tökén")));
        QCOMPARE(test::readFile(helper.pathToAtlasToken()), QStringLiteral("tökén").toUtf8());
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(helper.pathToAtlasToken()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        // No temporary file is left next to it.
        QCOMPARE(QDir(helper.pathToAtlasTokenDirectory()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("vagrant_login_token")});
    }

    void logoutRemovesTokenAndUserName()
    {
        AtlasHelper helper(optionsFor(m_home->path()));
        UserDefaults::standard().setValue(UD_ATLAS_USERNAME, QStringLiteral("jane"));
        QVERIFY(helper.writeToken(QStringLiteral("abc")));
        helper.logoutOfAtlas();
        QVERIFY(!helper.userIsLoggedInToAtlas());
        QVERIFY(!UserDefaults::standard().value(UD_ATLAS_USERNAME).isValid());
        // Logging out twice is harmless.
        helper.logoutOfAtlas();
        QVERIFY(!helper.userIsLoggedInToAtlas());
    }

    void changesInTheDataFolderAreAnnounced()
    {
        int posted = 0;
        QObject context;
        NotificationCenter::defaultCenter().observe(NOTE_ATLAS_LOGIN_CHANGED, &context,
                                                    [&posted](const QVariant&) { ++posted; });
        // The folder does not exist yet: Vagrant (or our login) makes it later.
        AtlasHelper helper(optionsFor(m_home->path(), nullptr, true));
        QVERIFY(helper.cdEventsAtlas());
        QCOMPARE(posted, 0);

        QVERIFY(helper.writeToken(QStringLiteral("abc")));
        QTRY_VERIFY_WITH_TIMEOUT((helper.cdEventsAtlas()->flushSynchronously(), posted > 0), 15000);

        // A change below the folder (Vagrant's machine index) counts as well.
        const int before = posted;
        QVERIFY(test::writeFile(
            helper.pathToAtlasTokenDirectory() + QStringLiteral("/machine-index/index"), "{}"));
        QTRY_VERIFY_WITH_TIMEOUT((helper.cdEventsAtlas()->flushSynchronously(), posted > before),
                                 15000);
    }

    void oneLoginWindowAtATime()
    {
        AtlasHelper helper(optionsFor(m_home->path()));
        QVERIFY(!helper.loginWindowController());
        helper.showLoginUI();
        QPointer<AtlasLoginWindowController> first = helper.loginWindowController();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        helper.showLoginUI();
        QCOMPARE(helper.loginWindowController(), first.data());

        // Closing forgets it; the next request builds a fresh window.
        first->close();
        QVERIFY(!helper.loginWindowController());
        QTRY_VERIFY(!first);
        helper.showLoginUI();
        QVERIFY(helper.loginWindowController());
        QVERIFY(helper.loginWindowController()->isVisible());
    }
};

class TestAtlasLogin : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<LocalHttpServer> m_server;
    RecordingWorkspace* m_workspace = nullptr;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        m_server = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->listen());
        auto workspace = std::make_unique<RecordingWorkspace>();
        m_workspace = workspace.get();
        Workspace::setShared(std::move(workspace));
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        m_server.reset();
    }

    void login_data()
    {
        QTest::addColumn<LocalHttpServer::Response>("response");
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("alert");
        QTest::addColumn<QByteArray>("token");

        const QString failed = QStringLiteral("Could Not Sign Into Atlas");
        QTest::newRow("token received")
            << LocalHttpServer::Response::json(R"({"success":true,"token":"Qx7.abc-DEF"})")
            << QString() << QStringLiteral("Logged Into Atlas") << QByteArray("Qx7.abc-DEF");
        QTest::newRow("200 without token") << LocalHttpServer::Response::json(R"({"success":true})")
                                           << QString() << failed << QByteArray();
        QTest::newRow("token that is not text")
            << LocalHttpServer::Response::json(R"({"token":42})") << QString() << failed
            << QByteArray();
        QTest::newRow("reply that is not an object")
            << LocalHttpServer::Response::json(R"(["token"])") << QString() << failed
            << QByteArray();
        QTest::newRow("401") << LocalHttpServer::Response::json(
                                    R"({"errors":["Invalid login or password."]})", 401)
                             << QString() << failed << QByteArray();
        QTest::newRow("server error page")
            << LocalHttpServer::Response::text("<html>oops</html>", 500) << QString() << failed
            << QByteArray();
        QTest::newRow("no answer")
            << LocalHttpServer::Response{0, {}, {}, 0, true} << QString() << failed << QByteArray();
        // A token that cannot be stored is not a login: vagrant share would not find it.
        QTest::newRow("data folder is a file")
            << LocalHttpServer::Response::json(R"({"token":"abc"})")
            << QStringLiteral("data folder is a file") << failed << QByteArray();
        QTest::newRow("read-only data folder")
            << LocalHttpServer::Response::json(R"({"token":"abc"})")
            << QStringLiteral("read-only data folder") << failed << QByteArray();
    }
    void login()
    {
        QFETCH(LocalHttpServer::Response, response);
        QFETCH(QString, obstacle);
        QFETCH(QString, alert);
        QFETCH(QByteArray, token);

        AlertRecorder alerts;
        m_server->setResponse(QStringLiteral("/api/v1/authenticate"), response);
        AtlasHelper helper(optionsFor(m_home->path(), m_server.get()));
        const QString folder = helper.pathToAtlasTokenDirectory();
        if (obstacle == QStringLiteral("data folder is a file")) {
            QVERIFY(test::writeFile(folder, "not a folder"));
        } else if (obstacle == QStringLiteral("read-only data folder")) {
            if (::geteuid() == 0)
                QSKIP("permissions do not hold back root");
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }

        helper.showLoginUI();
        QPointer<AtlasLoginWindowController> window = helper.loginWindowController();
        QVERIFY(window);
        QTest::keyClicks(window->txtUsername(), QStringLiteral("jane"));
        QTest::keyClicks(window->txtPassword(), QStringLiteral("secret"));
        QTest::mouseClick(window->btnLogin(), Qt::LeftButton);

        // Busy while the request runs.
        QVERIFY(window->networkActivity());
        QVERIFY(!window->txtUsername()->isEnabled());
        QVERIFY(!window->txtPassword()->isEnabled());
        QVERIFY(!window->btnLogin()->isEnabled());
        QVERIFY(window->spinner()->isVisible());

        QTRY_COMPARE(alerts.alerts.size(), 1);
        const Alert shown = alerts.alerts.first();
        QCOMPARE(shown.messageText, alert);
        QCOMPARE(shown.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(shown.icon, QMessageBox::Information);
        const bool success = !token.isEmpty();
        QCOMPARE(shown.informativeText,
                 success ? QStringLiteral("You are now logged into Hashicorp Atlas and can share "
                                          "your virtual machines.")
                         : QStringLiteral("An error occurred while attempting to sign into "
                                          "Atlas. Please try again."));

        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        QCOMPARE(helper.userIsLoggedInToAtlas(), success);
        if (success) {
            QCOMPARE(test::readFile(helper.pathToAtlasToken()), token);
            struct stat info;
            QCOMPARE(::stat(QFile::encodeName(helper.pathToAtlasToken()).constData(), &info), 0);
            QCOMPARE(info.st_mode & 07777, mode_t(0600));
            // Dismissing the alert closed the window.
            QVERIFY(!helper.loginWindowController());
        } else {
            // The window stays, with the fields as typed and ready for another try.
            QVERIFY(window && window->isVisible());
            QVERIFY(!window->networkActivity());
            QVERIFY(window->txtUsername()->isEnabled());
            QVERIFY(window->btnLogin()->isEnabled());
            QVERIFY(!window->spinner()->isVisible());
            QCOMPARE(window->txtUsername()->text(), QStringLiteral("jane"));
            QCOMPARE(window->txtPassword()->text(), QStringLiteral("secret"));
            QCOMPARE(alerts.windows.first(), window.data());
        }
    }

    void requestCarriesTheCredentialsAsTyped()
    {
        m_server->setResponse(QStringLiteral("/api/v1/authenticate"),
                              LocalHttpServer::Response::json(R"({"token":"t"})"));
        AtlasHelper helper(optionsFor(m_home->path(), m_server.get()));
        bool completed = false;
        bool failed = false;
        helper.loginToAtlasWithUsername(
            QStringLiteral("jane doe@example.com"), QStringLiteral(" p=a&s+s%é "),
            [&completed] { completed = true; }, [&failed] { failed = true; });
        QTRY_VERIFY(completed || failed);
        QVERIFY(completed);
        QCOMPARE(m_server->requests().size(), 1);
        const LocalHttpServer::Request request = m_server->requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QStringLiteral("/api/v1/authenticate"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(request.body, QByteArray("user%5Blogin%5D=jane%20doe%40example.com"
                                          "&user%5Bpassword%5D=%20p%3Da%26s%2Bs%25%C3%A9%20"));
    }

    void signUpOpensTheAtlasSite()
    {
        AtlasHelper helper(optionsFor(m_home->path(), m_server.get()));
        AtlasLoginWindowController window(helper);
        window.show();
        QTest::mouseClick(window.btnSignUp(), Qt::LeftButton);
        QCOMPARE(m_workspace->calls.size(), 1);
        QCOMPARE(m_workspace->calls.first().kind, QStringLiteral("openUrl"));
        QCOMPARE(m_workspace->calls.first().target, helper.signUpUrl());
        QVERIFY(helper.signUpUrl().startsWith(helper.host()));
    }

    void screenshot()
    {
        AtlasHelper helper(optionsFor(m_home->path(), m_server.get()));
        AtlasLoginWindowController window(helper);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The user name field has the focus when the window opens.
        QCOMPARE(QApplication::focusWidget(), window.txtUsername());
        QTest::keyClicks(window.txtUsername(), QStringLiteral("jane"));
        QVERIFY(!test::saveScreenshot(&window, QStringLiteral("services-atlas-login")).isEmpty());
        window.txtPassword()->setText(QStringLiteral("secret"));
        window.setNetworkActivity(true);
        QVERIFY(
            !test::saveScreenshot(&window, QStringLiteral("services-atlas-login-busy")).isEmpty());
    }
};

VESK_TEST(TestAtlasHelper)
VESK_TEST(TestAtlasLogin)
#include "tst_Atlas.moc"
