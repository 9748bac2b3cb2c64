#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "TestMain.h"
#include "TestSupport.h"

namespace {

struct MachinesRun
{
    int status = -1;
    QString out;
    QString err;
};

// Runs the real program as a script would: its own home, and no display at all.
MachinesRun runMachines(const QString& home, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VESK_BINARY_DIR "/src/app/vesk"),
                  QStringList{QStringLiteral("machines")} + arguments);
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString indexIn(const QString& home)
{
    return home + QStringLiteral("/.vagrant.d/data/machine-index/index");
}

// Three machines, deliberately not in id order; the last one has only a name.
const QByteArray kIndex =
    R"({"version":1,"machines":{)"
    R"("f00ba4c1d2e3f4a5b6c7d8e9f0a1b2c3":{"local_data_path":"/home/u/Projects/web/.vagrant",)"
    R"("name":"default","provider":"virtualbox","state":"running","extra_data":{}},)"
    R"("0aa1":{"local_data_path":"/srv/my db/.vagrant","name":"db","provider":"libvirt",)"
    R"("state":"poweroff"},)"
    R"("c3c3c3c3c3":{"name":"worker"}}})";

} // namespace

class TestMachinesCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void init() { QDir(m_home.filePath(QStringLiteral(".vagrant.d"))).removeRecursively(); }

    void alignedLinesInIndexOrder()
    {
        QVERIFY(vesk::test::writeFile(indexIn(m_home.path()), kIndex));
        const MachinesRun run = runMachines(m_home.path(), {});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out,
                 QStringLiteral("web     f00ba4c  running   virtualbox  /home/u/Projects/web\n"
                                "db      0aa1     poweroff  libvirt     /srv/my db\n"
                                "worker  c3c3c3c  -         -           -\n"));
    }

    void json()
    {
        QVERIFY(vesk::test::writeFile(indexIn(m_home.path()), kIndex));
        const MachinesRun run = runMachines(m_home.path(), {QStringLiteral("--json")});
        QCOMPARE(run.status, 0);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const auto machine = [](const char* id, const char* name, const char* friendlyName,
                                QJsonValue state, QJsonValue provider, QJsonValue path) {
            return QJsonObject{{QStringLiteral("id"), QString::fromUtf8(id)},
                               {QStringLiteral("name"), QString::fromUtf8(name)},
                               {QStringLiteral("friendlyName"), QString::fromUtf8(friendlyName)},
                               {QStringLiteral("state"), state},
                               {QStringLiteral("provider"), provider},
                               {QStringLiteral("path"), path}};
        };
        const QJsonValue null(QJsonValue::Null);
        const QJsonArray expected{machine("f00ba4c1d2e3f4a5b6c7d8e9f0a1b2c3", "default", "web",
                                          QStringLiteral("running"), QStringLiteral("virtualbox"),
                                          QStringLiteral("/home/u/Projects/web")),
                                  machine("0aa1", "db", "db", QStringLiteral("poweroff"),
                                          QStringLiteral("libvirt"), QStringLiteral("/srv/my db")),
                                  machine("c3c3c3c3c3", "worker", "worker", null, null, null)};
        QCOMPARE(document.array(), expected);
    }

    void absentOrBrokenIndexIsAnEmptyList_data()
    {
        QTest::addColumn<QByteArray>("index"); // empty: no file at all
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("output");
        const QByteArray truncated = kIndex.left(kIndex.size() / 2);
        QTest::newRow("no index") << QByteArray() << ""
                                  << "";
        QTest::newRow("no index, json") << QByteArray() << "--json"
                                        << "[\n]\n";
        QTest::newRow("truncated index") << truncated << ""
                                         << "";
        QTest::newRow("truncated index, json") << truncated << "--json"
                                               << "[\n]\n";
        QTest::newRow("machines not an object") << QByteArray(R"({"machines":[1]})") << "--json"
                                                << "[\n]\n";
    }
    void absentOrBrokenIndexIsAnEmptyList()
    {
        QFETCH(QByteArray, index);
        QFETCH(QString, option);
        QFETCH(QString, output);
        if (!index.isEmpty())
            QVERIFY(vesk::test::writeFile(indexIn(m_home.path()), index));
        const MachinesRun run =
            runMachines(m_home.path(), option.isEmpty() ? QStringList() : QStringList{option});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, output);
        QCOMPARE(run.err, QString());
    }

    // An index that is not a regular file is read as no index: the command neither blocks on a
    // FIFO nor reads a device for ever.
    void specialIndexFilesAreEmptyLists_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link to /dev/zero") << "zero";
        QTest::newRow("folder") << "folder";
    }
    void specialIndexFilesAreEmptyLists()
    {
        QFETCH(QString, kind);
        const QString index = indexIn(m_home.path());
        QVERIFY(QDir().mkpath(QFileInfo(index).path()));
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(index).constData(), 0600), 0);
        else if (kind == QLatin1String("zero"))
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), index));
        else
            QVERIFY(QDir().mkpath(index));
        QElapsedTimer timer;
        timer.start();
        const MachinesRun run = runMachines(m_home.path(), {QStringLiteral("--json")});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QStringLiteral("[\n]\n"));
        QVERIFY2(timer.elapsed() < 10000, "the command blocked");
    }

    // Names come from other programs' files: in the text listing a control character is shown,
    // never sent to the terminal, and a newline cannot split a row. The JSON keeps the text.
    void controlCharactersAreShownNotSent()
    {
        const QString name = QStringLiteral("evil\x1b]0;owned\x07\nfake row");
        const QJsonObject machine{
            {QStringLiteral("name"), name},
            {QStringLiteral("provider"), QStringLiteral("libvirt\tx")},
            {QStringLiteral("state"), QStringLiteral("running")},
            {QStringLiteral("local_data_path"), QStringLiteral("/srv/a\rb/.vagrant")}};
        const QJsonObject index{
            {QStringLiteral("version"), 1},
            {QStringLiteral("machines"), QJsonObject{{QStringLiteral("ab12"), machine}}}};
        QVERIFY(vesk::test::writeFile(indexIn(m_home.path()), QJsonDocument(index).toJson()));
        const MachinesRun text = runMachines(m_home.path(), {});
        QCOMPARE(text.status, 0);
        QCOMPARE(text.out, QStringLiteral("evil\\x1b]0;owned\\x07\\nfake row  ab12  running  "
                                          "libvirt\\tx  /srv/a\\rb\n"));
        const MachinesRun json = runMachines(m_home.path(), {QStringLiteral("--json")});
        const QJsonArray machines = QJsonDocument::fromJson(json.out.toUtf8()).array();
        QCOMPARE(machines.at(0)[QStringLiteral("name")].toString(), name);
    }

    void unknownOption()
    {
        const MachinesRun run = runMachines(m_home.path(), {QStringLiteral("--xml")});
        QCOMPARE(run.status, 2);
        QCOMPARE(run.out, QString());
        QVERIFY(run.err.contains(QStringLiteral("vesk machines [--json]")));
    }
};

VESK_TEST(TestMachinesCommand)
#include "tst_Machines.moc"
