#include "Workspace.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "Terminals.h"
#include "UserDefaults.h"

namespace vesk {

namespace {

std::unique_ptr<Workspace>& sharedWorkspace()
{
    static std::unique_ptr<Workspace> workspace;
    return workspace;
}

} // namespace

Workspace& Workspace::shared()
{
    auto& workspace = sharedWorkspace();
    if (!workspace)
        workspace = std::make_unique<DesktopWorkspace>();
    return *workspace;
}

void Workspace::setShared(std::unique_ptr<Workspace> workspace)
{
    sharedWorkspace() = std::move(workspace);
}

bool DesktopWorkspace::openUrl(const QUrl& url, bool activate)
{
    Q_UNUSED(activate) // xdg-open gives no say over focus; the desktop decides
    return QDesktopServices::openUrl(url);
}

bool DesktopWorkspace::openFile(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool DesktopWorkspace::revealFile(const QString& path)
{
    // The file manager's D-Bus interface would select the file; opening its folder is the
    // portable part of that.
    const QFileInfo info(path);
    return QDesktopServices::openUrl(
        QUrl::fromLocalFile(info.isDir() ? info.absoluteFilePath() : info.absolutePath()));
}

bool DesktopWorkspace::runInTerminal(const QString& scriptPath, QString* errorMessage)
{
    const TerminalLookup lookup =
        findTerminal(scriptPath, UserDefaults::standard().stringForKey(kTerminalCommand),
                     qEnvironmentVariable("TERMINAL"), [](const QString& program) {
                         return QStandardPaths::findExecutable(program);
                     });
    QStringList command = lookup.command;
    if (command.isEmpty()) {
        if (errorMessage)
            *errorMessage = QStringLiteral("No terminal was found: Vesk looked for %1. Install a "
                                           "terminal, or choose yours in Preferences... (in the "
                                           "Vesk menu).")
                                .arg(lookup.tried.join(QStringLiteral(", ")));
        return false;
    }
    const QString program = command.takeFirst();
    if (QProcess::startDetached(program, command))
        return true;
    if (errorMessage)
        *errorMessage = QStringLiteral("The terminal “%1” could not be started. Choose another "
                                       "one in Preferences... (in the Vesk menu).")
                            .arg(program);
    return false;
}

bool RecordingWorkspace::openUrl(const QUrl& url, bool activate)
{
    calls.append({QStringLiteral("openUrl"), url.toString(), activate});
    return result;
}

bool RecordingWorkspace::openFile(const QString& path)
{
    calls.append({QStringLiteral("openFile"), path, true});
    return result;
}

bool RecordingWorkspace::revealFile(const QString& path)
{
    calls.append({QStringLiteral("revealFile"), path, true});
    return result;
}

bool RecordingWorkspace::runInTerminal(const QString& scriptPath, QString* errorMessage)
{
    if (!result && errorMessage)
        *errorMessage = QStringLiteral("No terminal was found.");
    calls.append({QStringLiteral("runInTerminal"), scriptPath, true});
    return result;
}

} // namespace vesk
