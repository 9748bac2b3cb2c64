#include "TheMenu.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSet>
#include <QSystemTrayIcon>
#include <QTimer>

#include "DestroyConfirmation.h"
#include "MachineCommands.h"
#include "Icons.h"
#include "NotificationCenter.h"
#include "VagrantHelper.h"

namespace vesk {

namespace {

MenuItemModel plainItem(const QString& title)
{
    MenuItemModel item;
    item.title = title;
    return item;
}

} // namespace

TheMenu& TheMenu::sharedInstance()
{
    static TheMenu* menu = new TheMenu(VagrantHelper::sharedInstance(), true);
    return *menu;
}

TheMenu::TheMenu(VagrantHelper& helper, bool showTrayIcon, QObject* parent)
    : QObject(parent), m_helper(helper), m_menu(std::make_unique<QMenu>())
{
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    if (showTrayIcon) {
        m_statusItem = new QSystemTrayIcon(this);
        m_statusItem->setObjectName(QStringLiteral("statusItem"));
        m_statusItem->setContextMenu(m_menu.get());
        // A left click shows the menu too, as a status item does.
        connect(m_statusItem, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger)
                        m_menu->popup(QCursor::pos());
                });
    }
    update();
    if (m_statusItem)
        m_statusItem->show();
    // A new reading of the index is rebuilt into the menu one turn of the event loop later, so
    // that windows showing the same machines (drawn on the same notification) are not kept
    // waiting behind a menu that nobody has open.
    NotificationCenter::defaultCenter().observe(NOTE_MACHINE_INDEX_CHANGED, this,
                                                [this](const QVariant&) {
                                                    if (m_updatePending)
                                                        return;
                                                    m_updatePending = true;
                                                    QTimer::singleShot(0, this, [this] {
                                                        if (m_updatePending)
                                                            update();
                                                    });
                                                });
}

TheMenu::~TheMenu() = default;

void TheMenu::setUpdatesMenuProvider(UpdatesMenuProvider provider)
{
    m_updatesMenuProvider = std::move(provider);
}

void TheMenu::setApplicationMenuProvider(ApplicationMenuProvider provider)
{
    m_applicationMenuProvider = std::move(provider);
}

void TheMenu::setDocumentOpener(std::function<void(const QString&)> opener)
{
    m_documentOpener = std::move(opener);
}

QString TheMenu::captionForState(const QString& stateString)
{
    return vesk::captionForState(stateString);
}

void TheMenu::update()
{
    const uint running = m_helper.numberOfRunningMachines();
    m_title = running ? QString::number(running) + QStringLiteral("   ") : QString();

    m_updatePending = false;
    m_model.clear();
    const VagrantEnvironmentDictionary& environments = m_helper.environments();
    m_model.reserve(environments.size() + 6);
    for (const QString& id : environments.ids()) {
        const VagrantEnvironmentPtr environment = environments.value(id);
        MenuItemModel item = plainItem(machineTitle(*environment));
        item.environment = environment;
        item.submenu = buildEnvironmentMenu(environment);
        item.image = imageForState(environment->state());
        m_model.append(item);
    }
    m_model.append(MenuItemModel::makeSeparator());
    MenuItemModel all = plainItem(QStringLiteral("All Machines"));
    all.submenu = allMenu();
    m_model.append(all);
    m_model.append(MenuItemModel::makeSeparator());
    MenuItemModel updates = plainItem(QStringLiteral("Updates"));
    updates.submenu = updatesMenu();
    m_model.append(updates);
    m_model.append(MenuItemModel::makeSeparator());
    m_model.append(pruneItem());

    realise();
    updateTrayIcon(running);
}

MenuItemModel TheMenu::pruneItem()
{
    MenuItemModel prune = plainItem(QStringLiteral("Prune Vagrant Cache..."));
    prune.action = [this](const MenuItemModel&) { m_helper.pruneVagrantWithCompletionHandler(); };
    return prune;
}

QList<MenuItemModel> TheMenu::buildEnvironmentMenu(const VagrantEnvironmentPtr& environment)
{
    MenuItemModel caption =
        plainItem(captionForState(environment->stateString().value_or(QString())));
    caption.enabled = false;
    QList<MenuItemModel> items;
    items.reserve(16);
    items << caption << MenuItemModel::makeSeparator();
    for (const MachineCommand& command : machineCommands()) {
        if (command.separatorBefore)
            items.append(MenuItemModel::makeSeparator());
        MenuItemModel item = plainItem(command.title);
        item.vkItem = true;
        item.image = command.image;
        item.templateImage = true;
        item.enabled = command.allows(*environment);
        item.environment = environment;
        item.action = [this, run = command.run](const MenuItemModel& sender) {
            run(m_helper, sender.environment);
        };
        items.append(item);
    }
    items.append(MenuItemModel::makeSeparator());
    return items;
}

