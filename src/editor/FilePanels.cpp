#include "FilePanels.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "AlertPresenter.h"

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
    QString start = suggestedPath;
    for (;;) {
        QString path;
        if (responder()) {
            path = responder()(Kind::SaveDocument, start).value(0);
        } else {
            // The panel's own overwrite question would be about the name as typed, before the
            // suffix is added; the question below is about the file that is really written.
            path =
                QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"), start, kVeskFilter,
                                             nullptr, QFileDialog::DontConfirmOverwrite);
        }
        if (path.isEmpty())
            return std::nullopt;
        if (!path.endsWith(QStringLiteral(".vesk"), Qt::CaseInsensitive))
            path += QStringLiteral(".vesk");
        const QFileInfo file(path);
        if (!file.exists() && !file.isSymLink())
            return path;
        Alert alert;
        alert.messageText =
            QStringLiteral("“%1” already exists. Do you want to replace it?").arg(file.fileName());
        alert.informativeText =
            QStringLiteral("A file with the same name already exists in “%1”. Replacing it will "
                           "overwrite its current contents.")
                .arg(QDir::toNativeSeparators(file.absolutePath()));
        alert.buttons = {QStringLiteral("Replace"), QStringLiteral("Cancel")};
        if (AlertPresenter::ask(parent, alert).button == 0)
            return path;
        start = path; // back to the panel, where the name can be changed
    }
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
