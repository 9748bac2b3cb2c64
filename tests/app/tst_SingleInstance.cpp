#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "SingleInstance.h"
#include "TestMain.h"

using namespace vesk;

namespace {

// A helper process whose output lines are collected as they come.
class Helper
{
public:
    explicit Helper(const QStringList& arguments, const QString& folder = QString())
    {
        m_process.setProgram(QStringLiteral(SHELL_SINGLE_INSTANCE_HELPER));
        m_process.setArguments(arguments);
        if (!folder.isEmpty())
            m_process.setWorkingDirectory(folder);
        m_process.start();
    }
    ~Helper()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    QStringList lines()
    {
        m_output += m_process.readAllStandardOutput();
        return QString::fromUtf8(m_output).split(u'\n', Qt::SkipEmptyParts);
    }
    QProcess& process() { return m_process; }
    /// Waits for the end (which the event loop may already have seen).
    bool finish()
    {
        if (m_process.state() != QProcess::NotRunning)
            m_process.waitForFinished(30000);
        return m_process.state() == QProcess::NotRunning;
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

    QString m_name;

private Q_SLOTS:
    void init()
    {
        QDir().mkpath(qEnvironmentVariable("XDG_RUNTIME_DIR"));
        static int counter = 0;
        m_name = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR"))
                     .filePath(QStringLiteral("vesk-test-%1.socket").arg(++counter));
    }

    void defaultNameIsPerUserInRuntimeFolder()
    {
        const QString name = SingleInstance::defaultServerName();
        QCOMPARE(QFileInfo(name).absolutePath(),
                 QFileInfo(qEnvironmentVariable("XDG_RUNTIME_DIR")).absoluteFilePath());
        QVERIFY(QFileInfo(name).fileName().contains(QString::number(::getuid())));
    }

    void secondProcessHandsOverFiles_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("relative paths, in order")
            << QStringList{QStringLiteral("web.vesk"), QStringLiteral("sub/db.vesk")}
            << "open: %1/web.vesk|%1/sub/db.vesk";
        QTest::newRow("absolute path and file URL")
            << QStringList{QStringLiteral("/srv/a b.vesk"),
                           QStringLiteral("file:///srv/c%20d.vesk")}
            << "open: /srv/a b.vesk|/srv/c d.vesk";
        QTest::newRow("no file asks to activate") << QStringList{} << "activate";
    }
    void secondProcessHandsOverFiles()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QTemporaryDir folder;
        Helper first({QStringLiteral("--name"), m_name});
        QTRY_COMPARE(first.lines().value(0), QStringLiteral("primary ") + m_name);

        Helper second(QStringList{QStringLiteral("--name"), m_name} + arguments, folder.path());
        QVERIFY(second.finish());
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process().exitCode(), 0);
        QCOMPARE(second.lines(), QStringList{QStringLiteral("sent")});
        QTRY_COMPARE(first.lines().size(), 2);
        QCOMPARE(first.lines().at(1), expected.arg(QFileInfo(folder.path()).absoluteFilePath()));
    }

    void staleSocketIsReplaced()
    {
        {
            Helper crashed({QStringLiteral("--name"), m_name});
            QTRY_COMPARE(crashed.lines().value(0), QStringLiteral("primary ") + m_name);
            crashed.process().kill(); // SIGKILL: the socket file stays behind
            QVERIFY(crashed.process().waitForFinished(10000));
        }
        QVERIFY(QFileInfo::exists(m_name));

        Helper next({QStringLiteral("--name"), m_name});
        QTRY_COMPARE(next.lines().value(0), QStringLiteral("primary ") + m_name);
        Helper second({QStringLiteral("--name"), m_name, QStringLiteral("/x.vesk")});
        QVERIFY(second.finish());
        QCOMPARE(second.process().exitCode(), 0);
        QTRY_COMPARE(next.lines().value(1), QStringLiteral("open: /x.vesk"));
    }

    void garbageFromAnotherProgramIsIgnored()
    {
        SingleInstance instance(m_name);
        QCOMPARE(instance.start({}), SingleInstance::Role::Primary);
        QSignalSpy opened(&instance, &SingleInstance::openFilesRequested);
        QSignalSpy activated(&instance, &SingleInstance::activationRequested);

        QLocalSocket intruder;
        intruder.connectToServer(m_name);
        QVERIFY(intruder.waitForConnected(5000));
        intruder.write(QByteArray("\x00\x00\x00\x08hello!!!", 12));
        intruder.flush();
        QTRY_COMPARE(intruder.state(), QLocalSocket::UnconnectedState);
        QLocalSocket huge;
        huge.connectToServer(m_name);
        QVERIFY(huge.waitForConnected(5000));
        huge.write(QByteArray("\x7f\xff\xff\xff", 4));
        huge.flush();
        QTRY_COMPARE(huge.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(opened.count(), 0);
        QCOMPARE(activated.count(), 0);

        // Still serving the real thing.
        Helper second({QStringLiteral("--name"), m_name, QStringLiteral("/y.vesk")});
        QTRY_COMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toStringList(), QStringList{QStringLiteral("/y.vesk")});
        QVERIFY(second.finish());
        QCOMPARE(second.lines(), QStringList{QStringLiteral("sent")});
    }
};

VESK_TEST(TestSingleInstance)
#include "tst_SingleInstance.moc"
