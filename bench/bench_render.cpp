// The plug-in's drawing: one frame of the demo movie and of the corpus's vector movies at 550x400 at HIGH quality,
// the visual corpus's movies without ActionScript 3 at full screen, and the processor time one second of idle playing costs: fifty null events and the redraws of a 12 fps movie
// whose frames do not change.
#include "timeline/MoviePlayer.h"

#include <cstdio>
#include <cstdlib>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using reelfinch::plugin::DrawTarget;
using reelfinch::plugin::MoviePlayer;

constexpr int kWidth = 550;
constexpr int kHeight = 400;
// Null events a second (the host's 0.02-second timer) and host ticks a second.
constexpr int kNullEventsPerSecond = 50;
constexpr double kTicksPerSecond = 60.0;
// Vector movies of the corpus measured at most.
constexpr int kMaxCorpusMovies = 40;

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Canvas {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(size_t(kWidth) * kHeight);
    DrawTarget target()
    {
        DrawTarget t;
        t.pixels = pixels.data();
        t.width = kWidth;
        t.height = kHeight;
        t.stride = kWidth * 4;
        t.area = { 0, 0, kWidth, kHeight };
        t.clip = { t.area };
        return t;
    }
};

void RenderMovie(benchmark::State& state, const std::vector<uint8_t>& bytes)
{
    MoviePlayer player;
    if (!player.load(bytes.data(), bytes.size())) {
        state.SkipWithError("movie does not load");
        return;
    }
    Canvas canvas;
    const DrawTarget target = canvas.target();
    int frame = 0;
    for (auto _ : state) {
        player.gotoFrame(frame);
        player.draw(target);
        benchmark::DoNotOptimize(canvas.pixels.data());
        frame = player.totalFrames() > 0 ? (frame + 1) % player.totalFrames() : 0;
    }
}

void BM_RenderDemoFrame(benchmark::State& state)
{
    RenderMovie(state, ReadFile(REELFINCH_DEMO_MOVIE));
}
BENCHMARK(BM_RenderDemoFrame)->Unit(benchmark::kMillisecond);

void BM_RenderCorpusVectorFrames(benchmark::State& state)
{
    const std::filesystem::path folder = std::filesystem::path(REELFINCH_CORPUS_DIR) / "movies" / "freehep";
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        state.SkipWithError("no corpus vector movies");
        return;
    }
    std::vector<std::unique_ptr<MoviePlayer>> movies;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (movies.size() >= size_t(kMaxCorpusMovies))
            break;
        const std::vector<uint8_t> bytes = ReadFile(entry.path());
        auto player = std::make_unique<MoviePlayer>();
        if (player->load(bytes.data(), bytes.size()) && player->totalFrames() > 0)
            movies.push_back(std::move(player));
    }
    if (movies.empty()) {
        state.SkipWithError("no corpus vector movies load");
        return;
    }
    Canvas canvas;
    const DrawTarget target = canvas.target();
    size_t next = 0;
    for (auto _ : state) {
        movies[next]->draw(target);
        benchmark::DoNotOptimize(canvas.pixels.data());
        next = (next + 1) % movies.size();
    }
    state.counters["movies"] = double(movies.size());
}
BENCHMARK(BM_RenderCorpusVectorFrames)->Unit(benchmark::kMillisecond);