MenuItemModel TheMenu::allCommand(
    const QString& title, const QString& image,
    void (VagrantHelper::*command)(const VagrantEnvironmentPtr&, std::function<void()>,
                                   std::function<void(const QString&)>))
{
    MenuItemModel item = plainItem(title);
    item.vkItem = true;
    item.image = image;
    item.templateImage = true;
    // No permission rule here: every machine gets the command, in index order.
    item.action = [this, command](const MenuItemModel&) {
        for (const VagrantEnvironmentPtr& environment : m_helper.environmentsArray())
            (m_helper.*command)(environment, {}, {});
    };
    return item;
}

QList<MenuItemModel> TheMenu::allMenu()
{
    QList<MenuItemModel> items{
        allCommand(QStringLiteral("Power On"), QStringLiteral("Up"), &VagrantHelper::upEnvironment),
        allCommand(QStringLiteral("Power Off"), QStringLiteral("Halt"),
                   &VagrantHelper::haltEnvironment),
        allCommand(QStringLiteral("Reboot"), QStringLiteral("Reload"),
                   &VagrantHelper::reloadEnvironment),
        allCommand(QStringLiteral("Pause"), QStringLiteral("Pause"),
                   &VagrantHelper::suspendEnvironment),
        allCommand(QStringLiteral("Resume"), QStringLiteral("Up"),
                   &VagrantHelper::resumeEnvironment),
        allCommand(QStringLiteral("Provision"), QStringLiteral("Provision"),
                   &VagrantHelper::provisionEnvironment),
        allCommand(QStringLiteral("Destroy"), QStringLiteral("Destroy"),
                   &VagrantHelper::destroyEnvironment),
    };
    // Every machine's disk goes at once: ask first, naming them, and destroy just those.
    items.last().action = [this](const MenuItemModel&) {
        const QList<VagrantEnvironmentPtr> machines = m_helper.environmentsArray();
        if (machines.isEmpty())
            return;
        DestroyConfirmation::ask(nullptr, DestroyConfirmation::destroyAllAlert(machines),
                                 [this, machines] {
                                     for (const VagrantEnvironmentPtr& machine : machines)
                                         m_helper.destroyEnvironment(machine, {}, {});
                                 });
    };
    return items;
}

QList<MenuItemModel> TheMenu::updatesMenu()
{
    QList<MenuItemModel> items;
    if (m_updatesMenuProvider)
        items = m_updatesMenuProvider();
    for (MenuItemModel& item : items) {
        if (item.separator || item.action || item.extraStuff.isNull())
            continue;
        item.vkItem = true;
        item.action = [this](const MenuItemModel& sender) {
            if (m_documentOpener)
                m_documentOpener(sender.extraStuff.toString());
        };
    }
    if (items.isEmpty()) {
        MenuItemModel none = plainItem(QStringLiteral("No Updates Available"));
        none.enabled = false;
        items.append(none);
    }
    return items;
}

void TheMenu::realise()
{
    // Every row is built anew, but a machine's submenu widget is kept for the same machine:
    // making and destroying a thousand menus was most of a rebuild's cost.
    QHash<QString, QMenu*> previous;
    previous.swap(m_machineMenus);
    const QSet<QMenu*> kept(previous.cbegin(), previous.cend());
    for (QMenu* submenu : m_menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        // The rest go with their items; deleteLater keeps an open one alive until the event
        // that rebuilt it has been handled.
        if (!kept.contains(submenu))
            submenu->deleteLater();
    }
    m_menu->clear();
    fillMenu(m_menu.get(), m_model, [this, &previous](const MenuItemModel& row) -> QMenu* {
        if (!row.environment)
            return nullptr;
        const QString id = row.environment->hexId().value_or(QString());
        QMenu* submenu = previous.take(id);
        if (!submenu)
            submenu = new LazyMenu(m_menu.get());
        m_machineMenus.insert(id, submenu);
        return submenu;
    });
    for (QMenu* gone : std::as_const(previous))
        gone->deleteLater();
    if (m_applicationMenuProvider) {
        m_menu->addSeparator();
        QMenu* application = new QMenu(QStringLiteral("Vesk"), m_menu.get());
        application->setObjectName(QStringLiteral("applicationMenu"));
        m_applicationMenuProvider(application);
        m_menu->addMenu(application);
        QAction* quit = m_menu->addAction(QStringLiteral("Quit Vesk"));
        quit->setObjectName(QStringLiteral("quitAction"));
        connect(quit, &QAction::triggered, this, [this] {
            if (m_quitHandler)
                m_quitHandler();
            else
                QApplication::quit();
        });
    }
}

void TheMenu::updateTrayIcon(uint running)
{
    if (!m_statusItem)
        return;
    m_statusItem->setIcon(trayIconWithBadge(int(running)));
    m_statusItem->setToolTip(running == 0 ? QStringLiteral("Vesk: no machines running")
                             : running == 1
                                 ? QStringLiteral("Vesk: 1 machine running")
                                 : QStringLiteral("Vesk: %1 machines running").arg(running));
}

} // namespace vesk
