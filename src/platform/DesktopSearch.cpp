#include "DesktopSearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

int g_toolTimeout = 30000;

QString trashFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Trash");
}

// What the walk leaves out, the tools' answers leave out too: the trash, and hidden folders of
// the home folder (programs' own files, not the user's documents).
bool isUsersDocument(const QString& path)
{
    if (path.startsWith(trashFolder() + u'/'))
        return false;
    const QString home = QDir::homePath() + u'/';
    if (!path.startsWith(home))
        return true;
    const QStringList parts = path.mid(home.size()).split(u'/', Qt::SkipEmptyParts);
    return std::none_of(parts.begin(), parts.end(),
                        [](const QString& part) { return part.startsWith(u'.'); });
}

// Files of the index may be gone by now or named in other letter cases; only matching names count.
QStringList matching(const QStringList& paths, const QString& suffix)
{
    QStringList kept;
    for (const QString& path : paths) {
        if (!path.isEmpty() && QFileInfo(path).fileName().endsWith(suffix, Qt::CaseInsensitive) &&
            isUsersDocument(path) && !kept.contains(path))
            kept.append(path);
    }
    return kept;
}

// A tool that printed complaints and found nothing did not answer.
bool complained(const QStringList& found, const QByteArray& errors)
{
    return found.isEmpty() && !errors.trimmed().isEmpty();
}

// The SPARQL clients print one file:// URL per row, with decoration that differs by version.
std::optional<QStringList> readFileUrls(const QByteArray& output, const QByteArray& errors,
                                        int exitCode)
{
    if (exitCode != 0)
        return std::nullopt;
    QStringList found;
    for (const QByteArray& line : output.split('\n')) {
        const qsizetype at = line.indexOf("file://");
        if (at < 0)
            continue;
        // One column is asked for; URLs escape blanks but may hold commas.
        qsizetype end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
            ++end;
        const QUrl url = QUrl::fromEncoded(line.mid(at, end - at));
        if (url.isLocalFile())
            found.append(url.toLocalFile());
    }
    if (complained(found, errors))
        return std::nullopt;
    return found;
}

std::optional<QStringList> readPathLines(const QByteArray& output, const QByteArray& errors,
                                         int exitCode)
{
    if (exitCode != 0)
        return std::nullopt;
    QStringList found;
    for (const QByteArray& line : output.split('\n')) {
        const QString path = QFile::decodeName(line.trimmed());
        if (path.startsWith(u'/'))
            found.append(path);
    }
    if (complained(found, errors))
        return std::nullopt;
    return found;
}

// locate exits with 1 both when nothing matched and when it has no database; only the second
// says why.
std::optional<QStringList> readLocate(const QByteArray& output, const QByteArray& errors,
                                      int exitCode)
{
    if (exitCode > 1 || (exitCode == 1 && !errors.trimmed().isEmpty()))
        return std::nullopt;
    QStringList found;
    for (const QByteArray& name : output.split('\0'))
        found.append(QFile::decodeName(name));
    return found;
}

QString sparqlQuery(const QString& suffix)
{
    QString escaped = suffix.toLower();
    escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return QStringLiteral("SELECT ?url WHERE { ?file a nfo:FileDataObject ; nie:url ?url . "
                          "FILTER(STRENDS(LCASE(?url), \"%1\")) }")
        .arg(escaped);
}

} // namespace

void DesktopSearch::finish(const QStringList& results)
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_results = results;
    Q_EMIT finishedGathering();
}

void DesktopSearch::fail(const QString& reason)
{
    if (m_stopped)
        return;
    m_stopped = true;
    Q_EMIT failed(reason);
}

void DesktopSearch::setToolTimeout(int milliseconds)
{
    g_toolTimeout = milliseconds;
}

int DesktopSearch::toolTimeout()
{
    return g_toolTimeout;
}

