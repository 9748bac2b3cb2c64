#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "NotificationCenter.h"
#include "OutputWindowController.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VagrantHelper.h"

using namespace vesk;

// Drives the real vagrant through VagrantHelper, with a test-only provider that needs no
// hypervisor, and follows the machine index that vagrant itself rewrites.
class TestVagrantE2E : public QObject
{
    Q_OBJECT

    static constexpr int kTimeout = 60000;

    std::unique_ptr<VagrantHelper> m_helper;
    QObject m_observer;
    QList<VagrantEnvironmentDictionary> m_notes;
    QString m_project;

    std::optional<QString> stateOf(const QString& name) const
    {
        for (const VagrantEnvironmentPtr& machine : m_helper->environmentsArray()) {
            if (machine->name() == name)
                return machine->stateString();
        }
        return std::nullopt;
    }

    VagrantEnvironmentPtr machineNamed(const QString& name) const
    {
        for (const VagrantEnvironmentPtr& machine : m_helper->environmentsArray()) {
            if (machine->name() == name)
                return machine;
        }
        return nullptr;
    }

    // Starts a command, waits for its end and returns its window.
    OutputWindowController* run(const std::function<void(VagrantHelper::CompletionHandler)>& start)
    {
        const qsizetype windows = m_helper->outputWindows().size();
        bool done = false;
        start([&done] { done = true; });
        if (!QTest::qWaitFor([&done] { return done; }, kTimeout))
            return nullptr;
        if (m_helper->outputWindows().size() != windows + 1)
            return nullptr;
        OutputWindowController* window = m_helper->outputWindows().last();
        // The output is appended through the event loop, ahead of anything queued after it.
        QTest::qWait(100);
        return window;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/vagrant")))
            QSKIP("vagrant is not installed at /usr/bin/vagrant");
        // Nothing may reach the network, and only the fake provider is chosen.
        test::useTestVagrantEnvironment();

        // A project folder whose name needs quoting in a shell.
        m_project = QDir::homePath() + QStringLiteral("/projects/it's a $project");
        QVERIFY(QDir().mkpath(m_project));
        for (const char* name : {"Vagrantfile", "fake_provider.rb"}) {
            const QString file = QString::fromLatin1(name);
            QVERIFY(QFile::copy(QStringLiteral(VESK_FIXTURES_DIR "/vagrant-fake-provider/") + file,
                                m_project + u'/' + file));
        }

        m_helper = std::make_unique<VagrantHelper>();
        QCOMPARE(m_helper->pathToVagrant(), QStringLiteral("/usr/bin/vagrant"));
        QVERIFY(m_helper->environmentsArray().isEmpty());
        NotificationCenter::defaultCenter().observe(
            NOTE_MACHINE_INDEX_CHANGED, &m_observer, [this](const QVariant& object) {
                m_notes.append(object.value<VagrantEnvironmentDictionary>());
            });
    }

    void upBothMachinesOfTheProject()
    {
        OutputWindowController* window = run([this](auto done) {
            m_helper->upVeskFileURL(
                QUrl::fromLocalFile(m_project + QStringLiteral("/machines.vesk")), done);
        });
        QVERIFY(window);
        QVERIFY2(
            window->outputText().contains(QStringLiteral("==> web: Starting the fake machine")),
            qPrintable(window->outputText()));
        QVERIFY(window->outputText().contains(QStringLiteral("==> db: Starting the fake machine")));
        QCOMPARE(window->windowTitle(), QStringLiteral("Complete: machines.vesk - Upping..."));
        test::saveScreenshot(window, QStringLiteral("output-window-real"));

        QTRY_VERIFY_WITH_TIMEOUT(stateOf(QStringLiteral("web")) == QStringLiteral("running") &&
                                     stateOf(QStringLiteral("db")) == QStringLiteral("running"),
                                 kTimeout);
        QVERIFY(!m_notes.isEmpty());
        QCOMPARE(m_notes.last().ids(), m_helper->environments().ids());
        QCOMPARE(m_helper->numberOfRunningMachines(), 2u);
        const VagrantEnvironmentPtr web = machineNamed(QStringLiteral("web"));
        QCOMPARE(web->path(), m_project);
        QCOMPARE(web->provider(), QStringLiteral("vesk_fake"));
        QCOMPARE(web->hexId()->size(), 32);
    }

