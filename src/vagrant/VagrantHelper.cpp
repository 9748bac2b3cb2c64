#include "VagrantHelper.h"

#include <exception>

#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "CDEvents.h"
#include "DataModel.h"
#include "DesktopNotices.h"
#include "DocumentExport.h"
#include "KRNTaskHelper.h"
#include "MachineIndex.h"
#include "NotificationCenter.h"
#include "OutputWindowController.h"
#include "ShellQuote.h"
#include "UserDefaults.h"
#include "Utilities.h"

namespace vesk {

namespace {

// The last candidate that exists, so /usr/local/bin wins over /usr/bin.
std::optional<QString> lastExisting(const QStringList& candidates)
{
    std::optional<QString> found;
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate))
            found = candidate;
    }
    return found;
}

QString fillTitle(const QString& format, const QString& value)
{
    QString title = format;
    return title.replace(QStringLiteral("%@"), value);
}

VagrantHelper::ResultHandler ignoringResult(VagrantHelper::CompletionHandler completionHandler)
{
    if (!completionHandler)
        return {};
    return [completionHandler = std::move(completionHandler)](bool) { completionHandler(); };
}

// A check still running when Vesk quit left its folder; a day later nothing uses it.
void removeStaleCheckFolders()
{
    const QDateTime dayAgo = QDateTime::currentDateTimeUtc().addDays(-1);
    const QFileInfoList folders =
        QDir(QDir::tempPath())
            .entryInfoList({QStringLiteral("vesk-check-*")}, QDir::Dirs | QDir::NoSymLinks);
    for (const QFileInfo& folder : folders) {
        if (folder.isDir() && !folder.isSymLink() && folder.ownerId() == ::getuid() &&
            folder.lastModified() < dayAgo)
            QDir(folder.absoluteFilePath()).removeRecursively();
    }
}

// Links every entry of the project folder, but what the check writes itself, into `folder`.
void linkProjectEntries(const QString& project, const QString& folder)
{
    if (project.isEmpty())
        return;
    const QDir source(project);
    const QFileInfoList entries =
        source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (name == QLatin1String("Vagrantfile") || name == QLatin1String("bootstrap.sh") ||
            name == QLatin1String(".vagrant"))
            continue;
        QFile::link(entry.absoluteFilePath(), QDir(folder).filePath(name));
    }
}

} // namespace

void RecordingCommandRunner::runCommand(const VagrantCommand& command,
                                        CompletionHandler completionHandler,
                                        OutputHandler outputHandler)
{
    calls.append({command, completionHandler, std::move(outputHandler)});
    if (completeAtOnce && completionHandler)
        completionHandler();
}

QStringList RecordingCommandRunner::commandLines() const
{
    QStringList lines;
    for (const Call& call : calls)
        lines.append(call.command.commandLine);
    return lines;
}

VagrantHelper::VagrantHelper(QObject* parent) : VagrantHelper(Options(), parent) {}

VagrantHelper::VagrantHelper(const Options& options, QObject* parent)
    : QObject(parent), m_pathToMachineIndex(defaultPathToMachineIndex()),
      m_vagrantCandidates(options.vagrantCandidates), m_vboxCandidates(options.vboxCandidates)
{
    loadEnvironments();

    if (options.watchIndex) {
        try {
            m_cdEventsIndex = new CDEvents(
                {QUrl::fromLocalFile(pathToMachineIndexDirectory())},
                [this](CDEvents*, const CDEvent&) { indexFolderChanged(); }, this);
        } catch (const std::exception& error) {
            // Without a watcher the machines still show, as of this reading; the user is told
            // that the list will not follow.
            m_cdEventsIndex = nullptr;
            m_indexWatchError = QString::fromLocal8Bit(error.what());
        }
    }

    vagrantIsInstalled();
    virtualBoxIsInstalled();
}

VagrantHelper::~VagrantHelper()
{
    // Windows may only go while the application object exists; at process exit they stay.
    if (QApplication::instance()) {
        for (const QPointer<OutputWindowController>& window : std::as_const(m_outputWindows))
            delete window.data();
    }
}

