#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "DesktopNotices.h"
#include "OutputWindowController.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "VagrantHelper.h"

using namespace vesk;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// The desktop's notification service as far as Vesk uses it: records every notice.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notice
    {
        QString appName;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };
    QList<Notice> notices;

public Q_SLOTS:
    QStringList GetCapabilities()
    {
        return {QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup")};
    }
    uint Notify(const QString& appName, uint replacesId, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int timeout)
    {
        Q_UNUSED(replacesId)
        Q_UNUSED(timeout)
        notices.append({appName, icon, summary, body, actions, hints});
        return uint(notices.size());
    }
};

} // namespace

// The end of a command told on the desktop, through a private session bus and a stand-in
// notification service; vagrant is a stand-in script that says one thing and ends as told.
class TestCommandNotices : public QObject
{
    Q_OBJECT

    test::PrivateSessionBus m_bus;
    std::unique_ptr<FakeNotifications> m_service;
    QTemporaryDir m_folder;
    std::unique_ptr<VagrantHelper> m_helper;

    QDBusConnection fake() const
    {
        return QDBusConnection::connectToBus(QString(), QStringLiteral("fake"));
    }

    // Runs the prune command to its end; `whileRunning` acts on its window first.
    OutputWindowController* runCommand(int exitStatus,
                                       const std::function<void(OutputWindowController*)>& whileRunning)
    {
        qputenv("VESK_FAKE_EXIT", QByteArray::number(exitStatus));
        bool done = false;
        m_helper->pruneVagrantWithCompletionHandler([&done] { done = true; });
        OutputWindowController* window = m_helper->outputWindows().last();
        whileRunning(window);
        if (!QTest::qWaitFor([&done] { return done; }, 20000))
            return nullptr;
        return window;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray address = m_bus.start();
        QVERIFY2(!address.isEmpty(), "dbus-daemon could not be started");
        QDBusConnection service =
            QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("fake"));
        QVERIFY(service.isConnected());
        m_service = std::make_unique<FakeNotifications>();
        QVERIFY(service.registerObject(kPath, m_service.get(), QDBusConnection::ExportAllSlots));

        const QString vagrant = m_folder.filePath(QStringLiteral("vagrant"));
        QVERIFY(test::writeFile(vagrant, "#!/bin/sh\nprintf 'Pruning <old> & gone...\\n"
                                         "\\033[0;32mPruned <2> & done.\\033[0m\\n\\n'\n"
                                         "exit \"${VESK_FAKE_EXIT:-0}\"\n"));
        QVERIFY(QFile::setPermissions(vagrant, QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner));
        VagrantHelper::Options options;
        options.vagrantCandidates = {vagrant};
        options.watchIndex = false;
        m_helper = std::make_unique<VagrantHelper>(options);
        m_helper->setAnnounceEnds(true);
    }
    void cleanupTestCase()
    {
        m_helper.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
    }
    void init()
    {
        QVERIFY(fake().registerService(kService));
        m_service->notices.clear();
        UserDefaults::standard().clear();
    }
    void cleanup()
    {
        for (OutputWindowController* window : m_helper->outputWindows())
            window->close();
        UserDefaults::standard().clear();
    }

    void endsNobodyWatchesAreAnnounced_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("summary");
        QTest::newRow("closed by the user") << "closed" << 0
                                            << "Complete: Pruning Vagrant Box Cache...";
        QTest::newRow("closed by auto-close") << "auto-close" << 0
                                              << "Complete: Pruning Vagrant Box Cache...";
        QTest::newRow("behind another window") << "behind" << 1
                                               << "Error: Pruning Vagrant Box Cache...";
        QTest::newRow("minimised") << "minimised" << 0
                                   << "Complete: Pruning Vagrant Box Cache...";
        QTest::newRow("watched") << "watched" << 0 << "";
    }
    void endsNobodyWatchesAreAnnounced()
    {
        QFETCH(QString, how);
        QFETCH(int, exitStatus);
        QFETCH(QString, summary);
        if (how == QStringLiteral("auto-close"))
            UserDefaults::standard().setValue(kAutoCloseOutputWindow, true);
        QWidget other;
        OutputWindowController* window = runCommand(exitStatus, [&](OutputWindowController* w) {
            if (how == QStringLiteral("closed")) {
                w->close();
            } else if (how == QStringLiteral("behind")) {
                other.show();
                other.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&other));
            } else if (how == QStringLiteral("minimised")) {
                w->showMinimized();
            } else {
                QVERIFY(QTest::qWaitForWindowActive(w));
            }
        });
        QVERIFY(window);
        if (summary.isEmpty()) {
            QTest::qWait(500);
            QVERIFY(m_service->notices.isEmpty());
            return;
        }
        QTRY_COMPARE(m_service->notices.size(), 1);
        const FakeNotifications::Notice& notice = m_service->notices.first();
        QCOMPARE(notice.summary, summary);
        QCOMPARE(notice.summary, window->windowTitle());
        QCOMPARE(notice.appName, QStringLiteral("Vesk"));
        QCOMPARE(notice.icon, QStringLiteral("vesk"));
        QCOMPARE(notice.hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("vesk"));
        // The last thing the command said, its colours gone; the service reads markup, so no
        // markup can come from the command.
        QCOMPARE(notice.body, QStringLiteral("Pruned &lt;2&gt; &amp; done."));
        QCOMPARE(notice.actions, (QStringList{QStringLiteral("default"), QStringLiteral("Show")}));
    }

    void activatingTheNoticeBringsTheWindowBack()
    {
        QSignalSpy shown(&DesktopNotices::shared(), &DesktopNotices::shown);
        OutputWindowController* window =
            runCommand(0, [](OutputWindowController* w) { w->close(); });
        QVERIFY(window);
        QVERIFY(shown.wait(5000));
        const uint id = shown.first().first().toUInt();
        QVERIFY(!window->isVisible());

        // Another notice's activation, or another action, does nothing.
        for (const QVariantList& arguments :
             {QVariantList{id + 100, QStringLiteral("default")},
              QVariantList{id, QStringLiteral("other")}}) {
            QDBusMessage signal = QDBusMessage::createSignal(
                kPath, QStringLiteral("org.freedesktop.Notifications"),
                QStringLiteral("ActionInvoked"));
            signal.setArguments(arguments);
            QVERIFY(fake().send(signal));
        }
        QTest::qWait(300);
        QVERIFY(!window->isVisible());

        QDBusMessage activated = QDBusMessage::createSignal(
            kPath, QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        activated << id << QStringLiteral("default");
        QVERIFY(fake().send(activated));
        QTRY_VERIFY(window->isVisible());
        QCOMPARE(DesktopNotices::shared().pendingCount(), 0);
    }

    void withoutAServiceNothingIsShown()
    {
        QVERIFY(fake().unregisterService(kService));
        QSignalSpy shown(&DesktopNotices::shared(), &DesktopNotices::shown);
        OutputWindowController* window =
            runCommand(0, [](OutputWindowController* w) { w->close(); });
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Complete: Pruning Vagrant Box Cache..."));
        QTest::qWait(500);
        QVERIFY(shown.isEmpty());
        QVERIFY(m_service->notices.isEmpty());
    }
};

VESK_TEST(TestCommandNotices)
#include "tst_CommandNotices.moc"
