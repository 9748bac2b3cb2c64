// The document and the world outside the window: its file as other programs change it, and the
// recovery folder that keeps what has no file yet.
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "AlertPresenter.h"
#include "DocumentRecovery.h"
#include "QsciWidgets.h"
#include "Utilities.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"

namespace vesk {

namespace {

QByteArray digest(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

} // namespace

void VeskDocument::rememberDiskContent(const QByteArray& data)
{
    m_diskDigest = digest(data);
}

void VeskDocument::watchFile()
{
    if (!m_watcher)
        return;
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    if (!m_fileName)
        return;
    // The folder too: a file replaced by rename (git, most editors) or removed is seen there.
    const QFileInfo file(*m_fileName);
    if (file.exists())
        m_watcher->addPath(file.absoluteFilePath());
    if (QFileInfo::exists(file.absolutePath()))
        m_watcher->addPath(file.absolutePath());
}

void VeskDocument::checkFileOnDisk()
{
    refreshDiskState(true);
}

void VeskDocument::refreshDiskState(bool askWhenChanged)
{
    if (!m_fileName)
        return;
    watchFile(); // a replaced file is a new file; its watch went with the old one
    if (!QFileInfo::exists(*m_fileName)) {
        if (m_diskState != DiskState::Missing) {
            m_diskState = DiskState::Missing;
            // Nothing is lost: the window keeps the content, closing asks, and the recovery
            // folder holds a copy until the document is saved again.
            updateChangeCount(ChangeType::Done);
            showBanner(QStringLiteral("The file “%1” was moved or deleted by another program. "
                                      "Its content is still here: save the document to keep it.")
                           .arg(QDir::toNativeSeparators(*m_fileName)));
        }
        return;
    }
    const std::optional<QByteArray> data = readRegularFile(*m_fileName);
    if (!data)
        return; // not readable at the moment; the next event looks again
    if (digest(*data) == m_diskDigest) {
        // Our own write, a touch, or the file came back as it was.
        if (m_diskState == DiskState::Missing) {
            m_diskState = DiskState::InSync;
            if (m_banner)
                m_banner->hide();
        }
        return;
    }
    if (m_diskState == DiskState::ChangedElsewhere)
        return; // already asked
    // Text in an open sheet is an edit too: a reload would drop it without a word.
    noteOpenSheetEdits();
    if (!isDocumentEdited() && reloadFromDisk(*data))
        return;
    m_diskState = DiskState::ChangedElsewhere;
    if (askWhenChanged)
        askAboutExternalChange({});
}

bool VeskDocument::reloadFromDisk(const QByteArray& data)
{
    auto model = std::make_unique<DataModel>();
    if (!model->loadData(data))
        return false;
    replaceDataModel(std::move(model));
    rememberDiskContent(data);
    m_diskState = DiskState::InSync;
    DocumentRecovery::discard(m_recoveryId);
    m_autosaveTimer->stop();
    updateChangeCount(ChangeType::Cleared);
    showBanner(
        QStringLiteral("This document was changed by another program and has been reloaded."));
    return true;
}

void VeskDocument::askAboutExternalChange(std::function<void(bool)> completion)
{
    if (completion)
        m_externalChangeWaiters.append(std::move(completion));
    if (m_externalChangeAsked)
        return; // the question is on screen; its answer serves every waiter
    m_externalChangeAsked = true;

    const QString path = m_fileName.value_or(QString());
    const std::optional<QByteArray> theirs = readRegularFile(path);
    QString reason;
    const bool readable = theirs && DataModel().loadData(*theirs, &reason);
    Alert alert;
    alert.messageText = QStringLiteral("“%1” was changed by another program.").arg(displayName());
    if (readable) {
        alert.informativeText = QStringLiteral(
            "Keep the changes you made here and write them to the file, or reload the version "
            "on disk and lose the changes you made here.");
        alert.buttons = {QStringLiteral("Keep My Changes"), QStringLiteral("Reload")};
    } else {
        alert.informativeText =
            QStringLiteral("The version on disk cannot be read as a Vesk document%1, so only "
                           "the version in this window can be kept.")
                .arg(reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
        alert.buttons = {QStringLiteral("Keep My Changes")};
    }
    // Closing may also let this window's version go (when ours cannot be written either).
    const bool closing = !m_externalChangeWaiters.isEmpty();
    if (closing && !readable)
        alert.buttons.append(QStringLiteral("Don't Save"));
    if (closing)
        alert.buttons.append(QStringLiteral("Cancel"));
    const int dontSaveButton = closing && !readable ? 1 : -1;
    if (m_window) {
        m_window->show();
        m_window->raise();
    }
    const QByteArray shown = theirs.value_or(QByteArray());
    const int reloadButton = readable ? 1 : -1;
    AlertPresenter::present(
        m_window, alert,
        [this, shown, reloadButton, dontSaveButton](const AlertResponse& response) {
            m_externalChangeAsked = false;
            const QList<std::function<void(bool)>> waiters =
                std::exchange(m_externalChangeWaiters, {});
            bool settled = false;
            if (response.button == 0) {
                settled = writeToPath(m_fileName.value_or(QString()));
            } else if (response.button == dontSaveButton) {
                settled = true;
            } else if (response.button == reloadButton) {
                // Theirs as shown in the question; a newer change is noticed
                // afresh.
                settled = reloadFromDisk(shown);
                if (settled)
                    refreshDiskState(true);
            }
            for (const auto& waiter : waiters)
                waiter(settled);
        });
}

void VeskDocument::noteOpenSheetEdits()
{
    // Text typed into a sheet that is still open is an unsaved change like any other.
    if (m_sheets && sheetPreamble()->isVisible() &&
        m_dataModel->preamble().value_or(QString()) != acePreamble()->text())
        updateChangeCount(ChangeType::Done);
    if (m_sheets && sheetRemoteURL()->isVisible() &&
        (m_dataModel->remoteURL().value_or(QString()) != txtRemoteURL()->text() ||
         m_dataModel->revision().value_or(1) != intValue(txtRevisionNumber()->text())))
        updateChangeCount(ChangeType::Done);
}

bool VeskDocument::storeRecovery()
{
    QString reason;
    if (DocumentRecovery::store(m_recoveryId, dataOfType(), &reason))
        return true;
    qWarning("vesk: the recovery copy of %s could not be written: %s", qPrintable(displayName()),
             qPrintable(reason));
    return false;
}

bool VeskDocument::restoreFromRecovery(const QString& recoveryId, const QByteArray& content,
                                       const QString& displayName, QString* errorMessage)
{
    if (!readFromData(content, errorMessage))
        return false;
    m_recoveryId = recoveryId;
    m_untitledName = displayName;
    m_restored = true;
    return true;
}

void VeskDocument::preserveForSessionEnd()
{
    m_autosaveTimer->stop();
    noteOpenSheetEdits();
    if (!isDocumentEdited())
        return;
    const QByteArray data = dataOfType();
    if (m_fileName && m_diskState == DiskState::InSync) {
        const std::optional<QByteArray> onDisk = readRegularFile(*m_fileName);
        QString reason;
        if (onDisk && digest(*onDisk) == m_diskDigest && writeContent(*m_fileName, data, &reason))
            return;
    }
    // No file, a file someone else changed, or one that cannot be written: the recovery
    // folder keeps it, and the next start brings it back.
    DocumentRecovery::store(m_recoveryId, data);
}

void VeskDocument::showBanner(const QString& text)
{
    if (!m_banner)
        return;
    m_bannerLabel->setText(text);
    m_banner->show();
}

QString VeskDocument::bannerText() const
{
    return m_banner && !m_banner->isHidden() ? m_bannerLabel->text() : QString();
}

} // namespace vesk
