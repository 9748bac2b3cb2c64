#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "CDEvents.h"
#include "MachineIndex.h"
#include "NotificationCenter.h"
#include "OutputWindowController.h"
#include "SSHHelper.h"
#include "ShellQuote.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "VagrantEnvironment.h"
#include "VagrantHelper.h"
#include "Workspace.h"

using namespace vesk;

namespace {

QString indexPath()
{
    return QDir::homePath() + QStringLiteral("/.vagrant.d/data/machine-index/index");
}

VagrantEnvironmentPtr record(const std::optional<QString>& id, const std::optional<QString>& name,
                             const std::optional<QString>& path,
                             const std::optional<QString>& state = QStringLiteral("running"))
{
    auto environment = std::make_shared<VagrantEnvironment>();
    environment->setHexId(id);
    environment->setName(name);
    environment->setPath(path);
    environment->setStateString(state);
    return environment;
}

// One machine entry of an index, as Vagrant writes it.
QByteArray entry(const QByteArray& name, const QByteArray& state, const QByteArray& dataPath)
{
    return "{\"local_data_path\":\"" + dataPath + "\",\"name\":\"" + name +
           "\",\"provider\":\"virtualbox\",\"state\":\"" + state +
           "\",\"vagrantfile_name\":null,\"updated_at\":null,\"extra_data\":{}}";
}

// A stand-in for vagrant that prints where it runs and what it was given, one line each.
const QByteArray kFakeVagrant = "#!/bin/bash\n"
                                "printf 'cwd=%s\\n' \"$PWD\"\n"
                                "for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
                                "exit \"${FAKE_VAGRANT_STATUS:-0}\"\n";

bool writeExecutable(const QString& path, const QByteArray& text)
{
    if (!test::writeFile(path, text))
        return false;
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
}

// What the fake vagrant printed: its folder and its arguments.
struct FakeRun
{
    QString cwd;
    QStringList arguments;
};

FakeRun parseFakeRun(const QString& output)
{
    FakeRun run;
    // Arguments may hold line breaks; a line that is not a new record continues the last one.
    QString* last = nullptr;
    QStringList lines = output.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (const QString& line : std::as_const(lines)) {
        if (line.startsWith(QStringLiteral("cwd="))) {
            run.cwd = line.mid(4);
            last = &run.cwd;
        } else if (line.startsWith(QStringLiteral("arg="))) {
            run.arguments.append(line.mid(4));
            last = &run.arguments.last();
        } else if (line.startsWith(QStringLiteral("====="))) {
            break;
        } else if (last) {
            *last += u'\n' + line;
        }
    }
    return run;
}

// The permission bits of a file, as ls shows them.
int unixMode(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

VagrantHelper::Options optionsWithVagrant(const QString& vagrant)
{
    VagrantHelper::Options options;
    options.vagrantCandidates = {vagrant};
    options.vboxCandidates = {};
    options.watchIndex = false;
    return options;
}

} // namespace

class TestVagrantEnvironment : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stateRules_data()
    {
        QTest::addColumn<std::optional<QString>>("stateString");
        QTest::addColumn<int>("state");
        // up, halt, reload, suspend, resume, provision, destroy, ssh, share
        QTest::addColumn<QString>("allowed");

        const auto s = [](const char* text) {
            return std::optional<QString>(QString::fromUtf8(text));
        };
        QTest::newRow("poweroff") << s("poweroff") << 0 << "up reload provision destroy";
        QTest::newRow("running") << s("running") << 1
                                 << "halt reload suspend provision destroy ssh share";
        QTest::newRow("saved") << s("saved") << 2
                               << "up halt reload suspend resume provision destroy";
        QTest::newRow("capital Running")
            << s("Running") << 3 << "up halt reload suspend provision destroy";
        QTest::newRow("aborted") << s("aborted") << 3 << "up halt reload suspend provision destroy";
        QTest::newRow("not_created")
            << s("not_created") << 3 << "up halt reload suspend provision destroy";
        QTest::newRow("empty") << s("") << 3 << "up halt reload suspend provision destroy";
        QTest::newRow("absent") << std::optional<QString>() << 3
                                << "up halt reload suspend provision destroy";
    }
    void stateRules()
    {
        QFETCH(std::optional<QString>, stateString);
        QFETCH(int, state);
        QFETCH(QString, allowed);

        const VagrantEnvironmentPtr machine =
            record(QStringLiteral("id"), QStringLiteral("web"), QStringLiteral("/p"), stateString);
        QCOMPARE(int(machine->state()), state);
        QStringList actual;
        const std::pair<const char*, bool> rules[] = {
            {"up", machine->canUp()},           {"halt", machine->canHalt()},
            {"reload", machine->canReload()},   {"suspend", machine->canSuspend()},
            {"resume", machine->canResume()},   {"provision", machine->canProvision()},
            {"destroy", machine->canDestroy()}, {"ssh", machine->canSSH()},
            {"share", machine->canShare()}};
        for (const auto& [name, can] : rules) {
            if (can)
                actual.append(QString::fromLatin1(name));
        }
        QCOMPARE(actual.join(u' '), allowed);
    }

    void friendlyName_data()
    {
        QTest::addColumn<std::optional<QString>>("name");
        QTest::addColumn<std::optional<QString>>("path");
        QTest::addColumn<std::optional<QString>>("friendlyName");
        const auto s = [](const char* text) {
            return std::optional<QString>(QString::fromUtf8(text));
        };
        const std::optional<QString> none;
        QTest::newRow("default uses the folder")
            << s("default") << s("/Users/u/Projects/web") << s("web");
        QTest::newRow("named machine") << s("db") << s("/Users/u/Projects/web") << s("db");
        QTest::newRow("default without path") << s("default") << none << none;
        QTest::newRow("no name") << none << s("/Users/u/Projects/web") << none;
        QTest::newRow("Default is not special") << s("Default") << s("/p/web") << s("Default");
        QTest::newRow("default, folder with blank")
            << s("default") << s("/p/my web") << s("my web");
    }
    void friendlyName()
    {
        QFETCH(std::optional<QString>, name);
        QFETCH(std::optional<QString>, path);
        QFETCH(std::optional<QString>, friendlyName);
        QCOMPARE(record(QStringLiteral("id"), name, path)->friendlyName(), friendlyName);
    }

    void shortId_data()
    {
        QTest::addColumn<std::optional<QString>>("id");
        QTest::addColumn<QString>("shortId");
        QTest::newRow("32 characters")
            << std::optional<QString>(QStringLiteral("0123456789abcdef0123456789abcdef"))
            << "0123456";
        QTest::newRow("shorter than seven")
            << std::optional<QString>(QStringLiteral("abc")) << "abc";
        QTest::newRow("absent") << std::optional<QString>() << "";
    }
    void shortId()
    {
        QFETCH(std::optional<QString>, id);
        QFETCH(QString, shortId);
        QCOMPARE(record(id, QStringLiteral("web"), std::nullopt)->shortId(), shortId);
    }

