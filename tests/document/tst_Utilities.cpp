#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include "TestMain.h"
#include "TestSupport.h"
#include "Utilities.h"

using namespace vesk;

class TestUtilities : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        test::setLocale("en_US");
        test::setTimeZone("UTC");
    }

    void standardDateString_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("local");
        QTest::addColumn<QString>("expected");
        const QDate dec6(2026, 12, 6);
        QTest::newRow("late evening")
            << QByteArray("Europe/Berlin") << QDateTime(dec6, QTime(23, 54))
            << "Sun, Dec 06 2026 11:54 PM";
        QTest::newRow("leading zero hour")
            << QByteArray("America/New_York") << QDateTime(dec6, QTime(9, 5))
            << "Sun, Dec 06 2026 09:05 AM";
        QTest::newRow("noon") << QByteArray("UTC") << QDateTime(QDate(2026, 1, 1), QTime(12, 0))
                              << "Thu, Jan 01 2026 12:00 PM";
        QTest::newRow("midnight") << QByteArray("Asia/Tokyo")
                                  << QDateTime(QDate(2026, 7, 4), QTime(0, 30))
                                  << "Sat, Jul 04 2026 12:30 AM";
    }
    void standardDateString()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, local);
        QFETCH(QString, expected);
        test::setTimeZone(zone);
        // Build the instant from the wall-clock reading in that zone.
        const QDateTime instant(local.date(), local.time(), QTimeZone(zone));
        QCOMPARE(vesk::standardDateString(instant), expected);
        const std::optional<QDateTime> parsed = vesk::standardDate(expected);
        QVERIFY(parsed.has_value());
        QCOMPARE(parsed->toMSecsSinceEpoch(), instant.toMSecsSinceEpoch());
    }

    void standardDateRefusesOtherText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("ISO date") << "2026-12-06T23:54:00";
        QTest::newRow("24-hour clock") << "Sun, Dec 06 2026 23:54";
        QTest::newRow("trailing text") << "Sun, Dec 06 2026 11:54 PM and more";
        QTest::newRow("German names") << "So., Dez. 06 2026 11:54 PM";
        QTest::newRow("month out of range") << "Sun, Foo 06 2026 11:54 PM";
    }
    void standardDateRefusesOtherText()
    {
        QFETCH(QString, text);
        QVERIFY(!vesk::standardDate(text).has_value());
    }

    void otherLocaleNames()
    {
        test::setLocale("de_DE");
        const QDateTime instant(QDate(2026, 12, 6), QTime(23, 54), QTimeZone::utc());
        const QString text = vesk::standardDateString(instant);
        QVERIFY2(text.startsWith(QStringLiteral("So")), qPrintable(text));
        QCOMPARE(vesk::standardDate(text)->toMSecsSinceEpoch(), instant.toMSecsSinceEpoch());
    }

    void GMTDateShowsUtcWallClock_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("UTC+2") << QByteArray("Africa/Cairo");
        QTest::newRow("UTC-5") << QByteArray("America/Bogota");
        QTest::newRow("UTC+5:45") << QByteArray("Asia/Kathmandu");
        QTest::newRow("UTC") << QByteArray("UTC");
    }
    void GMTDateShowsUtcWallClock()
    {
        QFETCH(QByteArray, zone);
        test::setTimeZone(zone);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const QString shown = vesk::standardDateString(vesk::GMTDate());
        const QDateTime after = QDateTime::currentDateTimeUtc();
        // The text reads the UTC time of day, whatever the zone says.
        test::setTimeZone("UTC");
        const QString expectedBefore = vesk::standardDateString(before);
        const QString expectedAfter = vesk::standardDateString(after);
        QVERIFY2(shown == expectedBefore || shown == expectedAfter, qPrintable(shown));
    }

    void UUIDStrings()
    {
        static const QRegularExpression form(
            QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
        QSet<QString> seen;
        for (int i = 0; i < 100; ++i) {
            const QString uuid = vesk::UUIDString();
            QCOMPARE(uuid.size(), 36);
            QVERIFY2(form.match(uuid).hasMatch(), qPrintable(uuid));
            seen.insert(uuid);
        }
        QCOMPARE(seen.size(), 100);
    }

    void applicationSupportDirectoryIsCreated()
    {
        const QString expected = test::homePath() + QStringLiteral("/.local/share/Vesk");
        QDir(expected).removeRecursively();
        QCOMPARE(vesk::applicationSupportDirectory(), expected);
        QVERIFY(QDir(expected).exists());
        test::writeFile(expected + QStringLiteral("/keep.txt"), "kept");
        QCOMPARE(vesk::applicationSupportDirectory(), expected);
        QCOMPARE(test::readFile(expected + QStringLiteral("/keep.txt")), QByteArray("kept"));
    }

    void shortDateIsNumeric()
    {
        const QDateTime date(QDate(2026, 12, 6), QTime(10, 0), QTimeZone::utc());
        QCOMPARE(vesk::shortDateString(date), QStringLiteral("12/6/26"));
        test::setLocale("de_DE");
        QCOMPARE(vesk::shortDateString(date), QStringLiteral("06.12.26"));
    }

    void atomicWriteReportsFailure()
    {
        const QString folder = test::homePath() + QStringLiteral("/atomic");
        QDir().mkpath(folder);
        QString reason;
        QVERIFY(vesk::writeFileAtomically(folder + QStringLiteral("/a.txt"), "one", &reason));
        QVERIFY(vesk::writeFileAtomically(folder + QStringLiteral("/a.txt"), "two", &reason));
        QCOMPARE(test::readFile(folder + QStringLiteral("/a.txt")), QByteArray("two"));
        QVERIFY(
            !vesk::writeFileAtomically(folder + QStringLiteral("/missing/a.txt"), "x", &reason));
        QVERIFY(!reason.isEmpty());
    }

    // A write that fails part-way (the file may not grow past 4 KiB, as on a full disk) keeps
    // the old file byte for byte and leaves no temporary file behind.
    void atomicWriteSurvivesAFullDisk_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("just past the limit") << 4097;
        QTest::newRow("many buffers past it") << 200000;
    }
    void atomicWriteSurvivesAFullDisk()
    {
        QFETCH(int, size);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("web.vesk"));
        const QByteArray old = "{\"veskVersion\":2,\"boxName\":\"old\"}";
        QVERIFY(test::writeFile(path, old));
        QString reason;
        {
            test::ScopedFileSizeLimit limit(4096);
            QVERIFY(!vesk::writeFileAtomically(path, QByteArray(size, 'x'), &reason));
            // Within the limit all is well.
            QVERIFY(vesk::writeFileAtomically(folder.filePath(QStringLiteral("small")), "ok"));
        }
        QCOMPARE(reason, QStringLiteral("File too large"));
        QCOMPARE(test::readFile(path), old);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"small", "web.vesk"}));
    }

    // Documents behind a link stay behind it; exported files and scripts replace the link.
    void atomicWriteAndLinks_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::addColumn<bool>("dangling");
        QTest::newRow("followed") << true << false;
        QTest::newRow("followed, dangling") << true << true;
        QTest::newRow("replaced") << false << false;
        QTest::newRow("replaced, dangling") << false << true;
    }
    void atomicWriteAndLinks()
    {
        QFETCH(bool, follow);
        QFETCH(bool, dangling);
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("elsewhere/target"));
        QDir().mkpath(folder.filePath(QStringLiteral("elsewhere")));
        if (!dangling)
            QVERIFY(test::writeFile(target, "target"));
        const QString link = folder.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(target, link));
        QVERIFY(vesk::writeFileAtomically(link, "new", nullptr,
                                          follow ? vesk::AtomicFile::Links::Follow
                                                 : vesk::AtomicFile::Links::Replace));
        QCOMPARE(test::readFile(link), QByteArray("new"));
        QCOMPARE(QFileInfo(link).isSymLink(), follow);
        if (follow)
            QCOMPARE(test::readFile(target), QByteArray("new"));
        else
            QCOMPARE(QFileInfo::exists(target), !dangling);
        if (!follow && !dangling)
            QCOMPARE(test::readFile(target), QByteArray("target"));
    }

    void atomicWriteKeepsPermissions()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run.sh"));
        QVERIFY(test::writeFile(path, "old"));
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner | QFileDevice::ReadGroup);
        QVERIFY(vesk::writeFileAtomically(path, "new"));
        const QFileDevice::Permissions kept = QFileInfo(path).permissions();
        QVERIFY(kept & QFileDevice::ExeOwner);
        QVERIFY(kept & QFileDevice::ReadGroup);
        QVERIFY(!(kept & QFileDevice::ReadOther));
        vesk::AtomicFile secret(folder.filePath(QStringLiteral("token")));
        secret.setOwnerOnly(true);
        QVERIFY(secret.write("s3cret") && secret.commit());
        const QFileDevice::Permissions token =
            QFileInfo(folder.filePath(QStringLiteral("token"))).permissions();
        QVERIFY(token & QFileDevice::ReadOwner);
        QVERIFY(!(token & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                           QFileDevice::ReadOther | QFileDevice::WriteOther)));
    }
};

VESK_TEST(TestUtilities)
#include "tst_Utilities.moc"
