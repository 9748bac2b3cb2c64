#include "SSHHelper.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

#include "DocumentExport.h"
#include "ShellQuote.h"
#include "Utilities.h"
#include "Workspace.h"

namespace vesk {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

} // namespace

bool SSHHelper::sshVeskFileURL(const QUrl& fileUrl, QString* errorMessage)
{
    return launchScript(projectDirectoryForVeskFileURL(fileUrl), errorMessage);
}

bool SSHHelper::sshEnvironment(const VagrantEnvironmentPtr& environment, QString* errorMessage)
{
    // Without a project folder the session would start wherever the terminal opens.
    if (!environment || !environment->path()) {
        if (errorMessage)
            *errorMessage = QStringLiteral("The machine's project folder is not known.");
        return false;
    }
    return launchScript(*environment->path(), errorMessage);
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

bool SSHHelper::launchScript(const QString& directory, QString* errorMessage)
{
    const auto fail = [errorMessage](const QString& reason) {
        if (errorMessage)
            *errorMessage = reason;
        return false;
    };
    const std::optional<QString> text = scriptText(directory);
    const std::optional<QString> folder = scriptDirectory();
    if (!text || !folder)
        return fail(QStringLiteral("The SSH script could not be prepared in a private folder."));
    // One file per request: two sessions asked for in quick succession each run their own.
    const QString path = *folder + QStringLiteral("/vesk-ssh-") +
                         QUuid::createUuid().toString(QUuid::Id128).left(12) +
                         QStringLiteral(".command");
    QString reason;
    if (!writeFileAtomically(path, text->toUtf8(), &reason, AtomicFile::Links::Replace) ||
        !QFile::setPermissions(path, kOwnerOnly))
        return fail(QStringLiteral("The SSH script could not be written: %1.").arg(reason));
    if (Workspace::shared().runInTerminal(path, &reason))
        return true;
    QFile::remove(path);
    return fail(reason);
}

void SSHHelper::removeStaleScripts()
{
    const std::optional<QString> folder = scriptDirectory();
    if (!folder)
        return;
    const QDir directory(*folder);
    for (const QString& name :
         directory.entryList({QStringLiteral("vesk-ssh*")}, QDir::Files | QDir::System))
        QFile::remove(directory.filePath(name));
}

} // namespace vesk
