#include "MachineCommands.h"

#include <QApplication>
#include <QWidget>
#include <QStringList>
#include <QUrl>

#include "AlertPresenter.h"
#include "SSHHelper.h"
#include "ShareController.h"
#include "VagrantHelper.h"
#include "Workspace.h"

namespace vesk {

namespace {

// Every vagrant command is issued without handlers: the output window and the next change of
// the machine index show what became of it.
template <void (VagrantHelper::*command)(
    const VagrantEnvironmentPtr&, VagrantHelper::CompletionHandler, VagrantHelper::OutputHandler)>
void vagrant(VagrantHelper& helper, const VagrantEnvironmentPtr& environment)
{
    (helper.*command)(environment, {}, {});
}

template <bool (VagrantEnvironment::*rule)() const> bool when(const VagrantEnvironment& environment)
{
    return (environment.*rule)();
}

bool always(const VagrantEnvironment&)
{
    return true;
}

void ssh(VagrantHelper&, const VagrantEnvironmentPtr& environment)
{
    // Said on the window that asked (the Machines window); from the tray, in a box of its own.
    QString reason;
    if (SSHHelper::sshEnvironment(environment, &reason))
        return;
    QWidget* window = QApplication::activeWindow();
    if (window && window->objectName() != QStringLiteral("MachinesWindowController"))
        window = nullptr;
    AlertPresenter::present(window, sshFailureAlert(reason));
}

void share(VagrantHelper&, const VagrantEnvironmentPtr& environment)
{
    ShareController::sharedInstance().shareEnvironment(environment);
}

void reveal(VagrantHelper&, const VagrantEnvironmentPtr& environment)
{
    if (const std::optional<QString> path = environment->path())
        Workspace::shared().openUrl(QUrl::fromLocalFile(*path));
}

QList<MachineCommand> buildCommands()
{
    using E = VagrantEnvironment;
    using V = VagrantHelper;
    auto key = [](const char* text) { return QKeySequence(QString::fromLatin1(text)); };
    return {
        {QStringLiteral("up"), QStringLiteral("Power On"), QStringLiteral("Up"), key("Ctrl+U"),
         false, when<&E::canUp>, vagrant<&V::upEnvironment>},
        {QStringLiteral("halt"), QStringLiteral("Power Off"), QStringLiteral("Halt"), key("Ctrl+H"),
         false, when<&E::canHalt>, vagrant<&V::haltEnvironment>},
        {QStringLiteral("reload"), QStringLiteral("Reboot"), QStringLiteral("Reload"),
         key("Ctrl+R"), false, when<&E::canReload>, vagrant<&V::reloadEnvironment>},
        {QStringLiteral("suspend"), QStringLiteral("Pause"), QStringLiteral("Pause"), key("Ctrl+P"),
         false, when<&E::canSuspend>, vagrant<&V::suspendEnvironment>},
        {QStringLiteral("resume"), QStringLiteral("Resume"), QStringLiteral("Up"),
         key("Ctrl+Shift+U"), false, when<&E::canResume>, vagrant<&V::resumeEnvironment>},
        {QStringLiteral("provision"), QStringLiteral("Provision"), QStringLiteral("Provision"),
         key("Ctrl+Shift+P"), false, when<&E::canProvision>, vagrant<&V::provisionEnvironment>},
        {QStringLiteral("destroy"), QStringLiteral("Destroy"), QStringLiteral("Destroy"),
         key("Ctrl+Shift+Del"), false, when<&E::canDestroy>, vagrant<&V::destroyEnvironment>},
        {QStringLiteral("ssh"), QStringLiteral("SSH"), QStringLiteral("SSH"), key("Ctrl+T"), true,
         when<&E::canSSH>, ssh},
        // Remote desktop follows the SSH rule: running machines only.
        {QStringLiteral("rdp"), QStringLiteral("RDP"), QStringLiteral("RDP"), key("Ctrl+Shift+T"),
         false, when<&E::canSSH>, vagrant<&V::rdpEnvironment>},
        {QStringLiteral("share"), QStringLiteral("Share"), QStringLiteral("Share"),
         key("Ctrl+Shift+S"), false, when<&E::canShare>, share},
        {QStringLiteral("reveal"), QStringLiteral("Reveal in Finder"), QStringLiteral("Reveal"),
         key("Ctrl+Shift+R"), true, always, reveal},
    };
}

} // namespace

const QList<MachineCommand>& machineCommands()
{
    static const QList<MachineCommand> commands = buildCommands();
    return commands;
}

QString machineTitle(const VagrantEnvironment& environment)
{
    const QString name = environment.friendlyName().value_or(QString());
    return name.isEmpty() ? environment.shortId() : name;
}

QString captionForState(const QString& stateString)
{
    QStringList words = stateString.split(u' ');
    for (QString& word : words) {
        if (!word.isEmpty())
            word = word.left(1).toUpper() + word.mid(1).toLower();
    }
    return words.join(u' ');
}

QString imageForState(VagrantEnvironmentState state)
{
    switch (state) {
    case VagrantEnvironmentStatePowerOff:
        return QStringLiteral("MenuStopped");
    case VagrantEnvironmentStateRunning:
        return QStringLiteral("MenuRunning");
    case VagrantEnvironmentStateSaved:
        return QStringLiteral("MenuPaused");
    case VagrantEnvironmentStateOther:
        break;
    }
    return {};
}

} // namespace vesk