VagrantHelper& VagrantHelper::sharedInstance()
{
    // Lives until the process ends; nothing is torn down at exit.
    static VagrantHelper* instance = new VagrantHelper;
    return *instance;
}

QStringList VagrantHelper::defaultVagrantCandidates()
{
    return {QStringLiteral("/usr/bin/vagrant"), QStringLiteral("/usr/local/bin/vagrant")};
}

QStringList VagrantHelper::defaultVBoxCandidates()
{
    return {QStringLiteral("/usr/bin/vboxwebsrv"), QStringLiteral("/usr/local/bin/vboxwebsrv")};
}

bool VagrantHelper::loadEnvironments()
{
    std::optional<VagrantEnvironmentDictionary> read = readMachineIndex(m_pathToMachineIndex);
    if (read) {
        m_environments = std::move(*read);
        m_indexRetried = false;
        return true;
    }
    // Vagrant rewrites the index in place: a reading that catches it half-written keeps the
    // records it had and looks once more shortly after (once: a file that stays broken waits
    // for the next change).
    if (!m_indexRetried) {
        m_indexRetried = true;
        QTimer::singleShot(kIndexRetryDelay, this, [this] {
            if (loadEnvironments())
                postIndexChanged();
        });
    }
    return false;
}

uint VagrantHelper::numberOfRunningMachines() const
{
    uint running = 0;
    for (const QString& id : m_environments.ids()) {
        if (m_environments.value(id)->state() == VagrantEnvironmentStateRunning)
            ++running;
    }
    return running;
}

QString VagrantHelper::pathToMachineIndexDirectory() const
{
    return deletingLastPathComponent(m_pathToMachineIndex);
}

void VagrantHelper::indexFolderChanged()
{
    m_indexRetried = false;
    if (loadEnvironments())
        postIndexChanged();
}

void VagrantHelper::postIndexChanged()
{
    NotificationCenter::defaultCenter().post(NOTE_MACHINE_INDEX_CHANGED,
                                             QVariant::fromValue(m_environments));
}

bool VagrantHelper::vagrantIsInstalled()
{
    const std::optional<QString> found = lastExisting(m_vagrantCandidates);
    if (found)
        m_pathToVagrant = found;
    return found.has_value();
}

bool VagrantHelper::virtualBoxIsInstalled()
{
    const std::optional<QString> found = lastExisting(m_vboxCandidates);
    if (found)
        m_pathToVBox = found;
    return found.has_value();
}

