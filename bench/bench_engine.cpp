// What the movie engine's own process costs a frame: the same movie stepped and drawn at 1920x1080 through the
// player's host, once with the engine in the host's process and once behind the proxy (the update event
// forwarded, the frame drawn into shared memory and copied into the host's port). The difference of the two
// figures is the cost of the separate process.
#include "NSFlashPluginView.h"

#include "EventRecord.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QWidget>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

QApplication& App()
{
    static int argc = 1;
    static char name[] = "bench_engine";
    static char* argv[] = { name, nullptr };
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

void DrawFrames(benchmark::State& state, bool inProcess)
{
    App();
    if (inProcess)
        setenv("REELFINCH_IN_PROCESS", "1", 1);
    else
        unsetenv("REELFINCH_IN_PROCESS");
    QFile file(QStringLiteral(REELFINCH_DEMO_MOVIE));
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("no demo movie");
        return;
    }
    const QByteArray movie = file.readAll();
    NSFlashPluginView::setPluginPath(QStringLiteral(REELFINCH_PLUGIN_BUNDLE));
    auto window = std::make_unique<QWidget>();
    window->resize(kWidth, kHeight);
    auto* view = new NSFlashPluginView(window.get()); // owned by the window
    view->setGeometry(0, 0, kWidth, kHeight);
    window->show();
    QCoreApplication::processEvents();
    if (!view->loadMovie(movie, QStringLiteral(REELFINCH_DEMO_MOVIE))) {
        state.SkipWithError("movie does not load");
        return;
    }
    view->stopNullEvents();
    view->stopPlay();
    const long frames = std::max(1L, view->totalFrames());
    long frame = 0;
    for (auto _ : state) {
        view->gotoFrame(frame);
        frame = (frame + 1) % frames;
        view->sendUpdateEvent();
    }
    window.reset();
    unsetenv("REELFINCH_IN_PROCESS");
}

void BM_FrameInProcess(benchmark::State& state)
{
    DrawFrames(state, true);
}

void BM_FrameThroughEngine(benchmark::State& state)
{
    DrawFrames(state, false);
}

BENCHMARK(BM_FrameInProcess)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FrameThroughEngine)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
