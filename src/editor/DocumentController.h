#pragma once

#include <functional>

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QMenu;
class QWidget;

namespace vesk {

class VeskDocument;

/// Application actions the document windows call but do not own. Each is optional; the
/// defaults open the matching web page through the workspace.
struct DocumentHooks
{
    std::function<void()> installVirtualBox;
    std::function<void()> installVagrant;
    /// Runs one update check of the document (automatic: nobody asked, report only news).
    std::function<void(VeskDocument* document, bool automatic)> checkForUpdates;
    std::function<void(VeskDocument* document)> remoteURLHelp;
    /// Fills the application's own menu (About, updates, Quit ...) at the front of every
    /// document window's menu bar; without it the window has no such menu.
    std::function<void(QMenu* menu)> applicationMenu;
};

/// Creates, opens, tracks and closes the .vesk documents of the application, and keeps the list
/// of recent documents.
class DocumentController : public QObject
{
    Q_OBJECT

public:
    explicit DocumentController(QObject* parent = nullptr);
    ~DocumentController() override;

    /// A new untitled document ("Untitled", "Untitled 2" ...) in a window of its own.
    VeskDocument* newDocument();
    /// Opens the file in a window, or brings its window forward when it is already open. A file
    /// that cannot be read gives an alert naming it (on `alertWindow` when given) and null.
    VeskDocument* openDocument(const QString& path, QWidget* alertWindow = nullptr);
    /// Asks for .vesk files and opens them.
    void openDocumentWithPanel(QWidget* parent = nullptr);

    QList<VeskDocument*> documents() const { return m_documents; }
    VeskDocument* documentForFile(const QString& path) const;

    /// Most recent first; only files that still exist.
    QStringList recentDocuments() const;
    void noteNewRecentDocument(const QString& path);
    void clearRecentDocuments();
    static constexpr int kMaximumRecentDocuments = 10;

    /// Closes every document, writing or asking about unsaved changes one document at a time.
    /// `completion` gets false as soon as the user cancels one (the rest stay open).
    void closeAll(std::function<void(bool allClosed)> completion);
    /// What the application runs before it quits: `closeAll`, then the decision.
    void applicationShouldTerminate(std::function<void(bool terminate)> reply);

    /// Reopens, as untitled and edited documents, what earlier runs kept in the recovery folder.
    /// Returns how many.
    int restoreRecoveredDocuments();
    /// The session is ending (logout, shutdown, a termination signal): every document keeps its
    /// unsaved work without asking anything (see VeskDocument::preserveForSessionEnd).
    void preserveForSessionEnd();
    /// A session end was asked for lately: windows then close without a question and keep their
    /// recovery copies (a session manager follows its commit request with a quit).
    bool sessionEnding() const { return m_sessionEnding; }

    /// How long after an edit a document with a file is written in place (milliseconds).
    int autosaveDelay() const { return m_autosaveDelay; }
    void setAutosaveDelay(int milliseconds) { m_autosaveDelay = milliseconds; }

    DocumentHooks& hooks() { return m_hooks; }

    /// The settings key of the recent-documents list.
    static QString recentDocumentsKey();

Q_SIGNALS:
    void documentAdded(VeskDocument* document);
    void documentRemoved(VeskDocument* document);
    void recentDocumentsChanged();

private:
    void addDocument(VeskDocument* document);
    void removeDocument(VeskDocument* document);
    QString nextUntitledName() const;
    void closeNext(QList<VeskDocument*> remaining, std::function<void(bool)> completion);

    QList<VeskDocument*> m_documents;
    DocumentHooks m_hooks;
    int m_autosaveDelay = 2000;
    bool m_sessionEnding = false;
};

} // namespace vesk
