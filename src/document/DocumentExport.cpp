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

    QString error;
    const std::optional<QString> text = VagrantFileTemplateHelper(model).templateString(&error);
    if (!text)
        return fail(vagrantfile, error);
    // "Quarrow" may not exist yet; every other export folder holds the document itself.
    if (!folder.exists() && !QDir().mkpath(folder.path()))
        return fail(vagrantfile, QStringLiteral("The folder could not be created."));

    // Both files are written completely before either replaces anything, so a failure leaves
    // the old export as it was. A link in their place is replaced, never written through: a
    // downloaded project could point bootstrap.sh at the user's shell start-up file.
    AtomicFile vagrantfileWriter(vagrantfile, AtomicFile::Links::Replace);
    if (!vagrantfileWriter.write(text->toUtf8()))
        return fail(vagrantfile, vagrantfileWriter.errorString());

    // A blank script writes no new file, but replaces one that is there rather than leaving a
    // stale script beside a Vagrantfile that no longer runs it.
    const QString script = model.bootstrapShellCode().value_or(QString());
    const bool writeScript = !script.trimmed().isEmpty() || QFileInfo(bootstrap).exists() ||
                             QFileInfo(bootstrap).isSymLink();
    AtomicFile bootstrapWriter(bootstrap, AtomicFile::Links::Replace);
    if (writeScript) {
        if (!bootstrapWriter.write(script.toUtf8()))
            return fail(bootstrap, bootstrapWriter.errorString());
        if (!bootstrapWriter.commit())
            return fail(bootstrap, bootstrapWriter.errorString());
    }
    if (!vagrantfileWriter.commit())
        return fail(vagrantfile, vagrantfileWriter.errorString());
    result.written.append(vagrantfile);
    if (writeScript)
        result.written.append(bootstrap);
    return result;
}

} // namespace vesk
