#include "VeskUpdateFinder.h"

#include <QFile>
#include <QFileInfo>

#include "HTTPRequests.h"
#include "UserDefaults.h"
#include "Utilities.h"

namespace vesk {

namespace {

// A .vesk document is a few kilobytes of JSON; anything far larger is not one, and reading it
// would hold up the interface.
constexpr qint64 kLargestDocument = 8 * 1024 * 1024;

} // namespace

VeskUpdateFinder& VeskUpdateFinder::sharedInstance()
{
    static VeskUpdateFinder* instance = new VeskUpdateFinder();
    return *instance;
}

VeskUpdateFinder::VeskUpdateFinder(QObject* parent)
    : QObject(parent), m_factory([] { return DesktopSearch::create(); })
{
    m_restart.setSingleShot(true);
    m_restart.setInterval(kSearchInterval);
    connect(&m_restart, &QTimer::timeout, this, &VeskUpdateFinder::beginSearching);
}

VeskUpdateFinder::~VeskUpdateFinder() = default;

void VeskUpdateFinder::setSearchFactory(DesktopSearch::Factory factory)
{
    m_factory = std::move(factory);
}

void VeskUpdateFinder::setSearchInterval(int milliseconds)
{
    m_restart.setInterval(milliseconds);
}

void VeskUpdateFinder::beginSearching()
{
    // A new search replaces the one scheduled by an earlier gathering: one hourly cycle only.
    m_restart.stop();
    if (m_search) {
        m_search->stop();
        m_search.release()->deleteLater();
    }
    ++m_generation;
    m_availableUpdates.clear();
    Q_EMIT changed();

    m_search = m_factory();
    if (!m_search)
        return;
    connect(m_search.get(), &DesktopSearch::finishedGathering, this, &VeskUpdateFinder::gotResults);
    // Every source failed: what Vesk saved itself is still checked, and the hour still counts.
    connect(m_search.get(), &DesktopSearch::failed, this, &VeskUpdateFinder::gotResults);
    m_search->start(QStringLiteral(".vesk"));
}

void VeskUpdateFinder::gotResults()
{
    if (!m_search)
        return;
    QStringList paths = m_search->results();
    m_search.release()->deleteLater();
    // The desktop's index may not know yet what was saved a minute ago. One file reached
    // through two paths is checked once.
    QStringList files;
    QStringList found;
    for (const QString& path : paths + savedDocuments()) {
        const QString file = QFileInfo(path).canonicalFilePath();
        if (file.isEmpty() || files.contains(file))
            continue;
        files.append(file);
        found.append(path);
    }
    paths = found;

    for (const QString& path : paths) {
        const std::optional<QByteArray> data = readRegularFile(path, nullptr, kLargestDocument);
        if (!data)
            continue;
        auto model = std::make_unique<DataModel>();
        // A file that is not a document leaves a fresh model without a remote URL: its check
        // ends at once, without a request.
        model->loadData(*data);

        auto* checker = new VeskDocumentUpdateChecker();
        checker->setDelegate(this);
        checker->setUpdateCheckWasAutomatic(true);
        checker->setDataModel(std::move(model));
        checker->setFilePath(path);
        checker->setSearchGeneration(m_generation);
        if (m_requests)
            checker->setHTTPRequests(m_requests);
        checker->checkForUpdates();
    }
    m_restart.start();
    Q_EMIT gatheringFinished(paths);
}

void VeskUpdateFinder::noteSavedDocument(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList saved = savedDocuments();
    if (saved.contains(absolute))
        return;
    saved.prepend(absolute);
    // The ones saved longest ago are the ones the desktop's index knows by now.
    UserDefaults::standard().setValue(kSavedDocuments, saved.mid(0, kSavedDocumentsKept));
}

QStringList VeskUpdateFinder::savedDocuments() const
{
    return UserDefaults::standard().value(kSavedDocuments).toStringList();
}

QList<VeskUpdateFinder::Entry> VeskUpdateFinder::updatesMenuEntries() const
{
    QList<Entry> entries;
    for (const QString& path : m_availableUpdates)
        entries.append({QFileInfo(path).fileName() + QStringLiteral(" - Update Available"), path});
    return entries;
}

void VeskUpdateFinder::newVersionAvilableForUpdateChecker(VeskDocumentUpdateChecker* checker,
                                                          const QByteArray&)
{
    // Answers of an earlier search would bring back entries the new search has not confirmed.
    if (checker->searchGeneration() != m_generation ||
        m_availableUpdates.contains(checker->filePath()))
        return;
    m_availableUpdates.append(checker->filePath());
    Q_EMIT changed();
}

} // namespace vesk