    void description()
    {
        const VagrantEnvironmentPtr full =
            record(QStringLiteral("abc"), QStringLiteral("web"), QStringLiteral("/p/web"));
        full->setProvider(QStringLiteral("virtualbox"));
        QCOMPARE(full->description(), QStringLiteral("abc, web, virtualbox, running, /p/web"));
        const VagrantEnvironmentPtr sparse =
            record(QStringLiteral("abc"), std::nullopt, std::nullopt, std::nullopt);
        QCOMPARE(sparse->description(), QStringLiteral("abc, (null), (null), (null), (null)"));
    }

    void vagrantFileExists()
    {
        QTemporaryDir folder;
        const VagrantEnvironmentPtr machine =
            record(QStringLiteral("abc"), QStringLiteral("web"), folder.path());
        QVERIFY(!machine->vagrantFileExists());
        QVERIFY(test::writeFile(folder.filePath(QStringLiteral("Vagrantfile")), "# empty\n"));
        QVERIFY(machine->vagrantFileExists());
        QVERIFY(!record(QStringLiteral("abc"), QStringLiteral("web"), std::nullopt)
                     ->vagrantFileExists());
    }

    void pathComponents_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("last");
        QTest::newRow("data folder") << "/Users/u/Projects/web/.vagrant"
                                     << "/Users/u/Projects/web"
                                     << ".vagrant";
        QTest::newRow("trailing slash") << "/a/web/.vagrant/"
                                        << "/a/web"
                                        << ".vagrant";
        QTest::newRow("double slash") << "/a//web"
                                      << "/a"
                                      << "web";
        QTest::newRow("top level") << "/web"
                                   << "/"
                                   << "web";
        QTest::newRow("root") << "/"
                              << "/"
                              << "/";
        QTest::newRow("relative") << "web"
                                  << ""
                                  << "web";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }
    void pathComponents()
    {
        QFETCH(QString, path);
        QFETCH(QString, parent);
        QFETCH(QString, last);
        QCOMPARE(deletingLastPathComponent(path), parent);
        QCOMPARE(lastPathComponent(path), last);
    }
};

class TestVagrantHelperIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QDir(QDir::homePath() + QStringLiteral("/.vagrant.d")).removeRecursively(); }

    void readsEntries()
    {
        const QByteArray index =
            "{\"version\":1,\"machines\":{"
            "\"0123456789abcdef0123456789abcdef\":{\"local_data_path\":\"/Users/u/Projects/web/"
            ".vagrant\",\"name\":\"default\",\"provider\":\"virtualbox\",\"state\":\"running\","
            "\"extra_data\":{\"name\":\"hashicorp/bionic64\",\"provider\":\"virtualbox\","
            "\"version\":\"1.0.282\"},\"vagrantfile_path\":\"/Users/u/Projects/web\"}}}";
        const VagrantEnvironmentDictionary machines = parseMachineIndex(index);
        QCOMPARE(machines.ids(), QStringList{QStringLiteral("0123456789abcdef0123456789abcdef")});
        const VagrantEnvironmentPtr web = machines.value(machines.ids().first());
        QCOMPARE(web->hexId(), QStringLiteral("0123456789abcdef0123456789abcdef"));
        QCOMPARE(web->name(), QStringLiteral("default"));
        QCOMPARE(web->provider(), QStringLiteral("virtualbox"));
        QCOMPARE(web->stateString(), QStringLiteral("running"));
        QCOMPARE(web->path(), QStringLiteral("/Users/u/Projects/web"));
        QCOMPARE(web->friendlyName(), QStringLiteral("web"));
        QCOMPARE(web->boxName(), QStringLiteral("hashicorp/bionic64"));
        QCOMPARE(web->boxProvider(), QStringLiteral("virtualbox"));
        QCOMPARE(web->boxVersion(), QStringLiteral("1.0.282"));
    }

    void keepsIndexOrder()
    {
        // Not sorted either way, so a sorting reader would fail.
        const QByteArray index =
            "{\"machines\":{\"mmm\":" + entry("m", "running", "/p/m/.vagrant") +
            ",\"zzz\":" + entry("z", "saved", "/p/z/.vagrant") +
            ",\"aaa\":" + entry("a", "poweroff", "/p/a/.vagrant") + "}}";
        const VagrantEnvironmentDictionary machines = parseMachineIndex(index);
        QCOMPARE(machines.ids(), (QStringList{QStringLiteral("mmm"), QStringLiteral("zzz"),
                                              QStringLiteral("aaa")}));
        QStringList names;
        for (const VagrantEnvironmentPtr& machine : machines.values())
            names.append(*machine->name());
        QCOMPARE(names,
                 (QStringList{QStringLiteral("m"), QStringLiteral("z"), QStringLiteral("a")}));
    }

    void malformedIndex_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("ids");
        const QByteArray one = "{\"machines\":{\"abc\":" + entry("web", "running", "/p/.vagrant");
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("truncated mid-rewrite") << one.left(one.size() - 9) << QStringList();
        QTest::newRow("missing closing braces") << one << QStringList();
        QTest::newRow("trailing garbage") << one + "}}x" << QStringList();
        QTest::newRow("trailing comma")
            << QByteArray("{\"machines\":{\"abc\":{},}}") << QStringList();
        QTest::newRow("top-level array") << QByteArray("[{\"machines\":{}}]") << QStringList();
        QTest::newRow("top-level string") << QByteArray("\"machines\"") << QStringList();
        QTest::newRow("machines is an array")
            << QByteArray("{\"machines\":[{\"name\":\"x\"}]}") << QStringList();
        QTest::newRow("machines is null") << QByteArray("{\"machines\":null}") << QStringList();
        QTest::newRow("no machines member") << QByteArray("{\"version\":1}") << QStringList();
        QTest::newRow("entry not an object")
            << "{\"machines\":{\"a\":\"running\",\"b\":" + entry("db", "running", "/p/.vagrant") +
                   ",\"c\":[1,2]}}"
            << QStringList{QStringLiteral("b")};
        QTest::newRow("invalid UTF-8 in a value")
            << QByteArray("{\"machines\":{\"a\":{\"name\":\"w\xC3\x28\"}}}") << QStringList();
        QTest::newRow("raw control character") << QByteArray("{\"machines\":{\"a\\u0000b\":{},"
                                                             "\"c\":{\"name\":\"x\ty\"}}}")
                                               << QStringList();
        QTest::newRow("lone surrogate escape")
            << QByteArray("{\"machines\":{\"\\udc00\":{}}}") << QStringList();
        QTest::newRow("nested too deep")
            << "{\"machines\":{\"a\":{}},\"x\":" + QByteArray(100000, '[') +
                   QByteArray(100000, ']') + "}"
            << QStringList();
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF{\"machines\":{\"a\":{}}}")
                                         << QStringList{QStringLiteral("a")};
        QTest::newRow("escaped id and keys")
            << QByteArray("{\"mach\\u0069nes\":{\"caf\\u00e9 \\\"1\\\"\":{\"n\\u0061me\":\"x\"}}}")
            << QStringList{QStringLiteral("caf\u00e9 \"1\"")};
        QTest::newRow("later machines member wins")
            << QByteArray("{\"machines\":{\"a\":{}},\"machines\":{\"b\":{}}}")
            << QStringList{QStringLiteral("b")};
        QTest::newRow("numbers, literals and nesting elsewhere")
            << QByteArray("{\"v\":-1.5e+3,\"t\":[true,false,null,{\"x\":[0]}],\"machines\":{\"a\":"
                          "{\"u\":0.25,\"extra_data\":{\"box\":{\"name\":\"n\"}}}}}")
            << QStringList{QStringLiteral("a")};
        QTest::newRow("bad number")
            << QByteArray("{\"v\":01,\"machines\":{\"a\":{}}}") << QStringList();
    }
    void malformedIndex()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, ids);
        QCOMPARE(parseMachineIndex(json).ids(), ids);
    }

    void wrongMemberTypes()
    {
        const QByteArray index = "{\"machines\":{\"abc\":{\"name\":7,\"provider\":null,\"state\":"
                                 "[\"running\"],\"local_data_path\":{\"p\":1},\"extra_data\":"
                                 "\"box\"}}}";
        const VagrantEnvironmentDictionary machines = parseMachineIndex(index);
        QCOMPARE(machines.ids(), QStringList{QStringLiteral("abc")});
        const VagrantEnvironmentPtr machine = machines.value(QStringLiteral("abc"));
        QCOMPARE(machine->hexId(), QStringLiteral("abc"));
        QCOMPARE(machine->name(), std::nullopt);
        QCOMPARE(machine->provider(), std::nullopt);
        QCOMPARE(machine->stateString(), std::nullopt);
        QCOMPARE(int(machine->state()), int(VagrantEnvironmentStateOther));
        QCOMPARE(machine->path(), std::nullopt);
        QCOMPARE(machine->boxName(), std::nullopt);
    }

    void boxDataWhereVagrantWritesIt()
    {
        // What Vagrant itself writes: the box inside "extra_data" -> "box". The Machines window
        // shows it, so it has to be read from there.
        const QByteArray index = "{\"machines\":{\"abc\":{\"name\":\"web\",\"state\":\"saved\","
                                 "\"extra_data\":{\"box\":{\"name\":\"n\",\"provider\":\"p\","
                                 "\"version\":\"1\"}}}}}";
        const VagrantEnvironmentPtr machine = parseMachineIndex(index).value(QStringLiteral("abc"));
        QVERIFY(machine);
        QCOMPARE(machine->boxName(), QStringLiteral("n"));
        QCOMPARE(machine->boxProvider(), QStringLiteral("p"));
        QCOMPARE(machine->boxVersion(), QStringLiteral("1"));
        QCOMPARE(machine->name(), QStringLiteral("web"));
        QCOMPARE(machine->stateString(), QStringLiteral("saved"));
        // Deeper still is nobody's box.
        const QByteArray deeper = "{\"machines\":{\"abc\":{\"extra_data\":{\"box\":{\"box\":"
                                  "{\"name\":\"n\"}}}}}}";
        QCOMPARE(parseMachineIndex(deeper).value(QStringLiteral("abc"))->boxName(), std::nullopt);
    }

    void missingIndexGivesNoMachines()
    {
        VagrantHelper helper;
        QVERIFY(!QFileInfo::exists(QDir::homePath() + QStringLiteral("/.vagrant.d")));
        QCOMPARE(helper.pathToMachineIndex(), indexPath());
        QCOMPARE(helper.pathToMachineIndexDirectory(),
                 QDir::homePath() + QStringLiteral("/.vagrant.d/data/machine-index"));
        QVERIFY(helper.environmentsArray().isEmpty());
        QCOMPARE(helper.numberOfRunningMachines(), 0u);
        // The folder that does not exist yet is watched all the same.
        QVERIFY(helper.cdEventsIndex());
        QCOMPARE(helper.cdEventsIndex()->watchedURLs(),
                 QList<QUrl>{QUrl::fromLocalFile(helper.pathToMachineIndexDirectory())});
    }

    void indexThatIsAFolderGivesNoMachines()
    {
        QVERIFY(QDir().mkpath(indexPath()));
        QVERIFY(loadMachineIndex(indexPath()).isEmpty());
    }

    void reloadReplacesRecords()
    {
        QVERIFY(test::writeFile(
            indexPath(), "{\"machines\":{\"abc\":" + entry("web", "running", "/p/web/.vagrant") +
                             ",\"def\":" + entry("db", "Running", "/p/web/.vagrant") + "}}"));
        VagrantHelper helper(optionsWithVagrant(QStringLiteral("/nonexistent/vagrant")));
        QCOMPARE(helper.environments().size(), 2);
        QCOMPARE(helper.numberOfRunningMachines(), 1u); // "Running" is not running
        const VagrantEnvironmentPtr before = helper.environments().value(QStringLiteral("abc"));

        QVERIFY(test::writeFile(
            indexPath(),
            "{\"machines\":{\"abc\":" + entry("web", "poweroff", "/p/web/.vagrant") + "}}"));
        helper.loadEnvironments();
        const VagrantEnvironmentPtr after = helper.environments().value(QStringLiteral("abc"));
        QVERIFY(after);
        QVERIFY(before != after);
        QCOMPARE(before->stateString(), QStringLiteral("running"));
        QCOMPARE(after->stateString(), QStringLiteral("poweroff"));
        QCOMPARE(helper.environments().ids(), QStringList{QStringLiteral("abc")});
        QCOMPARE(helper.numberOfRunningMachines(), 0u);

        // Caught halfway through Vagrant's rewrite: the records stay, and one more reading
        // shortly after finds the whole index and tells everyone.
        QSignalSpy posted(&NotificationCenter::defaultCenter(), &NotificationCenter::posted);
        QVERIFY(test::writeFile(indexPath(), "{\"machines\":{\"abc\":{\"name\":"));
        QVERIFY(!helper.loadEnvironments());
        QCOMPARE(helper.environments().value(QStringLiteral("abc")), after);
        QVERIFY(test::writeFile(
            indexPath(), "{\"machines\":{\"abc\":" + entry("web", "running", "/p/web/.vagrant") +
                             ",\"xyz\":" + entry("ci", "running", "/p/ci/.vagrant") + "}}"));
        QTRY_COMPARE(posted.count(), 1);
        QCOMPARE(helper.environments().ids(),
                 (QStringList{QStringLiteral("abc"), QStringLiteral("xyz")}));

        // Still broken at the second look: still the old records, and no polling after that.
        QVERIFY(test::writeFile(indexPath(), "{\"machines\":"));
        QVERIFY(!helper.loadEnvironments());
        QTest::qWait(3 * VagrantHelper::kIndexRetryDelay);
        QCOMPARE(posted.count(), 1);
        QCOMPARE(helper.environments().size(), 2);

        // A removed index is no machines at all.
        QVERIFY(QFile::remove(indexPath()));
        QVERIFY(helper.loadEnvironments());
        QVERIFY(helper.environmentsArray().isEmpty());
    }

    void firstLoadPostsNothing()
    {
        QVERIFY(test::writeFile(
            indexPath(),
            "{\"machines\":{\"abc\":" + entry("web", "running", "/p/web/.vagrant") + "}}"));
        QSignalSpy posted(&NotificationCenter::defaultCenter(), &NotificationCenter::posted);
        VagrantHelper helper(optionsWithVagrant(QStringLiteral("/nonexistent/vagrant")));
        helper.loadEnvironments();
        QCOMPARE(helper.environments().size(), 1);
        QCOMPARE(posted.count(), 0);
    }

    void indexChangeReloadsAndNotifies()
    {
        // Watched before the folder exists, as for a user who has never run Vagrant.
        VagrantHelper helper;
        QList<VagrantEnvironmentDictionary> objects;
        QObject observer;
        NotificationCenter::defaultCenter().observe(
            NOTE_MACHINE_INDEX_CHANGED, &observer, [&objects](const QVariant& object) {
                objects.append(object.value<VagrantEnvironmentDictionary>());
            });

        QVERIFY(test::writeFile(indexPath(), "{\"machines\":{\"abc\":" +
                                                 entry("web", "saved", "/p/web/.vagrant") + "}}"));
        QTRY_VERIFY_WITH_TIMEOUT(!objects.isEmpty() && objects.last().size() == 1, 20000);
        QCOMPARE(helper.environments().ids(), QStringList{QStringLiteral("abc")});
        QCOMPARE(helper.environments().value(QStringLiteral("abc"))->stateString(),
                 QStringLiteral("saved"));
        QCOMPARE(objects.last().value(QStringLiteral("abc"))->stateString(),
                 QStringLiteral("saved"));
    }
};

