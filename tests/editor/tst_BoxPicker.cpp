#include <QDir>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "BoxPicker.h"
#include "BoxPickerSheet.h"
#include "DocumentController.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VeskDocument.h"
#include "VeskViewController.h"

using namespace vesk;

#if defined(__SANITIZE_ADDRESS__)
// Chromium inside Qt WebEngine frees some of its own objects through a base of another size,
// which AddressSanitizer reports as a new/delete type mismatch. Options set in the environment
// still take precedence over these.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

class TestBoxPickerRule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void boxNameFromUrl_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("isBoxPage");
        QTest::addColumn<QString>("boxName");

        const auto at = [](const char* path) -> QString {
            return QStringLiteral("https://app.vagrantup.com") + QString::fromUtf8(path);
        };
        const auto box = [](const char* name, const QString& address, const char* boxName) {
            QTest::newRow(name) << address << true << QString::fromUtf8(boxName);
        };
        const auto other = [](const char* name, const QString& address) {
            QTest::newRow(name) << address << false << QString();
        };

        box("box page", at("/hashicorp/boxes/precise64"), "hashicorp/precise64");
        box("any host of the same shape",
            QStringLiteral("https://boxes.example.org/acme/boxes/base"), "acme/base");
        box("loopback host with port", QStringLiteral("https://127.0.0.1:8443/acme/boxes/base"),
            "acme/base");
        box("query stays with the name", at("/hashicorp/boxes/precise64?tab=versions"),
            "hashicorp/precise64?tab=versions");
        box("fragment stays with the name", at("/hashicorp/boxes/precise64#usage"),
            "hashicorp/precise64#usage");
        box("encoded blank stays encoded", at("/acme/boxes/web%20server"), "acme/web%20server");
        box("non-ASCII name is percent-encoded", at("/acme/boxes/caf\u00e9"), "acme/caf%C3%A9");
        box("encoded slash is part of the name", at("/acme/boxes/a%2Fb"), "acme/a%2Fb");

        other("search page", at("/boxes/search?provider=virtualbox"));
        other("search page with more query",
              at("/boxes/search?q=ubuntu&provider=virtualbox&sort=downloads"));
        other("catalogue root", at("/"));
        other("owner profile page", at("/hashicorp"));
        other("owner's box list", at("/hashicorp/boxes"));
        other("trailing slash", at("/hashicorp/boxes/precise64/"));
        other("versions subpage", at("/hashicorp/boxes/precise64/versions/1.1.0"));
        other("provider download",
              at("/hashicorp/boxes/precise64/versions/1.1.0/providers/virtualbox.box"));
        other("slash in the query", at("/hashicorp/boxes/precise64?from=/boxes/search"));
        other("plain http", QStringLiteral("http://app.vagrantup.com/hashicorp/boxes/precise64"));
        other("third part is not boxes", at("/hashicorp/collections/precise64"));
        other("boxes in another place", at("/boxes/hashicorp/precise64"));
        other("boxes is case-sensitive", at("/hashicorp/Boxes/precise64"));
        other("empty owner", at("//boxes/precise64"));
        other("empty box name", at("/hashicorp/boxes/"));
        other("blank page", QStringLiteral("about:blank"));

        // The registry's portal, where the catalogue moved.
        const auto portal = [](const char* path) -> QString {
            return QStringLiteral("https://portal.cloud.hashicorp.com") + QString::fromUtf8(path);
        };
        box("registry box page", portal("/vagrant/discover/hashicorp/bionic64"),
            "hashicorp/bionic64");
        box("registry page with its own state", portal("/vagrant/discover/ubuntu/jammy64?tab=v#a"),
            "ubuntu/jammy64");
        box("registry page on a loopback host",
            QStringLiteral("http://127.0.0.1:8080/vagrant/discover/acme/base"), "acme/base");
        other("registry search", portal("/vagrant/discover?query=ubuntu"));
        other("registry owner", portal("/vagrant/discover/hashicorp"));
        other("registry versions", portal("/vagrant/discover/hashicorp/bionic64/versions"));
        other("registry path elsewhere", portal("/x/vagrant/discover/hashicorp/bionic64"));
    }
    void boxNameFromUrl()
    {
        QFETCH(QString, address);
        QFETCH(bool, isBoxPage);
        QFETCH(QString, boxName);

        const std::optional<QString> name = BoxPicker::boxNameFromUrl(QUrl(address));
        QCOMPARE(name.has_value(), isBoxPage);
        if (isBoxPage)
            QCOMPARE(*name, boxName);
    }

    void searchPageUrl_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("expected");
        QTest::newRow("host only") << "https://app.vagrantup.com"
                                   << "https://app.vagrantup.com/boxes/search?provider=virtualbox";
        QTest::newRow("host with slash")
            << "https://app.vagrantup.com/"
            << "https://app.vagrantup.com/boxes/search?provider=virtualbox";
        QTest::newRow("loopback with port")
            << "http://127.0.0.1:8080"
            << "http://127.0.0.1:8080/boxes/search?provider=virtualbox";
        QTest::newRow("path prefix")
            << "http://127.0.0.1:8080/catalogue/"
            << "http://127.0.0.1:8080/catalogue/boxes/search?provider=virtualbox";
    }
    void searchPageUrl()
    {
        QFETCH(QString, host);
        QFETCH(QString, expected);

        const QUrl url = BoxPicker::searchPageUrl(QUrl(host));
        QCOMPARE(url.toString(), expected);
        // The picker must not take its own start page for a box.
        QVERIFY(!BoxPicker::boxNameFromUrl(url));
    }

    void catalogueHostIsSettable()
    {
        BoxPicker picker;
        QCOMPARE(picker.catalogueHost(), BoxPicker::defaultCatalogueHost());
        picker.setCatalogueHost(QUrl(QStringLiteral("http://127.0.0.1:9")));
        QCOMPARE(picker.searchPageUrl().toString(),
                 QStringLiteral("http://127.0.0.1:9/boxes/search?provider=virtualbox"));
    }
};

