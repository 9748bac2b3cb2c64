#pragma once

#include <functional>
#include <memory>

#include <QMainWindow>

#include "VagrantEnvironment.h"

class QLineEdit;
class QMenu;
class QSortFilterProxyModel;
class QTableView;

namespace Ui {
class MachinesWindowController;
}

namespace vesk {

class MachineTableModel;
class TheMenu;
class VagrantHelper;
struct MachineCommand;

/// Every machine of Vagrant's index in one window: a live table with the state, name, provider,
/// box and project folder of each, the tray's commands for the selected machines (toolbar,
/// context menu, Machine menu with shortcuts), All Machines, pruning, the Updates list and a
/// filter.
class MachinesWindowController : public QMainWindow
{
    Q_OBJECT

public:
    /// A window over `helper`'s records; the all-machines, prune and Updates commands come from
    /// `menu`, so they behave (and ask) exactly as the tray's do.
    MachinesWindowController(TheMenu& menu, VagrantHelper& helper, QWidget* parent = nullptr);
    ~MachinesWindowController() override;

    /// Fills the window's application menu (the commands of every window's menu bar).
    void setApplicationMenuProvider(std::function<void(QMenu* menu)> provider);
    /// Shows or hides the line that says no system tray was found.
    void setNoTrayNoticeVisible(bool visible);
    bool noTrayNoticeVisible() const;

    /// Takes the helper's current records; selection and scroll position stay where they were.
    void reload();

    /// The selected machines in index order (only rows the filter shows).
    QList<VagrantEnvironmentPtr> selectedEnvironments() const;
    QStringList selectedMachineIds() const;
    /// Selects exactly these machines (those the filter shows).
    void selectMachines(const QStringList& ids);

    /// Runs a command once for every selected machine that allows it.
    void runCommand(const MachineCommand& command);
    /// The action of a machine command by its name ("up", "ssh", ...).
    QAction* commandAction(const QString& name) const;

    MachineTableModel* machineModel() const { return m_model; }
    QSortFilterProxyModel* filterModel() const { return m_filter; }
    QTableView* tableView() const;
    QLineEdit* filterField() const { return m_filterField; }
    QMenu* contextMenu() const { return m_contextMenu; }

    /// "Machines — 3 running".
    static QString titleForRunningCount(uint running);

Q_SIGNALS:
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setup();
    void buildActions();
    void buildMenus();
    void updateActions();
    void updateTitle();
    void fillUpdatesMenu();

    std::unique_ptr<Ui::MachinesWindowController> m_ui;
    TheMenu& m_menu;
    VagrantHelper& m_helper;
    MachineTableModel* m_model = nullptr;
    QSortFilterProxyModel* m_filter = nullptr;
    QLineEdit* m_filterField = nullptr;
    QMenu* m_applicationMenu = nullptr;
    QMenu* m_updatesMenu = nullptr;
    QMenu* m_contextMenu = nullptr;
    QList<QAction*> m_commandActions;
};

} // namespace vesk
