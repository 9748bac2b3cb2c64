#pragma once

#include <functional>

#include <QList>
#include <QString>

#include "AlertPresenter.h"
#include "VagrantEnvironment.h"

class QWidget;

namespace vesk {

/// Asking before several machines are destroyed at once: their disks go with them.
namespace DestroyConfirmation {

/// One line per machine: "• name — project folder".
QString machineList(const QList<VagrantEnvironmentPtr>& machines);

/// The question for destroying every machine from the tray ("Destroy" / "Cancel").
Alert destroyAllAlert(const QList<VagrantEnvironmentPtr>& machines);
/// The question for destroying several chosen machines at once ("Destroy" / "Cancel").
Alert destroySelectedAlert(const QList<VagrantEnvironmentPtr>& machines);
/// The question for uninstalling, which destroys every machine first.
Alert uninstallAlert(const QList<VagrantEnvironmentPtr>& machines);

/// Shows `alert` once and runs `confirmed` only when its first button is chosen.
void ask(QWidget* window, const Alert& alert, std::function<void()> confirmed);

} // namespace DestroyConfirmation

} // namespace vesk
