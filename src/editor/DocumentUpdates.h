#pragma once

#include <QObject>
#include <QPointer>

#include "VeskDocumentUpdateChecker.h"

namespace vesk {

class DocumentController;
class VeskDocument;

/// A document window's side of remote updates: runs a check of the document and answers each
/// result with its alert; "Update Now" takes the remote copy, saves it and confirms. Lives as a
/// child of its document, so a closed document hears nothing of a late reply.
class DocumentUpdates : public QObject, public VeskDocumentUpdateCheckerDelegate
{
    Q_OBJECT

public:
    /// Makes the controller's documents check for updates through this class (on opening and
    /// on request).
    static void install(DocumentController& controller);
    /// Runs one check of the document's model (the controls were copied into it already).
    /// An automatic check shows only "Update Available".
    static void checkDocument(VeskDocument* document, bool automatic);
    /// The answering object of a document, created on first use.
    static DocumentUpdates* forDocument(VeskDocument* document);

    /// The alert texts, also used by screenshots.
    static QString updateAvailableText(const QString& found, const QString& own);
    static QString updatedText(const QString& found);

    void newVersionAvilableForUpdateChecker(VeskDocumentUpdateChecker* checker,
                                            const QByteArray& data) override;
    void noUpdateAvailableForUpdateChecker(VeskDocumentUpdateChecker* checker) override;
    void mismatchedUUIDForUpdateChecker(VeskDocumentUpdateChecker* checker) override;
    void updateCheckFailedForUpdateChecker(VeskDocumentUpdateChecker* checker) override;
    void noRemoteURLDefinedForUpdateCheker(VeskDocumentUpdateChecker* checker) override;
    void loadedVeskDocumentWasInvalidForUpdateChecker(VeskDocumentUpdateChecker* checker) override;

private:
    explicit DocumentUpdates(VeskDocument* document);
    /// A warning with one "OK" button, for manual checks only.
    void showFailure(VeskDocumentUpdateChecker* checker, const QString& title, const QString& text);
    void updateNow(const QByteArray& data, const QString& found);

    QPointer<VeskDocument> m_document;
};

} // namespace vesk
