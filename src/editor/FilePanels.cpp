#include "FilePanels.h"

#include <QFileDialog>

namespace vesk {

namespace {

FilePanels::Responder& responder()
{
    static FilePanels::Responder instance;
    return instance;
}

const QString kVeskFilter = QStringLiteral("Vesk Documents (*.vesk)");

} // namespace

QStringList FilePanels::openDocuments(QWidget* parent, const QString& startFolder)
{
    if (responder())
        return responder()(Kind::OpenDocuments, startFolder);
    return QFileDialog::getOpenFileNames(parent, QStringLiteral("Open"), startFolder, kVeskFilter);
}

std::optional<QString> FilePanels::saveDocument(QWidget* parent, const QString& suggestedPath)
{
    QString path;
    if (responder()) {
        const QStringList answer = responder()(Kind::SaveDocument, suggestedPath);
        path = answer.value(0);
    } else {
        path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"), suggestedPath,
                                            kVeskFilter);
    }
    if (path.isEmpty())
        return std::nullopt;
    if (!path.endsWith(QStringLiteral(".vesk"), Qt::CaseInsensitive))
        path += QStringLiteral(".vesk");
    return path;
}

std::optional<QString> FilePanels::chooseFolder(QWidget* parent, const QString& startFolder)
{
    QString path;
    if (responder()) {
        path = responder()(Kind::ChooseFolder, startFolder).value(0);
    } else {
        path = QFileDialog::getExistingDirectory(parent, QStringLiteral("Choose a Folder"),
                                                 startFolder, QFileDialog::ShowDirsOnly);
    }
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

void FilePanels::setResponder(Responder newResponder)
{
    responder() = std::move(newResponder);
}

} // namespace vesk
