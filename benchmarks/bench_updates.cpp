// Figures for the update finder: the walk of a large home folder (time to the end of gathering,
// longest event-loop stall meanwhile) and many concurrent update checks against 127.0.0.1.
#include <benchmark/benchmark.h>

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "DesktopSearch.h"
#include "HTTPRequests.h"
#include "LocalHttpServer.h"
#include "VeskDocumentUpdateChecker.h"
#include "VeskUpdateFinder.h"

using namespace vesk;

namespace {

// 200 folders, 100,000 files, 50 of them documents (some with upper-case suffixes).
QString generatedTree()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (made)
        return dir.path();
    made = true;
    int documents = 0;
    for (int folder = 0; folder < 200; ++folder) {
        const QString path = dir.path() + QStringLiteral("/project-%1/src").arg(folder);
        QDir().mkpath(path);
        for (int file = 0; file < 500; ++file) {
            QString name = QStringLiteral("file-%1.txt").arg(file);
            if (file == 0 && folder % 4 == 0 && documents < 50) {
                name =
                    documents % 2 ? QStringLiteral("machine.vesk") : QStringLiteral("MACHINE.VESK");
                ++documents;
            }
            QFile out(path + u'/' + name);
            out.open(QIODevice::WriteOnly);
            out.write("{}");
        }
    }
    return dir.path();
}

void BM_FinderWalk(benchmark::State& state)
{
    const QString root = generatedTree();
    double longestStall = 0;
    qsizetype found = 0;
    for (auto _ : state) {
        VeskUpdateFinder finder;
        finder.setSearchFactory(
            [root] { return std::make_unique<WalkDesktopSearch>(QStringList{root}); });
        QEventLoop loop;
        QElapsedTimer clock;
        QElapsedTimer sinceTick;
        double stall = 0;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
            stall = std::max(stall, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        QObject::connect(&finder, &VeskUpdateFinder::gatheringFinished, &loop,
                         [&](const QStringList& paths) {
                             found = paths.size();
                             loop.quit();
                         });
        clock.start();
        sinceTick.start();
        ticker.start();
        finder.beginSearching();
        loop.exec();
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        longestStall = std::max(longestStall, stall);
    }
    state.counters["documents_found"] = double(found);
    state.counters["longest_stall_ms"] = longestStall;
}
BENCHMARK(BM_FinderWalk)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_ConcurrentChecks(benchmark::State& state)
{
    const int checks = int(state.range(0));
    vesk::test::LocalHttpServer server;
    server.listen();
    for (int i = 0; i < checks; ++i) {
        const QString uuid =
            QStringLiteral("00000000-0000-0000-0000-%1").arg(i, 12, 10, QLatin1Char('0'));
        server.setResponse(
            QStringLiteral("/%1.vesk").arg(i),
            vesk::test::LocalHttpServer::Response::text("{\"veskVersion\":2,\"UUID\":\"" +
                                                        uuid.toUtf8() + "\",\"revision\":2}"));
    }
    int answered = 0;
    for (auto _ : state) {
        HTTPRequests http;
        answered = 0;
        QEventLoop loop;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < checks; ++i) {
            auto model = std::make_unique<DataModel>();
            model->setUUID(
                QStringLiteral("00000000-0000-0000-0000-%1").arg(i, 12, 10, QLatin1Char('0')));
            model->setRevision(1);
            model->setRemoteURL(server.url(QStringLiteral("/%1.vesk").arg(i)).toString());
            auto* checker = new VeskDocumentUpdateChecker();
            checker->setHTTPRequests(&http);
            checker->setDataModel(std::move(model));
            QObject::connect(checker, &VeskDocumentUpdateChecker::finished, &loop, [&] {
                if (++answered == checks)
                    loop.quit();
            });
            checker->checkForUpdates();
        }
        loop.exec();
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    state.counters["answered"] = answered;
}
BENCHMARK(BM_ConcurrentChecks)
    ->Arg(200)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vesk"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
