// The Machines window over a large index, offscreen: open to first paint, and a new reading of
// the index to the table repainted with the selection kept.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>

#include "MachinesWindowController.h"
#include "NotificationCenter.h"
#include "TheMenu.h"
#include "VagrantHelper.h"

namespace {

QString indexPath()
{
    return QDir::homePath() + QStringLiteral("/.vagrant.d/data/machine-index/index");
}

void writeIndex(int machines, const char* state)
{
    QByteArray json = "{\"version\":1,\"machines\":{";
    for (int i = 0; i < machines; ++i) {
        if (i)
            json += ',';
        json += QStringLiteral("\"%1\":{\"name\":\"machine-%2\",\"provider\":\"virtualbox\","
                               "\"state\":\"%3\",\"local_data_path\":\"/home/dev/p%2/.vagrant\","
                               "\"extra_data\":{\"box\":{\"name\":\"debian/bookworm64\","
                               "\"provider\":\"virtualbox\",\"version\":\"12.1\"}}}")
                    .arg(i, 32, 16, QLatin1Char('0'))
                    .arg(i)
                    .arg(QString::fromLatin1(i % 3 ? state : "saved"))
                    .toUtf8();
    }
    json += "}}";
    QDir().mkpath(QFileInfo(indexPath()).path());
    QFile file(indexPath());
    file.open(QIODevice::WriteOnly);
    file.write(json);
}

// Runs the event loop until the table's viewport has painted once more.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget* viewport) : m_viewport(viewport)
    {
        viewport->installEventFilter(this);
    }
    void waitForPaint()
    {
        m_painted = false;
        while (!m_painted)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_viewport && event->type() == QEvent::Paint)
            m_painted = true;
        return false;
    }

private:
    QWidget* m_viewport;
    bool m_painted = false;
};

vesk::VagrantHelper::Options quiet()
{
    vesk::VagrantHelper::Options options;
    options.vagrantCandidates = {QStringLiteral("/usr/bin/true")};
    options.vboxCandidates = {};
    options.watchIndex = false;
    return options;
}

void BM_OpenToFirstPaint(benchmark::State& state)
{
    writeIndex(int(state.range(0)), "running");
    vesk::VagrantHelper helper(quiet());
    vesk::TheMenu menu(helper, false);
    for (auto _ : state) {
        auto* window = new vesk::MachinesWindowController(menu, helper);
        window->resize(900, 600);
        PaintWatch watch(window->tableView()->viewport());
        window->show();
        watch.waitForPaint();
        state.PauseTiming();
        delete window;
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenToFirstPaint)->Arg(1000)->Unit(benchmark::kMillisecond);

// What the window does with a new reading: the records replaced, the rows updated, the
// selection kept, the table repainted. Argument 1 adds the tray menu's rebuild, which the same
// notification triggers in the application.
void BM_ReadingToRepaint(benchmark::State& state)
{
    writeIndex(1000, "running");
    vesk::VagrantHelper helper(quiet());
    vesk::TheMenu menu(helper, false);
    vesk::MachinesWindowController window(menu, helper);
    window.resize(900, 600);
    PaintWatch watch(window.tableView()->viewport());
    window.show();
    watch.waitForPaint();
    window.selectMachines(
        {helper.environments().ids().at(10), helper.environments().ids().at(500)});
    const bool withTray = state.range(0) == 1;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        writeIndex(1000, ++round % 2 ? "poweroff" : "running");
        state.ResumeTiming();
        helper.loadEnvironments();
        if (withTray)
            vesk::NotificationCenter::defaultCenter().post(vesk::NOTE_MACHINE_INDEX_CHANGED);
        else
            window.reload();
        watch.waitForPaint();
        if (window.selectedMachineIds().size() != 2)
            state.SkipWithError("selection lost");
    }
}
BENCHMARK(BM_ReadingToRepaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The tray menu's own rebuild over the same index (rows and the real menu).
void BM_TrayRebuild(benchmark::State& state)
{
    writeIndex(int(state.range(0)), "running");
    vesk::VagrantHelper helper(quiet());
    vesk::TheMenu menu(helper, false);
    for (auto _ : state) {
        menu.rebuild();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK(BM_TrayRebuild)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
