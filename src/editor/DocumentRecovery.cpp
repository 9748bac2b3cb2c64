#include "DocumentRecovery.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include "Utilities.h"

namespace vesk {

namespace {

const QString kSuffix = QStringLiteral(".vesk");

QString pathFor(const QString& id)
{
    return QDir(DocumentRecovery::folder()).filePath(id + kSuffix);
}

// Ids are ours, but the folder is on disk: never let a name reach outside it.
bool isValidId(const QString& id)
{
    if (id.isEmpty() || id.size() > 64)
        return false;
    for (const QChar c : id) {
        if (!(c.isLetterOrNumber() || c == u'-') || c.unicode() > 0x7f)
            return false;
    }
    return true;
}

bool makeFolder(QString* errorMessage)
{
    const QString path = DocumentRecovery::folder();
    if (!QDir().mkpath(path)) {
        if (errorMessage)
            *errorMessage = QStringLiteral("the folder “%1” could not be created").arg(path);
        return false;
    }
    // What users type can be private; the folder is theirs alone.
    ::chmod(QFile::encodeName(path).constData(), 0700);
    return true;
}

} // namespace

QString DocumentRecovery::folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/vesk/recovery");
}

QString DocumentRecovery::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool DocumentRecovery::store(const QString& id, const QByteArray& content, QString* errorMessage)
{
    if (!isValidId(id) || !makeFolder(errorMessage))
        return false;
    AtomicFile file(pathFor(id), AtomicFile::Links::Replace);
    file.setOwnerOnly(true);
    if (file.write(content) && file.commit())
        return true;
    if (errorMessage)
        *errorMessage = file.errorString();
    return false;
}

void DocumentRecovery::discard(const QString& id)
{
    if (isValidId(id))
        QFile::remove(pathFor(id));
}

QList<DocumentRecovery::Entry> DocumentRecovery::pending()
{
    QList<Entry> entries;
    const QFileInfoList files = QDir(folder()).entryInfoList(
        {QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo& file : files) {
        const QString id = file.completeBaseName();
        if (!isValidId(id))
            continue;
        if (std::optional<QByteArray> content = readRegularFile(file.filePath()))
            entries.append({id, *content});
    }
    return entries;
}

} // namespace vesk
