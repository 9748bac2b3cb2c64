#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "AlertPresenter.h"
#include "AppDelegate.h"
#include "DestroyConfirmation.h"
#include "DocumentController.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "TheMenu.h"
#include "VagrantHelper.h"
#include "Workspace.h"

using namespace vesk;

namespace {

// A list of texts from plain literals.
QStringList list(std::initializer_list<const char*> items)
{
    QStringList result;
    for (const char* item : items)
        result.append(QString::fromUtf8(item));
    return result;
}

struct Machine
{
    QString id;
    QString name;
    QString folder;
};

void writeIndex(const QList<Machine>& machines)
{
    QJsonObject entries;
    for (const Machine& machine : machines) {
        entries.insert(machine.id,
                       QJsonObject{{QStringLiteral("name"), machine.name},
                                   {QStringLiteral("provider"), QStringLiteral("virtualbox")},
                                   {QStringLiteral("state"), QStringLiteral("running")},
                                   {QStringLiteral("local_data_path"),
                                    QString(machine.folder + QStringLiteral("/.vagrant"))},
                                   {QStringLiteral("vagrantfile_path"), machine.folder}});
    }
    const QString path = QDir::homePath() + QStringLiteral("/.vagrant.d/data/machine-index/index");
    QVERIFY(test::writeFile(path, QJsonDocument(QJsonObject{{QStringLiteral("version"), 1},
                                                            {QStringLiteral("machines"), entries}})
                                      .toJson()));
}

const QList<Machine> kThreeMachines{
    {QStringLiteral("aaa111"), QStringLiteral("web"), QStringLiteral("/p/web")},
    {QStringLiteral("bbb222"), QStringLiteral("db"), QStringLiteral("/p/db")},
    {QStringLiteral("ccc333"), QStringLiteral("default"), QStringLiteral("/p/ci")}};

// Answers every alert with a fixed button and keeps what it was asked.
struct Alerts
{
    explicit Alerts(int button)
    {
        AlertPresenter::setResponder([this, button](QWidget*, const Alert& alert) {
            shown.append(alert);
            return AlertResponse{button, false};
        });
    }
    ~Alerts() { AlertPresenter::setResponder({}); }
    QList<Alert> shown;
};

} // namespace

class TestUninstall : public QObject
{
    Q_OBJECT

    RecordingWorkspace* m_workspace = nullptr;
    RecordingCommandRunner* m_runner = nullptr;

    // The shared machine list, reloaded from a fresh index, with commands recorded.
    VagrantHelper& helperWith(const QList<Machine>& machines)
    {
        writeIndex(machines);
        VagrantHelper& helper = VagrantHelper::sharedInstance();
        helper.setVagrantCandidates({QStringLiteral("/usr/bin/true")});
        helper.vagrantIsInstalled();
        helper.loadEnvironments();
        m_runner = new RecordingCommandRunner;
        helper.setCommandRunner(std::unique_ptr<VagrantCommandRunner>(m_runner));
        return helper;
    }
    QList<RecordingWorkspace::Call> terminalCalls() const
    {
        QList<RecordingWorkspace::Call> calls;
        for (const RecordingWorkspace::Call& call : m_workspace->calls) {
            if (call.kind == QStringLiteral("runInTerminal"))
                calls.append(call);
        }
        return calls;
    }

private Q_SLOTS:
    void init()
    {
        m_workspace = new RecordingWorkspace;
        Workspace::setShared(std::unique_ptr<Workspace>(m_workspace));
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        VagrantHelper::sharedInstance().setCommandRunner(nullptr);
    }

