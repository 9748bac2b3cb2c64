#include "Samples.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "ApplicationInfo.h"

namespace vesk {

namespace {

SamplePanel::Responder& responder()
{
    static SamplePanel::Responder instance;
    return instance;
}

} // namespace

QUrl Sample::readmeAddress() const
{
    // Relative addresses live on the product site, whose host belongs to the build.
    if (readmeURL.startsWith(QLatin1Char('/')))
        return QUrl(productPage(readmeURL));
    return QUrl(readmeURL);
}

QString Sample::documentResource() const
{
    return QStringLiteral(":/samples/") + title + QStringLiteral(".vesk");
}

bool Sample::isUsable() const
{
    return !title.isEmpty() && !title.contains(QLatin1Char('/')) && title != QStringLiteral(".") &&
           title != QStringLiteral("..");
}

QString defaultSamplesResource()
{
    return QStringLiteral(":/Samples.json");
}

QList<Sample> readSamples(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    QList<Sample> samples;
    for (const QJsonValue& value : document.array()) {
        const QJsonObject entry = value.toObject();
        samples.append({entry.value(QStringLiteral("title")).toString(),
                        entry.value(QStringLiteral("readme_url")).toString()});
    }
    return samples;
}

QString saveSample(const Sample& sample, const QString& folder)
{
    // Only the chosen folder itself is made; an existing one is used as it is.
    QDir().mkdir(folder);
    const QString destination = QDir(folder).filePath(sample.title + QStringLiteral(".vesk"));
    if (sample.isUsable() && QFile::copy(sample.documentResource(), destination)) {
        // A copy of a resource is read-only; the user edits and saves this one.
        QFile::setPermissions(destination, QFile::permissions(destination) |
                                               QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    }
    return destination;
}

QString SamplePanel::title()
{
    return QStringLiteral("Choose where to save the sample file");
}

std::optional<QString> SamplePanel::chooseFolder(QWidget* parent, const QString& proposedName)
{
    if (responder())
        return responder()(title(), proposedName);
    QFileDialog panel(parent, title(), QDir::home().filePath(proposedName));
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    // The name is a new folder; an existing one is simply used.
    panel.setOption(QFileDialog::DontConfirmOverwrite);
    panel.selectFile(proposedName);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty())
        return std::nullopt;
    return panel.selectedFiles().constFirst();
}

void SamplePanel::setResponder(Responder newResponder)
{
    responder() = std::move(newResponder);
}

} // namespace vesk
