#pragma once

#include <QString>
#include <QStringList>

namespace vesk {

class DataModel;

/// The folder a document's Vagrantfile is exported to and its machine commands run in: the
/// document's own folder, except that "Quarrow.vesk" uses the sibling folder "Quarrow".
QString projectDirectoryForDocument(const QString& documentPath);

struct ExportResult
{
    bool ok = true;
    QString failedFile;  // the file that could not be written
    QString reason;      // why, in the system's words
    QStringList written; // the files written, in order
};

/// Writes the Vagrantfile and, when the script is not blank or a bootstrap.sh is already there,
/// bootstrap.sh into the document's project folder, each atomically. Stops at the first failure.
ExportResult exportDocument(const DataModel& model, const QString& documentPath);

} // namespace vesk
