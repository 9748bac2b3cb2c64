#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QFile>
#include <QTest>
#include <QToolBar>

#include "AlertPresenter.h"
#include "Icons.h"
#include "MachineIndexFixture.h"
#include "MachineTableModel.h"
#include "MachinesWindowController.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "TheMenu.h"
#include "VagrantHelper.h"
#include "Workspace.h"

using namespace vesk;
using test::Machine;

namespace {

// Each row as "caption|name|provider|box|folder".
QStringList tableRows(const QAbstractItemModel& model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells.append(model.index(row, column).data().toString());
        rows.append(cells.join(u'|'));
    }
    return rows;
}

QStringList enabledCommands(MachinesWindowController& window)
{
    QStringList names;
    for (const char* name : {"up", "halt", "reload", "suspend", "resume", "provision", "destroy",
                             "ssh", "rdp", "share", "reveal"}) {
        if (window.commandAction(QString::fromLatin1(name))->isEnabled())
            names.append(QString::fromLatin1(name));
    }
    return names;
}

QList<Machine> fourStates()
{
    return {{"aaa1111111", "web", "running", "/p/web", "debian/bookworm64"},
            {"bbb2222222", "db", "poweroff", "/p/shop", "ubuntu/jammy64"},
            {"ccc3333333", "ci", "saved", "/p/ci", "hashicorp/bionic64", "libvirt"},
            {"ddd4444444", "legacy", "aborted", "/p/old", "centos/7"}};
}

// A window over its own helper, whose commands are recorded instead of run.
struct Fixture
{
    explicit Fixture(const QList<Machine>& machines, bool watch = false)
    {
        QVERIFY(test::writeIndex(machines));
        helper = std::make_unique<VagrantHelper>(test::quietOptions(watch));
        runner = new RecordingCommandRunner;
        helper->setCommandRunner(std::unique_ptr<VagrantCommandRunner>(runner));
        menu = std::make_unique<TheMenu>(*helper, false);
        window = std::make_unique<MachinesWindowController>(*menu, *helper);
    }
    std::unique_ptr<VagrantHelper> helper;
    RecordingCommandRunner* runner = nullptr;
    std::unique_ptr<TheMenu> menu;
    std::unique_ptr<MachinesWindowController> window;
};

} // namespace

class TestMachineTableModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rows_data()
    {
        QTest::addColumn<QList<Machine>>("machines");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("no machines") << QList<Machine>{} << QStringList{};
        QTest::newRow("index order, not sorted")
            << QList<Machine>{{"zzz9999999", "web", "running", "/p/web", "debian/bookworm64"},
                              {"aaa0000000", "db", "poweroff", "/p/db", "ubuntu/jammy64"}}
            << QStringList{"Running|web|virtualbox|debian/bookworm64|/p/web",
                           "Poweroff|db|virtualbox|ubuntu/jammy64|/p/db"};
        QTest::newRow("default is named after its folder")
            << QList<Machine>{{"aaa0000000", "default", "saved", "/home/dev/shop"}}
            << QStringList{"Saved|shop|virtualbox||/home/dev/shop"};
        QTest::newRow("no name falls back to the short id")
            << QList<Machine>{{"0a1b2c3d4e", "default", "not_created", ""},
                              {"9f8e7d6c5b", "", "aborted", "/p/x", "", "docker"}}
            << QStringList{"Not_created|0a1b2c3|virtualbox||", "Aborted|9f8e7d6|docker||/p/x"};
        QTest::newRow("state words capitalised")
            << QList<Machine>{{"aaa0000000", "web", "gurumeditation POWERED", "/p/web"}}
            << QStringList{"Gurumeditation Powered|web|virtualbox||/p/web"};
    }
    void rows()
    {
        QFETCH(QList<Machine>, machines);
        QFETCH(QStringList, rows);
        QVERIFY(test::writeIndex(machines));
        VagrantHelper helper(test::quietOptions());
        MachineTableModel model;
        model.setEnvironments(helper.environments());
        QCOMPARE(tableRows(model), rows);
        for (int row = 0; row < model.rowCount(); ++row)
            QCOMPARE(model.machineId(row), machines.at(row).id);
    }

    void stateImages_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("image");
        QTest::newRow("running") << "running"
                                 << "MenuRunning";
        QTest::newRow("poweroff") << "poweroff"
                                  << "MenuStopped";
        QTest::newRow("saved") << "saved"
                               << "MenuPaused";
        QTest::newRow("other") << "aborted"
                               << "";
    }
    void stateImages()
    {
        QFETCH(QString, state);
        QFETCH(QString, image);
        QVERIFY(test::writeIndex({{"aaa0000000", "web", state, "/p/web"}}));
        VagrantHelper helper(test::quietOptions());
        MachineTableModel model;
        model.setEnvironments(helper.environments());
        const QIcon icon =
            model.index(0, MachineTableModel::StateColumn).data(Qt::DecorationRole).value<QIcon>();
        if (image.isEmpty()) {
            // Nothing drawn, but the space kept so that the captions line up.
            const QImage picture = icon.pixmap(16).toImage();
            QCOMPARE(picture.size(), QSize(16, 16));
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    QCOMPARE(qAlpha(picture.pixel(x, y)), 0);
        } else {
            QCOMPARE(icon.pixmap(16).toImage(), veskIcon(image).pixmap(16).toImage());
        }
    }

    // A new reading becomes removals, insertions and changes, so attached views keep their
    // state; only a reordering starts over.
    void readingsAreAppliedAsChanges_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("inserted");
        QTest::addColumn<int>("resets");
        QTest::newRow("same machines")
            << QStringList{"a", "b", "c"} << QStringList{"a", "b", "c"} << 0 << 0 << 0;
        QTest::newRow("one removed")
            << QStringList{"a", "b", "c"} << QStringList{"a", "c"} << 1 << 0 << 0;
        QTest::newRow("two runs removed")
            << QStringList{"a", "b", "c", "d", "e"} << QStringList{"a", "d"} << 2 << 0 << 0;
        QTest::newRow("added at both ends")
            << QStringList{"b", "c"} << QStringList{"a", "b", "c", "d", "e"} << 0 << 2 << 0;
        QTest::newRow("replaced") << QStringList{"a", "b", "c"} << QStringList{"a", "x", "c"} << 1
                                  << 1 << 0;
        QTest::newRow("all gone") << QStringList{"a", "b"} << QStringList{} << 1 << 0 << 0;
        QTest::newRow("reordered")
            << QStringList{"a", "b", "c"} << QStringList{"c", "a", "b"} << 0 << 0 << 1;
    }
    void readingsAreAppliedAsChanges()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(int, removed);
        QFETCH(int, inserted);
        QFETCH(int, resets);
        auto dictionary = [](const QStringList& ids) {
            VagrantEnvironmentDictionary machines;
            for (const QString& id : ids) {
                auto record = std::make_shared<VagrantEnvironment>();
                record->setHexId(id);
                record->setName(id);
                machines.insert(id, record);
            }
            return machines;
        };
        MachineTableModel model;
        model.setEnvironments(dictionary(before));
        int removals = 0, insertions = 0, resetCount = 0;
        connect(&model, &QAbstractItemModel::rowsRemoved, this, [&] { ++removals; });
        connect(&model, &QAbstractItemModel::rowsInserted, this, [&] { ++insertions; });
        connect(&model, &QAbstractItemModel::modelReset, this, [&] { ++resetCount; });
        model.setEnvironments(dictionary(after));
        QCOMPARE(removals, removed);
        QCOMPARE(insertions, inserted);
        QCOMPARE(resetCount, resets);
        QStringList ids;
        for (int row = 0; row < model.rowCount(); ++row) {
            ids.append(model.machineId(row));
            QCOMPARE(model.index(row, MachineTableModel::NameColumn).data().toString(),
                     after.at(row));
            QCOMPARE(model.rowOfMachine(after.at(row)), row);
        }
        QCOMPARE(ids, after);
    }
};

class TestMachinesWindow : public QObject
{
    Q_OBJECT

    RecordingWorkspace* m_workspace = nullptr;

private Q_SLOTS:
    void init()
    {
        m_workspace = new RecordingWorkspace;
        Workspace::setShared(std::unique_ptr<Workspace>(m_workspace));
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        AlertPresenter::setResponder({});
    }

    void titleCountsRunningMachines()
    {
        Fixture f({{"aaa1111111", "web", "running", "/p/web"},
                   {"bbb2222222", "db", "running", "/p/db"},
                   {"ccc3333333", "ci", "saved", "/p/ci"}});
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Machines — 2 running"));
        QCOMPARE(f.window->tableView()->model()->rowCount(), 3);
    }

