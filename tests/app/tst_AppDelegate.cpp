#include <QTest>

#include "AboutWindowController.h"
#include "AppDelegate.h"
#include "DocumentController.h"
#include "TestMain.h"
#include "UserDefaults.h"
#include "VeskDocument.h"
#include "WelcomeWindowController.h"
#include "Workspace.h"

using namespace vesk;

class TestAppDelegate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        UserDefaults::standard().clear();
        Workspace::setShared(std::make_unique<RecordingWorkspace>());
    }
    void cleanup() { Workspace::setShared(nullptr); }

    // Runs the real sequence (in a private home) and reads back the order of its services.
    void startupOrderAndLaunchCount()
    {
        DocumentController documents;
        AppDelegate delegate(documents);
        QCOMPARE(UserDefaults::standard().integerForKey(kLaunchCount), 0);
        delegate.applicationDidFinishLaunching();
        QCOMPARE(delegate.startupTrace(),
                 (QStringList{"crashReporter", "dispatchGroup", "registerDefaults", "TheMenu",
                              "VagrantHelper", "AtlasHelper", "VeskUpdateFinder",
                              "SoftwareUpdater", "buildSampleMenu", "launchCount"}));
        QCOMPARE(UserDefaults::standard().integerForKey(kLaunchCount), 1);
        // Only once per process.
        delegate.applicationDidFinishLaunching();
        QCOMPARE(delegate.startupTrace().size(), 10);
        QCOMPARE(UserDefaults::standard().integerForKey(kLaunchCount), 1);

        // The next launch counts on.
        AppDelegate next(documents);
        next.incrementLaunchCount();
        QCOMPARE(UserDefaults::standard().integerForKey(kLaunchCount), 2);
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
