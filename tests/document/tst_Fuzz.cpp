#include <random>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "DataModel.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VagrantFileTemplateHelper.h"

using namespace vesk;

namespace {

// Values of every JSON type, including the ones a document should never hold.
QJsonValue randomValue(std::mt19937& random, int depth = 0)
{
    switch (random() % (depth > 2 ? 6 : 8)) {
    case 0:
        return QJsonValue();
    case 1:
        return bool(random() % 2);
    case 2:
        return double(int(random() % 140000) - 2000);
    case 3:
        return double(random()) / 7.0;
    case 4:
        return QStringLiteral("(null)");
    case 5: {
        static const char* texts[] = {
            "",           "8080",      " 22 ",    "http", "{{{boxName}}}",
            "\"quoted\"", "ünïcödé ✓", "a\nb\tc", "-1",   "99999999999999999999"};
        return QString::fromUtf8(texts[random() % std::size(texts)]);
    }
    case 6: {
        QJsonArray array;
        for (int i = int(random() % 4); i > 0; --i)
            array.append(randomValue(random, depth + 1));
        return array;
    }
    default: {
        static const char* keys[] = {"from", "to", "host", "guest", "x"};
        QJsonObject object;
        for (int i = int(random() % 4); i > 0; --i)
            object.insert(QLatin1String(keys[random() % std::size(keys)]),
                          randomValue(random, depth + 1));
        return object;
    }
    }
}

QJsonObject validDocument(std::mt19937& random)
{
    QJsonArray ports;
    QJsonArray folders;
    for (int i = int(random() % 5); i > 0; --i)
        ports.append(QJsonObject{{QStringLiteral("from"), int(random() % 65536)},
                                 {QStringLiteral("to"), int(random() % 65536)}});
    for (int i = int(random() % 5); i > 0; --i)
        folders.append(QJsonObject{{QStringLiteral("host"), QStringLiteral("/h/%1").arg(i)},
                                   {QStringLiteral("guest"), QStringLiteral("/g/%1").arg(i)}});
    return QJsonObject{
        {QStringLiteral("veskVersion"), int(1 + random() % 2)},
        {QStringLiteral("boxName"), QStringLiteral("debian/bookworm64")},
        {QStringLiteral("bootstrapShellCode"), QStringLiteral("echo hi")},
        {QStringLiteral("additionalVagrantCommands"), QString()},
        {QStringLiteral("portForwards"), ports},
        {QStringLiteral("syncedDirectories"), folders},
        {QStringLiteral("modificationDate"), QStringLiteral("Sun, Dec 06 2026 11:54 PM")},
        {QStringLiteral("UUID"), QStringLiteral("0D5C6F1E-8B7A-4C3D-9E2F-1A2B3C4D5E6F")},
        {QStringLiteral("remoteURL"), QStringLiteral("http://127.0.0.1/x.vesk")},
        {QStringLiteral("preamble"), QString()},
        {QStringLiteral("revision"), int(random() % 10)}};
}

// Replaces one member, somewhere in the tree, by a value of any type.
void mutateStructure(QJsonObject& object, std::mt19937& random)
{
    static const char* keys[] = {"veskVersion",
                                 "boxName",
                                 "bootstrapShellCode",
                                 "additionalVagrantCommands",
                                 "portForwards",
                                 "syncedDirectories",
                                 "modificationDate",
                                 "UUID",
                                 "remoteURL",
                                 "preamble",
                                 "revision"};
    const QString key = QLatin1String(keys[random() % std::size(keys)]);
    QJsonValue value = object.value(key);
    if (value.isArray() && !value.toArray().isEmpty() && random() % 2) {
        QJsonArray array = value.toArray();
        const qsizetype index = qsizetype(random() % array.size());
        if (array.at(index).isObject() && random() % 2) {
            QJsonObject entry = array.at(index).toObject();
            static const char* entryKeys[] = {"from", "to", "host", "guest"};
            const QString entryKey = QLatin1String(entryKeys[random() % 4]);
            if (random() % 3 == 0)
                entry.remove(entryKey);
            else
                entry.insert(entryKey, randomValue(random));
            array[index] = entry;
        } else {
            array[index] = randomValue(random);
        }
        object.insert(key, array);
    } else if (random() % 4 == 0) {
        object.remove(key);
    } else {
        object.insert(key, randomValue(random));
    }
}

// Flips, drops or inserts bytes: most results are not JSON at all.
void mutateBytes(QByteArray& bytes, std::mt19937& random)
{
    if (bytes.isEmpty())
        return;
    const qsizetype at = qsizetype(random() % bytes.size());
    switch (random() % 4) {
    case 0:
        bytes[at] = char(random() % 256);
        break;
    case 1:
        bytes.truncate(at);
        break;
    case 2:
        bytes.insert(at, "\",{}[]:0\\"[random() % 9]);
        break;
    default:
        bytes.remove(at, qsizetype(random() % 8));
        break;
    }
}

} // namespace

class TestFuzz : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Whatever a file holds, reading never crashes, and what is accepted renders and survives
    // being written and read back unchanged.
    void mutatedDocuments()
    {
        std::mt19937 random(20261210);
        int accepted = 0;
        int refused = 0;
        const int rounds = qEnvironmentVariableIsSet("VESK_SANITIZED") ? 1500 : 6000;
        for (int round = 0; round < rounds; ++round) {
            QJsonObject object = validDocument(random);
            for (int i = int(random() % 4); i > 0; --i)
                mutateStructure(object, random);
            QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
            if (round % 3 == 0) {
                for (int i = 1 + int(random() % 3); i > 0; --i)
                    mutateBytes(bytes, random);
            }

            DataModel model;
            if (!model.loadData(bytes)) {
                ++refused;
                continue;
            }
            ++accepted;
            const VagrantFileTemplateHelper helper(model);
            QVERIFY(helper.templateString().has_value());
            QVERIFY(helper.displayTemplateString().has_value());

            const QByteArray written = model.dataRepresentation();
            DataModel again;
            QString reason;
            QVERIFY2(again.loadData(written, &reason),
                     qPrintable(reason + QString::fromUtf8(written)));
            QCOMPARE(again.portForwards(), model.portForwards());
            QCOMPARE(again.syncedDirectories(), model.syncedDirectories());
            QCOMPARE(again.boxName(), model.boxName());
            QCOMPARE(again.UUID(), model.UUID());
            QCOMPARE(again.revision(), model.revision());
            QCOMPARE(*VagrantFileTemplateHelper(again).templateString(), *helper.templateString());
        }
        // Both paths were exercised.
        QVERIFY(accepted > rounds / 10);
        QVERIFY(refused > rounds / 10);
    }
};

VESK_TEST(TestFuzz)
#include "tst_Fuzz.moc"
