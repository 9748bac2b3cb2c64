#include "SSHHelper.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "DocumentExport.h"
#include "ShellQuote.h"
#include "Utilities.h"
#include "Workspace.h"

namespace vesk {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

} // namespace

void SSHHelper::sshVeskFileURL(const QUrl& fileUrl)
{
    launchScript(projectDirectoryForVeskFileURL(fileUrl));
}

void SSHHelper::sshEnvironment(const VagrantEnvironmentPtr& environment)
{
    // Without a project folder the session would start wherever the terminal opens.
    if (!environment || !environment->path())
        return;
    launchScript(*environment->path());
}

QString SSHHelper::projectDirectoryForVeskFileURL(const QUrl& fileUrl)
{
    return projectDirectoryForDocument(fileUrl.toLocalFile())
        .replace(QStringLiteral("%20"), QStringLiteral(" "));
}

std::optional<QString> SSHHelper::scriptDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString base =
        runtime.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                          : runtime;
    if (base.isEmpty())
        return std::nullopt;
    const QString directory = base + QStringLiteral("/vesk");
    if (!QDir().mkpath(directory))
        return std::nullopt;
    // Only a real folder of our own may hold a script we run.
    const QFileInfo info(directory);
    if (info.isSymLink() || !info.isDir() || info.ownerId() != ::getuid())
        return std::nullopt;
    if (!QFile::setPermissions(directory, kOwnerOnly))
        return std::nullopt;
    return directory;
}

std::optional<QString> SSHHelper::scriptText(const QString& directory)
{
    QFile templateFile(QStringLiteral(":/ssh.command"));
    if (!templateFile.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString text = QString::fromUtf8(templateFile.readAll());
    // The folder becomes one shell word, whatever characters it has.
    return text.replace(QStringLiteral("{{path}}"), shellQuote(directory));
}

bool SSHHelper::launchScript(const QString& directory)
{
    const std::optional<QString> text = scriptText(directory);
    const std::optional<QString> folder = scriptDirectory();
    // A script that was not written must not be replaced by whatever an older request left.
    if (!text || !folder)
        return false;
    const QString path = *folder + QStringLiteral("/vesk-ssh.command");
    if (!writeFileAtomically(path, text->toUtf8(), nullptr, AtomicFile::Links::Replace))
        return false;
    if (!QFile::setPermissions(path, kOwnerOnly))
        return false;
    return Workspace::shared().runInTerminal(path);
}

} // namespace vesk
