#pragma once

#include <memory>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "DesktopSearch.h"
#include "VeskDocumentUpdateChecker.h"

namespace vesk {

class HTTPRequests;

/// Keeps, without the user asking, the list of .vesk documents on the computer that have a
/// newer revision at their remote URL: a desktop search for every *.vesk file, a silent update
/// check of each, again an hour after each finished search. Main thread only.
class VeskUpdateFinder : public QObject, public VeskDocumentUpdateCheckerDelegate
{
    Q_OBJECT

public:
    /// One row of the tray's Updates submenu.
    struct Entry
    {
        QString title; // "site.vesk - Update Available"
        QString path;  // the document to open
        bool operator==(const Entry&) const = default;
    };

    static constexpr int kSearchInterval = 3600 * 1000;

    /// The one instance, created on first use and never destroyed.
    static VeskUpdateFinder& sharedInstance();

    explicit VeskUpdateFinder(QObject* parent = nullptr);
    ~VeskUpdateFinder() override;

    /// How searches are made (the desktop's own unless set).
    void setSearchFactory(DesktopSearch::Factory factory);
    /// The HTTP layer of the checks (the shared one unless set).
    void setHTTPRequests(HTTPRequests* requests) { m_requests = requests; }
    /// Milliseconds from a finished search to the next one (an hour unless set).
    void setSearchInterval(int milliseconds);

    /// Stops the running search and any scheduled one, empties the list and searches anew.
    void beginSearching();
    /// The search finished gathering: checks every file found and schedules the next search.
    void gotResults();

    /// A document Vesk wrote: every later search checks it, whether the desktop's search finds
    /// it or not.
    void noteSavedDocument(const QString& path);
    /// Kept across launches, the latest first.
    QStringList savedDocuments() const;
    static constexpr qsizetype kSavedDocumentsKept = 200;

    /// Paths of the documents with a newer, not ignored revision, in the order found.
    QStringList availableUpdates() const { return m_availableUpdates; }
    /// The rows of the Updates submenu, one per available update (none: the menu says so).
    QList<Entry> updatesMenuEntries() const;

    /// Counts searches; a check started by an earlier search reports nothing any more.
    quint64 searchGeneration() const { return m_generation; }
    bool isSearching() const { return m_search != nullptr; }
    bool isNextSearchScheduled() const { return m_restart.isActive(); }
    /// Milliseconds until the scheduled search, or -1.
    int remainingUntilNextSearch() const
    {
        return m_restart.isActive() ? m_restart.remainingTime() : -1;
    }

    void newVersionAvilableForUpdateChecker(VeskDocumentUpdateChecker* checker,
                                            const QByteArray& data) override;

Q_SIGNALS:
    /// The list of available updates changed (the tray menu rebuilds).
    void changed();
    /// A search finished gathering and its checks were started.
    void gatheringFinished(const QStringList& paths);

private:
    DesktopSearch::Factory m_factory;
    std::unique_ptr<DesktopSearch> m_search;
    QStringList m_availableUpdates;
    QTimer m_restart;
    quint64 m_generation = 0;
    HTTPRequests* m_requests = nullptr;
};

} // namespace vesk
