#include "VagrantFileTemplateHelper.h"

#include <utility>

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

std::optional<QString> VagrantFileTemplateHelper::templateString(QString* error) const
{
    std::optional<QString> text = readTemplate(kVagrantFileTemplate);
    if (!text) {
        if (error)
            *error = QStringLiteral("The Vagrantfile template could not be read.");
        return std::nullopt;
    }
    // The order matters: a later placeholder typed into an earlier raw value (the preamble) is
    // filled too. Values placed inside Ruby strings are escaped and carry no placeholders.
    const std::pair<QString, QString> steps[] = {
        {QStringLiteral("{{{date}}}"), shortDateString()},
        {QStringLiteral("{{{preamble}}}"), m_dataModel.preamble().value_or(QString())},
        {QStringLiteral("{{{boxName}}}"),
         rubyStringContent(m_dataModel.boxName().value_or(QString()))},
        {QStringLiteral("{{{bootstrap}}}"), bootstrap()},
        {QStringLiteral("{{{portForwards}}}"), portForwards()},
        {QStringLiteral("{{{syncedDirectories}}}"), syncedDirectories()},
        {QStringLiteral("{{{additionalVagrantCommands}}}"),
         m_dataModel.additionalVagrantCommands().value_or(QString())},
    };
    for (const auto& [placeholder, value] : steps) {
        const qsizetype count = text->count(placeholder);
        if (count == 0)
            continue;
        const qsizetype growth = value.size() - placeholder.size();
        if (growth > 0 && (kMaxRenderedSize - text->size()) / growth < count) {
            if (error)
                *error = QStringLiteral("The Vagrantfile would be larger than 16 MB: %1 is "
                                        "filled in %2 times.")
                             .arg(placeholder)
                             .arg(count);
            return std::nullopt;
        }
        text->replace(placeholder, value);
    }
    return text;
}

QString VagrantFileTemplateHelper::rubyStringContent(const QString& text)
{
    QString quoted;
    quoted.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            quoted += QStringLiteral("\\\\");
            break;
        case u'"':
            quoted += QStringLiteral("\\\"");
            break;
        case u'#':
            quoted += QStringLiteral("\\#");
            break;
        case u'{':
            quoted += QStringLiteral("\\{");
            break;
        case u'\n':
            quoted += QStringLiteral("\\n");
            break;
        case u'\r':
            quoted += QStringLiteral("\\r");
            break;
        case u'\t':
            quoted += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                quoted += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                quoted += c;
        }
    }
    return quoted;
}

std::optional<QString> VagrantFileTemplateHelper::displayTemplateString() const
{
    const std::optional<QString> header = displayTempHeader();
    QString error;
    std::optional<QString> body = templateString(&error);
    // A rendering that is refused says why where the Vagrantfile would be.
    if (!body && readTemplate(kVagrantFileTemplate))
        body = QStringLiteral("# ") + error + u'\n';
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
        block += QStringLiteral("\tconfig.vm.synced_folder \"") + rubyStringContent(folder.host) +
                 QStringLiteral("\", \"") + rubyStringContent(folder.guest) +
                 QStringLiteral("\"\n");
    }
    return trimLineFeeds(block);
}

} // namespace vesk