    void haltSuspendResume_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("state");
        QTest::newRow("halt web") << "halt"
                                  << "web"
                                  << "Complete: web - Powering Off..."
                                  << "==> web: Powering off the fake machine..."
                                  << "poweroff";
        QTest::newRow("suspend db") << "suspend"
                                    << "db"
                                    << "Complete: db - Pausing..."
                                    << "==> db: Suspending the fake machine..."
                                    << "saved";
        QTest::newRow("resume db") << "resume"
                                   << "db"
                                   << "Complete: db - Resuming..."
                                   << "==> db: Resuming the fake machine..."
                                   << "running";
    }
    void haltSuspendResume()
    {
        QFETCH(QString, command);
        QFETCH(QString, machine);
        QFETCH(QString, title);
        QFETCH(QString, said);
        QFETCH(QString, state);

        const VagrantEnvironmentPtr before = machineNamed(machine);
        QVERIFY(before);
        const std::optional<QString> oldState = before->stateString();
        const qsizetype notes = m_notes.size();
        OutputWindowController* window = run([&](auto done) {
            if (command == QLatin1String("halt"))
                m_helper->haltEnvironment(before, done);
            else if (command == QLatin1String("suspend"))
                m_helper->suspendEnvironment(before, done);
            else
                m_helper->resumeEnvironment(before, done);
        });
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), title);
        QVERIFY2(window->outputText().contains(said), qPrintable(window->outputText()));
        QVERIFY(window->outputText().endsWith(QStringLiteral("===== COMPLETE =====")));

        QTRY_COMPARE_WITH_TIMEOUT(stateOf(machine), state, kTimeout);
        QVERIFY(m_notes.size() > notes);
        QCOMPARE(m_notes.last().value(*before->hexId())->stateString(), state);
        // The record held from before the change keeps its old values.
        QCOMPARE(before->stateString(), oldState);
        QVERIFY(machineNamed(machine) != before);
    }

    void failingCommandEndsInError()
    {
        auto unknown = std::make_shared<VagrantEnvironment>();
        unknown->setHexId(QStringLiteral("0000000000000000000000000000dead"));
        unknown->setName(QStringLiteral("ghost"));
        OutputWindowController* window =
            run([&](auto done) { m_helper->haltEnvironment(unknown, done); });
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Error: ghost - Powering Off..."));
        QVERIFY(!window->outputText().contains(QStringLiteral("COMPLETE")));
        // vagrant's own complaint, from its standard error.
        QVERIFY2(window->outputText().contains(
                     QStringLiteral("A Vagrant environment or target machine is required")),
                 qPrintable(window->outputText()));
    }

    void destroyRemovesTheMachine()
    {
        const VagrantEnvironmentPtr web = machineNamed(QStringLiteral("web"));
        QVERIFY(web);
        const qsizetype notes = m_notes.size();
        OutputWindowController* window =
            run([&](auto done) { m_helper->destroyEnvironment(web, done); });
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Complete: web - Destroying..."));
        QVERIFY(
            window->outputText().contains(QStringLiteral("==> web: Destroying the fake machine")));

        QTRY_VERIFY_WITH_TIMEOUT(!m_helper->environments().contains(*web->hexId()), kTimeout);
        QVERIFY(m_notes.size() > notes);
        QCOMPARE(m_helper->environments().size(), 1);
        QCOMPARE(stateOf(QStringLiteral("db")), QStringLiteral("running"));
        QCOMPARE(m_helper->numberOfRunningMachines(), 1u);
    }
};

VESK_TEST(TestVagrantE2E)
#include "tst_VagrantE2E.moc"
