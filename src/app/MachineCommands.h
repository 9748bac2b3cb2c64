#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include "VagrantEnvironment.h"

namespace vesk {

class VagrantHelper;

/// One command that a machine's row offers, the same in the tray and in the Machines window:
/// its title and image, the state rule that allows it and what it runs.
struct MachineCommand
{
    QString name;          // stem of the object names ("up" gives "actionUp")
    QString title;         // "Power On"
    QString image;         // template artwork under :/icons
    QKeySequence shortcut; // in the Machines window
    bool separatorBefore = false;
    bool (*allowed)(const VagrantEnvironment& environment) = nullptr;
    void (*run)(VagrantHelper& helper, const VagrantEnvironmentPtr& environment) = nullptr;

    bool allows(const VagrantEnvironment& environment) const { return allowed(environment); }
};

/// The per-machine commands in the order rows show them.
const QList<MachineCommand>& machineCommands();

/// The name a machine is listed under: its friendly name, or its short id when that is absent
/// or empty, so that no row is ever blank.
QString machineTitle(const VagrantEnvironment& environment);

/// A state as rows caption it: each word capitalised ("running" gives "Running").
QString captionForState(const QString& stateString);

/// The image of a machine's row for its state; empty for states without one.
QString imageForState(VagrantEnvironmentState state);

} // namespace vesk
