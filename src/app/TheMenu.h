#pragma once

#include <functional>
#include <memory>

#include <QHash>
#include <QObject>
#include <QPointer>

#include "MenuModel.h"

class QMenu;
class QSystemTrayIcon;

namespace vesk {

class VagrantHelper;

/// The tray menu: every machine of Vagrant's index with its state and the commands it allows,
/// commands for all machines, documents with updates, and pruning. Rebuilt from scratch whenever
/// the index changes or `rebuild` is asked for.
class TheMenu : public QObject
{
    Q_OBJECT

public:
    using UpdatesMenuProvider = std::function<QList<MenuItemModel>()>;
    using ApplicationMenuProvider = std::function<void(QMenu* menu)>;

    /// The application's menu, created on first use with a tray icon.
    static TheMenu& sharedInstance();

    /// A menu over `helper`. Without `showTrayIcon` nothing is put into the panel (tests).
    explicit TheMenu(VagrantHelper& helper, bool showTrayIcon = true, QObject* parent = nullptr);
    ~TheMenu() override;

    /// Rebuilds the title and the whole menu.
    void update();
    void rebuild() { update(); }

    /// The running count as the title reads it: "2   ", or empty with none running.
    QString title() const { return m_title; }
    /// The rows of the last build, top level first.
    const QList<MenuItemModel>& menuModel() const { return m_model; }

    QMenu* menu() const { return m_menu.get(); }
    QSystemTrayIcon* statusItem() const { return m_statusItem; }

    /// The rows of the Updates submenu; "No Updates Available" until one is set.
    void setUpdatesMenuProvider(UpdatesMenuProvider provider);
    /// Fills the application submenu placed after the machine commands (on desktops without a
    /// global menu bar, the tray is where those commands live when no window is open).
    void setApplicationMenuProvider(ApplicationMenuProvider provider);
    /// What "Quit Vesk" does (the application asks its documents first); quits by default.
    void setQuitHandler(std::function<void()> handler) { m_quitHandler = std::move(handler); }
    /// Opens a document (the Updates items).
    void setDocumentOpener(std::function<void(const QString& path)> opener);

    /// The per-machine submenu for one record.
    QList<MenuItemModel> buildEnvironmentMenu(const VagrantEnvironmentPtr& environment);
    QList<MenuItemModel> allMenu();
    QList<MenuItemModel> updatesMenu();
    /// "Prune Vagrant Cache...".
    MenuItemModel pruneItem();

    /// Title of a state caption: each word capitalised ("running" → "Running").
    static QString captionForState(const QString& stateString);

private:
    void realise();
    void updateTrayIcon(uint running);
    MenuItemModel allCommand(const QString& title, const QString& image,
                             void (VagrantHelper::*command)(const VagrantEnvironmentPtr&,
                                                            std::function<void()>,
                                                            std::function<void(const QString&)>));

    VagrantHelper& m_helper;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_statusItem = nullptr;
    QString m_title;
    QList<MenuItemModel> m_model;
    QHash<QString, QMenu*> m_machineMenus;
    bool m_updatePending = false;
    UpdatesMenuProvider m_updatesMenuProvider;
    ApplicationMenuProvider m_applicationMenuProvider;
    std::function<void(const QString&)> m_documentOpener;
    std::function<void()> m_quitHandler;
};

} // namespace vesk
