#include "DesktopSearch.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

void DesktopSearch::finish(const QStringList& results)
{
    if (m_stopped)
        return;
    m_results = results;
    Q_EMIT finishedGathering();
}

std::optional<QString> DesktopSearch::locateProgram()
{
    const struct
    {
        const char* program;
        QStringList databases;
    } candidates[] = {
        {"plocate", {QStringLiteral("/var/lib/plocate/plocate.db")}},
        {"locate",
         {QStringLiteral("/var/lib/mlocate/mlocate.db"),
          QStringLiteral("/var/cache/locate/locatedb"),
          QStringLiteral("/var/lib/locate/locatedb")}},
    };
    for (const auto& candidate : candidates) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(candidate.program));
        if (path.isEmpty())
            continue;
        for (const QString& database : candidate.databases) {
            if (QFileInfo::exists(database))
                return path;
        }
    }
    return std::nullopt;
}

std::unique_ptr<DesktopSearch> DesktopSearch::create()
{
    if (const std::optional<QString> program = locateProgram())
        return std::make_unique<LocateDesktopSearch>(*program);
    return std::make_unique<WalkDesktopSearch>();
}

WalkDesktopSearch::WalkDesktopSearch(const QStringList& roots, QObject* parent)
    : DesktopSearch(parent), m_roots(roots.isEmpty() ? QStringList{QDir::homePath()} : roots),
      m_cancelled(std::make_shared<std::atomic_bool>(false))
{
    connect(&m_watcher, &QFutureWatcher<QStringList>::finished, this, [this] {
        if (!m_watcher.isCanceled())
            finish(m_watcher.result());
    });
}

WalkDesktopSearch::~WalkDesktopSearch()
{
    // The walk holds its own copies; it only needs to hear that nobody waits any more.
    m_cancelled->store(true);
}

void WalkDesktopSearch::start(const QString& suffix)
{
    const QStringList roots = m_roots;
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
    m_watcher.setFuture(
        QtConcurrent::run([roots, suffix, cancelled] { return walk(roots, suffix, *cancelled); }));
}

void WalkDesktopSearch::stop()
{
    m_stopped = true;
    m_cancelled->store(true);
}

QStringList WalkDesktopSearch::walk(const QStringList& roots, const QString& suffix,
                                    const std::atomic_bool& cancelled)
{
    QStringList found;
    for (const QString& root : roots) {
        // Without QDir::Hidden, hidden files and folders are neither listed nor entered; links
        // to folders are not followed, so a loop of links cannot trap the walk.
        QDirIterator it(root, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            if (cancelled.load(std::memory_order_relaxed))
                return {};
            it.next();
            if (it.fileName().endsWith(suffix, Qt::CaseInsensitive))
                found.append(it.filePath());
        }
    }
    return found;
}

LocateDesktopSearch::LocateDesktopSearch(const QString& program, QObject* parent)
    : DesktopSearch(parent), m_program(program)
{
}

LocateDesktopSearch::~LocateDesktopSearch()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

void LocateDesktopSearch::start(const QString& suffix)
{
    m_suffix = suffix;
    m_process = new QProcess(this);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fallBackToWalk();
    });
    connect(m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                // Exit code 1 only means that nothing matched.
                if (status != QProcess::NormalExit || exitCode > 1) {
                    fallBackToWalk();
                    return;
                }
                QStringList found;
                const QList<QByteArray> lines = m_process->readAllStandardOutput().split('\0');
                for (const QByteArray& line : lines) {
                    const QString path = QFile::decodeName(line);
                    if (!path.isEmpty() &&
                        QFileInfo(path).fileName().endsWith(m_suffix, Qt::CaseInsensitive))
                        found.append(path);
                }
                finish(found);
            });
    // Base names only, any letter case, separated by NUL so that no name can split a line.
    m_process->start(m_program, {QStringLiteral("-i"), QStringLiteral("-b"), QStringLiteral("-0"),
                                 u'*' + suffix});
}

void LocateDesktopSearch::stop()
{
    m_stopped = true;
    if (m_process)
        m_process->kill();
    if (m_fallback)
        m_fallback->stop();
}

void LocateDesktopSearch::fallBackToWalk()
{
    if (m_fallback || m_stopped)
        return;
    m_fallback = std::make_unique<WalkDesktopSearch>();
    connect(m_fallback.get(), &DesktopSearch::finishedGathering, this,
            [this] { finish(m_fallback->results()); });
    m_fallback->start(m_suffix);
}

FakeDesktopSearch::FakeDesktopSearch(const QStringList& paths, QObject* parent)
    : DesktopSearch(parent), m_paths(paths)
{
}

void FakeDesktopSearch::start(const QString&)
{
    QTimer::singleShot(0, this, [this] { finish(m_paths); });
}

} // namespace vesk
