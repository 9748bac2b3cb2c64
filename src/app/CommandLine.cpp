#include "CommandLine.h"

#include <fcntl.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QUrl>

#include "ApplicationInfo.h"
#include "DataModel.h"
#include "DocumentExport.h"
#include "MachineIndex.h"
#include "Utilities.h"
#include "VagrantFileTemplateHelper.h"

namespace vesk {

namespace {

enum ExitStatus { Success = 0, Failure = 1, Usage = 2 };

bool survivesAsText(const QByteArray& native)
{
    return QFile::encodeName(QFile::decodeName(native)) == native;
}

// The bytes as a message shows them: valid UTF-8 as text, any other byte as \xNN, quoted.
QString shownBytes(const QByteArray& native)
{
    QString shown;
    qsizetype i = 0;
    while (i < native.size()) {
        const auto lead = uchar(native.at(i));
        const qsizetype length = lead < 0x80 ? 1 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
        const QByteArray sequence = native.mid(i, length);
        const QString decoded = QString::fromUtf8(sequence);
        if (lead < 0xf8 && sequence.size() == length && decoded.toUtf8() == sequence &&
            !decoded.contains(QChar::ReplacementCharacter)) {
            shown += decoded;
            i += length;
        } else {
            shown += QStringLiteral("\\x%1").arg(int(lead), 2, 16, QLatin1Char('0'));
            ++i;
        }
    }
    const QString name = displayName(shown);
    return name.startsWith(u'"') ? name : QLatin1Char('"') + name + QLatin1Char('"');
}

// A document named on the command line. Qt's file functions take text, and a name that is not
// valid in the locale's encoding (a Latin-1 byte under UTF-8) does not survive the trip; such
// a document is reached through descriptors of its folder and of itself instead.
struct DocumentArgument
{
    QString path;        // for Qt's file functions: names the document in its folder
    QString readPath;    // where its bytes are read
    QString folder;      // the folder part of `path` when it is a descriptor
    QString shownFolder; // that folder as messages show it
    QString shown;       // the document as messages show it

    QString shownName(const QString& file) const
    {
        if (!folder.isEmpty() && file.startsWith(folder + u'/'))
            return shownFolder.chopped(1) + visibleText(file.mid(folder.size())) + u'"';
        return displayName(file);
    }
};

DocumentArgument documentArgument(const QByteArray& native)
{
    const QString text = QFile::decodeName(native);
    DocumentArgument document{text, text, QString(), QString(), displayName(text)};
#ifdef Q_OS_LINUX
    if (survivesAsText(native))
        return document;
    const qsizetype slash = native.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : native.left(qMax<qsizetype>(slash, 1));
    const QByteArray name = native.mid(slash + 1);
    document.shown = shownBytes(native);
    // The descriptors stay open until the process ends.
    const int folderDescriptor = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folderDescriptor < 0)
        return document;
    document.folder = QStringLiteral("/proc/self/fd/%1").arg(folderDescriptor);
    document.shownFolder = shownBytes(folder);
    if (survivesAsText(name)) {
        document.path = document.folder + u'/' + QFile::decodeName(name);
        document.readPath = document.path;
        return document;
    }
    document.path = document.folder + QStringLiteral("/document.vesk");
    const int fileDescriptor = ::openat(folderDescriptor, name.constData(), O_PATH | O_CLOEXEC);
    document.readPath = fileDescriptor < 0 ? document.folder + u'/' + QFile::decodeName(name)
                                           : QStringLiteral("/proc/self/fd/%1").arg(fileDescriptor);
#endif
    return document;
}

// Reads and parses a document; on failure prints one line naming the file and the reason.
bool loadDocument(const DocumentArgument& document, DataModel& model, QTextStream& err)
{
    QString reason;
    const std::optional<QByteArray> data = readRegularFile(document.readPath, &reason);
    if (!data || !model.loadData(*data, &reason)) {
        err << "vesk: " << document.shown << ": cannot be read: " << reason << Qt::endl;
        return false;
    }
    return true;
}

int render(const DocumentArgument& document, QTextStream& out, QTextStream& err)
{
    DataModel model;
    if (!loadDocument(document, model, err))
        return Failure;
    QString error;
    const std::optional<QString> text = VagrantFileTemplateHelper(model).templateString(&error);
    if (!text) {
        err << "vesk: " << document.shown << ": cannot be rendered: " << error << Qt::endl;
        return Failure;
    }
    out << *text;
    out.flush();
    return Success;
}

int exportFiles(const DocumentArgument& document, QTextStream& out, QTextStream& err)
{
    DataModel model;
    if (!loadDocument(document, model, err))
        return Failure;
    const ExportResult result = exportDocument(model, QFileInfo(document.path).absoluteFilePath());
    for (const QString& written : result.written)
        out << document.shownName(written) << Qt::endl;
    if (!result.ok) {
        err << "vesk: " << document.shownName(result.failedFile)
            << ": cannot be written: " << result.reason << Qt::endl;
        return Failure;
    }
    return Success;
}

QJsonValue jsonText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

// Vagrant's machines as Vesk reads them, in index order; only the index file is read.
int machines(bool json, QTextStream& out)
{
    const QList<VagrantEnvironmentPtr> records =
        loadMachineIndex(defaultPathToMachineIndex()).values();
    if (json) {
        QJsonArray array;
        for (const VagrantEnvironmentPtr& record : records) {
            array.append(
                QJsonObject{{QStringLiteral("id"), jsonText(record->hexId())},
                            {QStringLiteral("name"), jsonText(record->name())},
                            {QStringLiteral("friendlyName"), jsonText(record->friendlyName())},
                            {QStringLiteral("state"), jsonText(record->stateString())},
                            {QStringLiteral("provider"), jsonText(record->provider())},
                            {QStringLiteral("path"), jsonText(record->path())}});
        }
        out << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
        out.flush();
        return Success;
    }
    const auto cell = [](const std::optional<QString>& text) {
        return text && !text->isEmpty() ? visibleText(*text) : QStringLiteral("-");
    };
    QList<QStringList> rows;
    QList<qsizetype> widths(4, 0);
    for (const VagrantEnvironmentPtr& record : records) {
        const QStringList row{cell(record->friendlyName()), cell(record->shortId()),
                              cell(record->stateString()), cell(record->provider()),
                              cell(record->path())};
        for (int column = 0; column < 4; ++column)
            widths[column] = qMax(widths[column], row.at(column).size());
        rows.append(row);
    }
    for (const QStringList& row : rows) {
        for (int column = 0; column < 4; ++column)
            out << row.at(column).leftJustified(widths[column]) << "  ";
        out << row.at(4) << '\n';
    }
    out.flush();
    return Success;
}

int usageError(const QString& message, QTextStream& err)
{
    err << "vesk: " << message << Qt::endl << usageText();
    err.flush();
    return Usage;
}

} // namespace

