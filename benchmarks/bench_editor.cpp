// Time from opening a .vesk file to its window shown and idle, offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "DocumentController.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"

namespace {

QString writeDocument(const QTemporaryDir& dir, int ports)
{
    QJsonArray portForwards;
    for (int i = 0; i < ports; ++i)
        portForwards.append(
            QJsonObject{{QStringLiteral("from"), 10000 + i}, {QStringLiteral("to"), 80 + i}});
    const QJsonObject object{
        {QStringLiteral("veskVersion"), 2},
        {QStringLiteral("boxName"), QStringLiteral("debian/bookworm64")},
        {QStringLiteral("bootstrapShellCode"),
         QStringLiteral("#!/usr/bin/env bash\nset -e\napt-get update\napt-get install -y nginx\n")},
        {QStringLiteral("additionalVagrantCommands"),
         QStringLiteral("config.vm.hostname = \"web\"")},
        {QStringLiteral("portForwards"), portForwards},
        {QStringLiteral("syncedDirectories"),
         QJsonArray{QJsonObject{{QStringLiteral("host"), QStringLiteral("/src")},
                                {QStringLiteral("guest"), QStringLiteral("/var/www")}}}},
        {QStringLiteral("UUID"), QStringLiteral("6F1C2D3E-4B5A-4C6D-8E7F-90A1B2C3D4E5")},
        {QStringLiteral("revision"), 1}};
    const QString path = QDir(dir.path()).filePath(QStringLiteral("bench-%1.vesk").arg(ports));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
    return path;
}

void BM_OpenDocumentWindow(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = writeDocument(dir, int(state.range(0)));
    vesk::DocumentController controller;
    for (auto _ : state) {
        vesk::VeskDocument* document = controller.openDocument(path);
        if (!document) {
            state.SkipWithError("document could not be opened");
            break;
        }
        // Shown and idle: every pending layout, paint and timer of the first pass has run.
        QApplication::processEvents();
        benchmark::DoNotOptimize(document->window()->isVisible());
        state.PauseTiming();
        document->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenDocumentWindow)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // A private home: opening documents records them as recent in the user's settings.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/.cache")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setOrganizationName(QStringLiteral("Vesk"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