class TestVagrantCommands : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    QString fakeVagrantIn(const QString& subfolder)
    {
        const QString path = m_folder.filePath(subfolder + QStringLiteral("/vagrant"));
        if (!QFileInfo::exists(path))
            writeExecutable(path, kFakeVagrant);
        return path;
    }

    // Runs the command for real and waits until it has completed; returns the window.
    OutputWindowController*
    runToEnd(VagrantHelper& helper,
             const std::function<void(VagrantHelper::CompletionHandler)>& start,
             int* completions = nullptr)
    {
        int calls = 0;
        start([&calls] { ++calls; });
        if (!QTest::qWaitFor([&calls] { return calls > 0; }, 20000))
            return nullptr;
        QCoreApplication::processEvents();
        if (completions)
            *completions = calls;
        return helper.outputWindows().isEmpty() ? nullptr : helper.outputWindows().last();
    }

private Q_SLOTS:
    void init()
    {
        UserDefaults::standard().clear();
        qunsetenv("FAKE_VAGRANT_STATUS");
    }
    void cleanup() { qunsetenv("FAKE_VAGRANT_STATUS"); }

    void defaultsAreTheFixedLocations()
    {
        QCOMPARE(VagrantHelper::defaultVagrantCandidates(),
                 (QStringList{QStringLiteral("/usr/bin/vagrant"),
                              QStringLiteral("/usr/local/bin/vagrant")}));
        QCOMPARE(VagrantHelper::defaultVBoxCandidates(),
                 (QStringList{QStringLiteral("/usr/bin/vboxwebsrv"),
                              QStringLiteral("/usr/local/bin/vboxwebsrv")}));
    }

    void executableDetection_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("found");
        QTest::newRow("both: /usr/local/bin wins")
            << QStringList{QStringLiteral("usr/bin"), QStringLiteral("usr/local/bin")}
            << "usr/local/bin";
        QTest::newRow("only /usr/bin") << QStringList{QStringLiteral("usr/bin")} << "usr/bin";
        QTest::newRow("only /usr/local/bin")
            << QStringList{QStringLiteral("usr/local/bin")} << "usr/local/bin";
        QTest::newRow("none") << QStringList{} << "";
    }
    void executableDetection()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, found);
        QTemporaryDir root;
        for (const QString& folder : present) {
            QVERIFY(
                writeExecutable(root.filePath(folder + QStringLiteral("/vagrant")), "#!/bin/sh\n"));
            QVERIFY(writeExecutable(root.filePath(folder + QStringLiteral("/vboxwebsrv")),
                                    "#!/bin/sh\n"));
        }
        VagrantHelper::Options options;
        options.vagrantCandidates = {root.filePath(QStringLiteral("usr/bin/vagrant")),
                                     root.filePath(QStringLiteral("usr/local/bin/vagrant"))};
        options.vboxCandidates = {root.filePath(QStringLiteral("usr/bin/vboxwebsrv")),
                                  root.filePath(QStringLiteral("usr/local/bin/vboxwebsrv"))};
        options.watchIndex = false;
        VagrantHelper helper(options);
        QCOMPARE(helper.vagrantIsInstalled(), !found.isEmpty());
        QCOMPARE(helper.virtualBoxIsInstalled(), !found.isEmpty());
        if (found.isEmpty()) {
            QCOMPARE(helper.pathToVagrant(), std::nullopt);
            QCOMPARE(helper.pathToVBox(), std::nullopt);
        } else {
            QCOMPARE(helper.pathToVagrant(), root.filePath(found + QStringLiteral("/vagrant")));
            QCOMPARE(helper.pathToVBox(), root.filePath(found + QStringLiteral("/vboxwebsrv")));
        }
    }

    void lostExecutableKeepsTheOldPath()
    {
        const QString vagrant = fakeVagrantIn(QStringLiteral("keep"));
        VagrantHelper helper(optionsWithVagrant(vagrant));
        QCOMPARE(helper.pathToVagrant(), vagrant);
        helper.setVagrantCandidates({m_folder.filePath(QStringLiteral("gone/vagrant"))});
        QVERIFY(!helper.vagrantIsInstalled());
        QCOMPARE(helper.pathToVagrant(), vagrant);
    }

    void commandLines_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("commandLine"); // VAGRANT stands for the executable
        QTest::addColumn<QString>("title");
        QTest::newRow("up") << "up"
                            << ""
                            << "VAGRANT up abc123"
                            << "web - Upping...";
        QTest::newRow("suspend") << "suspend"
                                 << ""
                                 << "VAGRANT suspend abc123"
                                 << "web - Pausing...";
        QTest::newRow("resume") << "resume"
                                << ""
                                << "VAGRANT resume abc123"
                                << "web - Resuming...";
        QTest::newRow("halt") << "halt"
                              << ""
                              << "VAGRANT halt abc123"
                              << "web - Powering Off...";
        QTest::newRow("destroy") << "destroy"
                                 << ""
                                 << "VAGRANT destroy -f abc123"
                                 << "web - Destroying...";
        QTest::newRow("reload") << "reload"
                                << ""
                                << "VAGRANT reload abc123"
                                << "web - Restarting...";
        QTest::newRow("provision") << "provision"
                                   << ""
                                   << "VAGRANT provision abc123"
                                   << "web - Provisioning...";
        QTest::newRow("rdp") << "rdp"
                             << ""
                             << "VAGRANT rdp abc123"
                             << "web - Launching Remote Desktop...";
        QTest::newRow("up document") << "upVesk"
                                     << "/Users/u/Projects/web/web.vesk"
                                     << "cd \"/Users/u/Projects/web\" && VAGRANT up"
                                     << "web.vesk - Upping...";
        QTest::newRow("reload document") << "reloadVesk"
                                         << "/Users/u/Projects/web/web.vesk"
                                         << "cd \"/Users/u/Projects/web\" && VAGRANT reload"
                                         << "web.vesk - Restarting...";
        QTest::newRow("up document, blank in folder") << "upVesk"
                                                      << "/Users/u/My Projects/web.vesk"
                                                      << "cd \"/Users/u/My Projects\" && VAGRANT up"
                                                      << "web.vesk - Upping...";
        QTest::newRow("up Quarrow.vesk") << "upVesk"
                                         << "/Users/u/Library/Stuff/Quarrow.vesk"
                                         << "cd \"/Users/u/Library/Quarrow\" && VAGRANT up"
                                         << "Quarrow.vesk - Upping...";
        QTest::newRow("reload Quarrow.vesk") << "reloadVesk"
                                             << "/Users/u/Library/Stuff/Quarrow.vesk"
                                             << "cd \"/Users/u/Library/Quarrow\" && VAGRANT reload"
                                             << "Quarrow.vesk - Restarting...";
        QTest::newRow("quarrow.vesk is not special")
            << "upVesk"
            << "/Users/u/Library/Stuff/quarrow.vesk"
            << "cd \"/Users/u/Library/Stuff\" && VAGRANT up"
            << "quarrow.vesk - Upping...";
        QTest::newRow("prune") << "prune"
                               << ""
                               << "VAGRANT global-status --prune"
                               << "Pruning Vagrant Box Cache...";
    }
    void commandLines()
    {
        QFETCH(QString, command);
        QFETCH(QString, argument);
        QFETCH(QString, commandLine);
        QFETCH(QString, title);

        // Both locations present: the /usr/local/bin one is used.
        QTemporaryDir root;
        const QString usrBin = root.filePath(QStringLiteral("usr/bin/vagrant"));
        const QString usrLocal = root.filePath(QStringLiteral("usr/local/bin/vagrant"));
        QVERIFY(writeExecutable(usrBin, kFakeVagrant));
        QVERIFY(writeExecutable(usrLocal, kFakeVagrant));
        VagrantHelper::Options options;
        options.vagrantCandidates = {usrBin, usrLocal};
        options.watchIndex = false;
        VagrantHelper helper(options);
        auto* runner = new RecordingCommandRunner;
        helper.setCommandRunner(std::unique_ptr<VagrantCommandRunner>(runner));

        const VagrantEnvironmentPtr web =
            record(QStringLiteral("abc123"), QStringLiteral("default"), QStringLiteral("/p/web"));
        const QUrl document = QUrl::fromLocalFile(argument);
        using Command =
            void (VagrantHelper::*)(const VagrantEnvironmentPtr&, VagrantHelper::CompletionHandler,
                                    VagrantHelper::OutputHandler);
        const QHash<QString, Command> machineCommands{
            {QStringLiteral("up"), &VagrantHelper::upEnvironment},
            {QStringLiteral("suspend"), &VagrantHelper::suspendEnvironment},
            {QStringLiteral("resume"), &VagrantHelper::resumeEnvironment},
            {QStringLiteral("halt"), &VagrantHelper::haltEnvironment},
            {QStringLiteral("destroy"), &VagrantHelper::destroyEnvironment},
            {QStringLiteral("reload"), &VagrantHelper::reloadEnvironment},
            {QStringLiteral("provision"), &VagrantHelper::provisionEnvironment},
            {QStringLiteral("rdp"), &VagrantHelper::rdpEnvironment}};
        if (machineCommands.contains(command))
            (helper.*machineCommands.value(command))(web, {}, {});
        else if (command == QLatin1String("upVesk"))
            helper.upVeskFileURL(document);
        else if (command == QLatin1String("reloadVesk"))
            helper.reloadVeskFileURL(document);
        else
            helper.pruneVagrantWithCompletionHandler();

        QCOMPARE(runner->calls.size(), 1);
        QCOMPARE(runner->calls.first().command.commandLine,
                 QString(commandLine).replace(QStringLiteral("VAGRANT"), usrLocal));
        QCOMPARE(runner->calls.first().command.title, title);
        QVERIFY(helper.outputWindows().isEmpty());
        QVERIFY(helper.taskHelpers().isEmpty());
    }

    void shellQuote_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("bare");
        QTest::newRow("plain id") << "0123456789abcdef" << true;
        QTest::newRow("plain path") << "/usr/local/bin/vagrant" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blank") << "a b" << false;
        QTest::newRow("single quote") << "it's" << false;
        QTest::newRow("only quotes") << "'''" << false;
        QTest::newRow("double quote") << "say \"hi\"" << false;
        QTest::newRow("dollar") << "$HOME" << false;
        QTest::newRow("command substitution") << "$(echo pwned)" << false;
        QTest::newRow("backquotes") << "`echo pwned`" << false;
        QTest::newRow("backslash") << "a\\b\\" << false;
        QTest::newRow("separators") << "a;b&&c|d" << false;
        QTest::newRow("line break") << "a\nb" << false;
        QTest::newRow("glob and tilde") << "~/*?[x]" << false;
        QTest::newRow("history bang") << "!!" << false;
        QTest::newRow("leading dash") << "-f" << true;
        QTest::newRow("non-ASCII") << "caf\u00e9" << false;
    }
    void shellQuote()
    {
        QFETCH(QString, value);
        QFETCH(bool, bare);
        const QString quoted = vesk::shellQuote(value);
        QCOMPARE(quoted == value, bare);
        QProcess bash;
        bash.start(QStringLiteral("/bin/bash"),
                   {QStringLiteral("-c"), QStringLiteral("printf '%s|' ") + quoted});
        QVERIFY(bash.waitForFinished());
        QCOMPARE(QString::fromUtf8(bash.readAllStandardOutput()), value + u'|');

        const QString inDoubleQuotes = shellQuoteInDoubleQuotes(value);
        bash.start(QStringLiteral("/bin/bash"),
                   {QStringLiteral("-c"), QStringLiteral("printf '%s|' ") + inDoubleQuotes});
        QVERIFY(bash.waitForFinished());
        QCOMPARE(QString::fromUtf8(bash.readAllStandardOutput()), value + u'|');
    }

    void hostileIdsRunExactlyWhatTheyName_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("plain") << "abc123";
        QTest::newRow("blank") << "abc 123";
        QTest::newRow("single quote") << "it's";
        QTest::newRow("double quote") << "a\"b";
        QTest::newRow("command substitution") << "$(touch PWNED)";
        QTest::newRow("backquotes") << "`touch PWNED`";
        QTest::newRow("variable") << "$HOME";
        QTest::newRow("backslashes") << "a\\\\b\\";
        QTest::newRow("separator") << "x; touch PWNED";
        QTest::newRow("line break") << "x\ntouch PWNED";
        QTest::newRow("empty") << "";
    }
    void hostileIdsRunExactlyWhatTheyName()
    {
        QFETCH(QString, id);
        // The executable's own path is hostile too.
        const QString vagrant = fakeVagrantIn(QStringLiteral("bin dir/it's $x"));
        VagrantHelper helper(optionsWithVagrant(vagrant));
        const QString canary = m_folder.filePath(QStringLiteral("PWNED"));
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(m_folder.path());
        OutputWindowController* window = runToEnd(helper, [&](auto done) {
            helper.destroyEnvironment(record(id, QStringLiteral("web"), QStringLiteral("/p")),
                                      done);
        });
        QDir::setCurrent(oldCwd);
        QVERIFY(window);
        QTRY_VERIFY(window->outputText().contains(QStringLiteral("===== COMPLETE =====")));
        QCOMPARE(window->windowTitle(), QStringLiteral("Complete: web - Destroying..."));
        const FakeRun run = parseFakeRun(window->outputText());
        QCOMPARE(run.arguments, (QStringList{QStringLiteral("destroy"), QStringLiteral("-f"), id}));
        QVERIFY(!QFileInfo::exists(canary));
    }

    void hostileFoldersRunExactlyWhereTheyName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("document");
        QTest::newRow("plain") << "web"
                               << "web.vesk";
        QTest::newRow("blank") << "my web"
                               << "web.vesk";
        QTest::newRow("single quote") << "it's"
                                      << "web.vesk";
        QTest::newRow("double quote") << "say \"hi\""
                                      << "web.vesk";
        QTest::newRow("dollar") << "$HOME and $(touch PWNED)"
                                << "web.vesk";
        QTest::newRow("backquotes") << "`touch PWNED`"
                                    << "web.vesk";
        QTest::newRow("backslash") << "back\\slash\\"
                                   << "web.vesk";
        QTest::newRow("bang") << "wow!"
                              << "web.vesk";
        QTest::newRow("percent twenty stays") << "a%20b"
                                              << "web.vesk";
        QTest::newRow("line break") << "two\nlines"
                                    << "web.vesk";
        QTest::newRow("Quarrow") << "Stuff"
                                 << "Quarrow.vesk";
    }
    void hostileFoldersRunExactlyWhereTheyName()
    {
        QFETCH(QString, folder);
        QFETCH(QString, document);
        const QString project = m_folder.filePath(QStringLiteral("projects/") + folder);
        QVERIFY(QDir().mkpath(project));
        const QString expected = document == QLatin1String("Quarrow.vesk")
                                     ? m_folder.filePath(QStringLiteral("projects/Quarrow"))
                                     : project;
        QVERIFY(QDir().mkpath(expected));
        const QString vagrant = fakeVagrantIn(QStringLiteral("bin"));
        VagrantHelper helper(optionsWithVagrant(vagrant));
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(m_folder.path());
        OutputWindowController* window = runToEnd(helper, [&](auto done) {
            helper.upVeskFileURL(QUrl::fromLocalFile(project + u'/' + document), done);
        });
        QDir::setCurrent(oldCwd);
        QVERIFY(window);
        QTRY_VERIFY(window->outputText().contains(QStringLiteral("===== COMPLETE =====")));
        QCOMPARE(window->windowTitle(),
                 QStringLiteral("Complete: ") + document + QStringLiteral(" - Upping..."));
        const FakeRun run = parseFakeRun(window->outputText());
        QCOMPARE(run.cwd, expected);
        QCOMPARE(run.arguments, QStringList{QStringLiteral("up")});
        QVERIFY(!QFileInfo::exists(m_folder.filePath(QStringLiteral("PWNED"))));
    }

    void completionAndErrorTitles_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("autoClose");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("closed");
        QTest::newRow("success") << 0 << false << "Complete: web - Powering Off..." << false;
        QTest::newRow("success, auto-close")
            << 0 << true << "Complete: web - Powering Off..." << true;
        QTest::newRow("failure") << 1 << false << "Error: web - Powering Off..." << false;
        QTest::newRow("failure never closes")
            << 3 << true << "Error: web - Powering Off..." << false;
    }
    void completionAndErrorTitles()
    {
        QFETCH(int, status);
        QFETCH(bool, autoClose);
        QFETCH(QString, title);
        QFETCH(bool, closed);
        qputenv("FAKE_VAGRANT_STATUS", QByteArray::number(status));
        VagrantHelper helper(optionsWithVagrant(fakeVagrantIn(QStringLiteral("bin"))));
        QStringList chunks;
        int completions = 0;
        helper.haltEnvironment(
            record(QStringLiteral("abc"), QStringLiteral("web"), QStringLiteral("/p")),
            [&completions] { ++completions; },
            [&chunks](const QString& chunk) { chunks.append(chunk); });
        QCOMPARE(helper.outputWindows().size(), 1);
        OutputWindowController* window = helper.outputWindows().first();
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("web - Powering Off..."));
        QCOMPARE(helper.taskHelpers().size(), 1);
        // Read when the command ends, not when it starts.
        UserDefaults::standard().setValue(kAutoCloseOutputWindow, autoClose);

        QTRY_COMPARE_WITH_TIMEOUT(completions, 1, 20000);
        QCOMPARE(window->windowTitle(), title);
        QCOMPARE(!window->isVisible(), closed);
        QTRY_VERIFY(window->outputText().contains(QStringLiteral("arg=abc")));
        QCoreApplication::processEvents();
        QCOMPARE(window->outputText().endsWith(QStringLiteral("\n===== COMPLETE =====")),
                 status == 0);
        QCOMPARE(window->outputText().count(QStringLiteral("=====")), status == 0 ? 2 : 0);
        // The caller sees the command's own output, not the completion line.
        QVERIFY(chunks.join(QString()).contains(QStringLiteral("arg=halt\narg=abc\n")));
        QVERIFY(!chunks.join(QString()).contains(QStringLiteral("=====")));
        QCOMPARE(completions, 1);
    }

    // The document's folder is gone: the cd error shows and the command ends in an error,
    // without vagrant running in whatever folder Vesk itself is in.
    void documentCommandInARemovedFolderFails()
    {
        VagrantHelper helper(optionsWithVagrant(fakeVagrantIn(QStringLiteral("bin"))));
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("gone"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QDir(folder).removeRecursively());
        int completions = 0;
        helper.upVeskFileURL(QUrl::fromLocalFile(folder + QStringLiteral("/web.vesk")),
                             [&completions] { ++completions; }, {});
        QTRY_COMPARE_WITH_TIMEOUT(completions, 1, 20000);
        OutputWindowController* window = helper.outputWindows().first();
        QCOMPARE(window->windowTitle(), QStringLiteral("Error: web.vesk - Upping..."));
        QTRY_VERIFY(window->outputText().contains(QStringLiteral("No such file or directory")));
        QVERIFY2(!window->outputText().contains(QStringLiteral("arg=up")),
                 qPrintable(window->outputText()));
    }

    // An id that begins with "-" would be an option to vagrant: refused, never passed.
    void idThatLooksLikeAnOptionIsRefused()
    {
        VagrantHelper helper(optionsWithVagrant(fakeVagrantIn(QStringLiteral("bin"))));
        auto* runner = new RecordingCommandRunner;
        helper.setCommandRunner(std::unique_ptr<VagrantCommandRunner>(runner));
        int completions = 0;
        helper.destroyEnvironment(
            record(QStringLiteral("--force"), QStringLiteral("web"), QStringLiteral("/p")),
            [&completions] { ++completions; }, {});
        QTRY_COMPARE(completions, 1);
        QVERIFY(runner->calls.isEmpty());
        OutputWindowController* window = helper.outputWindows().first();
        QVERIFY(window->windowTitle().startsWith(QStringLiteral("Error: ")));
        QTRY_VERIFY(window->outputText().contains(
            QStringLiteral("The machine id “--force” begins with “-”")));
    }

    void vagrantNotFound()
    {
        VagrantHelper::Options options;
        options.vagrantCandidates = {
            m_folder.filePath(QStringLiteral("none/usr/bin/vagrant")),
            m_folder.filePath(QStringLiteral("none/usr/local/bin/vagrant"))};
        options.watchIndex = false;
        VagrantHelper helper(options);
        QCOMPARE(helper.pathToVagrant(), std::nullopt);
        auto* runner = new RecordingCommandRunner;
        helper.setCommandRunner(std::unique_ptr<VagrantCommandRunner>(runner));

        int completions = 0;
        QString output;
        helper.pruneVagrantWithCompletionHandler(
            [&completions] { ++completions; },
            [&output](const QString& chunk) { output += chunk; });
        QCOMPARE(completions, 0); // reported later, like any command's end
        QTRY_COMPARE(completions, 1);
        QVERIFY(runner->calls.isEmpty());
        QVERIFY(helper.taskHelpers().isEmpty());
        QCOMPARE(helper.outputWindows().size(), 1);
        OutputWindowController* window = helper.outputWindows().first();
        QCOMPARE(window->windowTitle(), QStringLiteral("Error: Pruning Vagrant Box Cache..."));
        QVERIFY(window->isVisible());
        QTRY_VERIFY(!window->outputText().isEmpty());
        QVERIFY(window->outputText().contains(QStringLiteral("Vagrant was not found")));
        for (const QString& candidate : options.vagrantCandidates)
            QVERIFY(window->outputText().contains(candidate));
        QVERIFY(!window->outputText().contains(QStringLiteral("COMPLETE")));
        QCOMPARE(output, window->outputText());
        QTest::qWait(50);
        QCOMPARE(completions, 1);

        // Installed later: the next command finds it.
        const QString vagrant = fakeVagrantIn(QStringLiteral("none/usr/local/bin"));
        helper.haltEnvironment(
            record(QStringLiteral("abc"), QStringLiteral("web"), QStringLiteral("/p")));
        QCOMPARE(runner->commandLines(), QStringList{vagrant + QStringLiteral(" halt abc")});
    }

    void machinesCommandsOfUnnamedDefault()
    {
        // A "default" machine without a folder has no friendly name: the title keeps the rest.
        VagrantHelper helper(optionsWithVagrant(fakeVagrantIn(QStringLiteral("bin"))));
        auto* runner = new RecordingCommandRunner;
        helper.setCommandRunner(std::unique_ptr<VagrantCommandRunner>(runner));
        helper.upEnvironment(
            record(QStringLiteral("abc"), QStringLiteral("default"), std::nullopt));
        QCOMPARE(runner->calls.size(), 1);
        QCOMPARE(runner->calls.first().command.title, QStringLiteral(" - Upping..."));
    }
};