namespace {

// A stand-in for the box catalogue on 127.0.0.1: a search page with links, an owner page, and a
// record of every request (a connection that does not speak HTTP, such as a TLS handshake, is
// recorded as "non-HTTP").
class CatalogueServer : public QObject
{
public:
    bool listen(quint16 port = 0)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &CatalogueServer::accept,
                Qt::UniqueConnection);
        return m_server.listen(QHostAddress::LocalHost, port);
    }
    void close() { m_server.close(); }
    /// The search page picks a box itself once loaded, as a user's click would.
    void setChoosesOnLoad(bool chooses) { m_choosesOnLoad = chooses; }
    quint16 port() const { return m_server.serverPort(); }
    QUrl host() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port())); }
    QString boxLink() const
    {
        return QStringLiteral("https://127.0.0.1:%1/hashicorp/boxes/precise64").arg(port());
    }
    QString ownerLink() const
    {
        return QStringLiteral("http://127.0.0.1:%1/hashicorp").arg(port());
    }

    // Requests other than the browser's own favicon look-ups.
    QStringList requests() const
    {
        QStringList result;
        for (const QString& request : m_requests) {
            if (request != QLatin1String("/favicon.ico"))
                result.append(request);
        }
        return result;
    }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (!buffer.startsWith("GET ")) {
            if (buffer.size() >= 4) {
                m_requests.append(QStringLiteral("non-HTTP"));
                m_buffers.remove(socket);
                socket->abort();
            }
            return;
        }
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QString target = QString::fromLatin1(buffer.split(' ').value(1));
        m_buffers.remove(socket);
        m_requests.append(target);
        respond(socket, target);
    }

    void respond(QTcpSocket* socket, const QString& target)
    {
        QByteArray status = "200 OK";
        QString body;
        if (target == QLatin1String("/boxes/search?provider=virtualbox")) {
            body = searchPage();
            if (m_choosesOnLoad)
                body.replace(
                    QStringLiteral("</body>"),
                    QStringLiteral("<script>history.pushState({}, '', "
                                   "'/vagrant/discover/picked/bybrowser')</script></body>"));
        } else if (target == QLatin1String("/framed")) {
            body = QStringLiteral("<html><body><a id=\"box\" href=\"%1\">precise64</a></body>"
                                  "</html>")
                       .arg(boxLink());
        } else if (target == QLatin1String("/discover")) {
            // The registry's way: a link to a box page, and an address changed inside the page.
            body = QStringLiteral(
                "<html><body><a id=\"box\" href=\"/vagrant/discover/hashicorp/bionic64\">"
                "bionic64</a><button id=\"push\" onclick=\"history.pushState({}, '', "
                "'/vagrant/discover/ubuntu/jammy64')\">jammy64</button></body></html>");
        } else if (target == QLatin1String("/hashicorp")) {
            body = QStringLiteral("<html><head><title>hashicorp</title></head>"
                                  "<body><h1>hashicorp</h1></body></html>");
        } else {
            status = "404 Not Found";
            body = QStringLiteral("<html><body>Not found</body></html>");
        }
        const QByteArray content = body.toUtf8();
        socket->write("HTTP/1.1 " + status +
                      "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                      QByteArray::number(content.size()) + "\r\nConnection: close\r\n\r\n" +
                      content);
        socket->disconnectFromHost();
    }

    QString searchPage() const
    {
        return QStringLiteral(
                   "<!DOCTYPE html><html><head><title>Boxes</title><style>"
                   "body{font-family:sans-serif;margin:0;color:#1f2937}"
                   "header{background:#1563ff;color:white;padding:14px 24px;font-size:20px}"
                   "main{padding:16px 24px}"
                   "input{width:60%;padding:6px;font-size:15px}"
                   ".box{border-bottom:1px solid #e5e7eb;padding:12px 0}"
                   ".box a{font-size:17px;font-weight:bold;color:#1563ff;text-decoration:none}"
                   ".box p{margin:4px 0;color:#6b7280}"
                   "iframe{border:0;height:40px;width:100%}"
                   "</style></head><body><header>Discover Vagrant Boxes</header><main>"
                   "<input value=\"precise\" placeholder=\"Search boxes\">"
                   "<div class=\"box\"><a id=\"box\" href=\"%1\">hashicorp/precise64</a>"
                   "<p>A standard Ubuntu 12.04 LTS 64-bit box. 1.1.0 &middot; virtualbox</p>"
                   "</div>"
                   "<div class=\"box\"><a id=\"owner\" href=\"%2\">by hashicorp</a>"
                   "<p>Boxes published by this owner.</p></div>"
                   "<iframe src=\"/framed\"></iframe>"
                   "</main></body></html>")
            .arg(boxLink(), ownerLink());
    }

    QTcpServer m_server;
    bool m_choosesOnLoad = false;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QStringList m_requests;
};