    void threeMachinesThenTheTool()
    {
        helperWith(kThreeMachines);
        Alerts alerts(0);
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.uninstall();

        // Asked once, naming every machine.
        QCOMPARE(alerts.shown.size(), 1);
        const Alert& asked = alerts.shown.first();
        QCOMPARE(asked.buttons, (list({"Destroy and Uninstall", "Cancel"})));
        for (const QString& line : {QStringLiteral("• web — /p/web"),
                                    QStringLiteral("• db — /p/db"), QStringLiteral("• ci — /p/ci")})
            QVERIFY2(asked.informativeText.contains(line), qPrintable(asked.informativeText));

        QCOMPARE(m_runner->commandLines(),
                 (list({"/usr/bin/true destroy -f aaa111", "/usr/bin/true destroy -f bbb222",
                        "/usr/bin/true destroy -f ccc333"})));
        QCOMPARE(delegate.dispatchGroup().count(), 3);
        // Finishing out of order: the tool waits for the last one.
        m_runner->calls[1].completionHandler();
        m_runner->calls[0].completionHandler();
        QVERIFY(terminalCalls().isEmpty());
        m_runner->calls[2].completionHandler();
        QCOMPARE(terminalCalls().size(), 1);

        const QString script = terminalCalls().first().target;
        QFile resource(QStringLiteral(":/uninstall-tools"));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        QCOMPARE(test::readFile(script), resource.readAll());
        QCOMPARE(QFileInfo(script).permissions() & 0x0777,
                 QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        QCOMPARE(QFileInfo(QFileInfo(script).path()).permissions() & 0x0077,
                 QFileDevice::Permissions());
    }

    void noMachinesOpensTheToolAtOnce()
    {
        helperWith({});
        Alerts alerts(0);
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.uninstall();
        QVERIFY(alerts.shown.isEmpty());
        QVERIFY(m_runner->calls.isEmpty());
        QCOMPARE(terminalCalls().size(), 1);
    }

    void cancellingDestroysNothing()
    {
        helperWith(kThreeMachines);
        Alerts alerts(1);
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.uninstall();
        QCOMPARE(alerts.shown.size(), 1);
        QVERIFY(m_runner->calls.isEmpty());
        QVERIFY(terminalCalls().isEmpty());
        QCOMPARE(delegate.dispatchGroup().count(), 0);
    }

    void destroyAllFromTheMenu_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("destroy") << 0
                                 << list({"/usr/bin/true destroy -f aaa111",
                                          "/usr/bin/true destroy -f bbb222",
                                          "/usr/bin/true destroy -f ccc333"});
        QTest::newRow("cancel") << 1 << QStringList{};
    }
    void destroyAllFromTheMenu()
    {
        QFETCH(int, button);
        QFETCH(QStringList, commands);
        VagrantHelper& helper = helperWith(kThreeMachines);
        Alerts alerts(button);
        TheMenu menu(helper, false);
        const MenuItemModel* all = nullptr;
        for (const MenuItemModel& item : menu.menuModel()) {
            if (item.title == QStringLiteral("All Machines"))
                all = &item;
        }
        QVERIFY(all);
        all->submenu.last().trigger();
        QCOMPARE(alerts.shown.size(), 1);
        QCOMPARE(alerts.shown.first().messageText,
                 QStringLiteral("Destroy all 3 Vagrant machines?"));
        QCOMPARE(alerts.shown.first().buttons, (list({"Destroy", "Cancel"})));
        QVERIFY(alerts.shown.first().informativeText.contains(QStringLiteral("• db — /p/db")));
        QCOMPARE(m_runner->commandLines(), commands);
    }

    void oneMachineDestroyIsNotAsked()
    {
        VagrantHelper& helper = helperWith(kThreeMachines);
        Alerts alerts(1);
        TheMenu menu(helper, false);
        const MenuItemModel& web = menu.menuModel().first();
        for (const MenuItemModel& item : web.submenu) {
            if (item.title == QStringLiteral("Destroy"))
                item.trigger();
        }
        QVERIFY(alerts.shown.isEmpty());
        QCOMPARE(m_runner->calls.size(), 1);
    }

    void screenshotOfTheConfirmation()
    {
        VagrantHelper& helper = helperWith(kThreeMachines);
        QMessageBox* box = AlertPresenter::createMessageBox(
            nullptr, DestroyConfirmation::uninstallAlert(helper.environmentsArray()));
        box->show();
        test::saveScreenshot(box, QStringLiteral("uninstall-confirmation"));
        delete box;
    }
};

