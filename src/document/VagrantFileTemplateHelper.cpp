#include "VagrantFileTemplateHelper.h"

#include <QDir>
#include <QFile>

#include "DataModel.h"
#include "Utilities.h"

namespace vesk {

namespace {

const QString kVagrantFileTemplate = QStringLiteral("VagrantFileTemplate.txt");
const QString kHeaderTemplate = QStringLiteral("VagrantFileDisplayTempHeaderTemplate.txt");

std::optional<QString> readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

// Fragments end in a line feed each; the template supplies the one after the block.
QString trimLineFeeds(QString text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text[start] == u'\n')
        ++start;
    while (end > start && text[end - 1] == u'\n')
        --end;
    return text.mid(start, end - start);
}

} // namespace

std::optional<QString> readTemplate(const QString& fileName)
{
    const QString userTemplate = QDir(applicationSupportDirectory()).filePath(fileName);
    if (QFile::exists(userTemplate)) {
        if (std::optional<QString> text = readText(userTemplate))
            return text;
    }
    return readText(QStringLiteral(":/templates/") + fileName);
}

VagrantFileTemplateHelper::VagrantFileTemplateHelper(const DataModel& dataModel)
    : m_dataModel(dataModel)
{
}

std::optional<QString> VagrantFileTemplateHelper::templateString() const
{
    std::optional<QString> text = readTemplate(kVagrantFileTemplate);
    if (!text)
        return std::nullopt;
    // The order matters: a later placeholder typed into an earlier value is filled too.
    text->replace(QStringLiteral("{{{date}}}"), shortDateString());
    text->replace(QStringLiteral("{{{preamble}}}"), m_dataModel.preamble().value_or(QString()));
    text->replace(QStringLiteral("{{{boxName}}}"), m_dataModel.boxName().value_or(QString()));
    text->replace(QStringLiteral("{{{bootstrap}}}"), bootstrap());
    text->replace(QStringLiteral("{{{portForwards}}}"), portForwards());
    text->replace(QStringLiteral("{{{syncedDirectories}}}"), syncedDirectories());
    text->replace(QStringLiteral("{{{additionalVagrantCommands}}}"),
                  m_dataModel.additionalVagrantCommands().value_or(QString()));
    return text;
}

std::optional<QString> VagrantFileTemplateHelper::displayTemplateString() const
{
    const std::optional<QString> header = displayTempHeader();
    const std::optional<QString> body = templateString();
    if (!header && !body)
        return std::nullopt;
    return header.value_or(QString()) + u'\n' + body.value_or(QString());
}

std::optional<QString> VagrantFileTemplateHelper::displayTempHeader() const
{
    return readTemplate(kHeaderTemplate);
}

QString VagrantFileTemplateHelper::bootstrap() const
{
    if (m_dataModel.bootstrapShellCode().value_or(QString()).trimmed().isEmpty())
        return {};
    return QStringLiteral("\tconfig.vm.provision :shell, path: \"bootstrap.sh\"");
}

QString VagrantFileTemplateHelper::portForwards() const
{
    QString block;
    for (const PortForward& forward : m_dataModel.portForwards()) {
        block += QStringLiteral("\tconfig.vm.network :forwarded_port, host: ") +
                 QString::number(forward.from) + QStringLiteral(", guest: ") +
                 QString::number(forward.to) + u'\n';
    }
    return trimLineFeeds(block);
}

QString VagrantFileTemplateHelper::syncedDirectories() const
{
    QString block;
    for (const SyncedFolder& folder : m_dataModel.syncedDirectories()) {
        block += QStringLiteral("\tconfig.vm.synced_folder \"") + folder.host +
                 QStringLiteral("\", \"") + folder.guest + QStringLiteral("\"\n");
    }
    return trimLineFeeds(block);
}

} // namespace vesk