// The browser's helper processes that are children of this process.
int webEngineProcessCount()
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray children =
            test::readFile(tasks.filePath(task) + QStringLiteral("/children"));
        for (const QByteArray& pid : children.split(' ')) {
            if (pid.trimmed().isEmpty())
                continue;
            const QByteArray command =
                test::readFile(QStringLiteral("/proc/%1/comm").arg(QString::fromLatin1(pid)));
            if (command.startsWith("QtWebEngine"))
                ++count;
        }
    }
    return count;
}

// A stand-in for the document window: the box-name field and the sheet on it.
struct DocumentWindow
{
    DocumentWindow(const QUrl& catalogueHost)
    {
        window.resize(900, 650);
        auto* layout = new QVBoxLayout(&window);
        boxName = new QLineEdit(QStringLiteral("ubuntu/trusty64"), &window);
        layout->addWidget(boxName);
        picker = new BoxPicker(&window);
        picker->setCatalogueHost(catalogueHost);
        picker->setBoxNameField(boxName);
        window.show();
    }

    QWidget window;
    QLineEdit* boxName = nullptr;
    BoxPicker* picker = nullptr;
};

QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 30000))
        return QStringLiteral("<no answer>");
    return result;
}

} // namespace

class TestBoxPickerPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.listen()); }

    // Must stay first: it checks that nothing before it has started the browser.
    void browserStartsOnlyWhenTheSheetOpens()
    {
        DocumentWindow document(m_server.host());
        QVERIFY(document.picker->webView() == nullptr);
        QVERIFY(document.window.findChild<QWebEngineView*>() == nullptr);
        QCOMPARE(webEngineProcessCount(), 0);

        document.picker->open();
        QVERIFY(document.picker->webView() != nullptr);
        QCOMPARE(document.picker->parentWidget(), &document.window);
        QCOMPARE(document.picker->windowModality(), Qt::WindowModal);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_server.requests().contains(QLatin1String("/boxes/search?provider=virtualbox")),
            30000);
    }

    void followingABoxLinkTakesTheBox_data()
    {
        QTest::addColumn<QString>("click");
        QTest::newRow("link on the page") << "document.getElementById('box').click()";
        QTest::newRow("link in a frame")
            << "document.querySelector('iframe').contentDocument.getElementById('box').click()";
    }
    void followingABoxLinkTakesTheBox()
    {
        QFETCH(QString, click);
        DocumentWindow document(m_server.host());
        QSignalSpy chosen(document.picker, &BoxPicker::boxChosen);
        document.picker->open();
        QWebEnginePage* page = document.picker->webView()->page();
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 30000);
        QCOMPARE(loaded.at(0).at(0).toBool(), true);
        // The frame is loaded separately; wait for its link before clicking it.
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(page, QStringLiteral("!!document.querySelector('iframe').contentDocument"
                                          ".getElementById('box')"))
                .toBool(),
            true, 30000);
        if (qstrcmp(QTest::currentDataTag(), "link on the page") == 0)
            saveSheetScreenshot(document.picker, QStringLiteral("box-picker"));
        const QStringList requestsBefore = m_server.requests();

        page->runJavaScript(click);
        QTRY_COMPARE_WITH_TIMEOUT(chosen.count(), 1, 30000);
        QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("hashicorp/precise64"));
        QCOMPARE(document.boxName->text(), QStringLiteral("hashicorp/precise64"));
        QVERIFY(!document.picker->isVisible());
        QCOMPARE(document.picker->result(), int(QDialog::Accepted));

        // The box page itself was never requested: the search page is still what is shown.
        QCOMPARE(evaluate(page, QStringLiteral("document.URL")).toString(),
                 document.picker->searchPageUrl().toString());
        QCOMPARE(m_server.requests(), requestsBefore);
        QCOMPARE(chosen.count(), 1);
    }

    void registryPagesTakeTheBox_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("boxName");
        QTest::newRow("link to a box page") << "document.getElementById('box').click()"
                                            << "hashicorp/bionic64";
        QTest::newRow("address changed inside the page")
            << "document.getElementById('push').click()"
            << "ubuntu/jammy64";
    }
    void registryPagesTakeTheBox()
    {
        QFETCH(QString, action);
        QFETCH(QString, boxName);
        DocumentWindow document(m_server.host());
        QSignalSpy chosen(document.picker, &BoxPicker::boxChosen);
        document.picker->open();
        QWebEnginePage* page = document.picker->webView()->page();
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 30000);
        page->load(QUrl(m_server.host().toString() + QStringLiteral("/discover")));
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 2, 30000);
        page->runJavaScript(action);
        QTRY_COMPARE_WITH_TIMEOUT(chosen.count(), 1, 30000);
        QCOMPARE(chosen.at(0).at(0).toString(), boxName);
        QCOMPARE(document.boxName->text(), boxName);
        QVERIFY(!document.picker->isVisible());
        QTest::qWait(200);
        QCOMPARE(chosen.count(), 1);
    }

    void otherPagesLoadInTheSheet()
    {
        DocumentWindow document(m_server.host());
        QSignalSpy chosen(document.picker, &BoxPicker::boxChosen);
        auto* progress = document.picker->findChild<QWidget*>(QStringLiteral("piLoading"));
        QVERIFY(progress);
        document.picker->open();
        QVERIFY(progress->isVisible());
        QWebEnginePage* page = document.picker->webView()->page();
        QTRY_COMPARE_WITH_TIMEOUT(page->title(), QStringLiteral("Boxes"), 30000);
        QTRY_VERIFY(!progress->isVisible());

        page->runJavaScript(QStringLiteral("document.getElementById('owner').click()"));
        QTRY_COMPARE_WITH_TIMEOUT(page->title(), QStringLiteral("hashicorp"), 30000);
        QCOMPARE(page->url().toString(), m_server.ownerLink());
        QVERIFY(document.picker->isVisible());
        QCOMPARE(document.boxName->text(), QStringLiteral("ubuntu/trusty64"));
        QCOMPARE(chosen.count(), 0);

        // Opening the sheet again starts over at the search page.
        document.picker->cancelBox();
        document.picker->open();
        QTRY_COMPARE_WITH_TIMEOUT(page->title(), QStringLiteral("Boxes"), 30000);
        QCOMPARE(page->url(), document.picker->searchPageUrl());
    }

    void cancelLeavesTheBoxNameAlone()
    {
        DocumentWindow document(m_server.host());
        QSignalSpy chosen(document.picker, &BoxPicker::boxChosen);
        document.picker->open();
        QWebEnginePage* page = document.picker->webView()->page();
        QTRY_COMPARE_WITH_TIMEOUT(page->title(), QStringLiteral("Boxes"), 30000);

        auto* cancel = document.picker->findChild<QPushButton*>(QStringLiteral("btnCancel"));
        QVERIFY(cancel);
        cancel->click();
        QVERIFY(!document.picker->isVisible());
        QCOMPARE(document.picker->result(), int(QDialog::Rejected));
        QCOMPARE(document.boxName->text(), QStringLiteral("ubuntu/trusty64"));
        QCOMPARE(chosen.count(), 0);
    }

    void unreachableCatalogueIsExplained()
    {
        // A port with nothing behind it, later served again for "Try Again".
        CatalogueServer later;
        QVERIFY(later.listen());
        const quint16 port = later.port();
        later.close();

        DocumentWindow document(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)));
        document.picker->open();
        auto* content = document.picker->findChild<QStackedWidget*>(QStringLiteral("stkContent"));
        auto* error = document.picker->findChild<QWidget*>(QStringLiteral("pageError"));
        auto* title = document.picker->findChild<QLabel*>(QStringLiteral("lblErrorTitle"));
        QVERIFY(content && error && title);
        QTRY_COMPARE_WITH_TIMEOUT(content->currentWidget(), error, 30000);
        QCOMPARE(title->text(), QStringLiteral("The box catalogue could not be loaded."));
        QVERIFY(document.picker->isVisible());
        test::saveScreenshot(document.picker, QStringLiteral("box-picker-offline"));

        if (!later.listen(port))
            QSKIP("the port was taken in the meantime");
        document.picker->findChild<QPushButton*>(QStringLiteral("btnRetry"))->click();
        QWebEnginePage* page = document.picker->webView()->page();
        QTRY_COMPARE_WITH_TIMEOUT(page->title(), QStringLiteral("Boxes"), 30000);
        QVERIFY(content->currentWidget() != error);
    }