// Full screen: every movie of the visual corpus without ActionScript 3 (SCOPE.tsv) drawn at 1920x1080, HIGH
// quality, a few frames in. The player draws a frame that stays many times, from the filtered pictures and
// gradients its first draw kept, but a frame it shows once (an object moved) only once, all of them worked out
// anew. So each iteration draws every movie twice a pixel further right and down than the last: the counters
// give the median, the 95th percentile and the worst of the movies' first draws at the new place (median_ms,
// p95_ms, worst_ms) and of their second ones (again_*), each a mean over the iterations in milliseconds of this
// thread's processor time (the machine is shared: wall time would count the other programs' turns). Buffers,
// decoded bitmaps and the like stay from draw to draw as in a movie already playing.
double CpuMilliseconds(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double ThreadMilliseconds()
{
    return CpuMilliseconds(CLOCK_THREAD_CPUTIME_ID);
}

// The movies of the visual corpus without ActionScript 3, loaded and a few frames in; `names` their folders.
std::vector<std::unique_ptr<MoviePlayer>> FullScreenMovies(
    const std::filesystem::path& root, std::vector<std::string>& names)
{
    constexpr int kFramesIn = 3;
    std::vector<std::unique_ptr<MoviePlayer>> movies;
    names.clear();
    std::ifstream scope(root / "SCOPE.tsv");
    std::string line;
    std::getline(scope, line); // the header row
    while (std::getline(scope, line)) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || line.compare(tab + 1, 3, "as3") == 0)
            continue;
        // REELFINCH_BENCH_ONLY=text keeps the movies whose folder names hold the text.
        if (const char* only = std::getenv("REELFINCH_BENCH_ONLY"); only && line.substr(0, tab).find(only) == std::string::npos)
            continue;
        const std::vector<uint8_t> bytes = ReadFile(root / line.substr(0, tab) / "test.swf");
        auto player = std::make_unique<MoviePlayer>();
        if (bytes.empty() || !player->load(bytes.data(), bytes.size()))
            continue;
        player->setQuality(reelfinch::plugin::Quality::High);
        for (int i = 0; i < kFramesIn; ++i)
            player->step();
        movies.push_back(std::move(player));
        names.push_back(line.substr(0, tab));
    }
    return movies;
}

// The median, 95th percentile and worst of `times`, as counters named with `prefix`.
void TimeCounters(benchmark::State& state, std::vector<double> times, const std::string& prefix)
{
    std::sort(times.begin(), times.end());
    state.counters[prefix + "median_ms"] = times[times.size() / 2];
    state.counters[prefix + "p95_ms"] = times[std::min(times.size() - 1, times.size() * 95 / 100)];
    state.counters[prefix + "worst_ms"] = times.back();
}