void VagrantHelper::upEnvironment(const VagrantEnvironmentPtr& environment,
                                  CompletionHandler completionHandler, OutputHandler outputHandler)
{
    environmentCommand(environment, QStringLiteral("up"), QStringLiteral("%@ - Upping..."),
                       std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::suspendEnvironment(const VagrantEnvironmentPtr& environment,
                                       CompletionHandler completionHandler,
                                       OutputHandler outputHandler)
{
    environmentCommand(environment, QStringLiteral("suspend"), QStringLiteral("%@ - Pausing..."),
                       std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::resumeEnvironment(const VagrantEnvironmentPtr& environment,
                                      CompletionHandler completionHandler,
                                      OutputHandler outputHandler)
{
    environmentCommand(environment, QStringLiteral("resume"), QStringLiteral("%@ - Resuming..."),
                       std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::haltEnvironment(const VagrantEnvironmentPtr& environment,
                                    CompletionHandler completionHandler,
                                    OutputHandler outputHandler)
{
    environmentCommand(environment, QStringLiteral("halt"), QStringLiteral("%@ - Powering Off..."),
                       std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::destroyEnvironment(const VagrantEnvironmentPtr& environment,
                                       CompletionHandler completionHandler,
                                       OutputHandler outputHandler)
{
    environmentCommand(environment, QStringLiteral("destroy -f"),
                       QStringLiteral("%@ - Destroying..."), std::move(completionHandler),
                       std::move(outputHandler));
}

void VagrantHelper::reloadEnvironment(const VagrantEnvironmentPtr& environment,
                                      CompletionHandler completionHandler,
                                      OutputHandler outputHandler)
{
    environmentCommand(environment, QStringLiteral("reload"), QStringLiteral("%@ - Restarting..."),
                       std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::provisionEnvironment(const VagrantEnvironmentPtr& environment,
                                         CompletionHandler completionHandler,
                                         OutputHandler outputHandler)
{
    environmentCommand(environment, QStringLiteral("provision"),
                       QStringLiteral("%@ - Provisioning..."), std::move(completionHandler),
                       std::move(outputHandler));
}

void VagrantHelper::rdpEnvironment(const VagrantEnvironmentPtr& environment,
                                   CompletionHandler completionHandler, OutputHandler outputHandler)
{
    environmentCommand(environment, QStringLiteral("rdp"),
                       QStringLiteral("%@ - Launching Remote Desktop..."),
                       std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::upVeskFileURL(const QUrl& fileUrl, CompletionHandler completionHandler,
                                  OutputHandler outputHandler)
{
    documentCommand(fileUrl, QStringLiteral("up"), QStringLiteral("%@ - Upping..."),
                    std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::reloadVeskFileURL(const QUrl& fileUrl, CompletionHandler completionHandler,
                                      OutputHandler outputHandler)
{
    documentCommand(fileUrl, QStringLiteral("reload"), QStringLiteral("%@ - Restarting..."),
                    std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::pruneVagrantWithCompletionHandler(CompletionHandler completionHandler,
                                                      OutputHandler outputHandler)
{
    startCommand(
        QStringLiteral("Pruning Vagrant Box Cache..."),
        [](const QString& vagrant) -> QString {
            return vagrant + QStringLiteral(" global-status --prune");
        },
        std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::environmentCommand(const VagrantEnvironmentPtr& environment,
                                       const QString& subcommand, const QString& titleFormat,
                                       CompletionHandler completionHandler,
                                       OutputHandler outputHandler)
{
    Q_ASSERT(environment);
    if (!environment)
        return;
    const QString title = fillTitle(titleFormat, environment->friendlyName().value_or(QString()));
    // vagrant would read an id that begins with "-" as an option.
    const QString rawId = environment->hexId().value_or(QString());
    if (rawId.startsWith(u'-')) {
        reportNotRun(title,
                     QStringLiteral("The machine id “%1” begins with “-”, so vagrant would take "
                                    "it for an option. The command was not run.\n")
                         .arg(rawId),
                     ignoringResult(std::move(completionHandler)), std::move(outputHandler));
        return;
    }
    // An id is always passed, even an empty one: without it vagrant would act on whatever
    // project lies in the current folder.
    const QString id = shellQuote(rawId);
    startCommand(
        fillTitle(titleFormat, environment->friendlyName().value_or(QString())),
        [&](const QString& vagrant) -> QString { return vagrant + u' ' + subcommand + u' ' + id; },
        std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::documentCommand(const QUrl& fileUrl, const QString& subcommand,
                                    const QString& titleFormat, CompletionHandler completionHandler,
                                    OutputHandler outputHandler)
{
    const QString folder = projectDirectoryForDocument(fileUrl.toLocalFile());
    startCommand(
        fillTitle(titleFormat, fileUrl.fileName()),
        [&](const QString& vagrant) -> QString {
            // Joined with &&: when the folder is gone, the cd error ends the command, and
            // vagrant never runs on whatever project the working folder holds.
            return QStringLiteral("cd ") + shellQuoteInDoubleQuotes(folder) +
                   QStringLiteral(" && ") + vagrant + u' ' + subcommand;
        },
        std::move(completionHandler), std::move(outputHandler));
}

void VagrantHelper::startCommand(const QString& title, const CommandLineBuilder& commandLine,
                                 CompletionHandler completionHandler, OutputHandler outputHandler)
{
    startCommandWithResult(title, commandLine, ignoringResult(std::move(completionHandler)),
                           std::move(outputHandler));
}

OutputWindowController* VagrantHelper::startCommandWithResult(const QString& title,
                                                              const CommandLineBuilder& commandLine,
                                                              ResultHandler resultHandler,
                                                              OutputHandler outputHandler,
                                                              const QString& preface,
                                                              bool announceSuccess)
{
    // Vagrant may have been installed since we last looked.
    if (!m_pathToVagrant)
        vagrantIsInstalled();
    if (!m_pathToVagrant)
        return reportVagrantNotFound(title, std::move(resultHandler), std::move(outputHandler));

    const VagrantCommand command{commandLine(shellQuote(*m_pathToVagrant)), title};
    if (m_commandRunner) {
        // The recording runner knows no exit status; what it finishes counts as a success.
        CompletionHandler completion;
        if (resultHandler)
            completion = [resultHandler = std::move(resultHandler)] { resultHandler(true); };
        m_commandRunner->runCommand(command, std::move(completion), std::move(outputHandler));
        return nullptr;
    }

    auto* task = new QProcess;
    task->setProgram(QStringLiteral("/bin/bash"));
    task->setArguments({QStringLiteral("-c"), command.commandLine});
    OutputWindowController* window = newOutputWindow(command.title);
    window->showWindow();
    if (!preface.isEmpty())
        window->addOutput(preface);
    runTaskWithResult(task, window, std::move(resultHandler), std::move(outputHandler),
                      announceSuccess);
    return window;
}

OutputWindowController* VagrantHelper::checkVeskDocument(const DataModel& model,
                                                         const QString& documentPath,
                                                         const QString& displayName,
                                                         ResultHandler resultHandler,
                                                         OutputHandler outputHandler,
                                                         bool announceSuccess)
{
    const QString title = displayName + QStringLiteral(" - Checking...");
    removeStaleCheckFolders();
    auto folder = std::make_shared<QTemporaryDir>(QDir::tempPath() +
                                                  QStringLiteral("/vesk-check-XXXXXX"));
    if (!folder->isValid()) {
        return reportNotRun(title,
                            QStringLiteral("No temporary folder could be made for the check: ") +
                                folder->errorString() + u'\n',
                            std::move(resultHandler), std::move(outputHandler));
    }
    // A neutral name: the special project folder of one document name must not apply here.
    const ExportResult written =
        exportDocument(model, QDir(folder->path()).filePath(QStringLiteral("check.vesk")));
    if (!written.ok) {
        return reportNotRun(title,
                            QStringLiteral("The Vagrantfile could not be written for the check: ") +
                                written.reason + u'\n',
                            std::move(resultHandler), std::move(outputHandler));
    }
    if (!documentPath.isEmpty())
        linkProjectEntries(projectDirectoryForDocument(documentPath), folder->path());

    const QString path = folder->path();
    // The folder lives until vagrant has finished with it; the handler may be held in copies,
    // so the folder is removed, not just let go.
    ResultHandler keepFolder = [folder, resultHandler = std::move(resultHandler)](bool ok) {
        folder->remove();
        if (resultHandler)
            resultHandler(ok);
    };
    return startCommandWithResult(
        title,
        [&path](const QString& vagrant) -> QString {
            return QStringLiteral("cd ") + shellQuoteInDoubleQuotes(path) +
                   QStringLiteral(" && ") + vagrant + QStringLiteral(" validate");
        },
        std::move(keepFolder), std::move(outputHandler),
        QStringLiteral("Checking a copy of the Vagrantfile in %1\n").arg(path), announceSuccess);
}

OutputWindowController* VagrantHelper::newOutputWindow(const QString& title)
{
    auto* window = new OutputWindowController;
    window->setWindowTitle(title);
    m_outputWindows.append(window);
    return window;
}

OutputWindowController* VagrantHelper::reportVagrantNotFound(const QString& title,
                                                             ResultHandler resultHandler,
                                                             OutputHandler outputHandler)
{
    return reportNotRun(
        title,
        QStringLiteral("Vagrant was not found, so the command was not run.\nLooked for: ") +
            m_vagrantCandidates.join(QStringLiteral(", ")) +
            QStringLiteral("\nInstall Vagrant and try again.\n"),
        std::move(resultHandler), std::move(outputHandler));
}

OutputWindowController* VagrantHelper::reportNotRun(const QString& title, const QString& message,
                                                    ResultHandler resultHandler,
                                                    OutputHandler outputHandler)
{
    OutputWindowController* window = newOutputWindow(title);
    window->showWindow();
    window->addOutput(message);
    window->setWindowTitle(QStringLiteral("Error: ") + title);
    // Reported like the end of a command: later, from the event loop.
    QTimer::singleShot(0, this,
                       [message, resultHandler = std::move(resultHandler),
                        outputHandler = std::move(outputHandler)] {
                           if (outputHandler)
                               outputHandler(message);
                           if (resultHandler)
                               resultHandler(false);
                       });
    return window;
}

void VagrantHelper::runTask(QProcess* task, OutputWindowController* window,
                            CompletionHandler completionHandler, OutputHandler outputHandler)
{
    window->showWindow();
    runTaskWithResult(task, window, ignoringResult(std::move(completionHandler)),
                      std::move(outputHandler));
}

void VagrantHelper::runTaskWithResult(QProcess* task, OutputWindowController* window,
                                      ResultHandler resultHandler, OutputHandler outputHandler,
                                      bool announceSuccess)
{
    const QPointer<OutputWindowController> target(window);
    // The end of the output, for the notice of the command's end.
    auto tail = std::make_shared<QString>();
    auto output = [target, tail, outputHandler = std::move(outputHandler)](const QString& chunk) {
        if (target)
            target->addOutput(chunk);
        if (outputHandler)
            outputHandler(chunk);
        tail->append(chunk);
        if (tail->size() > 4096)
            tail->remove(0, tail->size() - 2048);
    };
    // The runner does not exist yet when the wrapper is made; it is filled in at launch.
    auto runner = std::make_shared<QPointer<KRNTaskHelper>>();
    auto completion = [this, target, runner, tail, announceSuccess,
                       resultHandler = std::move(resultHandler)] {
        const bool succeeded = *runner && (*runner)->succeeded();
        if (target) {
            const QString title = target->windowTitle();
            if (succeeded) {
                target->setWindowTitle(QStringLiteral("Complete: ") + title);
                target->addOutput(QStringLiteral("===== COMPLETE ====="));
                if (UserDefaults::standard().boolForKey(kAutoCloseOutputWindow))
                    target->close();
            } else {
                target->setWindowTitle(QStringLiteral("Error: ") + title);
            }
            if (m_announceEnds && (announceSuccess || !succeeded))
                announceEnd(target.data(), *tail);
        }
        if (resultHandler)
            resultHandler(succeeded);
    };
    *runner = launchTaskHelper(task, std::move(completion), std::move(output));
}

void VagrantHelper::announceEnd(OutputWindowController* window, const QString& output)
{
    // Someone watching the window sees the end there already.
    if (window->isVisible() && !window->isMinimized() && window->isActiveWindow())
        return;
    QString lastLine;
    static const QRegularExpression colours(QStringLiteral("\x1b\\[[0-9;?]*[A-Za-z]"));
    const QStringList lines =
        QString(output).remove(colours).replace(u'\r', u'\n').split(u'\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        lastLine = visibleText(line->trimmed());
        if (!lastLine.isEmpty())
            break;
    }
    const QPointer<OutputWindowController> target(window);
    DesktopNotices::shared().show(window->windowTitle(), lastLine, [target] {
        if (!target)
            return;
        if (target->isMinimized())
            target->showNormal();
        else
            target->show();
        target->raise();
        target->activateWindow();
    });
}

KRNTaskHelper* VagrantHelper::launchTaskHelper(QProcess* task, CompletionHandler completionHandler,
                                               OutputHandler outputHandler)
{
    auto* helper = new KRNTaskHelper(this);
    helper->setTask(task);
    helper->setOutputHandler(std::move(outputHandler));
    helper->setCompletionHandler(std::move(completionHandler));
    helper->launch();
    m_taskHelpers.append(helper);
    return helper;
}

void VagrantHelper::setCommandRunner(std::unique_ptr<VagrantCommandRunner> runner)
{
    m_commandRunner = std::move(runner);
}

QList<OutputWindowController*> VagrantHelper::outputWindows() const
{
    QList<OutputWindowController*> windows;
    for (const QPointer<OutputWindowController>& window : m_outputWindows) {
        if (window)
            windows.append(window.data());
    }
    return windows;
}

} // namespace vesk
