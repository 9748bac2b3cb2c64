#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "AlertRecorder.h"
#include "LocalHttpServer.h"
#include "NewsletterWindowController.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"

using namespace vesk;
using vesk::test::AlertRecorder;
using vesk::test::LocalHttpServer;

class TestNewsletter : public QObject
{
    Q_OBJECT

    std::unique_ptr<LocalHttpServer> m_server;

    NewsletterWindowController::Options options() const
    {
        NewsletterWindowController::Options options;
        options.host = m_server->url(QString()).toString();
        options.list = QStringLiteral("a1B2c3D4e5F6g7H8i9J0kL");
        return options;
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->listen());
        UserDefaults::standard().clear();
    }
    void cleanup() { m_server.reset(); }

    void replies_data()
    {
        QTest::addColumn<LocalHttpServer::Response>("response");
        QTest::addColumn<bool>("subscribed");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("closes");

        const QString oops = QStringLiteral("Oops! Something went wrong.");
        const QString oopsText =
            QStringLiteral("We encountered an error when trying to subscribe you. Try again?");
        QTest::newRow("subscribed")
            << LocalHttpServer::Response::text("1") << true << QStringLiteral("Success!")
            << QStringLiteral("You have been successfully subscribed to our newsletter. Thanks "
                              "for your interest!")
            << true;
        QTest::newRow("already subscribed")
            << LocalHttpServer::Response::text("Already subscribed.") << true
            << QStringLiteral("That email address is already subscribed.")
            << QStringLiteral("Your email address is already a member of our newsletter. If "
                              "you're not receiving our emails, please check your spam folder. ") +
                   QStringLiteral("Our newsletter is sent from ") +
                   NewsletterWindowController::senderAddress() + u'.'
            << false;
        QTest::newRow("invalid address")
            << LocalHttpServer::Response::text("Invalid email address.") << false
            << QStringLiteral("Invalid email address.")
            << QStringLiteral("The email address you entered is not valid.") << false;
        QTest::newRow("1 followed by a line feed")
            << LocalHttpServer::Response::text("1\n") << false << oops << oopsText << false;
        QTest::newRow("another case") << LocalHttpServer::Response::text("already subscribed.")
                                      << false << oops << oopsText << false;
        QTest::newRow("empty reply")
            << LocalHttpServer::Response::text("") << false << oops << oopsText << false;
        QTest::newRow("no answer")
            << LocalHttpServer::Response{0, {}, {}, 0, true} << false << oops << oopsText << false;
    }
    void replies()
    {
        QFETCH(LocalHttpServer::Response, response);
        QFETCH(bool, subscribed);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(bool, closes);

        AlertRecorder alerts;
        m_server->setResponse(QStringLiteral("/subscribe"), response);
        NewsletterWindowController window(options());
        window.show();
        QTest::keyClicks(window.emailTextField(), QStringLiteral("jane@example.com"));
        QTest::mouseClick(window.subscribeButton(), Qt::LeftButton);

        QVERIFY(window.isSending());
        QVERIFY(!window.emailTextField()->isEnabled());
        QVERIFY(!window.subscribeButton()->isEnabled());
        QVERIFY(window.spinner()->isVisible());

        QTRY_COMPARE(alerts.alerts.size(), 1);
        QCOMPARE(alerts.alerts.first().messageText, title);
        QCOMPARE(alerts.alerts.first().informativeText, text);
        QCOMPARE(alerts.alerts.first().buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(alerts.windows.first(), &window);
        QCOMPARE(UserDefaults::standard().boolForKey(kNewsletterSubscribed), subscribed);
        QCOMPARE(window.isVisible(), !closes);
        QVERIFY(!window.isSending());
        QVERIFY(window.emailTextField()->isEnabled());
        QVERIFY(window.subscribeButton()->isEnabled());
        QVERIFY(!window.spinner()->isVisible());
    }

    void addressIsSentTrimmedWithTheList()
    {
        AlertRecorder alerts;
        m_server->setResponse(QStringLiteral("/subscribe"), LocalHttpServer::Response::text("1"));
        NewsletterWindowController window(options());
        window.show();
        window.emailTextField()->setText(QStringLiteral(" \t jane+news@example.com  "));
        window.subscribe();
        QTRY_COMPARE(alerts.alerts.size(), 1);
        QCOMPARE(m_server->requests().size(), 1);
        const LocalHttpServer::Request request = m_server->requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QStringLiteral("/subscribe"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(request.body, QByteArray("boolean=true&email=jane%2Bnews%40example.com"
                                          "&list=a1B2c3D4e5F6g7H8i9J0kL"));
    }

    void blankAddressIsRefused_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << "";
        QTest::newRow("spaces only") << "    ";
        QTest::newRow("tabs and spaces") << " \t  \t";
    }
    void blankAddressIsRefused()
    {
        QFETCH(QString, address);
        AlertRecorder alerts;
        NewsletterWindowController window(options());
        window.show();
        window.emailTextField()->setText(address);
        QTest::mouseClick(window.subscribeButton(), Qt::LeftButton);
        QCOMPARE(alerts.titles(), QStringList{QStringLiteral("Please Enter Your Email Address")});
        QCOMPARE(alerts.alerts.first().informativeText,
                 QStringLiteral("You must enter a valid email address to subscribe."));
        // Nothing was sent: the window never went busy.
        QVERIFY(!window.isSending());
        QVERIFY(window.emailTextField()->isEnabled());
        QVERIFY(window.isVisible());
        QCoreApplication::processEvents();
        QVERIFY(m_server->requests().isEmpty());
    }

    void cancelWhileSendingStillRecordsTheSubscription()
    {
        AlertRecorder alerts;
        LocalHttpServer::Response slow = LocalHttpServer::Response::text("1");
        slow.delayMs = 200;
        m_server->setResponse(QStringLiteral("/subscribe"), slow);
        QPointer<NewsletterWindowController> window = new NewsletterWindowController(options());
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        window->emailTextField()->setText(QStringLiteral("jane@example.com"));
        window->subscribe();
        QVERIFY(window->isSending());
        QTest::mouseClick(window->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!window);
        QTRY_VERIFY(UserDefaults::standard().boolForKey(kNewsletterSubscribed));
        QCOMPARE(m_server->requests().size(), 1);
        // No alert for a window that is gone.
        QCOMPARE(alerts.alerts.size(), 0);
    }

    void screenshot()
    {
        NewsletterWindowController window(options());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.emailTextField()->setText(QStringLiteral("jane@example.com"));
        QVERIFY(!test::saveScreenshot(&window, QStringLiteral("services-newsletter")).isEmpty());
    }
};

VESK_TEST(TestNewsletter)
#include "tst_Newsletter.moc"
