#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include "DispatchGroup.h"

class QMenu;

namespace vesk {

class AboutWindowController;
class DocumentController;
class MachinesWindowController;
class PreferencesDialog;
struct InstallerDownload;
class SoftwareUpdatePresenter;
class NewsletterWindowController;
class OpenFeedback;
class WelcomeWindowController;

/// The root of the running program: starts the long-lived services in their order, makes the
/// launch choice, owns the single windows and carries the application-wide menu actions.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit AppDelegate(DocumentController& documents, QObject* parent = nullptr);
    ~AppDelegate() override;

    /// The start-up sequence; run once when the event loop is about to start.
    void applicationDidFinishLaunching();
    /// Whether an untitled document may open now (false when the welcome window shows instead).
    bool applicationShouldOpenUntitledFile();
    /// Flushes the preferences.
    void applicationWillTerminate();

    /// Installs the shipped defaults below the user's own values (once per process).
    void registerDefaults();
    void incrementLaunchCount();

    void showWelcomeWindow();
    void showAboutWindow();
    /// Shows the single Machines window.
    void showMachinesWindow();
    /// The preferences window (the terminal for SSH sessions).
    void showPreferences();
    void checkForUpdates();
    void visitWebsite();
    void changelog();
    void support();
    void viewMoreSamples();
    /// Installs through the desktop's software installer, else downloads the vendor's package
    /// for this system, else opens the download page.
    void installVirtualBox();
    void installVagrant();
    /// Where installer packages are downloaded from (tests: a loopback server).
    void setDownloadHost(const QString& host) { m_downloadHost = host; }
    /// Shows the single newsletter window.
    void joinNewsletter();
    /// The feedback window on its support, feature-request or bug-report tab.
    void presentFeedbackPanelForSupport();
    void presentFeedbackPanelForFeature();
    void presentFeedbackPanelForBug();
    /// The feedback front object, made on first use.
    OpenFeedback& openFeedback();

    /// Fills the Samples submenu from a samples list (the shipped one by default); each item
    /// saves and opens its sample.
    void buildSampleMenu(const QString& samplesResource = QStringLiteral(":/Samples.json"));
    /// The Samples submenu, shared by every application menu (built on first use).
    QMenu* sampleMenu();
    /// Asks where to put the sample at `index` of the samples list, copies it into a new folder
    /// there, opens it and then its read-me page.
    void openSample(int index);
    /// Destroys every Vagrant machine (after asking), then opens the uninstall tool in a
    /// terminal once all of them have finished.
    void uninstall();

    /// Asks every document to save or be discarded, then quits unless the user cancelled.
    void quit();

    /// Adds the application's commands (About, updates, web pages, installers) to a menu; used
    /// for each document window's menu bar and for the tray.
    void populateApplicationMenu(QMenu* menu);

    /// Whether the desktop has a system tray; asked at start-up and whenever the last window
    /// closes. The platform's own answer unless a test replaces it.
    bool systemTrayAvailable() const;
    void setSystemTrayAvailability(std::function<bool()> availability);

    /// The order in which the start-up sequence brought its services up.
    QStringList startupTrace() const { return m_startupTrace; }
    // Defined out of line: QPointer needs the complete window classes.
    AboutWindowController* aboutWindowController() const;
    WelcomeWindowController* welcomeWindowController() const;
    NewsletterWindowController* newsletterWindowController() const;
    MachinesWindowController* machinesWindowController() const;
    /// Shows what the software updater finds; made where the updater is configured.
    SoftwareUpdatePresenter* softwareUpdatePresenter() const
    {
        return m_softwareUpdatePresenter.get();
    }
    DispatchGroup& dispatchGroup() { return m_dispatchGroup; }
    DocumentController& documentController() { return m_documents; }

private:
    void installProduct(InstallerDownload download, const QString& package,
                        const QUrl& downloadPage);
    void trace(const QString& step) { m_startupTrace.append(step); }
    void openUninstallTool();
    void lastWindowClosed();

    DocumentController& m_documents;
    QPointer<AboutWindowController> m_aboutWindowController;
    QPointer<WelcomeWindowController> m_welcomeWindowController;
    QPointer<NewsletterWindowController> m_newsletterWindowController;
    QPointer<MachinesWindowController> m_machinesWindowController;
    QPointer<PreferencesDialog> m_preferences;
    std::optional<QString> m_downloadHost;
    std::unique_ptr<SoftwareUpdatePresenter> m_softwareUpdatePresenter;
    std::function<bool()> m_systemTrayAvailability;
    std::unique_ptr<OpenFeedback> m_openFeedback;
    std::unique_ptr<QMenu> m_sampleMenu;
    QString m_samplesResource = QStringLiteral(":/Samples.json");
    DispatchGroup m_dispatchGroup;
    bool m_defaultsRegistered = false;
    bool m_launched = false;
    QStringList m_startupTrace;
};

} // namespace vesk
