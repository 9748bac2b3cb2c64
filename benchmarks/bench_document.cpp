// Load + write + render of a large document: the round trip every save and preview makes.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "DataModel.h"
#include "VagrantFileTemplateHelper.h"

namespace {

QByteArray largeDocument(int entries)
{
    vesk::DataModel model;
    QList<vesk::PortForward> ports;
    QList<vesk::SyncedFolder> folders;
    for (int i = 0; i < entries; ++i) {
        ports.append({10000 + i, 20000 + i});
        folders.append({QStringLiteral("/home/dev/projects/site-%1/public").arg(i),
                        QStringLiteral("/var/www/site-%1").arg(i)});
    }
    model.setBoxName(QStringLiteral("debian/bookworm64"));
    model.setBootstrapShellCode(QStringLiteral("apt-get update\napt-get install -y nginx\n"));
    model.setPortForwards(ports);
    model.setSyncedDirectories(folders);
    return model.dataRepresentation();
}

void BM_LoadWriteRender(benchmark::State& state)
{
    const QByteArray bytes = largeDocument(int(state.range(0)));
    for (auto _ : state) {
        vesk::DataModel model;
        if (!model.loadData(bytes))
            state.SkipWithError("document refused");
        benchmark::DoNotOptimize(model.dataRepresentation());
        benchmark::DoNotOptimize(vesk::VagrantFileTemplateHelper(model).templateString());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
}
BENCHMARK(BM_LoadWriteRender)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_Load(benchmark::State& state)
{
    const QByteArray bytes = largeDocument(1000);
    for (auto _ : state) {
        vesk::DataModel model;
        benchmark::DoNotOptimize(model.loadData(bytes));
    }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_Write(benchmark::State& state)
{
    vesk::DataModel model;
    model.loadData(largeDocument(1000));
    for (auto _ : state)
        benchmark::DoNotOptimize(model.dataRepresentation());
}
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);

void BM_Render(benchmark::State& state)
{
    vesk::DataModel model;
    model.loadData(largeDocument(1000));
    for (auto _ : state)
        benchmark::DoNotOptimize(vesk::VagrantFileTemplateHelper(model).templateString());
}
BENCHMARK(BM_Render)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // Keep the support folder (user templates) out of the user's own home.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