std::optional<QString> documentPathFromArgument(const QString& argument, QString* errorMessage)
{
    // What QApplication left that begins with "-" is an option for Qt WebEngine or a mistake,
    // not a document. A desktop or file manager may hand over file:// URLs; other URLs have no
    // document. A file whose name only looks like a URL ("notes:draft.vesk") is that file.
    if (argument.startsWith(u'-') && argument != QStringLiteral("-"))
        return std::nullopt;
    const QUrl url(argument, QUrl::StrictMode);
    if (!QFileInfo::exists(argument) && url.isValid() && url.scheme().size() > 1) {
        if (url.isLocalFile())
            return QFileInfo(url.toLocalFile()).absoluteFilePath();
        if (errorMessage)
            *errorMessage = QStringLiteral("vesk: %1: only files on this computer can be opened")
                                .arg(displayName(argument));
        return std::nullopt;
    }
    return QFileInfo(argument).absoluteFilePath();
}

QString usageText()
{
    return QStringLiteral("Usage: vesk [FILE.vesk ...]        open documents in Vesk\n"
                          "       vesk render FILE.vesk       print the Vagrantfile of a document\n"
                          "       vesk export FILE.vesk       write Vagrantfile and bootstrap.sh "
                          "for a document\n"
                          "       vesk machines [--json]      list Vagrant's machines: name, id, "
                          "state, provider, folder\n"
                          "       vesk --version              print the version\n"
                          "       vesk --help                 print this help\n");
}

std::optional<int> runCommandLine(const QList<QByteArray>& nativeArguments, QTextStream& out,
                                  QTextStream& err)
{
    QStringList arguments;
    for (const QByteArray& argument : nativeArguments)
        arguments.append(QFile::decodeName(argument));
    if (arguments.isEmpty())
        return std::nullopt;
    const QString& command = arguments.first();

    if (command == QStringLiteral("--help") || command == QStringLiteral("-h")) {
        out << usageText();
        out.flush();
        return Success;
    }
    if (command == QStringLiteral("--version") || command == QStringLiteral("-v")) {
        out << applicationName() << ' ' << applicationVersion() << Qt::endl;
        return Success;
    }
    if (command == QStringLiteral("render") || command == QStringLiteral("export")) {
        if (arguments.size() != 2 || arguments.at(1).startsWith(u'-'))
            return usageError(QStringLiteral("%1 takes one document").arg(command), err);
        const DocumentArgument document = documentArgument(nativeArguments.at(1));
        return command == QStringLiteral("render") ? render(document, out, err)
                                                   : exportFiles(document, out, err);
    }
    if (command == QStringLiteral("machines")) {
        const QStringList options = arguments.mid(1);
        if (options.isEmpty())
            return machines(false, out);
        if (options == QStringList{QStringLiteral("--json")})
            return machines(true, out);
        return usageError(QStringLiteral("machines takes only --json"), err);
    }
    // Anything else is for the windows: documents, and options for Qt and Qt WebEngine
    // (-platform xcb, -style Fusion, --no-sandbox ...), which QApplication takes first.
    return std::nullopt;
}

} // namespace vesk
