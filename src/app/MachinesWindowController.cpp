#include "MachinesWindowController.h"
#include "ui_MachinesWindowController.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QToolBar>

#include "DestroyConfirmation.h"
#include "Icons.h"
#include "MachineCommands.h"
#include "MachineTableModel.h"
#include "MenuModel.h"
#include "NotificationCenter.h"
#include "TheMenu.h"
#include "VagrantHelper.h"

namespace vesk {

MachinesWindowController::MachinesWindowController(TheMenu& menu, VagrantHelper& helper,
                                                   QWidget* parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::MachinesWindowController>()), m_menu(menu),
      m_helper(helper)
{
    m_ui->setupUi(this);
    setup();
}

MachinesWindowController::~MachinesWindowController() = default;

QTableView* MachinesWindowController::tableView() const
{
    return m_ui->tblMachines;
}

QString MachinesWindowController::titleForRunningCount(uint running)
{
    return QStringLiteral("Machines — %1 running").arg(running);
}

void MachinesWindowController::setup()
{
    // Said once, where the list is: without its watcher the list cannot follow Vagrant.
    if (QString error = m_helper.indexWatchError(); !error.isEmpty()) {
        while (error.endsWith(u'.'))
            error.chop(1); // it goes in parentheses mid-sentence
        auto* notice = new QLabel(
            QStringLiteral("Vesk cannot follow changes to Vagrant's machines (%1), so this list "
                           "shows them as they were when Vesk started.")
                .arg(error),
            this);
        notice->setObjectName(QStringLiteral("lblIndexNotice"));
        notice->setWordWrap(true);
        notice->setMargin(6);
        if (auto* layout = qobject_cast<QBoxLayout*>(m_ui->lblNoTray->parentWidget()->layout()))
            layout->insertWidget(layout->indexOf(m_ui->lblNoTray) + 1, notice);
    }

    m_model = new MachineTableModel(this);
    m_filter = new QSortFilterProxyModel(this);
    m_filter->setSourceModel(m_model);
    m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_filter->setFilterKeyColumn(-1);

    QTableView* table = m_ui->tblMachines;
    table->setModel(m_filter);
    // Fixed row heights and column widths: nothing has to measure a thousand rows.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->setIconSize(QSize(16, 16));
    const int em = table->fontMetrics().horizontalAdvance(u'M');
    table->setColumnWidth(MachineTableModel::StateColumn, 9 * em);
    table->setColumnWidth(MachineTableModel::NameColumn, 12 * em);
    table->setColumnWidth(MachineTableModel::ProviderColumn, 8 * em);
    table->setColumnWidth(MachineTableModel::BoxColumn, 14 * em);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_filterField = new QLineEdit(this);
    m_filterField->setObjectName(QStringLiteral("txtFilter"));
    m_filterField->setPlaceholderText(QStringLiteral("Filter"));
    m_filterField->setClearButtonEnabled(true);
    m_filterField->setMaximumWidth(18 * em);
    m_filterField->setToolTip(QStringLiteral("Shows the machines whose name, folder, box, "
                                             "provider or state contains this text"));
    m_filterField->installEventFilter(this);
    connect(m_filterField, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_filter->setFilterFixedString(text);
        updateActions();
    });

    buildActions();
    buildMenus();

    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MachinesWindowController::updateActions);
    connect(table, &QWidget::customContextMenuRequested, this, [this, table](const QPoint& pos) {
        m_contextMenu->popup(table->viewport()->mapToGlobal(pos));
    });
    NotificationCenter::defaultCenter().observe(NOTE_MACHINE_INDEX_CHANGED, this,
                                                [this](const QVariant&) { reload(); });
    reload();
}

void MachinesWindowController::buildActions()
{
    const QColor ink = palette().color(QPalette::ButtonText);
    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("mnuContext"));
    for (const MachineCommand& command : machineCommands()) {
        auto* action = new QAction(templateIcon(command.image, ink), command.title, this);
        action->setObjectName(QStringLiteral("action") + command.name.left(1).toUpper() +
                              command.name.mid(1));
        action->setShortcut(command.shortcut);
        action->setIconVisibleInMenu(true);
        connect(action, &QAction::triggered, this, [this, &command] { runCommand(command); });
        m_commandActions.append(action);

        if (command.separatorBefore) {
            m_ui->toolBar->addSeparator();
            m_contextMenu->addSeparator();
        }
        m_ui->toolBar->addAction(action);
        m_contextMenu->addAction(action);
    }
    auto* spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_ui->toolBar->addWidget(spacer);
    m_ui->toolBar->addWidget(m_filterField);
}

