#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include "CrashReporter.h"
#include "TestMain.h"
#include "TestSupport.h"

using namespace vesk;

class TestCrashReporter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QDir(CrashReporter::logFolder()).removeRecursively(); }

    void logFolderIsUnderVeskDataFolder()
    {
        QCOMPARE(CrashReporter::logFolder(),
                 QDir::homePath() + QStringLiteral("/.local/share/Vesk/Logs/CrashReporter"));
    }

    void fatalSignalWritesLog_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("signalName");
        QTest::addColumn<QString>("frame");
        QTest::newRow("segmentation fault") << "segv" << 11 << "SIGSEGV"
                                            << "crashWithSegmentationFault";
        QTest::newRow("abort") << "abort" << 6 << "SIGABRT"
                               << "(abort+";
    }
    void fatalSignalWritesLog()
    {
        QFETCH(QString, how);
        QFETCH(int, signal);
        QFETCH(QString, signalName);
        QFETCH(QString, frame);

        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        QProcess helper;
        helper.setProgram(QStringLiteral(SHELL_CRASH_HELPER));
        helper.setArguments({how});
        // Under AddressSanitizer the fatal signals are left to the program, as in a release build.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) +
                               QStringLiteral(":handle_segv=0:handle_sigbus=0:handle_sigfpe=0:"
                                              "handle_sigill=0:handle_abort=0"));
        helper.setProcessEnvironment(environment);
        helper.start();
        QVERIFY(helper.waitForFinished(60000));
        const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);

        // It still dies of the signal, so the system sees a crash.
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        QCOMPARE(helper.exitCode(), signal);

        const QDir folder(CrashReporter::logFolder());
        const QStringList logs = folder.entryList(QDir::Files);
        QCOMPARE(logs.size(), 1);
        const QRegularExpressionMatch name =
            QRegularExpression(
                QStringLiteral("^shell_crash_helper_(\\d{4}-\\d{2}-\\d{2}-\\d{6})\\.crash$"))
                .match(logs.first());
        QVERIFY2(name.hasMatch(), qPrintable(logs.first()));
        // The name carries the UTC time of the crash itself.
        QDateTime stamp =
            QDateTime::fromString(name.captured(1), QStringLiteral("yyyy-MM-dd-HHmmss"));
        stamp.setTimeZone(QTimeZone::utc());
        QVERIFY2(stamp >= before.addMSecs(-before.time().msec()) && stamp <= after,
                 qPrintable(stamp.toString(Qt::ISODate)));

        const QString path = folder.filePath(logs.first());
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFileDevice::Permissions());
        const QString log = QString::fromUtf8(test::readFile(path));
        QVERIFY2(
            log.contains(QStringLiteral("Signal:          %1 (%2)").arg(signal).arg(signalName)),
            qPrintable(log));
        QVERIFY(log.contains(QStringLiteral("Process:         shell_crash_helper [")));
        QVERIFY(log.contains(QStringLiteral("Date/Time:       ") +
                             stamp.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                             QStringLiteral(" UTC")));
        const qsizetype backtrace = log.indexOf(QStringLiteral("\nBacktrace:\n"));
        QVERIFY(backtrace > 0);
        const QStringList frames =
            log.mid(backtrace).split(u'\n', Qt::SkipEmptyParts).filter(QStringLiteral("[0x"));
        QVERIFY2(frames.size() >= 3, qPrintable(log));
        QVERIFY2(log.contains(frame), qPrintable(log));
        // The secret is not written into logs that users send.
        QVERIFY(!log.contains(QStringLiteral("00000000-0000-4000-8000-000000000000")));
    }

    void withoutCrashNothingIsWritten()
    {
        QProcess helper;
        helper.start(QStringLiteral(SHELL_CRASH_HELPER), {QStringLiteral("live")});
        QVERIFY(helper.waitForFinished(60000));
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper.exitCode(), 0);
        QCOMPARE(helper.readAllStandardOutput().trimmed(), QByteArray("still alive"));
        QVERIFY(QDir(CrashReporter::logFolder()).entryList(QDir::Files).isEmpty());
    }

    void startRecordsSecretAndServices()
    {
        CrashReporter& reporter = CrashReporter::sharedInstance();
        const QString secret = QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427");
        QVERIFY(reporter.start(secret, {QStringLiteral("Analytics"), QStringLiteral("Crashes")}));
        QVERIFY(reporter.isStarted());
        QCOMPARE(reporter.secret(), secret);
        QCOMPARE(reporter.services(),
                 QStringList({QStringLiteral("Analytics"), QStringLiteral("Crashes")}));
        QVERIFY(QFileInfo(CrashReporter::logFolder()).isDir());
    }
};

VESK_TEST(TestCrashReporter)
#include "tst_CrashReporter.moc"
