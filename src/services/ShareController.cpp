#include "ShareController.h"

#include <csignal>

#include <QApplication>
#include <QProcess>

#include "AtlasHelper.h"
#include "KRNTaskHelper.h"
#include "ShellQuote.h"
#include "VagrantHelper.h"

namespace vesk {

ShareController::ShareController(AtlasHelper& atlas, VagrantHelper& vagrant, QObject* parent)
    : QObject(parent), m_atlas(atlas), m_vagrant(vagrant)
{
}

ShareController::~ShareController()
{
    // Windows may only go while the application object exists; at process exit they stay.
    if (QApplication::instance()) {
        for (const QPointer<ShareOutputWindowController>& window : std::as_const(m_windows))
            delete window.data();
        for (const QPointer<ShareOutputWindowController>& window : std::as_const(m_retiredWindows))
            delete window.data();
    }
}

ShareController& ShareController::sharedInstance()
{
    // Lives until the process ends; nothing is torn down at exit.
    static ShareController* instance =
        new ShareController(AtlasHelper::sharedInstance(), VagrantHelper::sharedInstance());
    return *instance;
}

QString ShareController::shareCommandLine(const QString& vagrant, const QString& machineId)
{
    return shellQuote(vagrant) + QStringLiteral(" share ") + shellQuote(machineId);
}

std::optional<QString> ShareController::urlInOutput(const QString& chunk)
{
    const qsizetype start = chunk.indexOf(QStringLiteral("http://"));
    if (start < 0)
        return std::nullopt;
    const qsizetype end = chunk.indexOf(u'\n', start);
    return chunk.mid(start, end < 0 ? -1 : end - start);
}

ShareOutputWindowController* ShareController::shareWindow(const QString& machineId) const
{
    return m_windows.value(machineId).data();
}

void ShareController::shareEnvironment(const VagrantEnvironmentPtr& environment)
{
    if (!environment)
        return;
    // The share is not resumed after a later login; the user chooses Share again.
    if (!m_atlas.userIsLoggedInToAtlas()) {
        m_atlas.showLoginUI();
        return;
    }

    const QString machineId = environment->hexId().value_or(QString());
    KRNTaskHelper* running = m_taskHelpers.value(machineId);
    if (ShareOutputWindowController* window = shareWindow(machineId);
        window && running && !running->isComplete()) {
        window->show();
        window->raise();
        window->activateWindow();
        return;
    }
    retireWindow(machineId);

    // vagrant would read an id that begins with "-" as an option: said in the window, not run.
    if (machineId.startsWith(u'-')) {
        auto* refused = new ShareOutputWindowController;
        refused->setAttribute(Qt::WA_DeleteOnClose);
        refused->setWindowTitle(QStringLiteral("Error: ") +
                                environment->friendlyName().value_or(QString()) +
                                QStringLiteral(" - Sharing..."));
        refused->showWindow();
        refused->addOutput(QStringLiteral("The machine id “%1” begins with “-”, so vagrant would "
                                          "take it for an option. The share was not started.\n")
                               .arg(machineId));
        m_windows.insert(machineId, refused);
        return;
    }

    if (!m_vagrant.pathToVagrant())
        m_vagrant.vagrantIsInstalled();
    // Without a known path bash looks vagrant up in PATH, and says so when it is not there.
    const QString vagrant = m_vagrant.pathToVagrant().value_or(QStringLiteral("vagrant"));
    auto* task = new QProcess;
    task->setProgram(QStringLiteral("/bin/bash"));
    task->setArguments({QStringLiteral("-c"), shareCommandLine(vagrant, machineId)});

    auto* window = new ShareOutputWindowController;
    window->setWindowTitle(environment->friendlyName().value_or(QString()) +
                           QStringLiteral(" - Sharing..."));
    window->setEnvironment(environment);
    window->setDelegate(this);
    window->showWindow();
    m_windows.insert(machineId, window);

    auto* helper = new KRNTaskHelper(this);
    helper->setTask(task);
    const QPointer<ShareOutputWindowController> target(window);
    helper->setOutputHandler([target](const QString& chunk) {
        if (!target)
            return;
        target->addOutput(chunk);
        if (const std::optional<QString> url = urlInOutput(chunk))
            target->setURL(*url);
    });
    helper->setCompletionHandler([target, helper] {
        if (!target)
            return;
        if (helper->succeeded())
            target->close();
        else
            target->setWindowTitle(QStringLiteral("Error: ") + target->windowTitle());
    });
    helper->launch();

    // An ended share's runner has run its handlers; one still shutting down stays until exit.
    if (KRNTaskHelper* previous = m_taskHelpers.value(machineId);
        previous && previous->isComplete())
        previous->deleteLater();
    m_taskHelpers.insert(machineId, helper);
}

void ShareController::retireWindow(const QString& machineId)
{
    const QPointer<ShareOutputWindowController> old = m_windows.take(machineId);
    if (!old)
        return;
    // A finished share's window the user still looks at stays until it is closed.
    if (old->isVisible()) {
        old->setAttribute(Qt::WA_DeleteOnClose);
        m_retiredWindows.append(old);
    } else
        old->deleteLater();
}

void ShareController::endSharing(ShareOutputWindowController* controller)
{
    if (!controller)
        return;
    const QString machineId = controller->environment()
                                  ? controller->environment()->hexId().value_or(QString())
                                  : QString();
    // Only the window of the machine's current share speaks for its command; an older window
    // outlived its own share.
    if (m_windows.value(machineId) == controller) {
        if (KRNTaskHelper* helper = m_taskHelpers.value(machineId)) {
            QProcess* task = helper->task();
            // vagrant share shuts the share down itself on an interrupt.
            if (task && task->state() != QProcess::NotRunning && task->processId() > 0)
                ::kill(pid_t(task->processId()), SIGINT);
        }
        // Closed at once, without waiting for the command to end; a new share may start now.
        m_windows.remove(machineId);
    }
    controller->setAttribute(Qt::WA_DeleteOnClose);
    controller->close();
}

} // namespace vesk
