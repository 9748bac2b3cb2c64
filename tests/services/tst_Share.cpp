#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "AtlasHelper.h"
#include "AtlasLoginWindowController.h"
#include "KRNTaskHelper.h"
#include "ShareController.h"
#include "ShareOutputWindowController.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VagrantHelper.h"
#include "Workspace.h"

using namespace vesk;

namespace {

// Scripts that stand in for vagrant (tests/fixtures/share).
const QString kSharingScript = QStringLiteral("sharing.sh");
const QString kFailingScript = QStringLiteral("failing.sh");
const QString kEndingScript = QStringLiteral("ending.sh");

VagrantEnvironmentPtr machine(const QString& id, const QString& name)
{
    auto environment = std::make_shared<VagrantEnvironment>();
    environment->setHexId(id);
    environment->setName(name);
    environment->setProvider(QStringLiteral("virtualbox"));
    environment->setStateString(QStringLiteral("running"));
    environment->setPath(QStringLiteral("/p/") + name);
    return environment;
}

} // namespace

class TestShareController : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AtlasHelper> m_atlas;
    std::unique_ptr<VagrantHelper> m_vagrant;
    RecordingWorkspace* m_workspace = nullptr;

    /// A Vagrant helper whose vagrant is the given script.
    void useVagrantScript(const QString& script)
    {
        const QString path = m_dir->path() + QStringLiteral("/bin/vagrant");
        const QByteArray content =
            test::readFile(QStringLiteral(VESK_FIXTURES_DIR "/share/") + script);
        QVERIFY(!content.isEmpty());
        QVERIFY(test::writeFile(path, content));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner));
        VagrantHelper::Options options;
        options.vagrantCandidates = {path};
        options.vboxCandidates = {};
        options.watchIndex = false;
        m_vagrant = std::make_unique<VagrantHelper>(options);
        QCOMPARE(m_vagrant->pathToVagrant(), std::optional<QString>(path));
    }

    void logIn() { QVERIFY(m_atlas->writeToken(QStringLiteral("token"))); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        AtlasHelper::Options atlas;
        atlas.homePath = m_dir->path();
        atlas.host = QStringLiteral("http://127.0.0.1:9");
        atlas.watch = false;
        m_atlas = std::make_unique<AtlasHelper>(atlas);
        auto workspace = std::make_unique<RecordingWorkspace>();
        m_workspace = workspace.get();
        Workspace::setShared(std::move(workspace));
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        m_vagrant.reset();
        m_atlas.reset();
    }

    void urlInOutput_data()
    {
        QTest::addColumn<QString>("chunk");
        QTest::addColumn<std::optional<QString>>("url");
        QTest::newRow("address to the end of its line only")
            << "==> URL: http://happy-cat.vagrantshare.com\n==> next line\n"
            << std::optional<QString>(QStringLiteral("http://happy-cat.vagrantshare.com"));
        QTest::newRow("address to the end of the chunk")
            << "URL: http://happy-cat.vagrantshare.com"
            << std::optional<QString>(QStringLiteral("http://happy-cat.vagrantshare.com"));
        QTest::newRow("address cut off by the end of the chunk")
            << "URL: http://happy-c" << std::optional<QString>(QStringLiteral("http://happy-c"));
        QTest::newRow("the first of two addresses")
            << "http://a.example\nhttp://b.example\n"
            << std::optional<QString>(QStringLiteral("http://a.example"));
        QTest::newRow("only https") << "URL: https://happy-cat.vagrantshare.com\n"
                                    << std::optional<QString>();
        QTest::newRow("no address") << "==> Creating share...\n" << std::optional<QString>();
        QTest::newRow("empty chunk") << "" << std::optional<QString>();
    }
    void urlInOutput()
    {
        QFETCH(QString, chunk);
        QFETCH(std::optional<QString>, url);
        QCOMPARE(ShareController::urlInOutput(chunk), url);
    }

    void commandLineIsQuoted_data()
    {
        QTest::addColumn<QString>("vagrant");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("commandLine");
        QTest::newRow("plain") << "/usr/bin/vagrant"
                               << "0a1b2c3d"
                               << "/usr/bin/vagrant share 0a1b2c3d";
        QTest::newRow("blank in the path") << "/opt/my tools/vagrant"
                                           << "0a1b"
                                           << "'/opt/my tools/vagrant' share 0a1b";
        QTest::newRow("quote and dollar in the id") << "vagrant"
                                                    << "it's $HOME"
                                                    << "vagrant share 'it'\\''s $HOME'";
        QTest::newRow("empty id") << "vagrant"
                                  << ""
                                  << "vagrant share ''";
    }
    void commandLineIsQuoted()
    {
        QFETCH(QString, vagrant);
        QFETCH(QString, id);
        QFETCH(QString, commandLine);
        QCOMPARE(ShareController::shareCommandLine(vagrant, id), commandLine);
    }

    void shareShowsTheAddressAndEndsOnRequest()
    {
        useVagrantScript(kSharingScript);
        logIn();
        ShareController controller(*m_atlas, *m_vagrant);
        const VagrantEnvironmentPtr web =
            machine(QStringLiteral("0a1b2c3d4e"), QStringLiteral("web"));
        controller.shareEnvironment(web);

        QPointer<ShareOutputWindowController> window =
            controller.shareWindow(QStringLiteral("0a1b2c3d4e"));
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("web - Sharing..."));
        QCOMPARE(window->environment(), web);
        QCOMPARE(window->delegate(),
                 static_cast<ShareOutputWindowControllerDelegate*>(&controller));
        QCOMPARE(controller.taskHelpers().size(), 1);

        QTRY_COMPARE(window->URL(), QStringLiteral("http://happy-cat-1234.vagrantshare.com"));
        QVERIFY(window->btnOpen()->isEnabled());
        QTRY_VERIFY(window->outputText().contains(QStringLiteral("Press Ctrl-C to stop sharing.")));
        QVERIFY(window->outputText().startsWith(QStringLiteral("args: share 0a1b2c3d4e\n")));

        QTest::mouseClick(window->btnOpen(), Qt::LeftButton);
        QCOMPARE(m_workspace->calls.size(), 1);
        QCOMPARE(m_workspace->calls.first().target,
                 QStringLiteral("http://happy-cat-1234.vagrantshare.com"));

        // Sharing it again brings the same window forward instead of a second share.
        controller.shareEnvironment(web);
        QCOMPARE(controller.shareWindow(QStringLiteral("0a1b2c3d4e")), window.data());
        QCOMPARE(controller.taskHelpers().size(), 1);

        test::saveScreenshot(window, QStringLiteral("services-share"));

        KRNTaskHelper* helper = controller.taskHelpers().value(QStringLiteral("0a1b2c3d4e"));
        QVERIFY(helper);
        QVERIFY(!helper->isComplete());
        QTest::mouseClick(window->btnEndSharing(), Qt::LeftButton);
        // Closed at once, not when the command has ended.
        QVERIFY(!window || !window->isVisible());
        QVERIFY(!controller.shareWindow(QStringLiteral("0a1b2c3d4e")));
        // The script only ends (with status 0) through its interrupt handler.
        QTRY_VERIFY_WITH_TIMEOUT(helper->isComplete(), 15000);
        QVERIFY(helper->succeeded());
        // The runner is kept after its command has ended.
        QCOMPARE(controller.taskHelpers().value(QStringLiteral("0a1b2c3d4e")), helper);
    }

    void failingShareKeepsItsWindowWithAnErrorTitle()
    {
        useVagrantScript(kFailingScript);
        logIn();
        ShareController controller(*m_atlas, *m_vagrant);
        controller.shareEnvironment(machine(QStringLiteral("ffff0000"), QStringLiteral("db")));
        QPointer<ShareOutputWindowController> window =
            controller.shareWindow(QStringLiteral("ffff0000"));
        QVERIFY(window);
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("Error: db - Sharing..."));
        QVERIFY(window->isVisible());
        QTRY_VERIFY(window->outputText().contains(QStringLiteral("Failed to create share")));
        QCOMPARE(window->URL(), QString());
        QVERIFY(!window->btnOpen()->isEnabled());

        // A new share of that machine starts afresh in a window of its own.
        controller.shareEnvironment(machine(QStringLiteral("ffff0000"), QStringLiteral("db")));
        QVERIFY(controller.shareWindow(QStringLiteral("ffff0000")));
        QVERIFY(controller.shareWindow(QStringLiteral("ffff0000")) != window.data());
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Error: db - Sharing..."));
        QTRY_VERIFY(controller.taskHelpers().value(QStringLiteral("ffff0000"))->isComplete());
    }

    void shareThatEndsByItselfClosesItsWindow()
    {
        useVagrantScript(kEndingScript);
        logIn();
        ShareController controller(*m_atlas, *m_vagrant);
        controller.shareEnvironment(machine(QStringLiteral("abc"), QStringLiteral("web")));
        QPointer<ShareOutputWindowController> window =
            controller.shareWindow(QStringLiteral("abc"));
        QVERIFY(window);
        QTRY_VERIFY(controller.taskHelpers().value(QStringLiteral("abc"))->isComplete());
        QVERIFY(!window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("web - Sharing..."));
    }

    void machineIdReachesVagrantAsItIs()
    {
        useVagrantScript(kFailingScript);
        logIn();
        ShareController controller(*m_atlas, *m_vagrant);
        const QString id = QStringLiteral("it's $(touch pwned) `x` \"y\"");
        controller.shareEnvironment(machine(id, QStringLiteral("odd")));
        QPointer<ShareOutputWindowController> window = controller.shareWindow(id);
        QVERIFY(window);
        QTRY_VERIFY(window->windowTitle().startsWith(QStringLiteral("Error: ")));
        QTRY_VERIFY(window->outputText().contains(QStringLiteral("Failed to create share")));
        QVERIFY(window->outputText().startsWith(QStringLiteral("args: share ") + id + u'\n'));
    }

    // An id that begins with "-" would be an option to vagrant: refused in the window.
    void idThatLooksLikeAnOptionIsNotShared()
    {
        useVagrantScript(kFailingScript);
        logIn();
        ShareController controller(*m_atlas, *m_vagrant);
        controller.shareEnvironment(machine(QStringLiteral("--help"), QStringLiteral("odd")));
        QPointer<ShareOutputWindowController> window =
            controller.shareWindow(QStringLiteral("--help"));
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Error: odd - Sharing..."));
        QTRY_VERIFY(window->outputText().contains(
            QStringLiteral("The machine id “--help” begins with “-”")));
        QVERIFY(!window->outputText().contains(QStringLiteral("args:")));
        QVERIFY(controller.taskHelpers().isEmpty());
    }

    void notLoggedInShowsTheLoginWindowOnce()
    {
        useVagrantScript(kSharingScript);
        ShareController controller(*m_atlas, *m_vagrant);
        const VagrantEnvironmentPtr web = machine(QStringLiteral("0a1b"), QStringLiteral("web"));
        controller.shareEnvironment(web);
        QPointer<AtlasLoginWindowController> login = m_atlas->loginWindowController();
        QVERIFY(login);
        QVERIFY(login->isVisible());
        controller.shareEnvironment(web);
        QCOMPARE(m_atlas->loginWindowController(), login.data());
        int loginWindows = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<AtlasLoginWindowController*>(widget))
                ++loginWindows;
        }
        QCOMPARE(loginWindows, 1);
        // No share was started.
        QVERIFY(controller.taskHelpers().isEmpty());
        QVERIFY(!controller.shareWindow(QStringLiteral("0a1b")));
    }
};

VESK_TEST(TestShareController)
#include "tst_Share.moc"
