#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "DownloadWindowController.h"
#include "LocalHttpServer.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Workspace.h"

using namespace vesk;
using test::LocalHttpServer;

namespace {

// A list of texts from plain literals.
QStringList list(std::initializer_list<const char*> items)
{
    QStringList result;
    for (const char* item : items)
        result.append(QString::fromUtf8(item));
    return result;
}

QByteArray packageBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

QStringList downloadsContent()
{
    return QDir(DownloadWindowController::downloadsFolder())
        .entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Waits for the window's download to be over and returns how it ended.
DownloadWindowController::State waitForEnd(DownloadWindowController* window)
{
    QPointer<DownloadWindowController> guard(window);
    auto ended = std::make_shared<bool>(false);
    auto state = std::make_shared<DownloadWindowController::State>();
    QObject::connect(window, &DownloadWindowController::downloadEnded, window, [=] {
        *ended = true;
        *state = guard->state();
    });
    if (!QTest::qWaitFor([&] { return *ended; }, 20000))
        return DownloadWindowController::State::Ready;
    return *state;
}

} // namespace

class TestDownloads : public QObject
{
    Q_OBJECT

    RecordingWorkspace* m_workspace = nullptr;
    LocalHttpServer* m_server = nullptr;

    QStringList openedFiles() const
    {
        QStringList files;
        for (const RecordingWorkspace::Call& call : m_workspace->calls) {
            if (call.kind == QStringLiteral("openFile"))
                files.append(call.target);
        }
        return files;
    }
    QString host() const { return m_server->url(QString()).toString(); }
    QString inDownloads(const QString& name) const
    {
        return QDir(DownloadWindowController::downloadsFolder()).filePath(name);
    }

private Q_SLOTS:
    void init()
    {
        m_workspace = new RecordingWorkspace;
        Workspace::setShared(std::unique_ptr<Workspace>(m_workspace));
        m_server = new LocalHttpServer(this);
        QVERIFY(m_server->listen());
        QDir(DownloadWindowController::downloadsFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(DownloadWindowController::downloadsFolder()));
    }
    void cleanup()
    {
        delete m_server;
        m_server = nullptr;
        Workspace::setShared(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void installers_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("path");
        QTest::newRow("VirtualBox") << 0 << "Downloading VirtualBox..."
                                    << "The VirtualBox install program is now downloading."
                                    << "/virtualbox.pkg";
        QTest::newRow("Vagrant") << 1 << "Downloading Vagrant..."
                                 << "The Vagrant install program is now downloading."
                                 << "/vagrant.pkg";
    }
    void installers()
    {
        QFETCH(int, which);
        QFETCH(QString, title);
        QFETCH(QString, description);
        QFETCH(QString, path);
        const QByteArray body = packageBytes(300 * 1024);
        m_server->setResponse(path, {200, {{"Content-Type", "application/octet-stream"}}, body});
        const InstallerDownload installer =
            which == 0 ? InstallerDownload::virtualBox() : InstallerDownload::vagrant();
        QPointer<DownloadWindowController> window =
            DownloadWindowController::startInstallerDownload(installer, host());
        QCOMPARE(window->windowTitle(), title);
        QCOMPARE(window->description(), description);
        QVERIFY(window->isVisible());
        QCOMPARE(window->fileURL(), m_server->url(path));
        QVERIFY(window->openAfterComplete());

        QList<double> progress;
        connect(window, &DownloadWindowController::downloadEnded, this,
                [&] { progress.append(window->progress()); });
        QCOMPARE(waitForEnd(window), DownloadWindowController::State::Finished);
        QCOMPARE(progress, QList<double>{1.0});
        const QString stored = inDownloads(path.mid(1));
        QCOMPARE(test::readFile(stored), body);
        QCOMPARE(openedFiles(), QStringList{stored});
        // The window goes away once the download is over.
        QTRY_VERIFY(!window);
        QCOMPARE(m_server->requestsFor(path).size(), 1);
        // None of the default headers of the other request forms: the client's own only.
        QVERIFY(!m_server->requestsFor(path).first().header("User-Agent").startsWith("Vesk"));
    }

    void cancelOpensNothing()
    {
        m_server->setResponse(QStringLiteral("/vagrant.pkg"),
                              {200, {}, packageBytes(1024), /*delayMs*/ 3000});
        QPointer<DownloadWindowController> window =
            DownloadWindowController::startInstallerDownload(InstallerDownload::vagrant(), host());
        bool completionRan = false;
        QTRY_COMPARE(m_server->requestsFor(QStringLiteral("/vagrant.pkg")).size(), 1);
        connect(window, &DownloadWindowController::downloadEnded, this,
                [&] { completionRan = true; });
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnCancel")),
                          Qt::LeftButton);
        QTRY_VERIFY(completionRan);
        QTRY_VERIFY(!window);
        QVERIFY(openedFiles().isEmpty());
        QVERIFY(downloadsContent().isEmpty());
    }