void MachinesWindowController::buildMenus()
{
    QMenuBar* bar = menuBar();
    m_applicationMenu = bar->addMenu(QApplication::applicationDisplayName());
    m_applicationMenu->setObjectName(QStringLiteral("menuApplication"));

    QMenu* machine = bar->addMenu(QStringLiteral("&Machine"));
    machine->setObjectName(QStringLiteral("menuMachine"));
    for (int i = 0; i < m_commandActions.size(); ++i) {
        if (machineCommands().at(i).separatorBefore)
            machine->addSeparator();
        machine->addAction(m_commandActions.at(i));
    }
    machine->addSeparator();
    QAction* find = machine->addAction(QStringLiteral("Filter Machines"));
    find->setObjectName(QStringLiteral("actionFilter"));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this] {
        m_filterField->setFocus(Qt::ShortcutFocusReason);
        m_filterField->selectAll();
    });
    machine->addSeparator();
    // The tray's own rows, so they run and ask exactly as they do there.
    fillMenu(machine, {m_menu.pruneItem()});
    machine->addSeparator();
    QAction* close = machine->addAction(QStringLiteral("Close Window"));
    close->setObjectName(QStringLiteral("actionClose"));
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(close, &QAction::triggered, this, &QWidget::close);

    QMenu* all = bar->addMenu(QStringLiteral("&All Machines"));
    all->setObjectName(QStringLiteral("menuAllMachines"));
    fillMenu(all, m_menu.allMenu());

    m_updatesMenu = bar->addMenu(QStringLiteral("&Updates"));
    m_updatesMenu->setObjectName(QStringLiteral("menuUpdates"));
    connect(m_updatesMenu, &QMenu::aboutToShow, this, &MachinesWindowController::fillUpdatesMenu);
    fillUpdatesMenu();
}

void MachinesWindowController::fillUpdatesMenu()
{
    for (QMenu* submenu : m_updatesMenu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        submenu->deleteLater();
    m_updatesMenu->clear();
    fillMenu(m_updatesMenu, m_menu.updatesMenu());
}

void MachinesWindowController::setApplicationMenuProvider(std::function<void(QMenu*)> provider)
{
    m_applicationMenu->clear();
    if (provider)
        provider(m_applicationMenu);
}

void MachinesWindowController::setNoTrayNoticeVisible(bool visible)
{
    m_ui->lblNoTray->setVisible(visible);
}

bool MachinesWindowController::noTrayNoticeVisible() const
{
    return !m_ui->lblNoTray->isHidden();
}

void MachinesWindowController::reload()
{
    const QStringList selected = selectedMachineIds();
    const int scroll = tableView()->verticalScrollBar()->value();
    m_model->setEnvironments(m_helper.environments());

    // Rows that stayed keep their selection by themselves; only a reordered index starts the
    // table over, and then the selection and scroll position are put back.
    QStringList kept;
    for (const QString& id : selected) {
        if (m_model->rowOfMachine(id) >= 0)
            kept.append(id);
    }
    if (selectedMachineIds() != kept) {
        selectMachines(kept);
        tableView()->doItemsLayout();
        tableView()->verticalScrollBar()->setValue(scroll);
    }
    updateTitle();
    updateActions();
}

QStringList MachinesWindowController::selectedMachineIds() const
{
    QStringList ids;
    for (const VagrantEnvironmentPtr& environment : selectedEnvironments())
        ids.append(environment->hexId().value_or(QString()));
    return ids;
}

QList<VagrantEnvironmentPtr> MachinesWindowController::selectedEnvironments() const
{
    QList<int> rows;
    for (const QModelIndex& index : tableView()->selectionModel()->selectedRows())
        rows.append(m_filter->mapToSource(index).row());
    std::sort(rows.begin(), rows.end());
    QList<VagrantEnvironmentPtr> environments;
    environments.reserve(rows.size());
    for (int row : rows) {
        if (VagrantEnvironmentPtr environment = m_model->environment(row))
            environments.append(environment);
    }
    return environments;
}

void MachinesWindowController::selectMachines(const QStringList& ids)
{
    QItemSelection selection;
    for (const QString& id : ids) {
        const int row = m_model->rowOfMachine(id);
        if (row < 0)
            continue;
        const QModelIndex index = m_filter->mapFromSource(m_model->index(row, 0));
        if (index.isValid())
            selection.select(index, index);
    }
    tableView()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
}

void MachinesWindowController::runCommand(const MachineCommand& command)
{
    QList<VagrantEnvironmentPtr> machines;
    for (const VagrantEnvironmentPtr& environment : selectedEnvironments()) {
        if (command.allows(*environment))
            machines.append(environment);
    }
    if (machines.isEmpty())
        return;
    VagrantHelper& helper = m_helper;
    auto run = [&helper, &command, machines] {
        for (const VagrantEnvironmentPtr& machine : machines)
            command.run(helper, machine);
    };
    // One machine is destroyed as from the tray; several disks at once are worth a question.
    if (command.name == QLatin1String("destroy") && machines.size() > 1)
        DestroyConfirmation::ask(this, DestroyConfirmation::destroySelectedAlert(machines), run);
    else
        run();
}

QAction* MachinesWindowController::commandAction(const QString& name) const
{
    for (int i = 0; i < m_commandActions.size(); ++i) {
        if (machineCommands().at(i).name == name)
            return m_commandActions.at(i);
    }
    return nullptr;
}

void MachinesWindowController::updateActions()
{
    const QList<VagrantEnvironmentPtr> machines = selectedEnvironments();
    for (int i = 0; i < m_commandActions.size(); ++i) {
        const MachineCommand& command = machineCommands().at(i);
        m_commandActions.at(i)->setEnabled(
            std::any_of(machines.cbegin(), machines.cend(),
                        [&command](const VagrantEnvironmentPtr& e) { return command.allows(*e); }));
    }
}

void MachinesWindowController::updateTitle()
{
    setWindowTitle(titleForRunningCount(m_helper.numberOfRunningMachines()));
}

void MachinesWindowController::closeEvent(QCloseEvent* event)
{
    Q_EMIT windowClosed();
    QMainWindow::closeEvent(event);
}

bool MachinesWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_filterField && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        !m_filterField->text().isEmpty()) {
        m_filterField->clear();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace vesk
