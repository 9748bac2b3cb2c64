// Reading Vagrant's machine index, and how long an index rewrite takes to reach the rest of the
// application as NOTE_MACHINE_INDEX_CHANGED.

#include <benchmark/benchmark.h>

#include <chrono>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "MachineIndex.h"
#include "NotificationCenter.h"
#include "Utilities.h"
#include "VagrantHelper.h"

namespace {

// An index as Vagrant writes it: one line of JSON, one entry per machine.
QByteArray indexWith(int machines, const QByteArray& state = "running")
{
    QByteArray json = "{\"version\":1,\"machines\":{";
    for (int i = 0; i < machines; ++i) {
        if (i > 0)
            json += ',';
        const QByteArray id = QByteArray::number(0x10000000 + i, 16).repeated(4);
        const QByteArray project = "/home/user/Projects/project-" + QByteArray::number(i);
        json += "\"" + id + "\":{\"local_data_path\":\"" + project +
                "/.vagrant\",\"name\":\"default\",\"provider\":\"virtualbox\",\"state\":\"" +
                state + "\",\"vagrantfile_name\":null,\"vagrantfile_path\":\"" + project +
                "\",\"updated_at\":null,\"extra_data\":{\"box\":{\"name\":\"debian/bookworm64\","
                "\"provider\":\"virtualbox\",\"version\":\"12.20230615.1\"}}}";
    }
    return json + "}}";
}

void BM_LoadMachineIndex(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("index"));
    const QByteArray json = indexWith(int(state.range(0)));
    vesk::writeFileAtomically(path, json);
    for (auto _ : state) {
        vesk::VagrantEnvironmentDictionary machines = vesk::loadMachineIndex(path);
        benchmark::DoNotOptimize(machines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * json.size());
    state.counters["machines"] = double(state.range(0));
}
BENCHMARK(BM_LoadMachineIndex)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// From the moment a new index is in place until the first notification about it.
void BM_IndexChangeToNotification(benchmark::State& state)
{
    const QString index = QDir::homePath() + QStringLiteral("/.vagrant.d/data/machine-index/index");
    QDir().mkpath(QDir::homePath() + QStringLiteral("/.vagrant.d/data/machine-index"));
    vesk::VagrantHelper helper;
    QObject observer;
    int notes = 0;
    vesk::NotificationCenter::defaultCenter().observe(vesk::NOTE_MACHINE_INDEX_CHANGED, &observer,
                                                      [&notes](const QVariant&) { ++notes; });
    int round = 0;
    for (auto _ : state) {
        const QByteArray json = indexWith(10, ++round % 2 ? "running" : "poweroff");
        notes = 0;
        QElapsedTimer timer;
        timer.start();
        vesk::writeFileAtomically(index, json);
        while (notes == 0 && timer.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        // Let the rest of the batch arrive before the next rewrite.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 200)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    state.counters["machines"] = double(helper.environments().size());
}
BENCHMARK(BM_IndexChangeToNotification)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // A private home, so the real index of whoever runs this is never touched.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
