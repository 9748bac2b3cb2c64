#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "AppDelegate.h"
#include "DocumentController.h"
#include "DownloadWindowController.h"
#include "LocalHttpServer.h"
#include "SoftwareInstaller.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Workspace.h"

using namespace vesk;
using vesk::test::LocalHttpServer;

namespace {

const QString kService = QStringLiteral("org.freedesktop.PackageKit");
const QString kPath = QStringLiteral("/org/freedesktop/PackageKit");

// PackageKit's session interface as far as Vesk uses it: records each call and answers as told.
class FakePackageKit : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.PackageKit.Modify2")

public:
    explicit FakePackageKit(QDBusConnection connection) : m_connection(connection) {}

    QList<QStringList> calls;
    QString desktopId;
    /// Empty: the packages are installed; else the name of the error to answer with.
    QString errorName;

public Q_SLOTS:
    void InstallPackageNames(const QStringList& packages, const QString& interaction,
                             const QString& desktop, const QVariantMap& platformData,
                             const QDBusMessage& message)
    {
        Q_UNUSED(interaction)
        Q_UNUSED(platformData)
        calls.append(packages);
        desktopId = desktop;
        if (!errorName.isEmpty()) {
            message.setDelayedReply(true);
            m_connection.send(message.createErrorReply(errorName, QStringLiteral("not today")));
        }
    }

private:
    QDBusConnection m_connection;
};

} // namespace

// Install VirtualBox / Install Vagrant on Linux: the desktop's installer over a private session
// bus, the vendor's package from a loopback server, or the download page.
class TestInstallers : public QObject
{
    Q_OBJECT

    test::PrivateSessionBus m_bus;
    std::unique_ptr<FakePackageKit> m_packageKit;
    std::unique_ptr<LocalHttpServer> m_server;
    RecordingWorkspace* m_workspace = nullptr;
    QTemporaryDir m_folder;