void BM_FullScreenCorpusFrames(benchmark::State& state)
{
    constexpr int kFullWidth = 1920;
    constexpr int kFullHeight = 1080;
    const std::filesystem::path root = std::filesystem::path(REELFINCH_CORPUS_DIR) / "ruffle-visual";
    if (!std::filesystem::is_regular_file(root / "SCOPE.tsv")) {
        state.SkipWithError("no visual corpus");
        return;
    }
    std::vector<std::string> names;
    std::vector<std::unique_ptr<MoviePlayer>> movies = FullScreenMovies(root, names);
    if (movies.empty()) {
        state.SkipWithError("no movie of the visual corpus loads");
        return;
    }
    // Room for the picture to move a pixel each iteration.
    constexpr int kMaxMoves = 16;
    const int stride = kFullWidth + kMaxMoves;
    std::vector<uint32_t> pixels(size_t(stride) * (kFullHeight + kMaxMoves));
    DrawTarget target;
    target.pixels = pixels.data();
    target.width = stride;
    target.height = kFullHeight + kMaxMoves;
    target.stride = stride * 4;
    auto placeAt = [&](int offset) {
        target.area = { offset, offset, offset + kFullWidth, offset + kFullHeight };
        target.clip = { target.area };
    };
    placeAt(0);
    // REELFINCH_BENCH_HASH=1 prints a hash of each movie's full-screen picture on standard error, so that a change
    // meant only to draw faster can be checked to leave every pixel alone.
    if (std::getenv("REELFINCH_BENCH_HASH")) {
        // Drawn twice: the second picture comes from what the first kept (filtered pictures).
        for (size_t i = 0; i < movies.size(); ++i) {
            uint64_t hashes[2] = {};
            for (uint64_t& hash : hashes) {
                movies[i]->draw(target);
                hash = 1469598103934665603ull;
                for (int y = 0; y < kFullHeight; ++y)
                    for (int x = 0; x < kFullWidth; ++x)
                        hash = (hash ^ pixels[size_t(y) * size_t(stride) + size_t(x)]) * 1099511628211ull;
            }
            std::fprintf(stderr, "%016llx %016llx  %s\n", static_cast<unsigned long long>(hashes[0]),
                static_cast<unsigned long long>(hashes[1]), names[i].c_str());
        }
    }
    // The drawing thread's time, the whole process's (which counts the work drawing hands to a second thread
    // too) and the wall time of the first draws; the thread's time of the second ones.
    std::vector<double> first(movies.size(), 0.0);
    std::vector<double> process(movies.size(), 0.0);
    std::vector<double> wall(movies.size(), 0.0);
    std::vector<double> again(movies.size(), 0.0);
    // Drawn once where the timed draws do not go, as a playing movie's earlier frames were.
    placeAt(0);
    for (auto& movie : movies)
        movie->draw(target);
    long rounds = 0;
    for (auto _ : state) {
        placeAt(int(1 + rounds % (kMaxMoves - 1)));
        for (size_t i = 0; i < movies.size(); ++i) {
            const double start = ThreadMilliseconds();
            const double processStart = CpuMilliseconds(CLOCK_PROCESS_CPUTIME_ID);
            const double wallStart = CpuMilliseconds(CLOCK_MONOTONIC);
            movies[i]->draw(target);
            first[i] += ThreadMilliseconds() - start;
            process[i] += CpuMilliseconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
            wall[i] += CpuMilliseconds(CLOCK_MONOTONIC) - wallStart;
            const double againStart = ThreadMilliseconds();
            movies[i]->draw(target);
            again[i] += ThreadMilliseconds() - againStart;
        }
        benchmark::DoNotOptimize(pixels.data());
        ++rounds;
    }
    for (auto* times : { &first, &process, &wall, &again })
        for (double& t : *times)
            t /= double(std::max(1L, rounds));
    // REELFINCH_BENCH_SLOWEST=n names the n movies slowest to draw first on standard error.
    if (const char* slowest = std::getenv("REELFINCH_BENCH_SLOWEST")) {
        std::vector<size_t> order(first.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return first[a] > first[b]; });
        const size_t n = std::min(order.size(), size_t(std::max(0, std::atoi(slowest))));
        for (size_t i = 0; i < n; ++i)
            std::fprintf(stderr, "%8.2f ms (process %8.2f ms, wall %8.2f ms, again %8.2f ms)  %s\n", first[order[i]],
                process[order[i]], wall[order[i]], again[order[i]], names[order[i]].c_str());
    }
    state.counters["movies"] = double(first.size());
    TimeCounters(state, first, "");
    TimeCounters(state, again, "again_");
    std::sort(process.begin(), process.end());
    state.counters["process_p95_ms"] = process[std::min(process.size() - 1, process.size() * 95 / 100)];
    state.counters["process_worst_ms"] = process.back();
    // Wall time means something only on an otherwise idle machine; it is what a viewer waits when drawing hands
    // work to the second core.
    TimeCounters(state, wall, "wall_");
}
BENCHMARK(BM_FullScreenCorpusFrames)->Unit(benchmark::kMillisecond)->Iterations(3);

// One simulated second of playing the demo movie with its timeline stopped on a frame that never changes, at
// 12 fps: fifty null events, and a redraw whenever the plug-in asks for one. The figure is processor time per
// second of movie; divided by one second it is the share of a core.
void BM_IdlePlayingSecond(benchmark::State& state)
{
    MoviePlayer player;
    const std::vector<uint8_t> bytes = ReadFile(REELFINCH_DEMO_MOVIE);
    if (!player.load(bytes.data(), bytes.size())) {
        state.SkipWithError("demo movie does not load");
        return;
    }
    player.stop();
    Canvas canvas;
    const DrawTarget target = canvas.target();
    double tick = 0;
    for (auto _ : state) {
        for (int i = 0; i < kNullEventsPerSecond; ++i) {
            tick += kTicksPerSecond / kNullEventsPerSecond;
            if (player.advanceTo(uint32_t(tick)))
                player.draw(target);
        }
        benchmark::DoNotOptimize(canvas.pixels.data());
    }
}
BENCHMARK(BM_IdlePlayingSecond)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