    void httpErrorIsAFailure_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("not found") << 404 << "404 (Not Found)";
        QTest::newRow("server error") << 500 << "500 (Internal Server Error)";
    }
    void httpErrorIsAFailure()
    {
        QFETCH(int, status);
        QFETCH(QString, says);
        m_server->setResponse(QStringLiteral("/vagrant.pkg"),
                              LocalHttpServer::Response::text("<html>no such file</html>", status));
        QPointer<DownloadWindowController> window =
            DownloadWindowController::startInstallerDownload(InstallerDownload::vagrant(), host());
        QCOMPARE(waitForEnd(window), DownloadWindowController::State::Failed);
        QVERIFY(openedFiles().isEmpty());
        QVERIFY(downloadsContent().isEmpty());
        // The window stays and says what failed, and where.
        QVERIFY(window && window->isVisible());
        const QString address = m_server->url(QStringLiteral("/vagrant.pkg")).toString();
        QVERIFY2(window->failureText().contains(address), qPrintable(window->failureText()));
        QVERIFY2(window->failureText().contains(says), qPrintable(window->failureText()));
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("lblStatus"))->text(),
                 window->failureText());
        if (status == 404)
            test::saveScreenshot(window, QStringLiteral("download-failed"));
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnCancel")),
                          Qt::LeftButton);
        QTRY_VERIFY(!window);
    }

    void unreachableServerIsAFailure()
    {
        const QString address = host();
        m_server->close();
        QPointer<DownloadWindowController> window =
            DownloadWindowController::startInstallerDownload(InstallerDownload::vagrant(), address);
        QCOMPARE(waitForEnd(window), DownloadWindowController::State::Failed);
        QVERIFY(window->failureText().contains(address + QStringLiteral("/vagrant.pkg")));
        QVERIFY(openedFiles().isEmpty());
        window->close();
    }

    void nameClash_data()
    {
        QTest::addColumn<QStringList>("earlier");
        QTest::addColumn<QString>("expected");
        QTest::newRow("an earlier vagrant.pkg") << list({"vagrant.pkg"}) << "vagrant-1.pkg";
        QTest::newRow("two earlier ones")
            << list({"vagrant.pkg", "vagrant-1.pkg"}) << "vagrant-2.pkg";
        QTest::newRow("only a numbered one") << list({"vagrant-1.pkg"}) << "vagrant.pkg";
    }
    void nameClash()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QString, expected);
        for (const QString& name : earlier)
            QVERIFY(test::writeFile(inDownloads(name), "old " + name.toUtf8()));
        const QByteArray body = packageBytes(4096);
        m_server->setResponse(QStringLiteral("/vagrant.pkg"), {200, {}, body});
        DownloadWindowController* window =
            DownloadWindowController::startInstallerDownload(InstallerDownload::vagrant(), host());
        QCOMPARE(waitForEnd(window), DownloadWindowController::State::Finished);
        QCOMPARE(openedFiles(), QStringList{inDownloads(expected)});
        QCOMPARE(test::readFile(inDownloads(expected)), body);
        for (const QString& name : earlier)
            QCOMPARE(test::readFile(inDownloads(name)), "old " + name.toUtf8());
    }

    void missingDownloadsFolderIsNotCreated()
    {
        QVERIFY(QDir(DownloadWindowController::downloadsFolder()).removeRecursively());
        m_server->setResponse(QStringLiteral("/vagrant.pkg"), {200, {}, packageBytes(100)});
        QPointer<DownloadWindowController> window =
            DownloadWindowController::startInstallerDownload(InstallerDownload::vagrant(), host());
        QCOMPARE(waitForEnd(window), DownloadWindowController::State::Failed);
        QVERIFY(openedFiles().isEmpty());
        QVERIFY(!QFileInfo::exists(DownloadWindowController::downloadsFolder()));
        QVERIFY2(window->failureText().contains(inDownloads(QStringLiteral("vagrant.pkg"))),
                 qPrintable(window->failureText()));
        window->close();
    }

    void serverSuggestedNameStaysInDownloads()
    {
        m_server->setResponse(
            QStringLiteral("/vagrant.pkg"),
            {200,
             {{"Content-Disposition", R"(attachment; filename="../../x/vagrant_2.4.pkg")"}},
             packageBytes(100)});
        DownloadWindowController* window =
            DownloadWindowController::startInstallerDownload(InstallerDownload::vagrant(), host());
        QCOMPARE(waitForEnd(window), DownloadWindowController::State::Finished);
        QCOMPARE(openedFiles(), QStringList{inDownloads(QStringLiteral("vagrant_2.4.pkg"))});
    }

    void twoDownloadsSideBySide()
    {
        const QByteArray body = packageBytes(200 * 1024);
        m_server->setResponse(QStringLiteral("/virtualbox.pkg"), {200, {}, body, 200});
        QPointer<DownloadWindowController> first = DownloadWindowController::startInstallerDownload(
            InstallerDownload::virtualBox(), host());
        QPointer<DownloadWindowController> second =
            DownloadWindowController::startInstallerDownload(InstallerDownload::virtualBox(),
                                                             host());
        QVERIFY(first != second);
        QVERIFY(first->isVisible() && second->isVisible());
        QVERIFY(first->pos() != second->pos());
        int ended = 0;
        for (DownloadWindowController* window : {first.data(), second.data()})
            connect(window, &DownloadWindowController::downloadEnded, this, [&, window] {
                QCOMPARE(window->progress(), 1.0);
                ++ended;
            });
        QTRY_COMPARE_WITH_TIMEOUT(ended, 2, 20000);
        QCOMPARE(m_server->requestsFor(QStringLiteral("/virtualbox.pkg")).size(), 2);
        QStringList opened = openedFiles();
        opened.sort();
        QCOMPARE(opened, (QStringList{inDownloads(QStringLiteral("virtualbox-1.pkg")),
                                      inDownloads(QStringLiteral("virtualbox.pkg"))}));
        QCOMPARE(test::readFile(opened.at(0)), body);
        QCOMPARE(test::readFile(opened.at(1)), body);
    }

    void progressOnlyMovesForward()
    {
        DownloadWindowController window;
        auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progressIndicator"));
        window.setProgress(0.42);
        QCOMPARE(window.progress(), 0.42);
        QCOMPARE(bar->value(), 420);
        window.setProgress(0.1);
        QCOMPARE(window.progress(), 0.42);
        window.setProgress(7.0);
        QCOMPARE(window.progress(), 1.0);
    }

    void screenshotInProgress()
    {
        auto* window = new DownloadWindowController;
        window->setWindowTitleAndDescription(InstallerDownload::vagrant().windowTitle,
                                             InstallerDownload::vagrant().description);
        window->setFileURL(QUrl(QStringLiteral("https://vesk.example.org/downloads/vagrant.pkg")));
        window->setProgress(0.42);
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("lblStatus"))->text(),
                 QStringLiteral("42% from vesk.example.org"));
        window->show();
        test::saveScreenshot(window, QStringLiteral("download-progress"));
        QPointer<DownloadWindowController> guard(window);
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!guard);
    }
};

VESK_TEST(TestDownloads)
#include "tst_Downloads.moc"
