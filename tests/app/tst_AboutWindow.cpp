#include <QCoreApplication>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "AboutWindowController.h"
#include "ApplicationInfo.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Workspace.h"

using namespace vesk;

class TestAboutWindow : public QObject
{
    Q_OBJECT

    RecordingWorkspace* m_workspace = nullptr;

private Q_SLOTS:
    void init()
    {
        auto workspace = std::make_unique<RecordingWorkspace>();
        m_workspace = workspace.get();
        Workspace::setShared(std::move(workspace));
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        QCoreApplication::setApplicationVersion(QString());
    }

    void versionLabel_data()
    {
        QTest::addColumn<QString>("shortVersion");
        QTest::addColumn<QString>("expected");
        QTest::newRow("short version string") << "2.1"
                                              << "Version 2.1";
        QTest::newRow("three parts") << "1.10.3"
                                     << "Version 1.10.3";
        QTest::newRow("none announced: the build's own")
            << "" << QStringLiteral("Version ") + applicationVersion();
    }
    void versionLabel()
    {
        QFETCH(QString, shortVersion);
        QFETCH(QString, expected);
        QCoreApplication::setApplicationVersion(shortVersion);
        AboutWindowController window;
        auto* label = window.findChild<QLabel*>(QStringLiteral("lblVersion"));
        QVERIFY(label);
        QCOMPARE(label->text(), expected);
    }

    void buttonsOpenTheirPages_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("page");
        QTest::newRow("acknowledgments") << "btnAcknowledgments"
                                         << "/vesk/acknowledgments/";
        QTest::newRow("support") << "btnSupport"
                                 << "/support/";
    }
    void buttonsOpenTheirPages()
    {
        QFETCH(QString, button);
        QFETCH(QString, page);
        AboutWindowController window;
        window.show();
        auto* pushButton = window.findChild<QPushButton*>(button);
        QVERIFY(pushButton);
        QTest::mouseClick(pushButton, Qt::LeftButton);
        QCOMPARE(m_workspace->calls.size(), 1);
        QCOMPARE(m_workspace->calls.at(0).kind, QStringLiteral("openUrl"));
        QCOMPARE(m_workspace->calls.at(0).target, productPage(page));
        // The window stays open after opening a page.
        QVERIFY(window.isVisible());
    }

    void failedPageOpenIsNotReported()
    {
        m_workspace->result = false;
        AboutWindowController window;
        window.support();
        QCOMPARE(m_workspace->calls.size(), 1);
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<QMessageBox*>(widget));
    }

    void closingTellsTheOwner()
    {
        AboutWindowController window;
        window.show();
        QSignalSpy closed(&window, &AboutWindowController::windowClosed);
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!window.isVisible());
    }

    void screenshot()
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("2.1"));
        AboutWindowController window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!test::saveScreenshot(&window, QStringLiteral("about")).isEmpty());
    }
};

VESK_TEST(TestAboutWindow)
#include "tst_AboutWindow.moc"
