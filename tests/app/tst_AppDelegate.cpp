#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include "AboutWindowController.h"
#include "AppDelegate.h"
#include "DocumentController.h"
#include "LocalHttpServer.h"
#include "MachinesWindowController.h"
#include "SoftwareUpdateDialog.h"
#include "SoftwareUpdater.h"
#include "Terminals.h"
#include "TestSupport.h"
#include "TheMenu.h"
#include "VagrantHelper.h"
#include "TestMain.h"
#include "UserDefaults.h"
#include "VeskDocument.h"
#include "WelcomeWindowController.h"
#include "Workspace.h"

using namespace vesk;

namespace {

QList<SoftwareUpdateDialog*> visibleUpdateDialogs()
{
    QList<SoftwareUpdateDialog*> dialogs;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<SoftwareUpdateDialog*>(widget);
            dialog && dialog->isVisible())
            dialogs.append(dialog);
    }
    return dialogs;
}

} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Commands the windows might issue are recorded, never run.
        VagrantHelper::sharedInstance().setCommandRunner(
            std::make_unique<RecordingCommandRunner>());
    }
    void init()
    {
        UserDefaults::standard().clear();
        Workspace::setShared(std::make_unique<RecordingWorkspace>());
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<MachinesWindowController*>(widget) ||
                qobject_cast<SoftwareUpdateDialog*>(widget))
                widget->close();
        }
    }

    // Runs the real sequence (in a private home) and reads back the order of its services.
    void startupOrderAndLaunchCount()
    {
        DocumentController documents;
        AppDelegate delegate(documents);
        QCOMPARE(UserDefaults::standard().integerForKey(kLaunchCount), 0);
        delegate.setSystemTrayAvailability([] { return true; });
        delegate.applicationDidFinishLaunching();
        QCOMPARE(delegate.startupTrace(),
                 (QStringList{"crashReporter", "dispatchGroup", "registerDefaults", "TheMenu",
                              "VagrantHelper", "AtlasHelper", "VeskUpdateFinder", "SoftwareUpdater",
                              "buildSampleMenu", "launchCount"}));
        QCOMPARE(UserDefaults::standard().integerForKey(kLaunchCount), 1);
        QVERIFY(VagrantHelper::sharedInstance().announcesEnds());
        // Only once per process.
        delegate.applicationDidFinishLaunching();
        QCOMPARE(delegate.startupTrace().size(), 10);
        QCOMPARE(UserDefaults::standard().integerForKey(kLaunchCount), 1);

        // The next launch counts on.
        AppDelegate next(documents);
        next.incrementLaunchCount();
        QCOMPARE(UserDefaults::standard().integerForKey(kLaunchCount), 2);
    }

    // Without a tray the machines must still be in reach: their window opens at launch and says
    // why. With one, nothing changes.
    void machinesWindowAtLaunchWithoutATray_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("no tray") << false;
        QTest::newRow("tray") << true;
    }
    void machinesWindowAtLaunchWithoutATray()
    {
        QFETCH(bool, tray);
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.setSystemTrayAvailability([tray] { return tray; });
        delegate.applicationDidFinishLaunching();
        MachinesWindowController* window = delegate.machinesWindowController();
        QCOMPARE(window != nullptr, !tray);
        if (window) {
            QVERIFY(window->isVisible());
            QVERIFY(window->noTrayNoticeVisible());
            QCOMPARE(window->findChild<QLabel*>(QStringLiteral("lblNoTray"))->text(),
                     QStringLiteral("No system tray was found, so Vesk lives in this window: it "
                                    "quits when its last window closes."));
        }
        // The icon is asked for either way, so a tray that appears later shows it.
        QVERIFY(TheMenu::sharedInstance().statusItem());
    }

    void machinesCommandInEveryApplicationMenu()
    {
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.setSystemTrayAvailability([] { return true; });
        delegate.applicationDidFinishLaunching();
        // The tray's "Vesk" submenu and every window's application menu are filled alike.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QMenu* trayApplication =
            TheMenu::sharedInstance().menu()->findChild<QMenu*>(QStringLiteral("applicationMenu"));
        QVERIFY(trayApplication);
        QAction* machines = trayApplication->findChild<QAction*>(QStringLiteral("actionMachines"));
        QVERIFY(machines);
        QCOMPARE(machines->text(), QStringLiteral("Machines..."));
        machines->trigger();
        MachinesWindowController* window = delegate.machinesWindowController();
        QVERIFY(window && window->isVisible());
        QVERIFY(!window->noTrayNoticeVisible());
        QMenu* own = window->findChild<QMenu*>(QStringLiteral("menuApplication"));
        own->findChild<QAction*>(QStringLiteral("actionMachines"))->trigger();
        QCOMPARE(delegate.machinesWindowController(), window);
        window->close();
        QTRY_VERIFY(!delegate.machinesWindowController());
    }

    // Preferences... in the application menu chooses the terminal that SSH sessions use.
    void preferencesChooseTheTerminal()
    {
        auto shownDialog = [] {
            QWidget* found = nullptr;
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->objectName() == QStringLiteral("PreferencesDialog") &&
                    window->isVisible())
                    found = window;
            }
            return found;
        };
        DocumentController documents;
        AppDelegate delegate(documents);
        QMenu menu;
        delegate.populateApplicationMenu(&menu);
        QAction* preferences = menu.findChild<QAction*>(QStringLiteral("actionPreferences"));
        QVERIFY(preferences);
        QCOMPARE(preferences->text(), QStringLiteral("Preferences..."));
        preferences->trigger();
        QWidget* dialog = shownDialog();
        QVERIFY(dialog);
        auto* terminal = dialog->findChild<QComboBox*>(QStringLiteral("cmbTerminal"));
        auto* command = dialog->findChild<QLineEdit*>(QStringLiteral("txtTerminalCommand"));
        QCOMPARE(terminal->currentIndex(), 0); // nothing chosen: found automatically
        terminal->setCurrentIndex(terminal->count() - 1);
        QVERIFY(!command->isReadOnly());
        command->setText(QStringLiteral("myterm --hold -e"));
        dialog->resize(460, dialog->sizeHint().height());
        test::saveScreenshot(dialog, QStringLiteral("preferences"));
        QMetaObject::invokeMethod(dialog, "accept");
        QCOMPARE(UserDefaults::standard().stringForKey(kTerminalCommand),
                 QStringLiteral("myterm --hold -e"));

        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // Shown again as stored; "Find one automatically" forgets the choice.
        preferences->trigger();
        QVERIFY((dialog = shownDialog()));
        terminal = dialog->findChild<QComboBox*>(QStringLiteral("cmbTerminal"));
        QCOMPARE(terminal->currentIndex(), terminal->count() - 1);
        QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("txtTerminalCommand"))->text(),
                 QStringLiteral("myterm --hold -e"));
        terminal->setCurrentIndex(0);
        QMetaObject::invokeMethod(dialog, "accept");
        QVERIFY(UserDefaults::standard().value(kTerminalCommand).isNull());
    }

    // The updater's findings reach the user through what the application itself builds.
    void softwareUpdatesShow_data()
    {
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QString>("title");
        QTest::newRow("asked, newer")
            << true << QByteArray("9.0.0") << "A new version of Vesk is available!";
        QTest::newRow("asked, up to date") << true << QByteArray("1.0.0") << "You’re up to date!";
        QTest::newRow("scheduled, newer")
            << false << QByteArray("9.0.0") << "A new version of Vesk is available!";
        QTest::newRow("scheduled, up to date") << false << QByteArray("1.0.0") << "";
    }
    void softwareUpdatesShow()
    {
        QFETCH(bool, userInitiated);
        QFETCH(QByteArray, version);
        QFETCH(QString, title);
        test::LocalHttpServer server;
        QVERIFY(server.listen());
        server.setResponse(QStringLiteral("/feed.json"),
                           test::LocalHttpServer::Response::json(
                               "{\"version\": \"" + version + "\", \"url\": \"https://e.org/\"}"));
        SoftwareUpdater& updater = SoftwareUpdater::sharedUpdater();
        updater.setFeedUrl(server.url(QStringLiteral("/feed.json")));
        updater.setCurrentVersion(QStringLiteral("1.0.0"));

        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.setSystemTrayAvailability([] { return true; });
        delegate.applicationDidFinishLaunching();
        if (userInitiated)
            delegate.checkForUpdates();
        else
            updater.checkForUpdatesInBackground();
        QTRY_COMPARE(server.requestsFor(QStringLiteral("/feed.json")).size(), 1);
        QTRY_VERIFY(!updater.isChecking());
        QTest::qWait(50);
        const QList<SoftwareUpdateDialog*> dialogs = visibleUpdateDialogs();
        if (title.isEmpty()) {
            QVERIFY(dialogs.isEmpty());
            return;
        }
        QCOMPARE(dialogs.size(), 1);
        QTRY_COMPARE(dialogs.first()->findChild<QLabel*>(QStringLiteral("lblTitle"))->text(),
                     title);
    }

    void launchChoice_data()
    {
        QTest::addColumn<QVariant>("showWelcomeWindow");
        QTest::addColumn<bool>("untitled");
        QTest::newRow("welcome window") << QVariant(true) << false;
        QTest::newRow("untitled document") << QVariant(false) << true;
        QTest::newRow("shipped default shows the welcome window") << QVariant() << false;
    }
    void launchChoice()
    {
        QFETCH(QVariant, showWelcomeWindow);
        QFETCH(bool, untitled);
        if (showWelcomeWindow.isValid())
            UserDefaults::standard().setValue(kShowWelcomeWindow, showWelcomeWindow);
        DocumentController documents;
        AppDelegate delegate(documents);
        QCOMPARE(delegate.applicationShouldOpenUntitledFile(), untitled);
        QCOMPARE(delegate.welcomeWindowController() != nullptr, !untitled);
        QCOMPARE(documents.documents().size(), 0);
        if (delegate.welcomeWindowController())
            delegate.welcomeWindowController()->deleteLater();
    }

    void oneAboutWindow()
    {
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.showAboutWindow();
        AboutWindowController* first = delegate.aboutWindowController();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        delegate.showAboutWindow();
        QCOMPARE(delegate.aboutWindowController(), first);
        first->close();
        QTRY_VERIFY(!delegate.aboutWindowController());
        delegate.showAboutWindow();
        QVERIFY(delegate.aboutWindowController());
        delegate.aboutWindowController()->close();
    }
};

VESK_TEST(TestAppDelegate)
#include "tst_AppDelegate.moc"