    void osRelease(const QByteArray& text)
    {
        const QString path = m_folder.filePath(QStringLiteral("os-release"));
        QVERIFY(test::writeFile(path, text));
        SoftwareInstaller::setOsReleasePath(path);
    }
    QStringList calls(const QString& kind) const
    {
        QStringList targets;
        for (const RecordingWorkspace::Call& call : m_workspace->calls) {
            if (call.kind == kind)
                targets.append(call.target);
        }
        return targets;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A session bus of this test's own, before anything in the process connects to one.
        const QByteArray address = m_bus.start();
        QVERIFY2(!address.isEmpty(), "dbus-daemon could not be started");
        QDBusConnection service =
            QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("fake"));
        QVERIFY(service.isConnected());
        m_packageKit = std::make_unique<FakePackageKit>(service);
        QVERIFY(service.registerObject(kPath, m_packageKit.get(), QDBusConnection::ExportAllSlots));
        m_server = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->listen());
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
    }
    void init()
    {
        m_workspace = new RecordingWorkspace;
        Workspace::setShared(std::unique_ptr<Workspace>(m_workspace));
        m_packageKit->calls.clear();
        m_server->clearRequests();
        m_packageKit->errorName.clear();
        QDBusConnection::connectToBus(QString(), QStringLiteral("fake")).registerService(kService);
        QDir(DownloadWindowController::downloadsFolder()).removeRecursively();
        QDir().mkpath(DownloadWindowController::downloadsFolder());
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        SoftwareInstaller::setOsReleasePath(QStringLiteral("/etc/os-release"));
    }

    void desktopInstallerComesFirst_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("errorName");
        QTest::newRow("vagrant installed") << "vagrant"
                                           << "";
        QTest::newRow("virtualbox installed") << "virtualbox"
                                              << "";
        QTest::newRow("cancelled in the desktop's dialog")
            << "vagrant"
            << "org.freedesktop.PackageKit.Modify.Cancelled";
    }
    void desktopInstallerComesFirst()
    {
        QFETCH(QString, product);
        QFETCH(QString, errorName);
        m_packageKit->errorName = errorName;
        osRelease("ID=debian\n");
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.setDownloadHost(m_server->url(QString()).toString());
        if (product == QLatin1String("vagrant"))
            delegate.installVagrant();
        else
            delegate.installVirtualBox();
        QTRY_COMPARE(m_packageKit->calls, QList<QStringList>{QStringList{product}});
        QCOMPARE(m_packageKit->desktopId, QStringLiteral("vesk.desktop"));
        QTest::qWait(300);
        // Nothing downloaded or opened: the desktop's installer did it, or the user said no.
        QVERIFY(m_server->requests().isEmpty());
        QVERIFY(m_workspace->calls.isEmpty());
    }

    void vendorPackageOtherwise_data()
    {
        QTest::addColumn<bool>("serviceThere");
        QTest::addColumn<QByteArray>("osRelease");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("path");
        QTest::newRow("no PackageKit, Ubuntu")
            << false << QByteArray("NAME=\"Ubuntu\"\nID=ubuntu\nID_LIKE=debian\n") << "vagrant"
            << "/vagrant.deb";
        QTest::newRow("PackageKit fails, Fedora")
            << true << QByteArray("ID=fedora\n") << "virtualbox"
            << "/virtualbox.rpm";
        QTest::newRow("no PackageKit, openSUSE")
            << false << QByteArray("ID=\"opensuse-tumbleweed\"\nID_LIKE=\"opensuse suse\"\n")
            << "vagrant"
            << "/vagrant.rpm";
    }
    void vendorPackageOtherwise()
    {
        QFETCH(bool, serviceThere);
        QFETCH(QByteArray, osRelease);
        QFETCH(QString, product);
        QFETCH(QString, path);
        if (serviceThere)
            m_packageKit->errorName = QStringLiteral("org.freedesktop.PackageKit.Modify.Failed");
        else
            QDBusConnection::connectToBus(QString(), QStringLiteral("fake"))
                .unregisterService(kService);
        this->osRelease(osRelease);
        m_server->setResponse(path, LocalHttpServer::Response::text("package bytes"));
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.setDownloadHost(m_server->url(QString()).toString());
        if (product == QLatin1String("vagrant"))
            delegate.installVagrant();
        else
            delegate.installVirtualBox();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requestsFor(path).size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(calls(QStringLiteral("openFile")).size(), 1, 10000);
        QVERIFY(calls(QStringLiteral("openFile")).first().endsWith(path.mid(1)));
        QCOMPARE(m_server->requestsFor(path).size(), 1);
        QCOMPARE(m_packageKit->calls.size(), serviceThere ? 1 : 0);
    }

    void downloadPageWhenTheFormatIsUnknown()
    {
        QDBusConnection::connectToBus(QString(), QStringLiteral("fake"))
            .unregisterService(kService);
        osRelease("ID=arch\n");
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.setDownloadHost(m_server->url(QString()).toString());
        delegate.installVagrant();
        QTRY_COMPARE(
            calls(QStringLiteral("openUrl")),
            QStringList{QStringLiteral("https://developer.hashicorp.com/vagrant/install")});
        QVERIFY(m_server->requests().isEmpty());
    }

    void packageFormats_data()
    {
        QTest::addColumn<QByteArray>("osRelease");
        QTest::addColumn<QString>("format");
        QTest::newRow("Debian") << QByteArray("ID=debian\n") << "deb";
        QTest::newRow("Mint, quoted")
            << QByteArray("ID=\"linuxmint\"\nID_LIKE=\"ubuntu debian\"\n") << "deb";
        QTest::newRow("Rocky") << QByteArray("ID=\"rocky\"\nID_LIKE=\"rhel centos fedora\"\n")
                               << "rpm";
        QTest::newRow("Arch") << QByteArray("ID=arch\n") << "";
        QTest::newRow("nothing") << QByteArray() << "";
    }
    void packageFormats()
    {
        QFETCH(QByteArray, osRelease);
        QFETCH(QString, format);
        QCOMPARE(SoftwareInstaller::packageFormat(osRelease), format);
    }
};

VESK_TEST(TestInstallers)
#include "tst_Installers.moc"
