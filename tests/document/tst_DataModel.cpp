#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include "DataModel.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Utilities.h"

using namespace vesk;

namespace {

QJsonObject parse(const QByteArray& bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

QByteArray fixture(const char* name)
{
    return test::readFile(QStringLiteral(VESK_FIXTURES_DIR "/documents/") + QLatin1String(name));
}

} // namespace

class TestDataModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        test::setLocale("en_US");
        test::setTimeZone("UTC");
    }

    void freshModelWritesDefaults()
    {
        DataModel model;
        const QByteArray bytes = model.dataRepresentation();
        QVERIFY(!bytes.contains('\n'));
        QVERIFY(!bytes.contains(": "));
        const QJsonObject object = parse(bytes);
        QCOMPARE(object.value(QStringLiteral("veskVersion")).toInt(), 2);
        QCOMPARE(object.value(QStringLiteral("bootstrapShellCode")), QJsonValue(QString()));
        QCOMPARE(object.value(QStringLiteral("additionalVagrantCommands")), QJsonValue(QString()));
        QCOMPARE(object.value(QStringLiteral("preamble")), QJsonValue(QString()));
        QCOMPARE(object.value(QStringLiteral("portForwards")), QJsonValue(QJsonArray()));
        QCOMPARE(object.value(QStringLiteral("syncedDirectories")), QJsonValue(QJsonArray()));
        QCOMPARE(object.value(QStringLiteral("UUID")).toString(), model.UUID());
        QCOMPARE(model.UUID().size(), 36);
        QCOMPARE(object.value(QStringLiteral("revision")).toInt(), 1);
        QVERIFY(standardDate(object.value(QStringLiteral("modificationDate")).toString()));
        QVERIFY(!object.contains(QStringLiteral("boxName")));
        QVERIFY(!object.contains(QStringLiteral("remoteURL")));
        // Writing normalised the model itself.
        QCOMPARE(model.bootstrapShellCode(), std::optional<QString>(QString()));
        QCOMPARE(model.preamble(), std::optional<QString>(QString()));
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QByteArray("veskVersion: 2") << "not JSON";
        QTest::newRow("truncated")
            << QByteArray(R"({"veskVersion":2,"boxName":"deb)") << "not JSON";
        QTest::newRow("empty") << QByteArray() << "not JSON";
        QTest::newRow("top-level array") << QByteArray("[1,2]") << "no JSON object";
        QTest::newRow("no version") << QByteArray(R"({"boxName":"a"})") << "no veskVersion";
        QTest::newRow("version 3") << QByteArray(R"({"veskVersion":3})") << "veskVersion 3";
        QTest::newRow("version 0") << QByteArray(R"({"veskVersion":0})") << "veskVersion 0";
        QTest::newRow("version text") << QByteArray(R"({"veskVersion":"two"})") << "veskVersion 0";
        QTest::newRow("version list") << QByteArray(R"({"veskVersion":[2]})") << "veskVersion 0";
        QTest::newRow("ports not a list")
            << QByteArray(R"({"veskVersion":2,"portForwards":"8080:80"})") << "not a list";
        QTest::newRow("folders not a list")
            << QByteArray(R"({"veskVersion":1,"syncedDirectories":{"host":"a"}})") << "not a list";
        QTest::newRow("port entry not an object")
            << QByteArray(R"({"veskVersion":2,"portForwards":[8080]})") << "not an object";
        QTest::newRow("port without from")
            << QByteArray(R"({"veskVersion":2,"portForwards":[{"to":80}]})") << "has no \"from\"";
        QTest::newRow("port is a word")
            << QByteArray(R"({"veskVersion":2,"portForwards":[{"from":"http","to":80}]})")
            << "valid \"from\"";
        QTest::newRow("port out of range")
            << QByteArray(R"({"veskVersion":2,"portForwards":[{"from":70000,"to":80}]})")
            << "valid \"from\"";
        QTest::newRow("port fraction")
            << QByteArray(R"({"veskVersion":2,"portForwards":[{"from":80,"to":80.5}]})")
            << "valid \"to\"";
        QTest::newRow("port negative")
            << QByteArray(R"({"veskVersion":2,"portForwards":[{"from":-1,"to":80}]})")
            << "valid \"from\"";
        QTest::newRow("folder without guest")
            << QByteArray(R"({"veskVersion":2,"syncedDirectories":[{"host":"/a"}]})")
            << "synced folder 1";
        QTest::newRow("folder host a number")
            << QByteArray(R"({"veskVersion":2,"syncedDirectories":[{"host":1,"guest":"/a"}]})")
            << "synced folder 1";
        QTest::newRow("box name a number")
            << QByteArray(R"({"veskVersion":2,"boxName":42})") << "\"boxName\" is not text";
        QTest::newRow("script a list")
            << QByteArray(R"({"veskVersion":1,"bootstrapShellCode":["a"]})") << "not text";
        QTest::newRow("revision a word")
            << QByteArray(R"({"veskVersion":2,"revision":"new"})") << "whole number";
        QTest::newRow("UUID a number")
            << QByteArray(R"({"veskVersion":2,"UUID":5})") << "\"UUID\" is not text";
        QTest::newRow("escape \\x")
            << QByteArray(R"({"veskVersion":2,"boxName":"a\x41"})") << "invalid escape";
        QTest::newRow("escape \\q")
            << QByteArray(R"({"veskVersion":2,"boxName":"\q"})") << "invalid escape";
        QTest::newRow("short \\u")
            << QByteArray(R"({"veskVersion":2,"boxName":"\u12"})") << "invalid escape";
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        DataModel model;
        model.setBoxName(QStringLiteral("kept"));
        const QString uuid = model.UUID();
        QSignalSpy portSpy(&model, &DataModel::portForwardsChanged);
        QString message;
        QVERIFY(!model.loadData(bytes, &message));
        QVERIFY2(message.contains(reason), qPrintable(message));
        // Untouched: nothing half-read, no observer told of a change.
        QCOMPARE(model.boxName(), std::optional<QString>(QStringLiteral("kept")));
        QCOMPARE(model.UUID(), uuid);
        QCOMPARE(model.revision(), std::optional<int>(1));
        QCOMPARE(portSpy.count(), 0);
    }

    void acceptedVariants_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("firstPort");
        QTest::newRow("version as text") << QByteArray(R"({"veskVersion":"2"})") << -1;
        QTest::newRow("version 2.0") << QByteArray(R"({"veskVersion":2.0})") << -1;
        QTest::newRow("version 1 as text") << QByteArray(R"({"veskVersion":"1"})") << -1;
        QTest::newRow("port as text")
            << QByteArray(R"({"veskVersion":2,"portForwards":[{"from":"3000","to":" 80"}]})")
            << 3000;
        QTest::newRow("nulls count as absent")
            << QByteArray(R"({"veskVersion":2,"boxName":null,"portForwards":null,"revision":null})")
            << -1;
        QTest::newRow("unknown keys ignored")
            << QByteArray(
                   R"({"veskVersion":2,"colour":"red","portForwards":[{"from":1,"to":2,"x":0}]})")
            << 1;
        QTest::newRow("escaped text")
            << QByteArray(
                   R"({"veskVersion":2,"boxName":"\u0064ebian","portForwards":[{"from":22,"to":22}]})")
            << 22;
    }
    void acceptedVariants()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, firstPort);
        DataModel model;
        QString message;
        QVERIFY2(model.loadData(bytes, &message), qPrintable(message));
        if (firstPort >= 0)
            QCOMPARE(model.portForwards().value(0).from, firstPort);
        const QJsonObject written = parse(model.dataRepresentation());
        QVERIFY(!written.contains(QStringLiteral("colour")));
        QCOMPARE(written.value(QStringLiteral("veskVersion")).toInt(), 2);
    }

    // A surrogate escape without its partner reads as U+FFFD, so that the window, `render` and
    // the exported file all show the same character; a proper pair stays one character.
    void surrogateEscapes_data()
    {
        QTest::addColumn<QByteArray>("escaped");
        QTest::addColumn<QString>("text");
        const QString bad(QChar::ReplacementCharacter);
        QTest::newRow("lone high") << QByteArray(R"(a\ud800b)") << "a" + bad + "b";
        QTest::newRow("lone high at end") << QByteArray(R"(a\uD800)") << "a" + bad;
        QTest::newRow("lone low") << QByteArray(R"(\udc00)") << bad;
        QTest::newRow("high then escape") << QByteArray(R"(\ud800\n)") << bad + "\n";
        QTest::newRow("two highs") << QByteArray(R"(\ud800\ud800)") << bad + bad;
        QTest::newRow("pair") << QByteArray(R"(\ud83d\ude00)") << QStringLiteral("\U0001F600");
        QTest::newRow("escaped backslash before u") << QByteArray(R"(\\ud800)") << "\\ud800";
    }
    void surrogateEscapes()
    {
        QFETCH(QByteArray, escaped);
        QFETCH(QString, text);
        DataModel model;
        QString message;
        QVERIFY2(model.loadData(R"({"veskVersion":2,"boxName":")" + escaped + R"("})", &message),
                 qPrintable(message));
        QCOMPARE(model.boxName(), std::optional<QString>(text));
        // What is written reads back the same.
        DataModel again;
        QVERIFY(again.loadData(model.dataRepresentation()));
        QCOMPARE(again.boxName(), std::optional<QString>(text));
    }

    void version1File()
    {
        DataModel model;
        QVERIFY(model.loadData(fixture("version1.vesk")));
        QCOMPARE(model.boxName(), std::optional<QString>(QStringLiteral("hashicorp/precise64")));
        QCOMPARE(model.bootstrapShellCode(),
                 std::optional<QString>(QStringLiteral("apt-get install -y nginx\n")));
        QCOMPARE(model.additionalVagrantCommands(),
                 std::optional<QString>(QStringLiteral("config.vm.hostname = \"web\"")));
        QCOMPARE(model.portForwards(), (QList<PortForward>{{8080, 80}}));
        QCOMPARE(model.syncedDirectories(),
                 (QList<SyncedFolder>{{QStringLiteral("./site"), QStringLiteral("/var/www")}}));
        // Version 1 had no identity, revision, address or preamble: those keys are not read.
        QVERIFY(model.UUID() != QStringLiteral("11111111-2222-3333-4444-555555555555"));
        QCOMPARE(model.revision(), std::optional<int>(1));
        QCOMPARE(model.remoteURL(), std::nullopt);
        QCOMPARE(model.preamble(), std::nullopt);
        QCOMPARE(model.modificationDate(), std::nullopt);

        DataModel again;
        QVERIFY(again.loadData(fixture("version1.vesk")));
        QVERIFY(again.UUID() != model.UUID());

        const QJsonObject written = parse(model.dataRepresentation());
        QCOMPARE(written.value(QStringLiteral("veskVersion")).toInt(), 2);
        QCOMPARE(written.value(QStringLiteral("UUID")).toString(), model.UUID());
    }

    void version2File()
    {
        DataModel model;
        QVERIFY(model.loadData(fixture("version2.vesk")));
        QCOMPARE(model.boxName(), std::optional<QString>(QStringLiteral("debian/bookworm64")));
        QCOMPARE(model.portForwards(), (QList<PortForward>{{5432, 5432}, {3000, 3000}}));
        QCOMPARE(
            model.syncedDirectories(),
            (QList<SyncedFolder>{{QStringLiteral("/home/dev/my data"), QStringLiteral("/data")}}));
        QCOMPARE(model.UUID(), QStringLiteral("0D5C6F1E-8B7A-4C3D-9E2F-1A2B3C4D5E6F"));
        QCOMPARE(model.revision(), std::optional<int>(3));
        QCOMPARE(model.remoteURL(),
                 std::optional<QString>(QStringLiteral("http://127.0.0.1:8000/db.vesk")));
        QCOMPARE(model.preamble(),
                 std::optional<QString>(QStringLiteral("# managed by the platform team")));
        QVERIFY(model.modificationDate());
        QCOMPARE(*model.modificationDate(),
                 QDateTime(QDate(2026, 12, 6), QTime(23, 54), QTimeZone::utc()));

        // What was read is what is written back, but for the date of writing.
        DataModel copy;
        QVERIFY(copy.loadData(model.dataRepresentation()));
        QCOMPARE(copy.boxName(), model.boxName());
        QCOMPARE(copy.bootstrapShellCode(), model.bootstrapShellCode());
        QCOMPARE(copy.additionalVagrantCommands(), model.additionalVagrantCommands());
        QCOMPARE(copy.portForwards(), model.portForwards());
        QCOMPARE(copy.syncedDirectories(), model.syncedDirectories());
        QCOMPARE(copy.UUID(), model.UUID());
        QCOMPARE(copy.remoteURL(), model.remoteURL());
        QCOMPARE(copy.preamble(), model.preamble());
        QCOMPARE(copy.revision(), model.revision());
    }

    void textsSurviveWriting()
    {
        QString awkward =
            QStringLiteral("quote \" backslash \\ slash / ünïcödé ✓ 😀 tab\t cr\r nl\n");
        for (char16_t c = 0; c < 0x20; ++c)
            awkward += QChar(c);
        DataModel model;
        model.setBootstrapShellCode(awkward);
        model.setBoxName(awkward);
        model.setSyncedDirectories({{awkward, awkward}});
        model.setRemoteURL(awkward);
        model.setPreamble(awkward);
        model.setAdditionalVagrantCommands(awkward);
        const QByteArray bytes = model.dataRepresentation();
        QJsonParseError error;
        QJsonDocument::fromJson(bytes, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);

        DataModel copy;
        QVERIFY(copy.loadData(bytes));
        QCOMPARE(copy.bootstrapShellCode(), std::optional<QString>(awkward));
        QCOMPARE(copy.boxName(), std::optional<QString>(awkward));
        QCOMPARE(copy.syncedDirectories().value(0).guest, awkward);
        QCOMPARE(copy.remoteURL(), std::optional<QString>(awkward));
        QCOMPARE(copy.preamble(), std::optional<QString>(awkward));
        QCOMPARE(copy.additionalVagrantCommands(), std::optional<QString>(awkward));
    }

    void version2WithoutIdentity()
    {
        DataModel model;
        const QString before = model.UUID();
        QVERIFY(model.loadData(R"({"veskVersion":2})"));
        QVERIFY(model.UUID() != before);
        QCOMPARE(model.UUID().size(), 36);
        QCOMPARE(model.revision(), std::nullopt);
        QVERIFY(model.modificationDate()); // a file without a date gets "now"
        const QJsonObject written = parse(model.dataRepresentation());
        QVERIFY(!written.contains(QStringLiteral("revision")));
    }

    void nullTexts_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("normalised");
        QTest::newRow("v2 script") << 2 << "bootstrapShellCode" << true;
        QTest::newRow("v2 extra lines") << 2 << "additionalVagrantCommands" << true;
        QTest::newRow("v2 preamble") << 2 << "preamble" << true;
        QTest::newRow("v1 script") << 1 << "bootstrapShellCode" << true;
        QTest::newRow("v2 box name stays") << 2 << "boxName" << false;
    }
    void nullTexts()
    {
        QFETCH(int, version);
        QFETCH(QString, key);
        QFETCH(bool, normalised);
        QJsonObject object{{QStringLiteral("veskVersion"), version},
                           {key, QStringLiteral("(null)")}};
        DataModel model;
        QVERIFY(model.loadData(QJsonDocument(object).toJson()));
        const QJsonObject written = parse(model.dataRepresentation());
        QCOMPARE(written.value(key).toString(), normalised ? QString() : QStringLiteral("(null)"));
    }

    void writingNormalisesNullText()
    {
        DataModel model;
        model.setAdditionalVagrantCommands(QStringLiteral("(null)"));
        model.setBootstrapShellCode(std::nullopt);
        model.setPreamble(QStringLiteral("(null)"));
        model.dataRepresentation();
        QCOMPARE(model.additionalVagrantCommands(), std::optional<QString>(QString()));
        QCOMPARE(model.bootstrapShellCode(), std::optional<QString>(QString()));
        QCOMPARE(model.preamble(), std::optional<QString>(QString()));
    }

    void settersNotifyEveryCall()
    {
        DataModel model;
        QSignalSpy ports(&model, &DataModel::portForwardsChanged);
        QSignalSpy folders(&model, &DataModel::syncedDirectoriesChanged);

        model.setPortForwards({{8080, 80}});
        const QList<PortForward> held = model.portForwards();
        QList<PortForward> equal;
        equal.append(PortForward{8080, 80});
        model.setPortForwards(equal);
        QCOMPARE(ports.count(), 2);
        // An equal list keeps the one held.
        QVERIFY(model.portForwards().isSharedWith(held));
        QVERIFY(!model.portForwards().isSharedWith(equal));

        model.setPortForwards({{8080, 81}});
        QCOMPARE(ports.count(), 3);
        QCOMPARE(model.portForwards(), (QList<PortForward>{{8080, 81}}));

        model.setSyncedDirectories({});
        model.setSyncedDirectories({});
        QCOMPARE(folders.count(), 2);
        QCOMPARE(ports.count(), 3);
    }

    void snapshotsAreCopies()
    {
        DataModel model;
        model.setPortForwards({{1, 2}});
        QList<PortForward> snapshot = model.portForwards();
        snapshot.append({3, 4});
        QCOMPARE(model.portForwards().size(), 1);
    }

    void modificationDateIsTimeOfWriting()
    {
        DataModel model;
        QVERIFY(model.loadData(fixture("version2.vesk")));
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const QJsonObject written = parse(model.dataRepresentation());
        const QDateTime after = QDateTime::currentDateTimeUtc();
        const std::optional<QDateTime> date =
            standardDate(written.value(QStringLiteral("modificationDate")).toString());
        QVERIFY(date);
        // Minute precision in the stored text.
        QVERIFY(*date >= before.addSecs(-60) && *date <= after);
        // The model keeps the date it read.
        QCOMPARE(model.modificationDate()->date(), QDate(2026, 12, 6));
    }

    void storedDateIsUtcWallClock()
    {
        // In Berlin the text still reads UTC time, parsed back as local wall-clock time.
        test::setTimeZone("Europe/Berlin");
        DataModel model;
        const QJsonObject written = parse(model.dataRepresentation());
        test::setTimeZone("UTC");
        const QString expected = standardDateString(QDateTime::currentDateTimeUtc());
        const QString stored = written.value(QStringLiteral("modificationDate")).toString();
        QVERIFY2(stored == expected ||
                     stored == standardDateString(QDateTime::currentDateTimeUtc().addSecs(-60)),
                 qPrintable(stored + QStringLiteral(" / ") + expected));
    }
};

VESK_TEST(TestDataModel)
#include "tst_DataModel.moc"
