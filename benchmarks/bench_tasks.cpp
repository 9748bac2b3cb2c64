// How fast a chatty command's output reaches its window, and how long the event loop is kept
// busy on the way: a child prints N megabytes through KRNTaskHelper into an offscreen
// OutputWindowController, while a 1 ms timer records the longest gap between its ticks.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTextDocument>
#include <QTimer>

#include "KRNTaskHelper.h"
#include "OutputWindowController.h"

using namespace vesk;

namespace {

// A vagrant-like line, repeated until `bytes` have been printed.
QProcess* printer(qint64 bytes)
{
    auto* process = new QProcess;
    process->setProgram(QStringLiteral("/bin/bash"));
    process->setArguments(
        {QStringLiteral("-c"),
         QStringLiteral("yes '    default: Setting up libssl3:amd64 (3.0.15-1~deb12u1) ...' | "
                        "head -c %1")
             .arg(bytes)});
    return process;
}

struct Run
{
    double seconds = 0;
    double longestStallMs = 0;
};

// Runs one child to its end; with a window, until the window shows every byte.
Run stream(qint64 bytes, bool withWindow)
{
    std::unique_ptr<OutputWindowController> window;
    if (withWindow) {
        window = std::make_unique<OutputWindowController>();
        window->setWindowTitle(QStringLiteral("web - Provisioning..."));
        window->showWindow();
    }

    KRNTaskHelper helper;
    helper.setTask(printer(bytes));
    qint64 received = 0;
    bool complete = false;
    helper.setOutputHandler([&](const QString& chunk) {
        received += chunk.size();
        if (window)
            window->addOutput(chunk);
    });
    helper.setCompletionHandler([&] { complete = true; });

    QEventLoop loop;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    qint64 longestGapNs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
        sinceTick.start();
        // The document holds one more character than the text (the final block's end).
        const bool shown = !window || window->textView()->document()->characterCount() - 1 >= bytes;
        if (complete && shown)
            loop.quit();
    });

    clock.start();
    sinceTick.start();
    ticker.start();
    helper.launch();
    loop.exec();

    Run run;
    run.seconds = clock.nsecsElapsed() / 1e9;
    // The timer's own millisecond is not a stall.
    run.longestStallMs = std::max(0.0, longestGapNs / 1e6 - 1.0);
    if (received != bytes)
        qFatal("received %lld of %lld bytes", received, bytes);
    return run;
}

void report(benchmark::State& state, qint64 bytes, bool withWindow)
{
    double longestStallMs = 0;
    double seconds = 0;
    for (auto _ : state) {
        const Run run = stream(bytes, withWindow);
        state.SetIterationTime(run.seconds);
        seconds += run.seconds;
        longestStallMs = std::max(longestStallMs, run.longestStallMs);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["MB/s"] = double(bytes) * state.iterations() / 1e6 / seconds;
    state.counters["stall_ms"] = longestStallMs;
}

void BM_OutputIntoWindow(benchmark::State& state)
{
    report(state, state.range(0) * 1000 * 1000, true);
}

void BM_OutputThroughTaskHelper(benchmark::State& state)
{
    report(state, state.range(0) * 1000 * 1000, false);
}

} // namespace

BENCHMARK(BM_OutputIntoWindow)
    ->Arg(50)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutputThroughTaskHelper)
    ->Arg(50)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