QList<SearchTool> DesktopSearch::installedTools()
{
    const auto find = [](const char* name) {
        return QStandardPaths::findExecutable(QString::fromLatin1(name));
    };
    QList<SearchTool> tools;
    // GNOME: LocalSearch (GNOME 47 on) answers through the TinySPARQL client, older Tracker
    // through its own.
    if (const QString program = find("tinysparql"); !program.isEmpty()) {
        tools.append({QStringLiteral("localsearch"), program,
                      QStringLiteral("org.freedesktop.LocalSearch3"), true,
                      [](const QString& suffix) {
                          return QStringList{QStringLiteral("query"),
                                             QStringLiteral("--dbus-service"),
                                             QStringLiteral("org.freedesktop.LocalSearch3"),
                                             sparqlQuery(suffix)};
                      },
                      readFileUrls});
    }
    if (const QString program = find("tracker3"); !program.isEmpty()) {
        tools.append({QStringLiteral("tracker3"), program,
                      QStringLiteral("org.freedesktop.Tracker3.Miner.Files"), true,
                      [](const QString& suffix) {
                          return QStringList{QStringLiteral("sparql"),
                                             QStringLiteral("--dbus-service"),
                                             QStringLiteral("org.freedesktop.Tracker3.Miner.Files"),
                                             QStringLiteral("--query"), sparqlQuery(suffix)};
                      },
                      readFileUrls});
    }
    // KDE: Baloo splits names into words, so the extension is a word to look for.
    for (const char* name : {"baloosearch6", "baloosearch"}) {
        if (const QString program = find(name); !program.isEmpty()) {
            tools.append({QString::fromLatin1(name), program, QString(), true,
                          [](const QString& suffix) {
                              return QStringList{QString(suffix).remove(u'.')};
                          },
                          readPathLines});
            break;
        }
    }
    for (const char* name : {"plocate", "locate"}) {
        if (const QString program = find(name); !program.isEmpty()) {
            // Base names only, any letter case, separated by NUL so that no name can split a line.
            tools.append({QString::fromLatin1(name), program, QString(), false,
                          [](const QString& suffix) {
                              return QStringList{QStringLiteral("-i"), QStringLiteral("-b"),
                                                 QStringLiteral("-0"), u'*' + suffix};
                          },
                          readLocate});
            break;
        }
    }
    return tools;
}

std::unique_ptr<DesktopSearch> DesktopSearch::create()
{
    QList<Factory> steps;
    for (const SearchTool& tool : installedTools())
        steps.append([tool] { return std::make_unique<ToolDesktopSearch>(tool); });
    steps.append([] { return std::make_unique<WalkDesktopSearch>(); });
    return std::make_unique<ChainedDesktopSearch>(steps);
}

ToolDesktopSearch::ToolDesktopSearch(SearchTool tool, QObject* parent)
    : DesktopSearch(parent), m_tool(std::move(tool))
{
}

ToolDesktopSearch::~ToolDesktopSearch()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

void ToolDesktopSearch::start(const QString& suffix)
{
    m_suffix = suffix;
    if (m_tool.busName.isEmpty()) {
        run();
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QTimer::singleShot(0, this, [this] {
            fail(m_tool.name + QStringLiteral(": no session bus for its index"));
        });
        return;
    }
    // Asked, not started: a search must not wake an indexer the desktop does not run.
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"))
                              << m_tool.busName;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, toolTimeout()), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<bool> reply = *finished;
                if (m_stopped)
                    return;
                if (reply.isError() || !reply.value()) {
                    fail(m_tool.name + QStringLiteral(": its index (%1) is not running")
                                           .arg(m_tool.busName));
                    return;
                }
                run();
            });
}

void ToolDesktopSearch::run()
{
    m_process = new QProcess(this);
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(m_tool.name + QStringLiteral(" could not be started: ") +
                 m_process->errorString());
    });
    connect(m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                ended(exitCode, status != QProcess::NormalExit);
            });
    // A tool waiting for an index service that never comes must not hold up the others.
    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this, [this] {
        m_process->disconnect(this);
        m_process->kill();
        fail(m_tool.name + QStringLiteral(" did not answer in time"));
    });
    m_timeout->start(toolTimeout());
    m_process->start(m_tool.program, m_tool.arguments(m_suffix));
}

