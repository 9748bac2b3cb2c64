#pragma once

#include <optional>

#include <QString>
#include <QUrl>

#include "VagrantEnvironment.h"

namespace vesk {

/// Opens an interactive `vagrant ssh` session in the user's terminal, through a small script.
class SSHHelper
{
public:
    /// SSH to the machine of a saved document's project folder. False, with a reason for the
    /// user, when no session could be opened.
    static bool sshVeskFileURL(const QUrl& fileUrl, QString* errorMessage = nullptr);
    /// SSH to the machine of the record's project folder.
    static bool sshEnvironment(const VagrantEnvironmentPtr& environment,
                               QString* errorMessage = nullptr);

    /// The folder a document's session runs in: its project folder, with "%20" read as a blank.
    static QString projectDirectoryForVeskFileURL(const QUrl& fileUrl);
    /// The private folder the script is written to: $XDG_RUNTIME_DIR/vesk, or vesk in the
    /// cache folder when that is unset; made owner-only. Nothing when it cannot be made private.
    static std::optional<QString> scriptDirectory();
    /// The script text for a project folder, from the shipped template; nothing when unreadable.
    static std::optional<QString> scriptText(const QString& directory);
    /// Writes the script for the folder (owner-only, atomically, a file of its own for each
    /// request) and hands it to the terminal. False when the script could not be written or no
    /// terminal ran it.
    static bool launchScript(const QString& directory, QString* errorMessage = nullptr);
    /// Removes scripts that earlier runs wrote and no terminal ran (each script removes itself
    /// once its shell has it open).
    static void removeStaleScripts();
};

} // namespace vesk
