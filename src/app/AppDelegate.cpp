#include "AppDelegate.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include "AboutWindowController.h"
#include "ApplicationInfo.h"
#include "AtlasHelper.h"
#include "BuildConfig.h"
#include "CrashReporter.h"
#include "DestroyConfirmation.h"
#include "DocumentController.h"
#include "DownloadWindowController.h"
#include "MachinesWindowController.h"
#include "NewsletterWindowController.h"
#include "OpenFeedback.h"
#include "PreferencesDialog.h"
#include "SSHHelper.h"
#include "SoftwareInstaller.h"
#include "Samples.h"
#include "SoftwareUpdateDialog.h"
#include "SoftwareUpdater.h"
#include "TheMenu.h"
#include "VeskUpdateFinder.h"
#include "UserDefaults.h"
#include "Utilities.h"
#include "VagrantHelper.h"
#include "WelcomeWindowController.h"
#include "Workspace.h"

namespace vesk {

namespace {

void openPage(const QString& path)
{
    Workspace::shared().openUrl(QUrl(productPage(path)));
}

} // namespace

AppDelegate::AppDelegate(DocumentController& documents, QObject* parent)
    : QObject(parent), m_documents(documents)
{
}

AppDelegate::~AppDelegate()
{
    // The tray menu outlives us; it must not call back into a delegate that is gone.
    if (m_launched) {
        TheMenu& menu = TheMenu::sharedInstance();
        menu.setApplicationMenuProvider({});
        menu.setDocumentOpener({});
        menu.setQuitHandler({});
    }
}

AboutWindowController* AppDelegate::aboutWindowController() const
{
    return m_aboutWindowController;
}

WelcomeWindowController* AppDelegate::welcomeWindowController() const
{
    return m_welcomeWindowController;
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_launched)
        return;
    m_launched = true;
    // Scripts that an earlier run wrote for a terminal that never ran them.
    SSHHelper::removeStaleScripts();

    CrashReporter::sharedInstance().start(QString::fromUtf8(build::analyticsSecret),
                                          {QStringLiteral("Analytics"), QStringLiteral("Crashes")});
    trace(QStringLiteral("crashReporter"));

    m_dispatchGroup = DispatchGroup();
    trace(QStringLiteral("dispatchGroup"));

    registerDefaults();
    trace(QStringLiteral("registerDefaults"));

    TheMenu& menu = TheMenu::sharedInstance();
    menu.setDocumentOpener([this](const QString& path) { m_documents.openDocument(path); });
    menu.setApplicationMenuProvider(
        [this](QMenu* applicationMenu) { populateApplicationMenu(applicationMenu); });
    menu.setQuitHandler([this] { quit(); });
    menu.rebuild();
    trace(QStringLiteral("TheMenu"));

    // Commands run for minutes; their end is told on the desktop when nobody watches them.
    VagrantHelper::sharedInstance().setAnnounceEnds(true);
    trace(QStringLiteral("VagrantHelper"));

    AtlasHelper::sharedInstance();
    trace(QStringLiteral("AtlasHelper"));

    VeskUpdateFinder& finder = VeskUpdateFinder::sharedInstance();
    menu.setUpdatesMenuProvider([&finder] {
        QList<MenuItemModel> items;
        for (const VeskUpdateFinder::Entry& entry : finder.updatesMenuEntries()) {
            MenuItemModel item;
            item.title = entry.title;
            item.extraStuff = entry.path;
            items.append(item);
        }
        return items;
    });
    connect(&finder, &VeskUpdateFinder::changed, &menu, &TheMenu::rebuild);
    finder.beginSearching();
    trace(QStringLiteral("VeskUpdateFinder"));

    SoftwareUpdater& updater = SoftwareUpdater::sharedUpdater();
    updater.setAutomaticallyChecksForUpdates(true);
    updater.setUpdateCheckInterval(43200);
    // What the checks find, on request or every 12 hours, is shown from here on.
    m_softwareUpdatePresenter = std::make_unique<SoftwareUpdatePresenter>(updater);
    trace(QStringLiteral("SoftwareUpdater"));

    buildSampleMenu();
    trace(QStringLiteral("buildSampleMenu"));

    incrementLaunchCount();
    trace(QStringLiteral("launchCount"));

    // Without a tray the machines would be out of reach and Vesk an invisible process: their
    // window opens, and the last window to close ends the program. The tray icon stays
    // requested, so a tray that appears later shows it.
    connect(qApp, &QGuiApplication::lastWindowClosed, this, &AppDelegate::lastWindowClosed);
    if (!systemTrayAvailable())
        showMachinesWindow();

