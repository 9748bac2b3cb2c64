#include "DestroyConfirmation.h"

namespace vesk::DestroyConfirmation {

QString machineList(const QList<VagrantEnvironmentPtr>& machines)
{
    QStringList lines;
    for (const VagrantEnvironmentPtr& machine : machines) {
        if (!machine)
            continue;
        QString line = QStringLiteral("• ") + machine->friendlyName().value_or(
                                                  machine->name().value_or(machine->shortId()));
        if (machine->path())
            line += QStringLiteral(" — ") + *machine->path();
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

Alert destroyAllAlert(const QList<VagrantEnvironmentPtr>& machines)
{
    Alert alert;
    alert.icon = QMessageBox::Warning;
    alert.messageText =
        machines.size() == 1
            ? QStringLiteral("Destroy 1 Vagrant machine?")
            : QStringLiteral("Destroy all %1 Vagrant machines?").arg(machines.size());
    alert.informativeText =
        QStringLiteral("Each machine is deleted with everything stored inside it. "
                       "This cannot be undone.\n\n") +
        machineList(machines);
    alert.buttons = {QStringLiteral("Destroy"), QStringLiteral("Cancel")};
    alert.applicationModal = true;
    return alert;
}

Alert destroySelectedAlert(const QList<VagrantEnvironmentPtr>& machines)
{
    Alert alert = destroyAllAlert(machines);
    alert.messageText = QStringLiteral("Destroy these %1 Vagrant machines?").arg(machines.size());
    return alert;
}

Alert uninstallAlert(const QList<VagrantEnvironmentPtr>& machines)
{
    Alert alert;
    alert.icon = QMessageBox::Warning;
    alert.messageText = QStringLiteral("Destroy every Vagrant machine and uninstall Vesk?");
    alert.informativeText =
        QStringLiteral("Before the uninstall tool opens, these machines are deleted with "
                       "everything stored inside them. This cannot be undone.\n\n") +
        machineList(machines);
    alert.buttons = {QStringLiteral("Destroy and Uninstall"), QStringLiteral("Cancel")};
    alert.applicationModal = true;
    return alert;
}

void ask(QWidget* window, const Alert& alert, std::function<void()> confirmed)
{
    AlertPresenter::present(window, alert,
                            [confirmed = std::move(confirmed)](const AlertResponse& response) {
                                if (response.button == 0 && confirmed)
                                    confirmed();
                            });
}

} // namespace vesk::DestroyConfirmation
