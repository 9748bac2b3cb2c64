#include "DocumentController.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "AlertPresenter.h"
#include "DocumentRecovery.h"
#include "ApplicationInfo.h"
#include "FilePanels.h"
#include "UserDefaults.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"
#include "VeskUpdateFinder.h"
#include "Workspace.h"

namespace vesk {

namespace {

QString normalisedPath(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

void bringToFront(QWidget* window)
{
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

DocumentController::DocumentController(QObject* parent) : QObject(parent)
{
    m_hooks.installVirtualBox = [] {
        Workspace::shared().openUrl(
            QUrl(QStringLiteral("https://www.virtualbox.org/wiki/Downloads")));
    };
    m_hooks.installVagrant = [] {
        Workspace::shared().openUrl(
            QUrl(QStringLiteral("https://developer.hashicorp.com/vagrant/downloads")));
    };
    m_hooks.remoteURLHelp = [](VeskDocument*) {
        Workspace::shared().openUrl(QUrl(productPage(QStringLiteral("/support/"))));
    };
}

DocumentController::~DocumentController()
{
    // Windows belong to their documents; whatever is still open goes without asking.
    const QList<VeskDocument*> documents = m_documents;
    m_documents.clear();
    qDeleteAll(documents);
}

QString DocumentController::recentDocumentsKey()
{
    return QStringLiteral("recentDocuments");
}

VeskDocument* DocumentController::newDocument()
{
    auto* document = new VeskDocument(this);
    document->setupForNewDocument(nextUntitledName());
    document->makeWindowControllers();
    addDocument(document);
    bringToFront(document->window());
    return document;
}

VeskDocument* DocumentController::openDocument(const QString& path, QWidget* alertWindow)
{
    const QString file = normalisedPath(path);
    if (VeskDocument* open = documentForFile(file)) {
        bringToFront(open->window());
        return open;
    }

    auto* document = new VeskDocument(this);
    QString reason;
    if (!document->readFromFile(file, &reason)) {
        delete document;
        Alert alert;
        alert.icon = QMessageBox::Critical;
        alert.messageText = QStringLiteral("The document “%1” could not be opened.")
                                .arg(QFileInfo(file).fileName());
        alert.informativeText = QStringLiteral("The file “%1” could not be read: %2.")
                                    .arg(QDir::toNativeSeparators(file), reason);
        alert.buttons = {QStringLiteral("OK")};
        alert.applicationModal = alertWindow == nullptr;
        AlertPresenter::present(alertWindow, alert);
        return nullptr;
    }
    document->makeWindowControllers();
    addDocument(document);
    noteNewRecentDocument(file);
    bringToFront(document->window());
    return document;
}

void DocumentController::openDocumentWithPanel(QWidget* parent)
{
    const QStringList recent = recentDocuments();
    const QString start =
        recent.isEmpty() ? QDir::homePath() : QFileInfo(recent.first()).absolutePath();
    for (const QString& path : FilePanels::openDocuments(parent, start))
        openDocument(path, parent);
}

VeskDocument* DocumentController::documentForFile(const QString& path) const
{
    const QString file = normalisedPath(path);
    for (VeskDocument* document : m_documents) {
        if (document->fileName() && normalisedPath(*document->fileName()) == file)
            return document;
    }
    return nullptr;
}

QStringList DocumentController::recentDocuments() const
{
    QStringList existing;
    const QStringList stored = UserDefaults::standard().value(recentDocumentsKey()).toStringList();
    for (const QString& path : stored) {
        if (QFileInfo::exists(path) && !existing.contains(path))
            existing.append(path);
    }
    return existing;
}

void DocumentController::noteNewRecentDocument(const QString& path)
{
    const QString file = normalisedPath(path);
    QStringList list = UserDefaults::standard().value(recentDocumentsKey()).toStringList();
    list.removeAll(file);
    list.prepend(file);
    while (list.size() > kMaximumRecentDocuments)
        list.removeLast();
    UserDefaults::standard().setValue(recentDocumentsKey(), list);
    Q_EMIT recentDocumentsChanged();
}

void DocumentController::clearRecentDocuments()
{
    UserDefaults::standard().removeObject(recentDocumentsKey());
    Q_EMIT recentDocumentsChanged();
}

void DocumentController::closeAll(std::function<void(bool)> completion)
{
    closeNext(m_documents, std::move(completion));
}

void DocumentController::closeNext(QList<VeskDocument*> remaining,
                                   std::function<void(bool)> completion)
{
    while (!remaining.isEmpty() && !m_documents.contains(remaining.first()))
        remaining.removeFirst();
    if (remaining.isEmpty()) {
        if (completion)
            completion(true);
        return;
    }
    VeskDocument* document = remaining.takeFirst();
    document->close([this, remaining, completion](bool closed) {
        if (!closed) {
            if (completion)
                completion(false);
            return;
        }
        closeNext(remaining, completion);
    });
}

void DocumentController::applicationShouldTerminate(std::function<void(bool)> reply)
{
    closeAll(std::move(reply));
}

int DocumentController::restoreRecoveredDocuments()
{
    int restored = 0;
    for (const DocumentRecovery::Entry& entry : DocumentRecovery::pending()) {
        auto* document = new VeskDocument(this);
        QString reason;
        if (!document->restoreFromRecovery(entry.id, entry.content, nextUntitledName(), &reason)) {
            // Left in the folder: a later version may read it, and the user may copy it out.
            qWarning("vesk: a recovered document could not be read: %s", qPrintable(reason));
            delete document;
            continue;
        }
        document->makeWindowControllers();
        addDocument(document);
        bringToFront(document->window());
        ++restored;
    }
    return restored;
}

void DocumentController::preserveForSessionEnd()
{
    for (VeskDocument* document : std::as_const(m_documents))
        document->preserveForSessionEnd();
    // Qt has no word for a logout that another program cancelled; after a while the windows
    // ask again as usual.
    m_sessionEnding = true;
    QTimer::singleShot(60 * 1000, this, [this] { m_sessionEnding = false; });
}

void DocumentController::addDocument(VeskDocument* document)
{
    m_documents.append(document);
    connect(document, &VeskDocument::closed, this, [this, document] { removeDocument(document); });
    connect(document, &VeskDocument::fileNameChanged, this,
            [this](const QString& path) { noteNewRecentDocument(path); });
    connect(document, &VeskDocument::saved, this, [](const QString& path) {
        VeskUpdateFinder::sharedInstance().noteSavedDocument(path);
    });
    Q_EMIT documentAdded(document);
}

void DocumentController::removeDocument(VeskDocument* document)
{
    if (!m_documents.removeOne(document))
        return;
    Q_EMIT documentRemoved(document);
    document->deleteLater();
}

QString DocumentController::nextUntitledName() const
{
    // The lowest number no open untitled document uses, as the desktop's editors do.
    for (int number = 1;; ++number) {
        const QString name =
            number == 1 ? QStringLiteral("Untitled") : QStringLiteral("Untitled %1").arg(number);
        bool used = false;
        for (const VeskDocument* document : m_documents) {
            if (!document->fileName() && document->displayName() == name)
                used = true;
        }
        if (!used)
            return name;
    }
}

} // namespace vesk