void ToolDesktopSearch::ended(int exitCode, bool crashed)
{
    m_timeout->stop();
    const QByteArray errors = m_process->readAllStandardError();
    if (crashed) {
        fail(m_tool.name + QStringLiteral(" crashed"));
        return;
    }
    const std::optional<QStringList> found =
        m_tool.read(m_process->readAllStandardOutput(), errors, exitCode);
    if (!found) {
        fail(QStringLiteral("%1 failed (exit status %2): %3")
                 .arg(m_tool.name)
                 .arg(exitCode)
                 .arg(QString::fromLocal8Bit(errors.trimmed().left(500))));
        return;
    }
    const QStringList documents = matching(*found, m_suffix);
    if (documents.isEmpty() && m_tool.emptyIsNoAnswer) {
        fail(m_tool.name + QStringLiteral(" found nothing in the folders it indexes"));
        return;
    }
    finish(documents);
}

void ToolDesktopSearch::stop()
{
    m_stopped = true;
    if (m_process)
        m_process->kill();
    if (m_timeout)
        m_timeout->stop();
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
    // Deleted documents are not documents to offer updates for.
    const QStringList trash{trashFolder()};
    const QByteArray encodedSuffix = QFile::encodeName(suffix.toLower());
    QStringList found;
    for (const QString& root : roots) {
        struct stat rootInfo {};
        if (::stat(QFile::encodeName(root).constData(), &rootInfo) != 0 ||
            !S_ISDIR(rootInfo.st_mode))
            continue;
        QList<QByteArray> pending{QFile::encodeName(QDir::cleanPath(root))};
        while (!pending.isEmpty()) {
            if (cancelled.load(std::memory_order_relaxed))
                return {};
            const QByteArray folder = pending.takeLast();
            if (trash.contains(QFile::decodeName(folder)))
                continue;
            DIR* dir = ::opendir(folder.constData());
            if (!dir)
                continue;
            while (const dirent* entry = ::readdir(dir)) {
                // Hidden entries (and "." and "..") are the programs' own, not the user's.
                if (entry->d_name[0] == '.')
                    continue;
                const QByteArray path = folder + '/' + entry->d_name;
                unsigned char type = entry->d_type;
                struct stat info {};
                if (type == DT_UNKNOWN || type == DT_DIR) {
                    // Not followed: links; not entered: other file systems (network shares,
                    // removable disks, the machines' own mounts).
                    if (::lstat(path.constData(), &info) != 0)
                        continue;
                    type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_LNK;
                }
                if (type == DT_DIR) {
                    if (info.st_dev == rootInfo.st_dev)
                        pending.append(path);
                } else if (type == DT_REG) {
                    const QByteArray name(entry->d_name);
                    if (name.size() >= encodedSuffix.size() &&
                        name.right(encodedSuffix.size()).toLower() == encodedSuffix)
                        found.append(QFile::decodeName(path));
                }
            }
            ::closedir(dir);
        }
    }
    return found;
}

ChainedDesktopSearch::ChainedDesktopSearch(QList<Factory> steps, QObject* parent)
    : DesktopSearch(parent), m_steps(std::move(steps))
{
}

ChainedDesktopSearch::~ChainedDesktopSearch() = default;

void ChainedDesktopSearch::start(const QString& suffix)
{
    m_suffix = suffix;
    next();
}

void ChainedDesktopSearch::next()
{
    if (m_current)
        m_current.release()->deleteLater();
    if (m_steps.isEmpty()) {
        fail(m_failures.join(u'\n'));
        return;
    }
    m_current = m_steps.takeFirst()();
    connect(m_current.get(), &DesktopSearch::finishedGathering, this, [this] {
        m_source = m_current->source();
        finish(m_current->results());
    });
    connect(m_current.get(), &DesktopSearch::failed, this, [this](const QString& reason) {
        m_failures.append(reason);
        // The next source starts from the event loop, not from inside this one's signal.
        QTimer::singleShot(0, this, [this] {
            if (!m_stopped)
                next();
        });
    });
    m_current->start(m_suffix);
}

void ChainedDesktopSearch::stop()
{
    m_stopped = true;
    if (m_current)
        m_current->stop();
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
