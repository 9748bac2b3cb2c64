#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "VagrantEnvironment.h"

class QProcess;

namespace vesk {

class CDEvents;
class DataModel;
class KRNTaskHelper;
class OutputWindowController;

/// A built vagrant command: "/bin/bash -c <commandLine>", shown in a window titled `title`.
struct VagrantCommand
{
    QString commandLine;
    QString title;

    bool operator==(const VagrantCommand&) const = default;
};

/// Where built commands go. The application runs them (VagrantHelper's own runner); tests
/// install a recording fake instead.
class VagrantCommandRunner
{
public:
    using CompletionHandler = std::function<void()>;
    using OutputHandler = std::function<void(const QString&)>;

    virtual ~VagrantCommandRunner() = default;
    virtual void runCommand(const VagrantCommand& command, CompletionHandler completionHandler,
                            OutputHandler outputHandler) = 0;
};

/// Records every command and runs none. The handlers are kept so a test can finish a command.
class RecordingCommandRunner : public VagrantCommandRunner
{
public:
    struct Call
    {
        VagrantCommand command;
        CompletionHandler completionHandler;
        OutputHandler outputHandler;
    };

    void runCommand(const VagrantCommand& command, CompletionHandler completionHandler,
                    OutputHandler outputHandler) override;

    /// The command lines recorded so far, in order.
    QStringList commandLines() const;

    QList<Call> calls;
    /// Call the completion handler as soon as the command is recorded.
    bool completeAtOnce = false;
};

/// The process-wide holder of Vagrant's machines (read from its machine index and reloaded
/// whenever the index's folder changes) and the one way to run a vagrant command.
class VagrantHelper : public QObject
{
    Q_OBJECT

public:
    using CompletionHandler = std::function<void()>;
    using OutputHandler = std::function<void(const QString&)>;
    /// Told whether the command ended successfully.
    using ResultHandler = std::function<void(bool succeeded)>;

    struct Options
    {
        /// Looked at in order; the last one that exists is used.
        QStringList vagrantCandidates = defaultVagrantCandidates();
        QStringList vboxCandidates = defaultVBoxCandidates();
        /// Reload on changes in the index's folder.
        bool watchIndex = true;
    };

    /// Loads the index, starts watching its folder and looks for the executables.
    explicit VagrantHelper(QObject* parent = nullptr);
    explicit VagrantHelper(const Options& options, QObject* parent = nullptr);
    ~VagrantHelper() override;

    /// The application's instance, created on first use and kept until the process ends.
    static VagrantHelper& sharedInstance();

    static QStringList defaultVagrantCandidates();
    static QStringList defaultVBoxCandidates();

    // The machine index.

    /// Replaces every record by a fresh one read from the index; posts nothing. An index that
    /// is there but does not parse keeps the old records, returns false, and is read once more
    /// shortly after (posting when that reading succeeds).
    bool loadEnvironments();
    /// How long after a failed reading the index is read once more (milliseconds).
    static constexpr int kIndexRetryDelay = 300;
    /// Why the index cannot be followed (its watcher could not be made); empty when it can.
    QString indexWatchError() const { return m_indexWatchError; }
    /// The records of the last reload, by machine id, in index order.
    const VagrantEnvironmentDictionary& environments() const { return m_environments; }
    QList<VagrantEnvironmentPtr> environmentsArray() const { return m_environments.values(); }
    uint numberOfRunningMachines() const;
    QString pathToMachineIndex() const { return m_pathToMachineIndex; }
    QString pathToMachineIndexDirectory() const;
    /// The watcher on the index's folder; null when it could not be created or is switched off.
    CDEvents* cdEventsIndex() const { return m_cdEventsIndex; }

    // The executables.

    /// Looks for vagrant at the candidates; true when one exists. Keeps the old path otherwise.
    bool vagrantIsInstalled();
    /// The same for VirtualBox's vboxwebsrv.
    bool virtualBoxIsInstalled();
    std::optional<QString> pathToVagrant() const { return m_pathToVagrant; }
    std::optional<QString> pathToVBox() const { return m_pathToVBox; }
    QStringList vagrantCandidates() const { return m_vagrantCandidates; }
    void setVagrantCandidates(const QStringList& candidates) { m_vagrantCandidates = candidates; }
    QStringList vboxCandidates() const { return m_vboxCandidates; }
    void setVBoxCandidates(const QStringList& candidates) { m_vboxCandidates = candidates; }

    // Commands. Each returns at once; the completion handler is called once when it has ended.

