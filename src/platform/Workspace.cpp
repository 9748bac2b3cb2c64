#include "Workspace.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

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

QStringList DesktopWorkspace::terminalCommand(const QString& scriptPath)
{
    const QString preferred = qEnvironmentVariable("TERMINAL");
    if (!preferred.isEmpty() && !QStandardPaths::findExecutable(preferred).isEmpty())
        return {preferred, QStringLiteral("-e"), scriptPath};
    // Each of these runs the program given after its "execute" option.
    const QList<QStringList> terminals = {
        {QStringLiteral("x-terminal-emulator"), QStringLiteral("-e")},
        {QStringLiteral("gnome-terminal"), QStringLiteral("--")},
        {QStringLiteral("konsole"), QStringLiteral("-e")},
        {QStringLiteral("xfce4-terminal"), QStringLiteral("-x")},
        {QStringLiteral("kitty")},
        {QStringLiteral("alacritty"), QStringLiteral("-e")},
        {QStringLiteral("xterm"), QStringLiteral("-e")},
    };
    for (QStringList command : terminals) {
        if (QStandardPaths::findExecutable(command.first()).isEmpty())
            continue;
        command.append(scriptPath);
        return command;
    }
    return {};
}

bool DesktopWorkspace::runInTerminal(const QString& scriptPath)
{
    QStringList command = terminalCommand(scriptPath);
    if (command.isEmpty())
        return false;
    const QString program = command.takeFirst();
    return QProcess::startDetached(program, command);
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

bool RecordingWorkspace::runInTerminal(const QString& scriptPath)
{
    calls.append({QStringLiteral("runInTerminal"), scriptPath, true});
    return result;
}

} // namespace vesk