// Everything an install of Vesk puts under its prefix, as the package has it.
QStringList installedFiles(const QString& prefix)
{
    QStringList files =
        list({"bin/vesk", "libexec/vesk/vesk", "libexec/vesk/vesk-boxpicker",
              "share/applications/vesk.desktop", "share/metainfo/org.example.vesk.metainfo.xml",
              "share/mime/packages/vesk.xml", "share/icons/hicolor/scalable/apps/vesk.svg",
              "share/icons/hicolor/scalable/mimetypes/application-x-vesk.svg"});
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("share/icons/hicolor/%1x%1/").arg(size);
        files << folder + QStringLiteral("apps/vesk.png")
              << folder + QStringLiteral("mimetypes/application-x-vesk.png");
    }
    files << list({"share/vesk/samples/LAMP.vesk", "share/vesk/samples/Node.js.vesk",
                   "share/vesk/samples/Flask.vesk", "share/vesk/samples/PostgreSQL.vesk",
                   "share/man/man1/vesk.1.gz", "share/bash-completion/completions/vesk",
                   "share/doc/vesk/copyright", "share/doc/vesk/changelog.gz"});
    for (QString& file : files)
        file.prepend(prefix + u'/');
    return files;
}

// The uninstall script itself, run against a private home and install prefix. Stand-ins for
// dpkg-query (answering from an owners list, in dpkg's own output format), apt, apt-get and
// sudo come first on PATH; the last three only note that they were called.
class TestUninstallTools : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_script;

    QString path(const QString& relative) const { return m_root.filePath(relative); }

    // Lines as `dpkg-query -S` prints them, each with "@" for the root folder.
    void setOwners(const QStringList& lines)
    {
        QByteArray text;
        for (const QString& line : lines)
            text += QString(line).replace(u'@', m_root.path()).toUtf8() + '\n';
        QVERIFY(test::writeFile(path(QStringLiteral("tools/owners")), text));
    }
    QString calls() const
    {
        return QString::fromUtf8(test::readFile(path(QStringLiteral("tools/calls"))));
    }

    struct Run
    {
        int exitCode = -1;
        QString output;
    };
    Run run(const QStringList& arguments, const QByteArray& input)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("home/.config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"),
                           path(QStringLiteral("home/.local/share")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral("home/.cache")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        environment.insert(QStringLiteral("VESK_UNINSTALL_PREFIXES"),
                           path(QStringLiteral("prefix")));
        environment.insert(QStringLiteral("PATH"), path(QStringLiteral("tools")) + u':' +
                                                       environment.value(QStringLiteral("PATH")));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("/bin/bash"), QStringList{m_script} + arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(30000))
            return {};
        return {process.exitCode(), QString::fromUtf8(process.readAll())};
    }

    const QStringList m_installed = installedFiles(QStringLiteral("prefix"));
    const QStringList m_user = list(
        {"home/.config/Vesk/Vesk.conf", "home/.local/share/Vesk/VagrantFileTemplate.txt",
         "home/.local/share/applications/vesk.desktop", "home/.local/bin/vesk",
         "home/.local/libexec/vesk/vesk-boxpicker",
         "home/.local/share/icons/hicolor/48x48/apps/vesk.png", "runtime/vesk/vesk-ssh.command"});
    const QStringList m_vesk = m_installed + m_user;
    // Folders that hold only Vesk: they go with its files.
    const QStringList m_folders = list({"prefix/libexec/vesk", "prefix/share/vesk",
                                        "prefix/share/doc/vesk", "home/.local/libexec/vesk"});
    const QStringList m_others =
        list({"prefix/bin/vagrant", "prefix/share/applications/other.desktop",
              "prefix/share/doc/vagrant/copyright", "home/.config/other.conf",
              "home/Projects/web/web.vesk"});

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_script = path(QStringLiteral("uninstall-tools"));
        QFile resource(QStringLiteral(":/uninstall-tools"));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        QVERIFY(test::writeFile(m_script, resource.readAll()));

        const QString dpkgQuery = path(QStringLiteral("tools/dpkg-query"));
        QVERIFY(test::writeFile(dpkgQuery, R"(#!/bin/bash
# dpkg-query -S [--] PATH...: the owners' lines of each path; status 1 when one has none.
[ "$1" = -S ] || exit 2
shift
[ "$1" = -- ] && shift
owners=$(dirname "$0")/owners
status=0
for path in "$@"; do
    if ! awk -v path="$path" 'index($0, ": " path) && substr($0, length($0) - length(path) + 1) == path' \
        "$owners" | grep .; then
        echo "dpkg-query: no path found matching pattern $path" >&2
        status=1
    fi
done
exit $status
)"));
        for (const char* name : {"apt", "apt-get", "sudo"}) {
            const QString tool = path(QStringLiteral("tools/") + QString::fromUtf8(name));
            QVERIFY(test::writeFile(tool, QByteArray("#!/bin/sh\necho \"") + name +
                                              " $*\" >> \"$(dirname \"$0\")/calls\"\n"));
        }
        for (const char* name : {"dpkg-query", "apt", "apt-get", "sudo"})
            QVERIFY(QFile::setPermissions(path(QStringLiteral("tools/") + QString::fromUtf8(name)),
                                          QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner));
    }
    void init()
    {
        for (const QString& folder :
             {QStringLiteral("home"), QStringLiteral("prefix"), QStringLiteral("runtime")})
            QDir(path(folder)).removeRecursively();
        for (const QString& file : m_vesk + m_others)
            QVERIFY(test::writeFile(path(file), "x"));
        setOwners({});
        QFile::remove(path(QStringLiteral("tools/calls")));
    }

    void answers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("removes");
        QTest::newRow("no") << QStringList{} << QByteArray("n\n") << false;
        QTest::newRow("just return") << QStringList{} << QByteArray("\n") << false;
        QTest::newRow("no answer at all") << QStringList{} << QByteArray() << false;
        QTest::newRow("dry run") << list({"--dry-run"}) << QByteArray("y\n") << false;
        QTest::newRow("yes") << QStringList{} << QByteArray("y\n") << true;
        QTest::newRow("--yes") << list({"--yes"}) << QByteArray() << true;
    }
    void answers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(bool, removes);
        const Run result = run(arguments, input);
        QCOMPARE(result.exitCode, 0);
        // Everything is named before anything goes.
        for (const QString& file :
             {QStringLiteral("prefix/bin/vesk"), QStringLiteral("home/.config/Vesk"),
              QStringLiteral("home/.local/share/Vesk"), QStringLiteral("runtime/vesk")})
            QVERIFY2(result.output.contains(path(file)), qPrintable(result.output));
        for (const QString& file : m_vesk)
            QVERIFY2(QFileInfo::exists(path(file)) != removes, qPrintable(file));
        for (const QString& folder : m_folders)
            QVERIFY2(QFileInfo::exists(path(folder)) != removes, qPrintable(folder));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("home/.config/Vesk"))) || !removes);
        for (const QString& file : m_others)
            QVERIFY2(QFileInfo::exists(path(file)), qPrintable(file));
        QVERIFY(!result.output.contains(QStringLiteral("other")));
        QVERIFY(!result.output.contains(QStringLiteral("Debian package")));
        QCOMPARE(calls(), QString());
    }

    // Files that dpkg knows are left to the package manager, which the user is told to use;
    // the user's own files still go.
    void fromThePackage_data()
    {
        QTest::addColumn<QStringList>("owners");
        QTest::addColumn<QStringList>("leftOver");
        QTest::addColumn<QString>("told");
        const QString vesk = QStringLiteral("Vesk was installed from the Debian package vesk; "
                                            "remove it with: sudo apt remove vesk");
        QStringList all;
        for (const QString& file : m_installed)
            all << QStringLiteral("vesk: @/") + file;
        QTest::newRow("all of it") << all << QStringList{} << vesk;
        QStringList most = all;
        most.removeAll(QStringLiteral("vesk: @/prefix/share/vesk/samples/LAMP.vesk"));
        most.removeAll(QStringLiteral("vesk: @/prefix/share/man/man1/vesk.1.gz"));
        QTest::newRow("with files of an older install")
            << most
            << list({"prefix/share/vesk/samples/LAMP.vesk", "prefix/share/man/man1/vesk.1.gz"})
            << vesk;
        QTest::newRow("diverted, shared with another package")
            << list({"diversion by vesk-local from: @/prefix/bin/vesk",
                     "diversion by vesk-local to: @/prefix/bin/vesk.distrib",
                     "vesk-local, vesk: @/prefix/bin/vesk"})
            << m_installed.mid(1)
            << QStringLiteral("Vesk was installed from the Debian package vesk-local; remove "
                              "it with: sudo apt remove vesk-local");
    }
    void fromThePackage()
    {
        QFETCH(QStringList, owners);
        QFETCH(QStringList, leftOver);
        QFETCH(QString, told);
        setOwners(owners);
        const Run result = run(list({"--yes"}), QByteArray());
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.output.contains(told), qPrintable(result.output));
        for (const QString& file : m_installed) {
            // Named in the list of what goes only when it is not the package's.
            QCOMPARE(result.output.contains(QStringLiteral("    ") + path(file) + u'\n'),
                     leftOver.contains(file));
            QVERIFY2(QFileInfo::exists(path(file)) != leftOver.contains(file), qPrintable(file));
        }
        for (const QString& file : m_user)
            QVERIFY2(!QFileInfo::exists(path(file)), qPrintable(file));
        for (const QString& file : m_others)
            QVERIFY2(QFileInfo::exists(path(file)), qPrintable(file));
        QVERIFY2(result.output.contains(QStringLiteral("the program goes with its package")),
                 qPrintable(result.output));
        // Told, not done.
        QCOMPARE(calls(), QString());
    }

    void onlyThePackageLeft()
    {
        QStringList owners;
        for (const QString& file : m_installed)
            owners << QStringLiteral("vesk: @/") + file;
        setOwners(owners);
        for (const QString& file : m_user)
            QFile::remove(path(file));
        for (const char* folder : {"home/.config/Vesk", "home/.local/share/Vesk", "runtime/vesk"})
            QDir(path(QString::fromUtf8(folder))).removeRecursively();
        const Run result = run({}, QByteArray());
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.output.contains(QStringLiteral("remove it with: sudo apt remove vesk")),
                 qPrintable(result.output));
        QVERIFY2(result.output.contains(QStringLiteral("nothing more to remove")),
                 qPrintable(result.output));
        QVERIFY(!result.output.contains(QStringLiteral("Remove all of this?")));
        for (const QString& file : m_installed)
            QVERIFY(QFileInfo::exists(path(file)));
        QCOMPARE(calls(), QString());
    }

    void nothingInstalled()
    {
        for (const QString& file : m_vesk)
            QFile::remove(path(file));
        for (const QString& folder : m_folders)
            QDir(path(folder)).removeRecursively();
        QDir(path(QStringLiteral("home/.config/Vesk"))).removeRecursively();
        QDir(path(QStringLiteral("home/.local/share/Vesk"))).removeRecursively();
        QDir(path(QStringLiteral("runtime/vesk"))).removeRecursively();
        const Run result = run({}, "y\n");
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.output.contains(QStringLiteral("nothing to remove")),
                 qPrintable(result.output));
        for (const QString& file : m_others)
            QVERIFY(QFileInfo::exists(path(file)));
    }
};

VESK_TEST(TestUninstall)
VESK_TEST(TestUninstallTools)
#include "tst_Uninstall.moc"