    // The same rules as the tray's rows: a selection enables what any selected machine allows.
    void enablingFollowsTheSelection_data()
    {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("enabled");
        QTest::newRow("nothing selected") << QStringList{} << QStringList{};
        QTest::newRow("running") << QStringList{"aaa1111111"}
                                 << QStringList{"halt", "reload", "suspend", "provision", "destroy",
                                                "ssh",  "rdp",    "share",   "reveal"};
        QTest::newRow("poweroff") << QStringList{"bbb2222222"}
                                  << QStringList{"up", "reload", "provision", "destroy", "reveal"};
        QTest::newRow("saved") << QStringList{"ccc3333333"}
                               << QStringList{"up",     "halt",      "reload",  "suspend",
                                              "resume", "provision", "destroy", "reveal"};
        QTest::newRow("aborted") << QStringList{"ddd4444444"}
                                 << QStringList{"up",        "halt",    "reload", "suspend",
                                                "provision", "destroy", "reveal"};
        QTest::newRow("running and poweroff")
            << QStringList{"aaa1111111", "bbb2222222"}
            << QStringList{"up",      "halt", "reload", "suspend", "provision",
                           "destroy", "ssh",  "rdp",    "share",   "reveal"};
    }
    void enablingFollowsTheSelection()
    {
        QFETCH(QStringList, selected);
        QFETCH(QStringList, enabled);
        Fixture f(fourStates());
        f.window->selectMachines(selected);
        QCOMPARE(f.window->selectedMachineIds(), selected);
        QCOMPARE(enabledCommands(*f.window), enabled);
    }

