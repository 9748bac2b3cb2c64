#include "DocumentUpdates.h"

#include <memory>

#include "AlertPresenter.h"
#include "DocumentController.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"
#include "VeskUpdateFinder.h"

namespace vesk {

namespace {

const QString kCheckFailed = QStringLiteral("Check For Updates Failed...");

QString revisionText(std::optional<qint64> revision)
{
    return QString::number(revision.value_or(1));
}

} // namespace

DocumentUpdates::DocumentUpdates(VeskDocument* document) : QObject(document), m_document(document)
{
    setObjectName(QStringLiteral("documentUpdates"));
}

DocumentUpdates* DocumentUpdates::forDocument(VeskDocument* document)
{
    if (auto* existing =
            document->findChild<DocumentUpdates*>(QString(), Qt::FindDirectChildrenOnly))
        return existing;
    return new DocumentUpdates(document);
}

void DocumentUpdates::install(DocumentController& controller)
{
    controller.hooks().checkForUpdates = [](VeskDocument* document, bool automatic) {
        checkDocument(document, automatic);
    };
}

void DocumentUpdates::checkDocument(VeskDocument* document, bool automatic)
{
    // The checker compares against a snapshot: the document may take a new model meanwhile.
    const DataModel* current = document->dataModel();
    auto model = std::make_unique<DataModel>();
    model->setUUID(current->UUID());
    model->setRevision(current->revision());
    model->setRemoteURL(current->remoteURL());

    auto* checker = new VeskDocumentUpdateChecker();
    checker->setDelegate(forDocument(document));
    checker->setUpdateCheckWasAutomatic(automatic);
    checker->setDataModel(std::move(model));
    checker->checkForUpdates();
}

QString DocumentUpdates::updateAvailableText(const QString& found, const QString& own)
{
    return QStringLiteral("Version %1 of this Vesk document is available. You have version %2. "
                          "Would you like to update now? You can also choose to ignore this "
                          "update or ignore all future updates.")
        .arg(found, own);
}

QString DocumentUpdates::updatedText(const QString& found)
{
    return QStringLiteral("This Vesk document has been updated to version %1. You'll need to "
                          "export your Vagrantfile and Reload and/or Provision your virtual "
                          "machine for the new changes to take effect.")
        .arg(found);
}

void DocumentUpdates::newVersionAvilableForUpdateChecker(VeskDocumentUpdateChecker* checker,
                                                         const QByteArray& data)
{
    if (!m_document)
        return;
    const QString found = revisionText(checker->foundVersion());
    const QString own =
        revisionText(checker->dataModel() ? checker->dataModel()->revision() : std::nullopt);
    // The open alert keeps the checker (for the ignore buttons) and the received bytes.
    checker->setDeleteWhenDone(false);
    std::shared_ptr<VeskDocumentUpdateChecker> held(checker,
                                                    [](QObject* object) { object->deleteLater(); });
    Alert alert;
    alert.messageText = QStringLiteral("Update Available");
    alert.informativeText = updateAvailableText(found, own);
    alert.buttons = {QStringLiteral("Update Now"), QStringLiteral("Ignore This Update"),
                     QStringLiteral("Ignore All Future Updates"),
                     QStringLiteral("Remind Me Later")};
    QPointer<DocumentUpdates> self(this);
    AlertPresenter::present(m_document->window(), alert,
                            [self, held, data, found](const AlertResponse& response) {
                                switch (response.button) {
                                case 0:
                                    if (self)
                                        self->updateNow(data, found);
                                    break;
                                case 1:
                                    held->ignoreCurrentUpdate();
                                    break;
                                case 2:
                                    held->ignoreAllFutureUpdates();
                                    break;
                                default:
                                    break;
                                }
                                // The tray's list of documents with updates is rebuilt.
                                VeskUpdateFinder::sharedInstance().beginSearching();
                            });
}

void DocumentUpdates::updateNow(const QByteArray& data, const QString& found)
{
    if (!m_document)
        return;
    auto model = std::make_unique<DataModel>();
    if (!model->loadData(data))
        return; // cannot happen: the same bytes passed the check
    // Stops observing the old model, takes the new one, refills the controls, observes again.
    m_document->replaceDataModel(std::move(model));
    // Until it is written, the update is an unsaved change: a failed or cancelled save leaves
    // the document edited, so that closing asks.
    m_document->updateChangeCount(VeskDocument::ChangeType::Done);
    // A failed save shows its own alert; it must not be followed by a success message.
    if (!m_document->saveDocument())
        return;
    Alert alert;
    alert.messageText = QStringLiteral("Document Updated Successfully");
    alert.informativeText = updatedText(found);
    alert.buttons = {QStringLiteral("OK")};
    AlertPresenter::present(m_document->window(), alert);
}

void DocumentUpdates::showFailure(VeskDocumentUpdateChecker* checker, const QString& title,
                                  const QString& text)
{
    if (!m_document || checker->updateCheckWasAutomatic())
        return;
    Alert alert;
    alert.messageText = title;
    alert.informativeText = text;
    alert.buttons = {QStringLiteral("OK")};
    AlertPresenter::present(m_document->window(), alert);
}

void DocumentUpdates::noUpdateAvailableForUpdateChecker(VeskDocumentUpdateChecker* checker)
{
    showFailure(checker, QStringLiteral("No Update Available"),
                QStringLiteral("There are no updates available for this Vesk document."));
}

void DocumentUpdates::mismatchedUUIDForUpdateChecker(VeskDocumentUpdateChecker* checker)
{
    showFailure(checker, kCheckFailed,
                QStringLiteral("The Vesk document available at the Remote URL has a different ID "
                               "than this document. To prevent updating the wrong document, Vesk "
                               "does not allow updates when there is an ID mismatch. Please check "
                               "with your Vesk administrator for help."));
}

void DocumentUpdates::updateCheckFailedForUpdateChecker(VeskDocumentUpdateChecker* checker)
{
    showFailure(checker, kCheckFailed,
                QStringLiteral("An error occurred while checking for updates. Please check your "
                               "internet connection or contact your Vesk administrator."));
}

void DocumentUpdates::noRemoteURLDefinedForUpdateCheker(VeskDocumentUpdateChecker* checker)
{
    showFailure(checker, kCheckFailed,
                QStringLiteral("This Vesk document does not have a Remote URL defined, so no "
                               "update check can be performed."));
}

void DocumentUpdates::loadedVeskDocumentWasInvalidForUpdateChecker(
    VeskDocumentUpdateChecker* checker)
{
    showFailure(checker, kCheckFailed,
                QStringLiteral("The server returned an invalid response or an invalid Vesk "
                               "document, and an update cannot be performed. Please check with "
                               "your Vesk administrator."));
}

} // namespace vesk