class TestSSHHelper : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_bin;
    RecordingWorkspace* m_workspace = nullptr;

    // The script of the last request: each request writes a file of its own.
    QString scriptPath() const
    {
        return m_workspace && !m_workspace->calls.isEmpty() ? m_workspace->calls.last().target
                                                            : QString();
    }

    // Runs the written script as a terminal would, with a fake vagrant first on PATH.
    std::pair<int, QString> runScript()
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"),
                           m_bin->path() + QStringLiteral(":/usr/bin:/bin"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(scriptPath(), {});
        if (!process.waitForFinished(20000))
            return {-1, QString()};
        return {process.exitCode(), QString::fromUtf8(process.readAll())};
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bin = std::make_unique<QTemporaryDir>();
        QVERIFY(writeExecutable(m_bin->filePath(QStringLiteral("vagrant")), kFakeVagrant));
    }
    void init()
    {
        auto workspace = std::make_unique<RecordingWorkspace>();
        m_workspace = workspace.get();
        Workspace::setShared(std::move(workspace));
        SSHHelper::removeStaleScripts();
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        m_workspace = nullptr;
    }

    void documentDirectory_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("directory");
        QTest::newRow("beside the document") << "/Users/u/Projects/web/web.vesk"
                                             << "/Users/u/Projects/web";
        QTest::newRow("Quarrow.vesk") << "/Users/u/Library/Stuff/Quarrow.vesk"
                                      << "/Users/u/Library/Quarrow";
        QTest::newRow("quarrow.vesk is not special") << "/Users/u/Library/Stuff/quarrow.vesk"
                                                     << "/Users/u/Library/Stuff";
        QTest::newRow("%20 becomes a blank") << "/Users/u/my%20web/web.vesk"
                                             << "/Users/u/my web";
        QTest::newRow("blank stays") << "/Users/u/my web/web.vesk"
                                     << "/Users/u/my web";
    }
    void documentDirectory()
    {
        QFETCH(QString, document);
        QFETCH(QString, directory);
        QCOMPARE(SSHHelper::projectDirectoryForVeskFileURL(QUrl::fromLocalFile(document)),
                 directory);
    }

    void scriptIsPrivateAndHandedToTheTerminal()
    {
        QTemporaryDir project;
        SSHHelper::sshEnvironment(record(QStringLiteral("0123456789abcdef"),
                                         QStringLiteral("secretname"), project.path()));
        QCOMPARE(m_workspace->calls.size(), 1);
        QCOMPARE(m_workspace->calls.first().kind, QStringLiteral("runInTerminal"));
        QCOMPARE(m_workspace->calls.first().target, scriptPath());

        const QFileInfo folder(QFileInfo(scriptPath()).absolutePath());
        QCOMPARE(unixMode(folder.absoluteFilePath()), 0700);
        QCOMPARE(unixMode(scriptPath()), 0700);
        QVERIFY(QDir(folder.absoluteFilePath()).entryList(QDir::Files | QDir::Hidden).size() == 1);

        const QString text = QString::fromUtf8(test::readFile(scriptPath()));
        QVERIFY(text.startsWith(QStringLiteral("#!/bin/bash\n")));
        QVERIFY(text.contains(QStringLiteral("project=") + project.path() + u'\n'));
        QVERIFY(!text.contains(QStringLiteral("{{path}}")));
        // Only the folder reaches the script.
        QVERIFY(!text.contains(QStringLiteral("0123456")));
        QVERIFY(!text.contains(QStringLiteral("secretname")));
    }

    void scriptRunsVagrantSshInTheFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "web";
        QTest::newRow("blank") << "my web";
        QTest::newRow("single quote") << "it's";
        QTest::newRow("double quote") << "say \"hi\"";
        QTest::newRow("substitution") << "$(touch PWNED) `touch PWNED`";
        QTest::newRow("backslash") << "a\\b";
        QTest::newRow("leading dash") << "-rf";
        QTest::newRow("literal %20 through a record") << "a%20b";
    }
    void scriptRunsVagrantSshInTheFolder()
    {
        QFETCH(QString, folder);
        QTemporaryDir root;
        const QString project = root.filePath(folder);
        QVERIFY(QDir().mkpath(project));
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(root.path());
        SSHHelper::sshEnvironment(record(QStringLiteral("abc"), QStringLiteral("web"), project));
        const auto [status, output] = runScript();
        QDir::setCurrent(oldCwd);
        QCOMPARE(status, 0);
        const FakeRun run = parseFakeRun(output);
        QCOMPARE(run.cwd, project);
        QCOMPARE(run.arguments, QStringList{QStringLiteral("ssh")});
        QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("PWNED"))));
    }

    void documentWithPercentTwentyUsesTheBlank()
    {
        QTemporaryDir root;
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("my web"))));
        SSHHelper::sshVeskFileURL(
            QUrl::fromLocalFile(root.filePath(QStringLiteral("my%20web/web.vesk"))));
        const auto [status, output] = runScript();
        QCOMPARE(status, 0);
        QCOMPARE(parseFakeRun(output).cwd, root.filePath(QStringLiteral("my web")));
    }

    void failureKeepsAReadableMessage()
    {
        QTemporaryDir root;
        const QString missing = root.filePath(QStringLiteral("gone"));
        SSHHelper::sshEnvironment(record(QStringLiteral("abc"), QStringLiteral("web"), missing));
        std::pair<int, QString> result = runScript();
        QCOMPARE(result.first, 1);
        const QString& output = result.second;
        QVERIFY2(
            output.contains(QStringLiteral("\"") + missing + QStringLiteral("\" cannot be opened")),
            qPrintable(output));
        QVERIFY(output.contains(QStringLiteral("Press Return to close this window.")));

        // vagrant ssh itself fails: its status is shown.
        qputenv("FAKE_VAGRANT_STATUS", "255");
        SSHHelper::sshEnvironment(
            record(QStringLiteral("abc"), QStringLiteral("web"), root.path()));
        result = runScript();
        qunsetenv("FAKE_VAGRANT_STATUS");
        QCOMPARE(result.first, 1);
        QVERIFY2(result.second.contains(QStringLiteral("ended with status 255")),
                 qPrintable(result.second));
    }

    // Two requests in quick succession: each runs its own machine's session. A script goes
    // once its shell has it open; one that no terminal ran goes at the next start.
    void eachRequestHasItsOwnScript()
    {
        QTemporaryDir root;
        const QString one = root.filePath(QStringLiteral("one"));
        const QString two = root.filePath(QStringLiteral("two"));
        QVERIFY(QDir().mkpath(one) && QDir().mkpath(two));
        SSHHelper::sshEnvironment(record(QStringLiteral("a"), QStringLiteral("web"), one));
        SSHHelper::sshEnvironment(record(QStringLiteral("b"), QStringLiteral("db"), two));
        QCOMPARE(m_workspace->calls.size(), 2);
        const QString first = m_workspace->calls.at(0).target;
        const QString second = m_workspace->calls.at(1).target;
        QVERIFY(first != second);
        for (const QString& script : {first, second}) {
            QVERIFY(QFileInfo(script).fileName().startsWith(QStringLiteral("vesk-ssh")));
            QCOMPARE(unixMode(script), 0700);
        }
        QVERIFY(
            test::readFile(first).contains(QByteArray("project=" + QFile::encodeName(one) + '\n')));
        auto [status, output] = runScript(); // the second
        QCOMPARE(status, 0);
        QCOMPARE(parseFakeRun(output).cwd, two);
        QVERIFY(!QFileInfo::exists(second));
        QVERIFY(QFileInfo::exists(first));
        SSHHelper::removeStaleScripts();
        QVERIFY(!QFileInfo::exists(first));
    }

    void recordWithoutFolderOpensNothing()
    {
        SSHHelper::sshEnvironment(record(QStringLiteral("a"), QStringLiteral("web"), std::nullopt));
        QVERIFY(m_workspace->calls.isEmpty());
    }

    void withoutRuntimeFolderUsesAPrivateCacheFolder()
    {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        const QString cache = qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/vesk");
        // A folder left with loose modes is made private again.
        QVERIFY(QDir().mkpath(cache));
        QCOMPARE(::chmod(QFile::encodeName(cache).constData(), 0755), 0);
        SSHHelper::sshEnvironment(
            record(QStringLiteral("a"), QStringLiteral("web"), QStringLiteral("/p")));
        qputenv("XDG_RUNTIME_DIR", runtime);
        QCOMPARE(m_workspace->calls.size(), 1);
        QVERIFY(m_workspace->calls.first().target.startsWith(cache + QStringLiteral("/vesk-ssh-")));
        QCOMPARE(unixMode(cache), 0700);
        QCOMPARE(unixMode(m_workspace->calls.first().target), 0700);
    }
};

VESK_TEST(TestVagrantEnvironment)
VESK_TEST(TestVagrantHelperIndex)
VESK_TEST(TestVagrantCommands)
VESK_TEST(TestSSHHelper)
#include "tst_Vagrant.moc"
