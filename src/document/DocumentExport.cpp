#include "DocumentExport.h"

#include <QDir>
#include <QFileInfo>

#include "DataModel.h"
#include "Utilities.h"
#include "VagrantFileTemplateHelper.h"

namespace vesk {

QString projectDirectoryForDocument(const QString& documentPath)
{
    const QFileInfo document(documentPath);
    const QString folder = document.absolutePath();
    if (document.fileName() == QStringLiteral("Quarrow.vesk"))
        return QDir(QFileInfo(folder).absolutePath()).filePath(QStringLiteral("Quarrow"));
    return folder;
}

ExportResult exportDocument(const DataModel& model, const QString& documentPath)
{
    ExportResult result;
    const QDir folder(projectDirectoryForDocument(documentPath));
    const QString vagrantfile = folder.filePath(QStringLiteral("Vagrantfile"));
    const QString bootstrap = folder.filePath(QStringLiteral("bootstrap.sh"));

    auto fail = [&result](const QString& file, const QString& reason) {
        result.ok = false;
        result.failedFile = file;
        result.reason = reason;
        return result;
    };

    const std::optional<QString> text = VagrantFileTemplateHelper(model).templateString();
    if (!text)
        return fail(vagrantfile, QStringLiteral("The Vagrantfile template could not be read."));
    // "Quarrow" may not exist yet; every other export folder holds the document itself.
    if (!folder.exists() && !QDir().mkpath(folder.path()))
        return fail(vagrantfile, QStringLiteral("The folder could not be created."));

    QString reason;
    if (!writeFileAtomically(vagrantfile, text->toUtf8(), &reason))
        return fail(vagrantfile, reason);
    result.written.append(vagrantfile);

    // A blank script writes no new file, but replaces one that is there rather than leaving a
    // stale script beside a Vagrantfile that no longer runs it.
    const QString script = model.bootstrapShellCode().value_or(QString());
    if (!script.trimmed().isEmpty() || QFileInfo::exists(bootstrap)) {
        if (!writeFileAtomically(bootstrap, script.toUtf8(), &reason))
            return fail(bootstrap, reason);
        result.written.append(bootstrap);
    }
    return result;
}

} // namespace vesk