private:
    // The browser draws asynchronously; wait until the page shows in a grab of the sheet.
    static void saveSheetScreenshot(BoxPicker* picker, const QString& name)
    {
        QWebEngineView* view = picker->webView();
        const bool drawn = QTest::qWaitFor(
            [&] {
                const QImage image = view->grab().toImage();
                const QColor corner = image.pixelColor(image.width() / 2, 10);
                return corner == QColor(0x15, 0x63, 0xff);
            },
            10000);
        if (!drawn)
            qWarning("the page did not show in the screenshot");
        test::saveScreenshot(picker, name);
    }

    CatalogueServer m_server;
};

// The sheet a document window shows: the catalogue runs in the picker program (a process of its
// own, with the browser engine), and the chosen name comes back on its standard output.
class TestBoxPickerSheet : public QObject
{
    Q_OBJECT

    CatalogueServer m_server;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        m_server.setChoosesOnLoad(true);
        BoxPickerSheet::setPickerProgram(
            QStringLiteral(VESK_BINARY_DIR "/src/app/libexec/vesk-boxpicker"));
    }

    void nameComesBackFromThePickerProgram()
    {
        QWidget window;
        auto* field = new QLineEdit(&window);
        window.show();
        BoxPickerSheet sheet(&window);
        sheet.setBoxNameField(field);
        sheet.setCatalogueHost(m_server.host());
        QSignalSpy chosen(&sheet, &BoxPickerSheet::boxChosen);
        sheet.open();
        QVERIFY(sheet.statusText().startsWith(QStringLiteral("Choose a box in the catalogue")));
        test::saveScreenshot(&sheet, QStringLiteral("box-picker-sheet"));
        QTRY_COMPARE_WITH_TIMEOUT(chosen.count(), 1, 60000);
        QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("picked/bybrowser"));
        QCOMPARE(field->text(), QStringLiteral("picked/bybrowser"));
        QVERIFY(!sheet.isVisible());
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
    }

    // The document window's own command: the name arrives in its box field, counted as a change.
    void documentWindowTakesTheChosenBox()
    {
        BoxPickerSheet::setDefaultCatalogueHost(m_server.host());
        DocumentController documents;
        VeskDocument* document = documents.newDocument();
        document->chooseBox();
        QVERIFY(document->boxPicker() && document->boxPicker()->isVisible());
        QCOMPARE(document->boxPicker()->catalogueHost(), m_server.host());
        QTRY_COMPARE_WITH_TIMEOUT(document->vcVesk()->txtBoxName()->text(),
                                  QStringLiteral("picked/bybrowser"), 60000);
        QVERIFY(document->isDocumentEdited());
        QVERIFY(!document->boxPicker()->isVisible());
    }

    void missingPickerIsSaidPlainly()
    {
        BoxPickerSheet::setPickerProgram(QStringLiteral("/nonexistent/vesk-boxpicker"));
        QWidget window;
        auto* field = new QLineEdit(QStringLiteral("kept/box"), &window);
        window.show();
        BoxPickerSheet sheet(&window);
        sheet.setBoxNameField(field);
        sheet.open();
        QTRY_VERIFY(
            sheet.statusText().startsWith(QStringLiteral("The box picker could not be started: ")));
        QVERIFY(sheet.isVisible());
        QVERIFY(sheet.findChild<QPushButton*>(QStringLiteral("btnRetry"))->isVisible());
        QCOMPARE(field->text(), QStringLiteral("kept/box"));
        sheet.cancelBox();
        QVERIFY(!sheet.isVisible());
        BoxPickerSheet::setPickerProgram(
            QStringLiteral(VESK_BINARY_DIR "/src/app/libexec/vesk-boxpicker"));
    }
};

VESK_TEST(TestBoxPickerRule)
VESK_TEST(TestBoxPickerPage)
VESK_TEST(TestBoxPickerSheet)
#include "tst_BoxPicker.moc"