    void upEnvironment(const VagrantEnvironmentPtr& environment,
                       CompletionHandler completionHandler = {}, OutputHandler outputHandler = {});
    void suspendEnvironment(const VagrantEnvironmentPtr& environment,
                            CompletionHandler completionHandler = {},
                            OutputHandler outputHandler = {});
    void resumeEnvironment(const VagrantEnvironmentPtr& environment,
                           CompletionHandler completionHandler = {},
                           OutputHandler outputHandler = {});
    void haltEnvironment(const VagrantEnvironmentPtr& environment,
                         CompletionHandler completionHandler = {},
                         OutputHandler outputHandler = {});
    void destroyEnvironment(const VagrantEnvironmentPtr& environment,
                            CompletionHandler completionHandler = {},
                            OutputHandler outputHandler = {});
    void reloadEnvironment(const VagrantEnvironmentPtr& environment,
                           CompletionHandler completionHandler = {},
                           OutputHandler outputHandler = {});
    void provisionEnvironment(const VagrantEnvironmentPtr& environment,
                              CompletionHandler completionHandler = {},
                              OutputHandler outputHandler = {});
    void rdpEnvironment(const VagrantEnvironmentPtr& environment,
                        CompletionHandler completionHandler = {}, OutputHandler outputHandler = {});
    /// vagrant up in the project folder of a saved document.
    void upVeskFileURL(const QUrl& fileUrl, CompletionHandler completionHandler = {},
                       OutputHandler outputHandler = {});
    /// vagrant reload in the project folder of a saved document.
    void reloadVeskFileURL(const QUrl& fileUrl, CompletionHandler completionHandler = {},
                           OutputHandler outputHandler = {});
    /// Writes the Vagrantfile and bootstrap.sh of `model` into a temporary folder and runs
    /// vagrant validate there, in a window titled "<displayName> - Checking...". The entries of
    /// the document's project folder are linked into the temporary folder, so relative paths
    /// in the Vagrantfile mean what they will mean there; the project folder is not touched.
    /// `documentPath` may be empty (an unsaved document). Returns the window (none when the
    /// commands go to a test runner).
    OutputWindowController* checkVeskDocument(const DataModel& model, const QString& documentPath,
                                              const QString& displayName,
                                              ResultHandler resultHandler = {},
                                              OutputHandler outputHandler = {},
                                              bool announceSuccess = true);
    /// vagrant global-status --prune.
    void pruneVagrantWithCompletionHandler(CompletionHandler completionHandler = {},
                                           OutputHandler outputHandler = {});

    /// Sends built commands to `runner` instead of running them; null runs them again.
    void setCommandRunner(std::unique_ptr<VagrantCommandRunner> runner);
    VagrantCommandRunner* commandRunner() const { return m_commandRunner.get(); }

    /// Shows the window, runs the task and reports its end in the window's title.
    void runTask(QProcess* task, OutputWindowController* window,
                 CompletionHandler completionHandler, OutputHandler outputHandler);
    /// Launches a task runner for the task and keeps it for the life of this object.
    KRNTaskHelper* launchTaskHelper(QProcess* task, CompletionHandler completionHandler,
                                    OutputHandler outputHandler);

    /// Announces the end of every command whose window is closed, minimised or not the active
    /// window with a desktop notice titled like the window; activating it shows the window.
    void setAnnounceEnds(bool announce) { m_announceEnds = announce; }
    bool announcesEnds() const { return m_announceEnds; }

    /// Every task runner launched so far.
    const QList<KRNTaskHelper*>& taskHelpers() const { return m_taskHelpers; }
    /// Every output window opened so far, oldest first.
    QList<OutputWindowController*> outputWindows() const;

private:
    using CommandLineBuilder = std::function<QString(const QString& quotedVagrant)>;

    void environmentCommand(const VagrantEnvironmentPtr& environment, const QString& subcommand,
                            const QString& titleFormat, CompletionHandler completionHandler,
                            OutputHandler outputHandler);
    void documentCommand(const QUrl& fileUrl, const QString& subcommand, const QString& titleFormat,
                         CompletionHandler completionHandler, OutputHandler outputHandler);
    void startCommand(const QString& title, const CommandLineBuilder& commandLine,
                      CompletionHandler completionHandler, OutputHandler outputHandler);
    OutputWindowController* startCommandWithResult(const QString& title,
                                                   const CommandLineBuilder& commandLine,
                                                   ResultHandler resultHandler,
                                                   OutputHandler outputHandler,
                                                   const QString& preface = {},
                                                   bool announceSuccess = true);
    void runTaskWithResult(QProcess* task, OutputWindowController* window,
                           ResultHandler resultHandler, OutputHandler outputHandler,
                           bool announceSuccess = true);
    OutputWindowController* newOutputWindow(const QString& title);
    OutputWindowController* reportVagrantNotFound(const QString& title,
                                                  ResultHandler resultHandler,
                                                  OutputHandler outputHandler);
    void announceEnd(OutputWindowController* window, const QString& lastLine);
    void indexFolderChanged();
    void postIndexChanged();
    OutputWindowController* reportNotRun(const QString& title, const QString& message,
                                         ResultHandler resultHandler, OutputHandler outputHandler);

    VagrantEnvironmentDictionary m_environments;
    QList<KRNTaskHelper*> m_taskHelpers;
    QList<QPointer<OutputWindowController>> m_outputWindows;
    CDEvents* m_cdEventsIndex = nullptr;
    QString m_indexWatchError;
    bool m_indexRetried = false;
    QString m_pathToMachineIndex;
    std::optional<QString> m_pathToVagrant;
    std::optional<QString> m_pathToVBox;
    QStringList m_vagrantCandidates;
    QStringList m_vboxCandidates;
    std::unique_ptr<VagrantCommandRunner> m_commandRunner;
    bool m_announceEnds = false;
};

} // namespace vesk
