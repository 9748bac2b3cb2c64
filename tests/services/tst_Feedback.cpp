#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "AlertRecorder.h"
#include "ApplicationInfo.h"
#include "CrashLogFinder.h"
#include "CrashReporter.h"
#include "FeedbackRequest.h"
#include "LocalHttpServer.h"
#include "OFController.h"
#include "OpenFeedback.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"

using namespace vesk;
using vesk::test::AlertRecorder;
using vesk::test::LocalHttpServer;

class TestFeedbackRequest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valueEncoding_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("per cent sign unchanged") << "100% sure" << QByteArray("100% sure");
        QTest::newRow("plus sign unchanged") << "a+b" << QByteArray("a+b");
        QTest::newRow("space and line feed unchanged") << "a b\nc" << QByteArray("a b\nc");
        QTest::newRow("equals sign as %3d") << "x=1==2" << QByteArray("x%3d1%3d%3d2");
        QTest::newRow("ampersand as %26") << "Tom & Jerry&" << QByteArray("Tom %26 Jerry%26");
        QTest::newRow("escapes are not escaped again") << "%26=&" << QByteArray("%26%3d%26");
        QTest::newRow("accents dropped") << "café déjà vu" << QByteArray("cafe deja vu");
        QTest::newRow("no ASCII form") << "日本 🙂" << QByteArray("?? ?");
    }
    void valueEncoding()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, sent);
        QCOMPARE(encodeFeedbackBody({{QStringLiteral("message"), value}}), "message=" + sent);
    }

    void fields_data()
    {
        QTest::addColumn<FeedbackReport>("report");
        QTest::addColumn<QByteArray>("body");
        const QByteArray common = "appname=vesk&appversion=1.2&systemversion=Debian 12&appstore=0";
        auto report = [](const QString& type, const QString& message) {
            FeedbackReport r;
            r.appName = QStringLiteral("vesk");
            r.appVersion = QStringLiteral("1.2");
            r.systemVersion = QStringLiteral("Debian 12");
            r.type = type;
            r.message = message;
            return r;
        };
        QTest::newRow("support question")
            << report(QStringLiteral("support"), QStringLiteral("How?"))
            << common + "&type=support&message=How?";
        FeedbackReport withEmail = report(QStringLiteral("support"), QStringLiteral("Hi"));
        withEmail.email = QStringLiteral("jane@example.com");
        QTest::newRow("with e-mail")
            << withEmail << common + "&email=jane@example.com&type=support&message=Hi";
        FeedbackReport feature = report(QStringLiteral("feature"), QStringLiteral("Tabs"));
        feature.importance = QStringLiteral("Very important");
        QTest::newRow("feature request")
            << feature << common + "&type=feature&message=Tabs&importance=Very important";
        QTest::newRow("bug, not critical: no critical field")
            << report(QStringLiteral("bug"), QStringLiteral("x")) << common + "&type=bug&message=x";
        FeedbackReport critical = report(QStringLiteral("bug"), QStringLiteral("x"));
        critical.critical = true;
        QTest::newRow("critical bug") << critical << common + "&type=bug&message=x&critical=1";
    }
    void fields()
    {
        QFETCH(FeedbackReport, report);
        QFETCH(QByteArray, body);
        QCOMPARE(encodeFeedbackBody(feedbackFields(report)), body);
    }

    void headers()
    {
        const QByteArray body = "appname=vesk&message=ok";
        QCOMPARE(feedbackHeaders(body),
                 (HTTPHeaders{{"Content-Length", "23"},
                              {"Content-Type", "application/x-www-form-urlencoded"}}));
    }

    void messages()
    {
        QCOMPARE(bugReportMessage(QStringLiteral("A"), QStringLiteral("B")),
                 QStringLiteral("What did you expect to happen?\nA\n\nWhat steps will reproduce "
                                "the problem?\nB"));
        QCOMPARE(crashReportMessage(QStringLiteral("C"), QStringLiteral("D")),
                 QStringLiteral("Crash description:\nC\n\nWhat steps will reproduce the "
                                "problem?\nD"));
    }

    void systemVersion_data()
    {
        QTest::addColumn<QByteArray>("osRelease");
        QTest::addColumn<std::optional<QString>>("version");
        QTest::newRow("pretty name")
            << QByteArray("NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n"
                          "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n")
            << std::optional<QString>(QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
        QTest::newRow("version id only") << QByteArray("NAME=Fedora\nVERSION_ID=39\n")
                                         << std::optional<QString>(QStringLiteral("39"));
        QTest::newRow("single quotes and an escaped quote")
            << QByteArray("PRETTY_NAME='My OS'\n")
            << std::optional<QString>(QStringLiteral("My OS"));
        QTest::newRow("backslash escapes")
            << QByteArray("PRETTY_NAME=\"Say \\\"hi\\\" 1.0\"\n")
            << std::optional<QString>(QStringLiteral("Say \"hi\" 1.0"));
        QTest::newRow("similar key is not it") << QByteArray("XPRETTY_NAME=no\nVERSION_ID=\"7\"\n")
                                               << std::optional<QString>(QStringLiteral("7"));
        QTest::newRow("nothing usable")
            << QByteArray("NAME=x\n# PRETTY_NAME=y\n") << std::optional<QString>();
    }
    void systemVersion()
    {
        QFETCH(QByteArray, osRelease);
        QFETCH(std::optional<QString>, version);
        QCOMPARE(systemVersionFromOsRelease(osRelease), version);
    }

    void crashLogsAreNamedAfterTheExecutable()
    {
        // The crash reporter and the feedback form agree on the name ("vesk" in the application).
        QCOMPARE(applicationExecutableName(),
                 QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QCOMPARE(CrashLogFinder::userLibraryFolder() + QStringLiteral("/Logs/CrashReporter"),
                 CrashReporter::logFolder());
    }
};

class TestFeedbackWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<LocalHttpServer> m_server;

    OFController::Options options() const
    {
        OFController::Options options;
        options.feedbackUrl = m_server->url(QStringLiteral("/feedback")).toString();
        options.appName = QStringLiteral("vesk");
        return options;
    }

    template <typename T> static T* child(QWidget& window, const char* name)
    {
        T* widget = window.findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no %s", name);
        return widget;
    }

    static void fill(OFController& window, const QStringList& texts)
    {
        // Pairs of object name and text.
        for (qsizetype i = 0; i + 1 < texts.size(); i += 2)
            child<QPlainTextEdit>(window, texts.at(i).toLatin1().constData())
                ->setPlainText(texts.at(i + 1));
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->listen());
        m_server->setResponse(QStringLiteral("/feedback"), LocalHttpServer::Response::text("OK"));
    }
    void cleanup() { m_server.reset(); }

    void windowTitles()
    {
        OFController window(options());
        QCOMPARE(window.windowTitle(), applicationName() + QStringLiteral(" Feedback"));
        QVERIFY(
            child<QLabel>(window, "txtCrashTitle")->text().startsWith(applicationName() + u' '));
        QVERIFY(!child<QLabel>(window, "txtCrashTitle")->text().contains(QStringLiteral("%@")));
        // No contacts service: the address box starts empty.
        QCOMPARE(child<QComboBox>(window, "cboEmailAddress")->count(), 0);
        QCOMPARE(child<QComboBox>(window, "cboEmailAddress")->currentText(), QString());
    }

    void sendEnabling_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("crashMode");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("includeEmail");
        QTest::addColumn<QString>("email");
        QTest::addColumn<bool>("enabled");
        const QStringList question{QStringLiteral("txtQuestion"), QStringLiteral("How?")};
        QTest::newRow("empty question") << 0 << false << QStringList() << false << "" << false;
        QTest::newRow("question") << 0 << false << question << false << "" << true;
        QTest::newRow("question, e-mail box checked and empty")
            << 0 << false << question << true << "" << false;
        QTest::newRow("question, e-mail box checked and filled")
            << 0 << false << question << true << "jane@example.com" << true;
        QTest::newRow("address without the box checked")
            << 0 << false << QStringList() << false << "jane@example.com" << false;
        QTest::newRow("question filled, feature tab")
            << 1 << false << question << false << "" << false;
        QTest::newRow("feature") << 1 << false
                                 << QStringList{QStringLiteral("txtFeature"), QStringLiteral("x")}
                                 << false << "" << true;
        QTest::newRow("bug: steps alone are not enough")
            << 2 << false
            << QStringList{QStringLiteral("txtStepsToReproduce"), QStringLiteral("1. Open")}
            << false << "" << false;
        QTest::newRow("bug: what happened")
            << 2 << false << QStringList{QStringLiteral("txtWhatHappened"), QStringLiteral("x")}
            << false << "" << true;
        QTest::newRow("crash: the log counts as description")
            << 2 << true << QStringList() << false << "" << true;
        QTest::newRow("crash: what happened does not count")
            << 2 << true
            << QStringList{QStringLiteral("txtWhatHappened"), QStringLiteral("x"),
                           QStringLiteral("txtCrashDescription"), QString()}
            << false << "" << false;
    }
    void sendEnabling()
    {
        QFETCH(int, tab);
        QFETCH(bool, crashMode);
        QFETCH(QStringList, texts);
        QFETCH(bool, includeEmail);
        QFETCH(QString, email);
        QFETCH(bool, enabled);

        OFController window(options());
        if (tab == 0)
            window.presentFeedbackPanelForSupport();
        else if (tab == 1)
            window.presentFeedbackPanelForFeature();
        else if (crashMode)
            window.presentFeedbackPanelForCrash(QStringLiteral("log"));
        else
            window.presentFeedbackPanelForBug();
        auto* sendButton = child<QPushButton>(window, "btnSend");
        QVERIFY(!sendButton->isEnabled() || crashMode);

        fill(window, texts);
        auto* box = child<QCheckBox>(window, "btnIncludeMyEmail");
        auto* combo = child<QComboBox>(window, "cboEmailAddress");
        box->setChecked(includeEmail);
        QCOMPARE(combo->isEnabled(), includeEmail);
        combo->setEditText(email);
        QCOMPARE(window.sendButtonIsEnabled(), enabled);
        QCOMPARE(sendButton->isEnabled(), enabled);
    }

    void tabSwitchKeepsTheMode()
    {
        OFController window(options());
        auto* tabs = child<QTabWidget>(window, "tabs");
        auto* stack = child<QStackedWidget>(window, "tabView");
        window.presentFeedbackPanelForCrash(QStringLiteral("Thread 0 Crashed"));
        QCOMPARE(tabs->currentIndex(), 2);
        QCOMPARE(tabs->tabText(2), QStringLiteral("Crash Report"));
        QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("viewCrash"));
        QCOMPARE(child<QPlainTextEdit>(window, "txtCrashDescription")->toPlainText(),
                 QStringLiteral("\n\n\n\nThe text below is application's crash log, please leave "
                                "it unchanged to help us determine possible cause!\n\n"
                                "Thread 0 Crashed"));
        // By hand to another tab and back: still the crash report.
        tabs->setCurrentIndex(0);
        QCOMPARE(window.selectedTab(), OFController::SupportTab);
        tabs->setCurrentIndex(2);
        QVERIFY(window.crashReportMode());
        QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("viewCrash"));

        window.presentFeedbackPanelForBug();
        QVERIFY(!window.crashReportMode());
        QCOMPARE(tabs->tabText(2), QStringLiteral("Bug Report"));
        QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("viewBug"));
    }

    void sending_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("crashMode");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("critical");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QByteArray>("fields");

        QTest::newRow("support question with e-mail")
            << 0 << false
            << QStringList{QStringLiteral("txtQuestion"), QStringLiteral("Why 1+1=2 & not 3? 50%")}
            << false << "jane@example.com"
            << QByteArray(
                   "&email=jane@example.com&type=support&message=Why 1+1%3d2 %26 not 3? 50%");
        QTest::newRow("feature request")
            << 1 << false << QStringList{QStringLiteral("txtFeature"), QStringLiteral("Tabs")}
            << false << "" << QByteArray("&type=feature&message=Tabs&importance=Nice to have");
        QTest::newRow("bug report, not critical")
            << 2 << false
            << QStringList{QStringLiteral("txtWhatHappened"), QStringLiteral("It stops."),
                           QStringLiteral("txtStepsToReproduce"), QStringLiteral("Click Up")}
            << false << ""
            << QByteArray("&type=bug&message=What did you expect to happen?\nIt stops.\n\n"
                          "What steps will reproduce the problem?\nClick Up");
        QTest::newRow("critical bug report")
            << 2 << false
            << QStringList{QStringLiteral("txtWhatHappened"), QStringLiteral("Lost data")} << true
            << ""
            << QByteArray("&type=bug&message=What did you expect to happen?\nLost data\n\n"
                          "What steps will reproduce the problem?\n&critical=1");
        QTest::newRow("crash report")
            << 2 << true
            << QStringList{QStringLiteral("txtCrashDescription"), QStringLiteral("LOG"),
                           QStringLiteral("txtCrashStepsToReproduce"), QStringLiteral("Quit")}
            << false << ""
            << QByteArray("&type=bug&message=Crash description:\nLOG\n\n"
                          "What steps will reproduce the problem?\nQuit&critical=1");
    }
    void sending()
    {
        QFETCH(int, tab);
        QFETCH(bool, crashMode);
        QFETCH(QStringList, texts);
        QFETCH(bool, critical);
        QFETCH(QString, email);
        QFETCH(QByteArray, fields);

        AlertRecorder alerts;
        OFController window(options());
        if (tab == 0)
            window.presentFeedbackPanelForSupport();
        else if (tab == 1)
            window.presentFeedbackPanelForFeature();
        else if (crashMode)
            window.presentFeedbackPanelForCrash(QStringLiteral("log"));
        else
            window.presentFeedbackPanelForBug();
        fill(window, texts);
        child<QCheckBox>(window, "btnIsCritical")->setChecked(critical);
        if (!email.isEmpty()) {
            child<QCheckBox>(window, "btnIncludeMyEmail")->setChecked(true);
            child<QComboBox>(window, "cboEmailAddress")->setEditText(email);
        }
        QTest::mouseClick(child<QPushButton>(window, "btnSend"), Qt::LeftButton);
        QVERIFY(window.isSending());
        QVERIFY(!child<QPushButton>(window, "btnSend")->isEnabled());

        QTRY_COMPARE(alerts.alerts.size(), 1);
        QCOMPARE(alerts.alerts.first().messageText, QStringLiteral("Feedback Sent"));
        QCOMPARE(alerts.alerts.first().informativeText,
                 QStringLiteral("Your feedback has been sent successfully. Thank you!"));
        QVERIFY(!window.isVisible());

        QCOMPARE(m_server->requests().size(), 1);
        const LocalHttpServer::Request request = m_server->requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QStringLiteral("/feedback"));
        const QByteArray expected =
            "appname=vesk&appversion=" + applicationVersion().toLatin1() +
            "&systemversion=" + encodeFeedbackBody({{QString(), operatingSystemVersion()}}).mid(1) +
            "&appstore=0" + fields;
        QCOMPARE(request.body, expected);
        QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        int lengthHeaders = 0;
        for (const auto& [name, value] : request.headers) {
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
                ++lengthHeaders;
                QCOMPARE(value, QByteArray::number(expected.size()));
            }
        }
        QCOMPARE(lengthHeaders, 1);

        // The sent texts are emptied; the crash texts stay.
        for (const char* name :
             {"txtQuestion", "txtFeature", "txtWhatHappened", "txtStepsToReproduce"})
            QCOMPARE(child<QPlainTextEdit>(window, name)->toPlainText(), QString());
        if (crashMode)
            QCOMPARE(child<QPlainTextEdit>(window, "txtCrashDescription")->toPlainText(),
                     QStringLiteral("LOG"));
    }

    void failureKeepsTheTexts()
    {
        AlertRecorder alerts;
        m_server->setResponse(QStringLiteral("/feedback"),
                              LocalHttpServer::Response{0, {}, {}, 0, true});
        OFController window(options());
        window.presentFeedbackPanelForSupport();
        fill(window, {QStringLiteral("txtQuestion"), QStringLiteral("Still there?")});
        window.sendFeedback();
        QTRY_COMPARE(alerts.alerts.size(), 1);
        QCOMPARE(alerts.alerts.first().messageText, QStringLiteral("Can't Send Feedback"));
        QCOMPARE(alerts.alerts.first().informativeText,
                 QStringLiteral("We were unable to send your feedback. Please check your internet "
                                "connection and try again."));
        QVERIFY(window.isVisible());
        QCOMPARE(child<QPlainTextEdit>(window, "txtQuestion")->toPlainText(),
                 QStringLiteral("Still there?"));
        QVERIFY(child<QPushButton>(window, "btnSend")->isEnabled());
    }

    void serverErrorStillCountsAsSent()
    {
        AlertRecorder alerts;
        m_server->setResponse(QStringLiteral("/feedback"),
                              LocalHttpServer::Response::text("broken", 500));
        OFController window(options());
        window.presentFeedbackPanelForSupport();
        fill(window, {QStringLiteral("txtQuestion"), QStringLiteral("Hello")});
        window.sendFeedback();
        QTRY_COMPARE(alerts.titles(), QStringList{QStringLiteral("Feedback Sent")});
    }

    void screenshots()
    {
        OFController window(options());
        window.resize(600, 460);
        window.presentFeedbackPanelForSupport();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        fill(window, {QStringLiteral("txtQuestion"),
                      QStringLiteral("Can a document describe more than one machine?")});
        test::saveScreenshot(&window, QStringLiteral("services-feedback-support"));
        window.presentFeedbackPanelForFeature();
        fill(window, {QStringLiteral("txtFeature"),
                      QStringLiteral("Export a document's forwarded ports as a table.")});
        test::saveScreenshot(&window, QStringLiteral("services-feedback-feature"));
        window.presentFeedbackPanelForBug();
        fill(window, {QStringLiteral("txtWhatHappened"),
                      QStringLiteral("I expected the machine to start; the output window said "
                                     "\"Error\" instead."),
                      QStringLiteral("txtStepsToReproduce"),
                      QStringLiteral("1. Open web.vesk\n2. Choose Up\n3. Wait")});
        child<QCheckBox>(window, "btnIncludeMyEmail")->setChecked(true);
        child<QComboBox>(window, "cboEmailAddress")
            ->setEditText(QStringLiteral("jane@example.com"));
        test::saveScreenshot(&window, QStringLiteral("services-feedback-bug"));
        window.presentFeedbackPanelForCrash(
            QStringLiteral("Process:         vesk [4242]\nSignal:          11 (SIGSEGV)\n\n"
                           "Backtrace:\nvesk(+0x1a2b3)[0x55d0c0ffee]"));
        test::saveScreenshot(&window, QStringLiteral("services-feedback-crash"));
    }
};