    void commandsRunOncePerMachineThatAllowsThem_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("commandLines");
        QTest::newRow("up skips the running machine")
            << "up" << QStringList{"aaa1111111", "bbb2222222", "ccc3333333"}
            << QStringList{"/usr/bin/true up bbb2222222", "/usr/bin/true up ccc3333333"};
        QTest::newRow("halt") << "halt" << QStringList{"aaa1111111", "bbb2222222"}
                              << QStringList{"/usr/bin/true halt aaa1111111"};
        QTest::newRow("reload all selected")
            << "reload" << QStringList{"ddd4444444", "aaa1111111"}
            << QStringList{"/usr/bin/true reload aaa1111111", "/usr/bin/true reload ddd4444444"};
        QTest::newRow("resume only saved") << "resume" << QStringList{"aaa1111111", "ccc3333333"}
                                           << QStringList{"/usr/bin/true resume ccc3333333"};
        QTest::newRow("provision") << "provision" << QStringList{"bbb2222222"}
                                   << QStringList{"/usr/bin/true provision bbb2222222"};
        QTest::newRow("one destroy asks nothing")
            << "destroy" << QStringList{"bbb2222222"}
            << QStringList{"/usr/bin/true destroy -f bbb2222222"};
        QTest::newRow("rdp only running") << "rdp" << QStringList{"aaa1111111", "bbb2222222"}
                                          << QStringList{"/usr/bin/true rdp aaa1111111"};
    }
    void commandsRunOncePerMachineThatAllowsThem()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, selected);
        QFETCH(QStringList, commandLines);
        Fixture f(fourStates());
        int alerts = 0;
        AlertPresenter::setResponder([&alerts](QWidget*, const Alert&) {
            ++alerts;
            return AlertResponse{1};
        });
        f.window->selectMachines(selected);
        f.window->commandAction(command)->trigger();
        QCOMPARE(f.runner->commandLines(), commandLines);
        QCOMPARE(alerts, 0);
    }

    void destroyingSeveralAsksFirst_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("destroyed");
        QTest::newRow("Destroy") << 0 << 2;
        QTest::newRow("Cancel") << 1 << 0;
    }
    void destroyingSeveralAsksFirst()
    {
        QFETCH(int, button);
        QFETCH(int, destroyed);
        Fixture f(fourStates());
        QList<Alert> asked;
        AlertPresenter::setResponder([&](QWidget*, const Alert& alert) {
            asked.append(alert);
            return AlertResponse{button};
        });
        f.window->selectMachines({"aaa1111111", "ddd4444444"});
        f.window->commandAction(QStringLiteral("destroy"))->trigger();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().messageText, QStringLiteral("Destroy these 2 Vagrant machines?"));
        QVERIFY(asked.first().informativeText.contains(QStringLiteral("• web — /p/web")));
        QVERIFY(asked.first().informativeText.contains(QStringLiteral("• legacy — /p/old")));
        QCOMPARE(f.runner->calls.size(), destroyed);
    }

    void sshShareAndReveal()
    {
        Fixture f(fourStates());
        f.window->selectMachines({"aaa1111111", "bbb2222222"});
        f.window->commandAction(QStringLiteral("ssh"))->trigger();
        f.window->commandAction(QStringLiteral("reveal"))->trigger();
        QStringList calls;
        for (const RecordingWorkspace::Call& call : m_workspace->calls)
            calls.append(call.kind + u' ' + call.target);
        // SSH only for the running machine; both folders revealed, in index order.
        QCOMPARE(calls.size(), 3);
        QVERIFY(calls.at(0).startsWith(QStringLiteral("runInTerminal ")));
        QCOMPARE(calls.mid(1), (QStringList{"openUrl file:///p/web", "openUrl file:///p/shop"}));
    }

    // No terminal ran the session: the Machines window says so.
    void sshWithoutATerminalSaysSo()
    {
        Fixture f(fourStates());
        QList<Alert> alerts;
        AlertPresenter::setResponder([&alerts](QWidget*, const Alert& alert) {
            alerts.append(alert);
            return AlertResponse{};
        });
        m_workspace->result = false;
        f.window->selectMachines({"aaa1111111"});
        f.window->commandAction(QStringLiteral("ssh"))->trigger();
        QCOMPARE(alerts.size(), 1);
        QCOMPARE(alerts.first().messageText,
                 QStringLiteral("The SSH session could not be opened."));

        // As the user sees it on a system without any terminal.
        QTemporaryDir empty;
        QString reason;
        {
            const test::ScopedEnvironment path("PATH", QFile::encodeName(empty.path()));
            const test::ScopedEnvironment terminal("TERMINAL", std::nullopt);
            QVERIFY(!DesktopWorkspace().runInTerminal(QStringLiteral("/nonexistent"), &reason));
        }
        std::unique_ptr<QMessageBox> box(
            AlertPresenter::createMessageBox(nullptr, sshFailureAlert(reason)));
        test::saveScreenshot(box.get(), QStringLiteral("ssh-no-terminal"));
    }

    // The index watcher cannot be made (no file descriptor left for inotify): the window says
    // once that its list will not follow, and shows the machines as read.
    void unwatchableIndexIsSaidOnce()
    {
        test::writeIndex({{"aaa1111111", "web", "running", "/p/web"}});
        std::unique_ptr<VagrantHelper> helper;
        {
            rlimit old{};
            QCOMPARE(::getrlimit(RLIMIT_NOFILE, &old), 0);
            rlimit tight = old;
            tight.rlim_cur = 256;
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
            QList<int> taken;
            for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
                taken.append(fd);
            helper = std::make_unique<VagrantHelper>(test::quietOptions(true));
            for (const int fd : taken)
                ::close(fd);
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &old), 0);
        }
        QVERIFY(!helper->cdEventsIndex());
        QVERIFY(!helper->indexWatchError().isEmpty());
        helper->loadEnvironments();
        MachinesWindowController window(TheMenu::sharedInstance(), *helper);
        auto* notice = window.findChild<QLabel*>(QStringLiteral("lblIndexNotice"));
        QVERIFY(notice);
        QVERIFY2(notice->text().startsWith(
                     QStringLiteral("Vesk cannot follow changes to Vagrant's machines")),
                 qPrintable(notice->text()));
        QCOMPARE(window.tableView()->model()->rowCount(), 1);
        window.resize(760, 300);
        test::saveScreenshot(&window, QStringLiteral("machines-window-index-notice"));
    }

    void menusOfferTheTraysCommands()
    {
        Fixture f(fourStates());
        bool applicationMenuFilled = false;
        f.window->setApplicationMenuProvider([&](QMenu* menu) {
            applicationMenuFilled = true;
            menu->addAction(QStringLiteral("About Vesk"));
        });
        QVERIFY(applicationMenuFilled);
        auto titles = [](QMenu* menu) {
            QStringList result;
            for (QAction* action : menu->actions()) {
                result.append(action->isSeparator()
                                  ? QStringLiteral("-")
                                  : action->text() + (action->shortcut().isEmpty()
                                                          ? QString()
                                                          : u'\t' + action->shortcut().toString()));
            }
            return result;
        };
        QMenuBar* bar = f.window->menuBar();
        QStringList menus;
        for (QAction* action : bar->actions())
            menus.append(action->text());
        QCOMPARE(menus.mid(1), (QStringList{"&Machine", "&All Machines", "&Updates"}));
        QCOMPARE(titles(f.window->findChild<QMenu*>(QStringLiteral("menuMachine"))),
                 (QStringList{"Power On\tCtrl+U", "Power Off\tCtrl+H", "Reboot\tCtrl+R",
                              "Pause\tCtrl+P", "Resume\tCtrl+Shift+U", "Provision\tCtrl+Shift+P",
                              "Destroy\tCtrl+Shift+Del", "-", "SSH\tCtrl+T", "RDP\tCtrl+Shift+T",
                              "Share\tCtrl+Shift+S", "-", "Reveal in Finder\tCtrl+Shift+R", "-",
                              "Filter Machines\tCtrl+F", "-", "Prune Vagrant Cache...", "-",
                              "Close Window\tCtrl+W"}));
        QCOMPARE(titles(f.window->findChild<QMenu*>(QStringLiteral("menuAllMachines"))),
                 (QStringList{"Power On", "Power Off", "Reboot", "Pause", "Resume", "Provision",
                              "Destroy"}));
        QCOMPARE(titles(f.window->findChild<QMenu*>(QStringLiteral("menuUpdates"))),
                 QStringList{"No Updates Available"});
        // The toolbar and the context menu carry the same actions.
        QCOMPARE(f.window->contextMenu()->actions().size(), 13);
        QVERIFY(f.window->findChild<QToolBar*>()->actions().contains(
            f.window->commandAction(QStringLiteral("up"))));

        // All Machines asks before destroying, as in the tray.
        QList<Alert> asked;
        AlertPresenter::setResponder([&](QWidget*, const Alert& alert) {
            asked.append(alert);
            return AlertResponse{1};
        });
        QMenu* all = f.window->findChild<QMenu*>(QStringLiteral("menuAllMachines"));
        all->actions().last()->trigger();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().messageText, QStringLiteral("Destroy all 4 Vagrant machines?"));
        QCOMPARE(f.runner->calls.size(), 0);
        all->actions().first()->trigger();
        QCOMPARE(f.runner->calls.size(), 4);
        f.window->findChild<QMenu*>(QStringLiteral("menuMachine"))->actions().at(16)->trigger();
        QCOMPARE(f.runner->commandLines().last(),
                 QStringLiteral("/usr/bin/true global-status --prune"));
    }

    void filterNarrowsTheRows_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("nothing") << "" << QStringList{"web", "db", "ci", "legacy"};
        QTest::newRow("by name") << "LEG" << QStringList{"legacy"};
        QTest::newRow("by folder") << "/p/shop" << QStringList{"db"};
        QTest::newRow("by box") << "bookworm" << QStringList{"web"};
        QTest::newRow("by provider") << "libvirt" << QStringList{"ci"};
        QTest::newRow("by state") << "saved" << QStringList{"ci"};
        QTest::newRow("by part of a path") << "/p/" << QStringList{"web", "db", "ci", "legacy"};
        QTest::newRow("no match") << "zzz" << QStringList{};
    }
    void filterNarrowsTheRows()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        Fixture f(fourStates());
        f.window->show();
        QTest::keyClicks(f.window->filterField(), text);
        QStringList shown;
        const QAbstractItemModel* model = f.window->tableView()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            shown.append(model->index(row, MachineTableModel::NameColumn).data().toString());
        QCOMPARE(shown, names);
        QTest::keyClick(f.window->filterField(), Qt::Key_Escape);
        QCOMPARE(f.window->filterField()->text(), QString());
        QCOMPARE(model->rowCount(), 4);
    }

    void filteredOutMachinesAreNotCommanded()
    {
        Fixture f(fourStates());
        f.window->selectMachines({"aaa1111111", "bbb2222222"});
        f.window->filterField()->setText(QStringLiteral("db"));
        QCOMPARE(f.window->selectedMachineIds(), QStringList{"bbb2222222"});
        f.window->commandAction(QStringLiteral("reload"))->trigger();
        QCOMPARE(f.runner->commandLines(), QStringList{"/usr/bin/true reload bbb2222222"});
    }

    // The window follows the index by itself and keeps what the user was looking at.
    void selectionAndScrollKeptAcrossReloads_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("selectedAfter");
        QTest::newRow("states change") << "states" << QStringList{"m010", "m030"};
        QTest::newRow("a machine above goes") << "remove m005" << QStringList{"m010", "m030"};
        QTest::newRow("a selected machine goes") << "remove m010" << QStringList{"m030"};
        QTest::newRow("machines arrive") << "add" << QStringList{"m010", "m030"};
        QTest::newRow("the index reorders") << "reverse" << QStringList{"m010", "m030"};
    }
    void selectionAndScrollKeptAcrossReloads()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, selectedAfter);
        QList<Machine> machines;
        for (int i = 0; i < 80; ++i)
            machines.append({QStringLiteral("m%1").arg(i, 3, 10, QLatin1Char('0')),
                             QStringLiteral("machine %1").arg(i), QStringLiteral("poweroff"),
                             QStringLiteral("/p/%1").arg(i)});
        Fixture f(machines, true);
        f.window->resize(700, 300);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.window->selectMachines({"m010", "m030"});
        QScrollBar* scroll = f.window->tableView()->verticalScrollBar();
        scroll->setValue(scroll->maximum() / 2);
        const int position = scroll->value();
        QVERIFY(position > 0);

        if (change == QLatin1String("states")) {
            for (Machine& machine : machines)
                machine.state = QStringLiteral("running");
        } else if (change.startsWith(QLatin1String("remove "))) {
            const QString id = change.mid(7);
            machines.removeIf([&id](const Machine& m) { return m.id == id; });
        } else if (change == QLatin1String("add")) {
            machines.prepend({"new1", "new one", "running", "/p/new1"});
            machines.append({"new2", "new two", "running", "/p/new2"});
        } else {
            std::reverse(machines.begin(), machines.end());
        }
        QVERIFY(test::writeIndex(machines));
        QTRY_COMPARE_WITH_TIMEOUT(f.window->tableView()->model()->rowCount(), int(machines.size()),
                                  15000);
        QTRY_COMPARE_WITH_TIMEOUT(f.window->machineModel()->machineId(0), machines.first().id,
                                  15000);
        if (change == QLatin1String("states"))
            QTRY_COMPARE_WITH_TIMEOUT(f.window->windowTitle(),
                                      QStringLiteral("Machines — 80 running"), 15000);
        QCOMPARE(f.window->selectedMachineIds(),
                 change == QLatin1String("reverse")
                     ? QStringList(selectedAfter.rbegin(), selectedAfter.rend())
                     : selectedAfter);
        QCOMPARE(scroll->value(), position);
    }

    void screenshots()
    {
        QList<Machine> machines;
        const QStringList states{"running", "poweroff", "saved", "aborted"};
        const QStringList boxes{"debian/bookworm64", "ubuntu/jammy64", "hashicorp/bionic64",
                                "generic/alpine318"};
        const QStringList projects{"shop", "blog", "ci", "legacy", "api"};
        for (int i = 0; i < 40; ++i) {
            const QString project = projects.at(i % projects.size());
            machines.append({QStringLiteral("%1abcdef0123").arg(i, 2, 16, QLatin1Char('0')),
                             i % 5 == 0 ? QStringLiteral("default")
                                        : QStringLiteral("%1-%2").arg(project).arg(i),
                             states.at(i % 4),
                             QStringLiteral("/home/dev/work/%1%2").arg(project).arg(i / 5),
                             boxes.at(i % 4), i % 7 == 3 ? "libvirt" : "virtualbox"});
        }
        Fixture f(machines);
        f.window->setApplicationMenuProvider(
            [](QMenu* menu) { menu->addAction(QStringLiteral("About Vesk")); });
        f.window->resize(900, 560);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.window->selectMachines({machines.at(2).id});
        test::saveScreenshot(f.window.get(), QStringLiteral("machines-window"));
        f.window->filterField()->setText(QStringLiteral("shop"));
        test::saveScreenshot(f.window.get(), QStringLiteral("machines-window-filtered"));
        f.window->filterField()->clear();
        f.window->setNoTrayNoticeVisible(true);
        test::saveScreenshot(f.window.get(), QStringLiteral("machines-window-no-tray"));
    }
};

VESK_TEST(TestMachineTableModel)
VESK_TEST(TestMachinesWindow)
#include "tst_MachinesWindow.moc"