    // Once the application has settled, a user whose last session crashed is offered to send
    // the crash log.
    QTimer::singleShot(3000, this, [this] { openFeedback().presentFeedbackPanelIfCrashed(); });
}

bool AppDelegate::applicationShouldOpenUntitledFile()
{
    registerDefaults();
    if (UserDefaults::standard().boolForKey(kShowWelcomeWindow)) {
        showWelcomeWindow();
        return false;
    }
    return true;
}

void AppDelegate::applicationWillTerminate()
{
    // Every write is already synced; nothing is left pending.
}

void AppDelegate::registerDefaults()
{
    if (m_defaultsRegistered)
        return;
    m_defaultsRegistered = true;
    UserDefaults::standard().registerDefaultsFromFile(QStringLiteral(":/Defaults.json"));
}

void AppDelegate::incrementLaunchCount()
{
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setValue(kLaunchCount, defaults.integerForKey(kLaunchCount) + 1);
}

void AppDelegate::showWelcomeWindow()
{
    if (!m_welcomeWindowController) {
        m_welcomeWindowController = new WelcomeWindowController(m_documents);
        m_welcomeWindowController->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_welcomeWindowController->show();
    m_welcomeWindowController->raise();
    m_welcomeWindowController->activateWindow();
}

void AppDelegate::showAboutWindow()
{
    if (!m_aboutWindowController) {
        m_aboutWindowController = new AboutWindowController();
        m_aboutWindowController->setAttribute(Qt::WA_DeleteOnClose);
        m_aboutWindowController->setup();
    }
    m_aboutWindowController->show();
    m_aboutWindowController->raise();
    m_aboutWindowController->activateWindow();
}

void AppDelegate::showMachinesWindow()
{
    if (!m_machinesWindowController) {
        auto* window = new MachinesWindowController(TheMenu::sharedInstance(),
                                                    VagrantHelper::sharedInstance());
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setApplicationMenuProvider(
            [this](QMenu* applicationMenu) { populateApplicationMenu(applicationMenu); });
        m_machinesWindowController = window;
    }
    m_machinesWindowController->setNoTrayNoticeVisible(!systemTrayAvailable());
    m_machinesWindowController->show();
    m_machinesWindowController->raise();
    m_machinesWindowController->activateWindow();
}

MachinesWindowController* AppDelegate::machinesWindowController() const
{
    return m_machinesWindowController;
}

bool AppDelegate::systemTrayAvailable() const
{
    return m_systemTrayAvailability ? m_systemTrayAvailability()
                                    : QSystemTrayIcon::isSystemTrayAvailable();
}

void AppDelegate::setSystemTrayAvailability(std::function<bool()> availability)
{
    m_systemTrayAvailability = std::move(availability);
}

void AppDelegate::lastWindowClosed()
{
    // With a tray Vesk lives on there; a tray that has appeared since start-up counts too.
    if (!systemTrayAvailable())
        quit();
}

void AppDelegate::checkForUpdates()
{
    SoftwareUpdater::sharedUpdater().checkForUpdates();
}

void AppDelegate::visitWebsite()
{
    openPage(QStringLiteral("/vesk/"));
}

void AppDelegate::changelog()
{
    openPage(QStringLiteral("/vesk/changelog/"));
}

void AppDelegate::support()
{
    openPage(QStringLiteral("/support/"));
}

void AppDelegate::viewMoreSamples()
{
    openPage(QStringLiteral("/vesk/gallery/"));
}

void AppDelegate::installVirtualBox()
{
    installProduct(InstallerDownload::virtualBox(), QStringLiteral("virtualbox"),
                   QUrl(QStringLiteral("https://www.virtualbox.org/wiki/Linux_Downloads")));
}

void AppDelegate::installVagrant()
{
    installProduct(InstallerDownload::vagrant(), QStringLiteral("vagrant"),
                   QUrl(QStringLiteral("https://developer.hashicorp.com/vagrant/install")));
}

void AppDelegate::installProduct(InstallerDownload download, const QString& package,
                                 const QUrl& downloadPage)
{
    const QString host = m_downloadHost.value_or(QString::fromUtf8(build::downloadHost));
#ifdef Q_OS_LINUX
    // A macOS installer does nothing here. The desktop's own installer comes first; without it,
    // the vendor's package for this system's format; without a known format, the web page.
    SoftwareInstaller::installPackageNames(
        {package},
        [download, host, downloadPage](SoftwareInstaller::Outcome outcome, const QString&) mutable {
            if (outcome != SoftwareInstaller::Outcome::Unavailable)
                return;
            const QString format = SoftwareInstaller::systemPackageFormat();
            if (format.isEmpty()) {
                Workspace::shared().openUrl(downloadPage);
                return;
            }
            download.path = download.path.section(u'.', 0, -2) + u'.' + format;
            // The window looks after itself until its download is over.
            DownloadWindowController::startInstallerDownload(download, host);
        });
#else
    Q_UNUSED(package)
    Q_UNUSED(downloadPage)
    DownloadWindowController::startInstallerDownload(download, host);
#endif
}

void AppDelegate::buildSampleMenu(const QString& samplesResource)
{
    m_samplesResource = samplesResource;
    if (!m_sampleMenu) {
        m_sampleMenu = std::make_unique<QMenu>(QStringLiteral("Samples"));
        m_sampleMenu->setObjectName(QStringLiteral("mnuSamples"));
    }
    m_sampleMenu->clear();
    const QList<Sample> samples = readSamples(samplesResource);
    for (int index = 0; index < samples.size(); ++index) {
        if (!samples.at(index).isUsable())
            continue;
        QAction* item = m_sampleMenu->addAction(samples.at(index).title);
        // The tag: the sample's place in the list, looked up again when chosen.
        item->setData(index);
        connect(item, &QAction::triggered, this, [this, index] { openSample(index); });
    }
    m_sampleMenu->addSeparator();
    QAction* more = m_sampleMenu->addAction(QStringLiteral("View More..."));
    connect(more, &QAction::triggered, this, &AppDelegate::viewMoreSamples);
}

QMenu* AppDelegate::sampleMenu()
{
    if (!m_sampleMenu)
        buildSampleMenu(m_samplesResource);
    return m_sampleMenu.get();
}

void AppDelegate::openSample(int index)
{
    const QList<Sample> samples = readSamples(m_samplesResource);
    if (index < 0 || index >= samples.size() || !samples.at(index).isUsable())
        return;
    const Sample sample = samples.at(index);
    const std::optional<QString> folder = SamplePanel::chooseFolder(nullptr, sample.title);
    if (!folder)
        return;
    if (m_welcomeWindowController)
        m_welcomeWindowController->closeWindow();
    m_documents.openDocument(saveSample(sample, *folder));
    // The read-me stays behind the new document window.
    Workspace::shared().openUrl(sample.readmeAddress(), false);
}

void AppDelegate::uninstall()
{
    const QList<VagrantEnvironmentPtr> machines =
        VagrantHelper::sharedInstance().environmentsArray();
    auto destroyThenOpenTool = [this, machines] {
        for (const VagrantEnvironmentPtr& machine : machines) {
            m_dispatchGroup.enter();
            VagrantHelper::sharedInstance().destroyEnvironment(
                machine, [this] { m_dispatchGroup.leave(); }, {});
        }
        m_dispatchGroup.notify([this] { openUninstallTool(); });
    };
    if (machines.isEmpty()) {
        destroyThenOpenTool();
        return;
    }
    // Every machine's disk goes: ask once, naming them, before anything is destroyed.
    DestroyConfirmation::ask(nullptr, DestroyConfirmation::uninstallAlert(machines),
                             destroyThenOpenTool);
}

void AppDelegate::openUninstallTool()
{
    // The terminal runs a private copy: only its owner may change what it is about to run.
    QFile tool(QStringLiteral(":/uninstall-tools"));
    const std::optional<QString> folder = SSHHelper::scriptDirectory();
    bool opened = false;
    if (folder && tool.open(QIODevice::ReadOnly)) {
        const QString path = *folder + QStringLiteral("/vesk-uninstall-tools");
        opened = writeFileAtomically(path, tool.readAll(), nullptr, AtomicFile::Links::Replace) &&
                 QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner) &&
                 Workspace::shared().runInTerminal(path);
    }
    if (!opened) {
        Alert alert;
        alert.messageText = QStringLiteral("The uninstall tool could not be opened.");
        alert.informativeText =
            QStringLiteral("Vesk found no terminal to run it in, or could not write it to its "
                           "private folder.");
        alert.applicationModal = true;
        AlertPresenter::present(nullptr, alert);
    }
}

