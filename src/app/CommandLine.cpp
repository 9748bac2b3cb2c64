#include "CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include "ApplicationInfo.h"
#include "DataModel.h"
#include "DocumentExport.h"
#include "MachineIndex.h"
#include "VagrantFileTemplateHelper.h"

namespace vesk {

namespace {

enum ExitStatus { Success = 0, Failure = 1, Usage = 2 };

// Reads and parses a document; on failure prints one line naming the file and the reason.
bool loadDocument(const QString& path, DataModel& model, QTextStream& err)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "vesk: " << path << ": cannot be read: " << file.errorString() << Qt::endl;
        return false;
    }
    QString reason;
    if (!model.loadData(file.readAll(), &reason)) {
        err << "vesk: " << path << ": cannot be read: " << reason << Qt::endl;
        return false;
    }
    return true;
}

int render(const QString& path, QTextStream& out, QTextStream& err)
{
    DataModel model;
    if (!loadDocument(path, model, err))
        return Failure;
    const std::optional<QString> text = VagrantFileTemplateHelper(model).templateString();
    if (!text) {
        err << "vesk: " << path << ": the Vagrantfile template could not be read" << Qt::endl;
        return Failure;
    }
    out << *text;
    out.flush();
    return Success;
}

int exportFiles(const QString& path, QTextStream& out, QTextStream& err)
{
    DataModel model;
    if (!loadDocument(path, model, err))
        return Failure;
    const ExportResult result = exportDocument(model, QFileInfo(path).absoluteFilePath());
    for (const QString& written : result.written)
        out << written << Qt::endl;
    if (!result.ok) {
        err << "vesk: " << result.failedFile << ": cannot be written: " << result.reason
            << Qt::endl;
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
        return text && !text->isEmpty() ? *text : QStringLiteral("-");
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

std::optional<int> runCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
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
        return command == QStringLiteral("render") ? render(arguments.at(1), out, err)
                                                   : exportFiles(arguments.at(1), out, err);
    }
    if (command == QStringLiteral("machines")) {
        const QStringList options = arguments.mid(1);
        if (options.isEmpty())
            return machines(false, out);
        if (options == QStringList{QStringLiteral("--json")})
            return machines(true, out);
        return usageError(QStringLiteral("machines takes only --json"), err);
    }
    if (command.startsWith(u'-') && command != QStringLiteral("-"))
        return usageError(QStringLiteral("unknown option %1").arg(command), err);
    // Anything else names documents for the windows. Qt's own options (-platform ...) are taken
    // by QApplication before we look.
    return std::nullopt;
}

} // namespace vesk