class TestCrashLogs : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString user() const { return m_dir->path() + QStringLiteral("/user"); }
    QString computer() const { return m_dir->path() + QStringLiteral("/computer"); }

    // Files as "user|computer:relative/path@age in seconds" ("@-" leaves the date as written).
    QDateTime m_now = QDateTime::currentDateTime().addSecs(-3600);

    void makeFiles(const QStringList& files)
    {
        for (const QString& entry : files) {
            const QString where = entry.section(u':', 0, 0);
            const QString rest = entry.section(u':', 1);
            const QString relative = rest.section(u'@', 0, 0);
            const int age = rest.section(u'@', 1).toInt();
            const QString path =
                (where == QStringLiteral("user") ? user() : computer()) + u'/' + relative;
            QVERIFY(test::writeFile(path, relative.toUtf8()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(m_now.addSecs(-age), QFileDevice::FileModificationTime));
        }
    }

    QStringList relative(const QStringList& paths) const
    {
        QStringList list;
        for (const QString& path : paths)
            list.append(QString(path).replace(m_dir->path() + u'/', QString()));
        return list;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        UserDefaults::standard().clear();
    }

    void discovery_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("checkedSecondsAgo"); // -1: never checked
        QTest::addColumn<QStringList>("found");

        const QStringList mixed{
            QStringLiteral("user:Logs/CrashReporter/vesk_2024-05-01-101010.crash@100"),
            QStringLiteral("user:Logs/CrashReporter/vesk_2024-05-02-101010.crash@10"),
            QStringLiteral("user:Logs/HangReporter/vesk/hang-1.hang@50"),
            QStringLiteral("computer:Logs/CrashReporter/vesk_2024-05-03-101010.crash@5"),
            QStringLiteral("computer:Logs/HangReporter/vesk/deep/hang-2.hang@200"),
        };
        QTest::newRow("never checked: every crash and hang log, user's first")
            << mixed << -1
            << QStringList{
                   QStringLiteral("user/Logs/CrashReporter/vesk_2024-05-01-101010.crash"),
                   QStringLiteral("user/Logs/CrashReporter/vesk_2024-05-02-101010.crash"),
                   QStringLiteral("user/Logs/HangReporter/vesk/hang-1.hang"),
                   QStringLiteral("computer/Logs/CrashReporter/vesk_2024-05-03-101010.crash"),
                   QStringLiteral("computer/Logs/HangReporter/vesk/deep/hang-2.hang")};
        QTest::newRow("only logs since the last check")
            << mixed << 60
            << QStringList{
                   QStringLiteral("user/Logs/CrashReporter/vesk_2024-05-02-101010.crash"),
                   QStringLiteral("user/Logs/HangReporter/vesk/hang-1.hang"),
                   QStringLiteral("computer/Logs/CrashReporter/vesk_2024-05-03-101010.crash")};
        QTest::newRow("same modification time as the check counts")
            << QStringList{QStringLiteral("user:Logs/CrashReporter/vesk_a.crash@30"),
                           QStringLiteral("user:Logs/CrashReporter/vesk_b.crash@31")}
            << 30 << QStringList{QStringLiteral("user/Logs/CrashReporter/vesk_a.crash")};
        QTest::newRow("other programs, other extensions, no underscore")
            << QStringList{QStringLiteral("user:Logs/CrashReporter/other_1.crash@1"),
                           QStringLiteral("user:Logs/CrashReporter/vesk_1.log@1"),
                           QStringLiteral("user:Logs/CrashReporter/vesk_1.crash.txt@1"),
                           QStringLiteral("user:Logs/CrashReporter/vesktool_1.crash@1"),
                           QStringLiteral("user:Logs/CrashReporter/vesk-1.crash@1"),
                           QStringLiteral("user:Logs/HangReporter/other/x.hang@1"),
                           QStringLiteral("user:Logs/HangReporter/vesk/x.crash@1"),
                           QStringLiteral("user:Logs/CrashReporter/vesk_ok.crash@1")}
            << -1 << QStringList{QStringLiteral("user/Logs/CrashReporter/vesk_ok.crash")};
        QTest::newRow("names are matched from the CrashReporter folder")
            << QStringList{QStringLiteral("user:Logs/CrashReporter/old/vesk_1.crash@1"),
                           QStringLiteral("user:Logs/CrashReporter/vesk_sub/1.crash@1")}
            << -1 << QStringList{QStringLiteral("user/Logs/CrashReporter/vesk_sub/1.crash")};
        QTest::newRow("no folders at all") << QStringList() << -1 << QStringList();
    }
    void discovery()
    {
        QFETCH(QStringList, files);
        QFETCH(int, checkedSecondsAgo);
        QFETCH(QStringList, found);
        makeFiles(files);
        const CrashLogFinder finder(QStringLiteral("vesk"), {user(), computer()});
        const std::optional<QDateTime> since =
            checkedSecondsAgo < 0 ? std::nullopt
                                  : std::optional<QDateTime>(m_now.addSecs(-checkedSecondsAgo));
        QCOMPARE(relative(finder.crashLogsSince(since)), found);
    }

    void newest_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<std::optional<QString>>("contents");
        QTest::newRow("the newest")
            << QStringList{QStringLiteral("user:a.crash@20"), QStringLiteral("user:b.crash@5"),
                           QStringLiteral("user:c.crash@30")}
            << std::optional<QString>(QStringLiteral("b.crash"));
        QTest::newRow("same modification time: the later in the list")
            << QStringList{QStringLiteral("user:a.crash@5"), QStringLiteral("user:b.crash@5"),
                           QStringLiteral("user:c.crash@9")}
            << std::optional<QString>(QStringLiteral("b.crash"));
        QTest::newRow("none") << QStringList() << std::optional<QString>();
    }
    void newest()
    {
        QFETCH(QStringList, files);
        QFETCH(std::optional<QString>, contents);
        makeFiles(files);
        QStringList paths;
        for (const QString& entry : files)
            paths.append(user() + u'/' + entry.section(u':', 1).section(u'@', 0, 0));
        QCOMPARE(CrashLogFinder::latestCrashLogContents(paths), contents);
    }

    void offeredOncePerCrash()
    {
        makeFiles({QStringLiteral("user:Logs/CrashReporter/vesk_1.crash@20"),
                   QStringLiteral("user:Logs/HangReporter/vesk/1.hang@10")});
        OpenFeedback::Options options;
        options.controller.appName = QStringLiteral("vesk");
        options.libraryFolders = {user(), computer()};
        OpenFeedback feedback(options);
        QVERIFY(!feedback.lastCrashCheckTime());

        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QVERIFY(feedback.presentFeedbackPanelIfCrashed());
        OFController* window = feedback.windowController();
        QVERIFY(window->isVisible());
        QVERIFY(window->crashReportMode());
        QCOMPARE(window->selectedTab(), OFController::BugTab);
        // The newest log: the hang log.
        QVERIFY(window->findChild<QPlainTextEdit*>(QStringLiteral("txtCrashDescription"))
                    ->toPlainText()
                    .endsWith(QStringLiteral("\n\nLogs/HangReporter/vesk/1.hang")));
        QVERIFY(feedback.lastCrashCheckTime());
        QVERIFY(*feedback.lastCrashCheckTime() >= before);

        // Nothing new since: not offered again, and the check time moves on.
        window->close();
        QVERIFY(!feedback.presentFeedbackPanelIfCrashed());
        QVERIFY(!window->isVisible());
    }

    void noLogsRecordsTheCheckOnly()
    {
        OpenFeedback::Options options;
        options.controller.appName = QStringLiteral("vesk");
        options.libraryFolders = {user(), computer()};
        OpenFeedback feedback(options);
        QVERIFY(!feedback.presentFeedbackPanelIfCrashed());
        QVERIFY(feedback.lastCrashCheckTime());
        QVERIFY(!feedback.windowController()->isVisible());
    }
};

VESK_TEST(TestFeedbackRequest)
VESK_TEST(TestFeedbackWindow)
VESK_TEST(TestCrashLogs)
#include "tst_Feedback.moc"