void AppDelegate::quit()
{
    m_documents.applicationShouldTerminate([this](bool terminate) {
        if (!terminate)
            return;
        applicationWillTerminate();
        QApplication::quit();
    });
}

void AppDelegate::showPreferences()
{
    if (!m_preferences) {
        m_preferences = new PreferencesDialog;
        m_preferences->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
}

void AppDelegate::populateApplicationMenu(QMenu* menu)
{
    auto add = [menu, this](const QString& title, const QString& name,
                            void (AppDelegate::*slot)()) {
        QAction* action = menu->addAction(title);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(QStringLiteral("About Vesk"), QStringLiteral("actionAbout"), &AppDelegate::showAboutWindow);
    add(QStringLiteral("Check for Updates..."), QStringLiteral("actionCheckForUpdates"),
        &AppDelegate::checkForUpdates);
    add(QStringLiteral("Preferences..."), QStringLiteral("actionPreferences"),
        &AppDelegate::showPreferences)
        ->setShortcut(QKeySequence::Preferences);
    menu->addSeparator();
    add(QStringLiteral("Machines..."), QStringLiteral("actionMachines"),
        &AppDelegate::showMachinesWindow);
    add(QStringLiteral("Welcome to Vesk"), QStringLiteral("actionWelcome"),
        &AppDelegate::showWelcomeWindow);
    menu->addSeparator();
    add(QStringLiteral("Install VirtualBox..."), QStringLiteral("actionInstallVirtualBox"),
        &AppDelegate::installVirtualBox);
    add(QStringLiteral("Install Vagrant..."), QStringLiteral("actionInstallVagrant"),
        &AppDelegate::installVagrant);
    add(QStringLiteral("Uninstall Vesk..."), QStringLiteral("actionUninstall"),
        &AppDelegate::uninstall);
    menu->addSeparator();
    add(QStringLiteral("Vesk Website"), QStringLiteral("actionWebsite"),
        &AppDelegate::visitWebsite);
    add(QStringLiteral("Release Notes"), QStringLiteral("actionChangelog"),
        &AppDelegate::changelog);
    menu->addMenu(sampleMenu());
    add(QStringLiteral("More Samples"), QStringLiteral("actionMoreSamples"),
        &AppDelegate::viewMoreSamples);
    add(QStringLiteral("Support"), QStringLiteral("actionSupport"), &AppDelegate::support);
    menu->addSeparator();
    add(QStringLiteral("Ask a Question..."), QStringLiteral("actionFeedbackSupport"),
        &AppDelegate::presentFeedbackPanelForSupport);
    add(QStringLiteral("Request a Feature..."), QStringLiteral("actionFeedbackFeature"),
        &AppDelegate::presentFeedbackPanelForFeature);
    add(QStringLiteral("Report a Bug..."), QStringLiteral("actionFeedbackBug"),
        &AppDelegate::presentFeedbackPanelForBug);
    add(QStringLiteral("Join Newsletter..."), QStringLiteral("actionJoinNewsletter"),
        &AppDelegate::joinNewsletter);
}

NewsletterWindowController* AppDelegate::newsletterWindowController() const
{
    return m_newsletterWindowController.data();
}

void AppDelegate::joinNewsletter()
{
    if (!m_newsletterWindowController) {
        auto* window = new NewsletterWindowController();
        window->setAttribute(Qt::WA_DeleteOnClose);
        // Forgotten as soon as it closes, so the next request builds a fresh one.
        connect(window, &NewsletterWindowController::windowClosed, this, [this, window] {
            if (m_newsletterWindowController == window)
                m_newsletterWindowController = nullptr;
        });
        m_newsletterWindowController = window;
    }
    m_newsletterWindowController->show();
    m_newsletterWindowController->raise();
    m_newsletterWindowController->activateWindow();
}

OpenFeedback& AppDelegate::openFeedback()
{
    if (!m_openFeedback)
        m_openFeedback = std::make_unique<OpenFeedback>();
    return *m_openFeedback;
}

void AppDelegate::presentFeedbackPanelForSupport()
{
    openFeedback().presentFeedbackPanelForSupport();
}

void AppDelegate::presentFeedbackPanelForFeature()
{
    openFeedback().presentFeedbackPanelForFeature();
}

void AppDelegate::presentFeedbackPanelForBug()
{
    openFeedback().presentFeedbackPanelForBug();
}

} // namespace vesk
