#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include "AlertPresenter.h"
#include "MachineIndexFixture.h"
#include "NotificationCenter.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "TheMenu.h"
#include "VagrantHelper.h"
#include "Workspace.h"

using namespace vesk;

namespace {

using test::indexPath;
using test::Machine;
using test::quietOptions;

void writeIndex(const QList<Machine>& machines)
{
    QVERIFY(test::writeIndex(machines));
}

// The rows as "title" with "-" for separators and "(off)" for disabled rows.
QStringList rows(const QList<MenuItemModel>& items)
{
    QStringList result;
    for (const MenuItemModel& item : items) {
        if (item.separator)
            result.append(QStringLiteral("-"));
        else
            result.append(item.title + (item.enabled ? QString() : QStringLiteral(" (off)")));
    }
    return result;
}

const MenuItemModel* find(const QList<MenuItemModel>& items, const QString& title)
{
    for (const MenuItemModel& item : items) {
        if (!item.separator && item.title == title)
            return &item;
    }
    return nullptr;
}

} // namespace

class TestTheMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QFile::remove(indexPath());
        m_workspace = new RecordingWorkspace;
        Workspace::setShared(std::unique_ptr<Workspace>(m_workspace));
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        AlertPresenter::setResponder({});
    }

    void noMachines()
    {
        VagrantHelper helper(quietOptions());
        auto* runner = new RecordingCommandRunner;
        helper.setCommandRunner(std::unique_ptr<VagrantCommandRunner>(runner));
        TheMenu menu(helper, false);
        QCOMPARE(menu.title(), QString());
        QCOMPARE(rows(menu.menuModel()),
                 (QStringList{"-", "All Machines", "-", "Updates", "-", "Prune Vagrant Cache..."}));
        const MenuItemModel* all = find(menu.menuModel(), QStringLiteral("All Machines"));
        QCOMPARE(rows(all->submenu), (QStringList{"Power On", "Power Off", "Reboot", "Pause",
                                                  "Resume", "Provision", "Destroy"}));
        for (const MenuItemModel& item : all->submenu)
            item.trigger();
        QCOMPARE(runner->calls.size(), 0);
        QCOMPARE(rows(find(menu.menuModel(), QStringLiteral("Updates"))->submenu),
                 (QStringList{"No Updates Available (off)"}));
        // The real menu holds the same rows.
        QCOMPARE(menu.menu()->actions().size(), 6);

        find(menu.menuModel(), QStringLiteral("Prune Vagrant Cache..."))->trigger();
        QCOMPARE(runner->commandLines(), QStringList{"/usr/bin/true global-status --prune"});
    }

    void machineStates_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("disabled");
        QTest::newRow("running") << "running"
                                 << "MenuRunning"
                                 << "Running" << QStringList{"Power On", "Resume"};
        QTest::newRow("poweroff") << "poweroff"
                                  << "MenuStopped"
                                  << "Poweroff" << QStringList{"Power Off", "Pause", "Resume",
                                                               "SSH",       "RDP",   "Share"};
        QTest::newRow("saved") << "saved"
                               << "MenuPaused"
                               << "Saved" << QStringList{"SSH", "RDP", "Share"};
        QTest::newRow("not created")
            << "not_created"
            << ""
            << "Not_created" << QStringList{"Resume", "SSH", "RDP", "Share"};
        QTest::newRow("aborted") << "aborted"
                                 << ""
                                 << "Aborted" << QStringList{"Resume", "SSH", "RDP", "Share"};
        QTest::newRow("two words")
            << "gone AWAY now"
            << ""
            << "Gone Away Now" << QStringList{"Resume", "SSH", "RDP", "Share"};
    }
    void machineStates()
    {
        QFETCH(QString, state);
        QFETCH(QString, image);
        QFETCH(QString, caption);
        QFETCH(QStringList, disabled);
        writeIndex({{QStringLiteral("a1b2c3d4e5f6"), QStringLiteral("web"), state,
                     QStringLiteral("/p/web")}});
        VagrantHelper helper(quietOptions());
        TheMenu menu(helper, false);
        QCOMPARE(menu.menuModel().size(), 7);
        const MenuItemModel& machine = menu.menuModel().first();
        QCOMPARE(machine.title, QStringLiteral("web"));
        QCOMPARE(machine.image, image);

        const QStringList all{"Power On", "Power Off", "Reboot",          "Pause",
                              "Resume",   "Provision", "Destroy",         "SSH",
                              "RDP",      "Share",     "Reveal in Finder"};
        QStringList expected{caption + QStringLiteral(" (off)"), QStringLiteral("-")};
        for (const QString& title : all) {
            if (title == QStringLiteral("SSH") || title == QStringLiteral("Reveal in Finder"))
                expected.append(QStringLiteral("-"));
            expected.append(title +
                            (disabled.contains(title) ? QStringLiteral(" (off)") : QString()));
        }
        expected.append(QStringLiteral("-"));
        QCOMPARE(rows(machine.submenu), expected);
        for (const MenuItemModel& item : machine.submenu) {
            if (item.separator || !item.enabled || item.title == caption)
                continue;
            QVERIFY(item.vkItem);
            QCOMPARE(item.environment->hexId(),
                     std::optional<QString>(QStringLiteral("a1b2c3d4e5f6")));
            QVERIFY(item.templateImage);
        }
    }

    void rowsAreNeverBlank_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("title");
        QTest::newRow("default without a project folder") << "default"
                                                          << ""
                                                          << "0a1b2c3";
        QTest::newRow("empty name") << ""
                                    << "/p/web"
                                    << "0a1b2c3";
        QTest::newRow("default names its folder") << "default"
                                                  << "/p/shop"
                                                  << "shop";
        QTest::newRow("own name") << "db"
                                  << "/p/shop"
                                  << "db";
    }
    void rowsAreNeverBlank()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QFETCH(QString, title);
        writeIndex({{QStringLiteral("0a1b2c3d4e5f"), name, QStringLiteral("running"), folder}});
        VagrantHelper helper(quietOptions());
        TheMenu menu(helper, false);
        QCOMPARE(menu.menuModel().first().title, title);
        QCOMPARE(menu.menu()->actions().first()->text(), title);
    }

    void commandsActOnTheirMachine()
    {
        writeIndex({{QStringLiteral("aaa"), QStringLiteral("web"), QStringLiteral("running"),
                     QStringLiteral("/p/web")},
                    {QStringLiteral("bbb"), QStringLiteral("default"), QStringLiteral("running"),
                     QStringLiteral("/p/shop")},
                    {QStringLiteral("ccc"), QStringLiteral("db"), QStringLiteral("poweroff"),
                     QStringLiteral("/p/shop")}});
        VagrantHelper helper(quietOptions());
        auto* runner = new RecordingCommandRunner;
        helper.setCommandRunner(std::unique_ptr<VagrantCommandRunner>(runner));
        TheMenu menu(helper, false);
        QCOMPARE(menu.title(), QStringLiteral("2   "));
        QCOMPARE(rows(menu.menuModel()).mid(0, 3), (QStringList{"web", "shop", "db"}));

        const MenuItemModel& shop = menu.menuModel().at(1);
        find(shop.submenu, QStringLiteral("Power Off"))->trigger();
        find(shop.submenu, QStringLiteral("Destroy"))->trigger();
        find(menu.menuModel().at(2).submenu, QStringLiteral("Power On"))->trigger();
        // A disabled row does nothing.
        find(menu.menuModel().at(2).submenu, QStringLiteral("Power Off"))->trigger();
        QCOMPARE(runner->commandLines(),
                 (QStringList{"/usr/bin/true halt bbb", "/usr/bin/true destroy -f bbb",
                              "/usr/bin/true up ccc"}));
        QCOMPARE(runner->calls.at(0).command.title, QStringLiteral("shop - Powering Off..."));

        find(shop.submenu, QStringLiteral("Reveal in Finder"))->trigger();
        find(shop.submenu, QStringLiteral("SSH"))->trigger();
        QCOMPARE(m_workspace->calls.size(), 2);
        QCOMPARE(m_workspace->calls.at(0).target,
                 QUrl::fromLocalFile(QStringLiteral("/p/shop")).toString());
        QCOMPARE(m_workspace->calls.at(1).kind, QStringLiteral("runInTerminal"));
    }

    void allMachinesInIndexOrder_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("subcommand");
        QTest::newRow("Power On") << "Power On"
                                  << "up";
        QTest::newRow("Power Off") << "Power Off"
                                   << "halt";
        QTest::newRow("Reboot") << "Reboot"
                                << "reload";
        QTest::newRow("Pause") << "Pause"
                               << "suspend";
        QTest::newRow("Resume") << "Resume"
                                << "resume";
        QTest::newRow("Provision") << "Provision"
                                   << "provision";
        QTest::newRow("Destroy") << "Destroy"
                                 << "destroy -f";
    }
    void allMachinesInIndexOrder()
    {
        QFETCH(QString, title);
        QFETCH(QString, subcommand);
        writeIndex({{QStringLiteral("zzz"), QStringLiteral("web"), QStringLiteral("running"),
                     QStringLiteral("/p/web")},
                    {QStringLiteral("aaa"), QStringLiteral("db"), QStringLiteral("poweroff"),
                     QStringLiteral("/p/db")},
                    {QStringLiteral("mmm"), QStringLiteral("ci"), QStringLiteral("saved"),
                     QStringLiteral("/p/ci")}});
        VagrantHelper helper(quietOptions());
        auto* runner = new RecordingCommandRunner;
        helper.setCommandRunner(std::unique_ptr<VagrantCommandRunner>(runner));
        TheMenu menu(helper, false);
        // Destroying them all asks first; agree.
        AlertPresenter::setResponder([](QWidget*, const Alert&) { return AlertResponse{}; });
        find(find(menu.menuModel(), QStringLiteral("All Machines"))->submenu, title)->trigger();
        // No permission rule: every machine, in the index's own order.
        QCOMPARE(runner->commandLines(), (QStringList{"/usr/bin/true " + subcommand + " zzz",
                                                      "/usr/bin/true " + subcommand + " aaa",
                                                      "/usr/bin/true " + subcommand + " mmm"}));
    }

    void rebuildsWhenTheIndexChanges()
    {
        writeIndex({{QStringLiteral("aaa"), QStringLiteral("web"), QStringLiteral("poweroff"),
                     QStringLiteral("/p/web")}});
        VagrantHelper helper(quietOptions(true));
        TheMenu menu(helper, false);
        QCOMPARE(menu.title(), QString());
        QCOMPARE(menu.menuModel().first().image, QStringLiteral("MenuStopped"));

        writeIndex({{QStringLiteral("aaa"), QStringLiteral("web"), QStringLiteral("running"),
                     QStringLiteral("/p/web")},
                    {QStringLiteral("bbb"), QStringLiteral("db"), QStringLiteral("running"),
                     QStringLiteral("/p/db")}});
        QTRY_COMPARE_WITH_TIMEOUT(menu.title(), QStringLiteral("2   "), 15000);
        QCOMPARE(rows(menu.menuModel()).mid(0, 2), (QStringList{"web", "db"}));
        QCOMPARE(menu.menuModel().first().image, QStringLiteral("MenuRunning"));
        QCOMPARE(menu.menu()->actions().first()->text(), QStringLiteral("web"));
    }

    // A machine's submenu that is open while the index changes shows the new state at once.
    void openSubmenuFollowsARebuild()
    {
        writeIndex({{QStringLiteral("aaa"), QStringLiteral("web"), QStringLiteral("poweroff"),
                     QStringLiteral("/p/web")}});
        VagrantHelper helper(quietOptions());
        TheMenu menu(helper, false);
        QMenu* submenu = menu.menu()->actions().first()->menu();
        submenu->popup(QPoint(0, 0));
        QVERIFY(submenu->isVisible());
        QCOMPARE(submenu->actions().first()->text(), QStringLiteral("Poweroff"));
        writeIndex({{QStringLiteral("aaa"), QStringLiteral("web"), QStringLiteral("running"),
                     QStringLiteral("/p/web")}});
        helper.loadEnvironments();
        menu.rebuild();
        QCOMPARE(menu.menu()->actions().first()->menu(), submenu);
        QVERIFY(submenu->isVisible());
        QCOMPARE(submenu->actions().first()->text(), QStringLiteral("Running"));
        submenu->hide();
    }

    void updatesOpenTheirDocument()
    {
        VagrantHelper helper(quietOptions());
        TheMenu menu(helper, false);
        QString opened;
        menu.setDocumentOpener([&opened](const QString& path) { opened = path; });
        menu.setUpdatesMenuProvider([] {
            MenuItemModel item;
            item.title = QStringLiteral("site.vesk");
            item.extraStuff = QStringLiteral("/Users/u/web/site.vesk");
            return QList<MenuItemModel>{item};
        });
        menu.rebuild();
        const MenuItemModel* updates = find(menu.menuModel(), QStringLiteral("Updates"));
        QCOMPARE(rows(updates->submenu), QStringList{"site.vesk"});
        QVERIFY(updates->submenu.first().vkItem);
        updates->submenu.first().trigger();
        QCOMPARE(opened, QStringLiteral("/Users/u/web/site.vesk"));
    }

    void screenshot()
    {
        writeIndex({{QStringLiteral("a1"), QStringLiteral("default"), QStringLiteral("running"),
                     QStringLiteral("/home/dev/shop")},
                    {QStringLiteral("b2"), QStringLiteral("db"), QStringLiteral("saved"),
                     QStringLiteral("/home/dev/shop")},
                    {QStringLiteral("c3"), QStringLiteral("ci-runner"), QStringLiteral("poweroff"),
                     QStringLiteral("/home/dev/ci")},
                    {QStringLiteral("d4"), QStringLiteral("legacy"), QStringLiteral("aborted"),
                     QStringLiteral("/home/dev/old")}});
        VagrantHelper helper(quietOptions());
        TheMenu menu(helper, false);
        menu.setApplicationMenuProvider(
            [](QMenu* application) { application->addAction(QStringLiteral("About Vesk")); });
        menu.rebuild();
        QMenu* main = menu.menu();
        main->popup(QPoint(0, 0));
        QList<QImage> pictures{main->grab().toImage()};
        int index = 0;
        for (QAction* action : main->actions()) {
            if (!action->menu() || index++ >= 4)
                continue;
            action->menu()->popup(QPoint(0, 0));
            pictures.append(action->menu()->grab().toImage());
            action->menu()->hide();
        }
        main->hide();
        int width = 0;
        int height = 0;
        for (const QImage& picture : pictures) {
            width += picture.width() + 12;
            height = std::max(height, picture.height());
        }
        QImage sheet(width + 12, height + 24, QImage::Format_ARGB32);
        sheet.fill(QColor(0x3c, 0x3f, 0x45));
        QPainter painter(&sheet);
        int x = 12;
        for (const QImage& picture : pictures) {
            painter.drawImage(x, 12, picture);
            x += picture.width() + 12;
        }
        painter.end();
        QDir().mkpath(QStringLiteral(VESK_SCREENSHOTS_DIR));
        QVERIFY(sheet.save(QStringLiteral(VESK_SCREENSHOTS_DIR "/tray-menu.png")));
    }

private:
    RecordingWorkspace* m_workspace = nullptr;
};

VESK_TEST(TestTheMenu)
#include "tst_TheMenu.moc"
