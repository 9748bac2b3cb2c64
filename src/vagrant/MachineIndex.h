#pragma once

#include <QByteArray>
#include <QString>

#include "VagrantEnvironment.h"

namespace vesk {

/// "~/.vagrant.d/data/machine-index/index" in the current home folder.
QString defaultPathToMachineIndex();

/// The records of Vagrant's machine index file, in the order the index lists them. A missing,
/// unreadable or malformed file (bad JSON, not UTF-8, "machines" not an object) gives no
/// records; an entry that is not an object is left out, and a member that is not a string
/// leaves its property unset. Reading has no other effect.
VagrantEnvironmentDictionary loadMachineIndex(const QString& path);

/// The same for the bytes of an index file.
VagrantEnvironmentDictionary parseMachineIndex(const QByteArray& json);

/// The records of the index file, telling a missing file (no records) from one that is there
/// but cannot be read or parsed (nothing: Vagrant may be halfway through rewriting it).
std::optional<VagrantEnvironmentDictionary> readMachineIndex(const QString& path);

} // namespace vesk
