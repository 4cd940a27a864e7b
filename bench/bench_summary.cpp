// Times the movie summary (CSWFInfo::ReadSWF) against bare decompression of the same movies, interleaved in one
// run so that both see the same machine load. Groups: the real movies of the corpus by signature (FWS, CWS,
// ZWS, aggregated) and each large movie of the corpus's bench folder.
//
// Targets: on a compressed group the summary takes at most 1.2 times the bare decompression; on an uncompressed
// group it walks at least 1 GB of movie per second. Counters: summary_ms and bare_ms per pass, ratio
// (summary / bare), walk_GBps (movie bytes per second of summary), target_met (1 or 0).
//
// The corpus is ../shared/corpus (compile definition REELFINCH_CORPUS_DIR) or $REELFINCH_CORPUS; without it the
// program prints a note and exits 0.
#include "SWFDebugger.h"
#include "SWFInfo.h"
#include "SWFStream.h"

#include <benchmark/benchmark.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kMaxCompressedRatio = 1.2;
constexpr double kMinWalkGBps = 1.0;
constexpr size_t kHeaderSize = 8;
// A "ZWS" body: 32-bit compressed length, 5 bytes of LZMA properties, then raw LZMA1 data.
constexpr size_t kLzmaPropsOffset = kHeaderSize + 4;
constexpr size_t kLzmaPropsSize = 5;
constexpr size_t kLzmaDataOffset = kLzmaPropsOffset + kLzmaPropsSize;

enum class Kind { Fws, Cws, Zws };

struct Movie {
    std::string path;
    Kind kind;
    std::unique_ptr<CSWFStream> stream; // the file's bytes, as the player hands them over
    size_t inflatedSize = 0; // the body after decompression, header excluded
};

struct Group {
    std::string name;
    Kind kind;
    std::vector<Movie*> movies;
    size_t storedBytes = 0;
    size_t movieBytes = 0; // after decompression, header included
};

std::vector<std::unique_ptr<Movie>> g_Movies;
std::vector<Group> g_Groups;
std::vector<uint8_t> g_Output; // the preallocated buffer of bare decompression

const uint8_t* Bytes(const Movie& m)
{
    return m.stream->GetBuffer();
}

// Bare zlib: one uncompress call into a buffer of the known size.
bool InflateZlib(const Movie& m)
{
    uLongf out = m.inflatedSize;
    return uncompress(g_Output.data(), &out, Bytes(m) + kHeaderSize, m.stream->GetSize() - kHeaderSize) == Z_OK
        && out == m.inflatedSize;
}

// Bare LZMA: the raw LZMA1 decoder into a buffer of the known size.
bool InflateLzma(const Movie& m)
{
    if (m.stream->GetSize() < kLzmaDataOffset)
        return false;
    lzma_filter filters[2] = { { LZMA_FILTER_LZMA1, nullptr }, { LZMA_VLI_UNKNOWN, nullptr } };
    if (lzma_properties_decode(&filters[0], nullptr, Bytes(m) + kLzmaPropsOffset, kLzmaPropsSize) != LZMA_OK)
        return false;
    lzma_stream z = LZMA_STREAM_INIT;
    const lzma_ret init = lzma_raw_decoder(&z, filters);
    std::free(filters[0].options);
    if (init != LZMA_OK)
        return false;
    z.next_in = Bytes(m) + kLzmaDataOffset;
    z.avail_in = m.stream->GetSize() - kLzmaDataOffset;
    z.next_out = g_Output.data();
    z.avail_out = m.inflatedSize;
    lzma_ret status = LZMA_OK;
    while (status == LZMA_OK && z.avail_out > 0 && z.avail_in > 0)
        status = lzma_code(&z, LZMA_RUN);
    const bool ok = (status == LZMA_OK || status == LZMA_STREAM_END) && z.total_out == m.inflatedSize;
    lzma_end(&z);
    return ok;
}

bool InflateBare(const Movie& m)
{
    switch (m.kind) {
    case Kind::Cws:
        return InflateZlib(m);
    case Kind::Zws:
        return InflateLzma(m);
    case Kind::Fws:
        return true;
    }
    return false;
}

bool Summarise(const Movie& m)
{
    CSWFInfo info;
    const int ok = info.ReadSWF(m.stream.get());
    benchmark::DoNotOptimize(info.m_TagsCount);
    return ok == 1;
}

std::unique_ptr<Movie> LoadMovie(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() <= kHeaderSize || bytes[1] != 'W' || bytes[2] != 'S')
        return nullptr;
    auto movie = std::make_unique<Movie>();
    movie->path = path.string();
    switch (bytes[0]) {
    case 'F':
        movie->kind = Kind::Fws;
        break;
    case 'C':
        movie->kind = Kind::Cws;
        break;
    case 'Z':
        movie->kind = Kind::Zws;
        break;
    default:
        return nullptr;
    }
    movie->stream = std::make_unique<CSWFStream>();
    movie->stream->WriteBuf(bytes.data(), bytes.size());
    movie->stream->SetPosition(0);

    // The summary learns the decompressed size; both sides are then timed only on movies both can read, so
    // that neither is charged for a movie the other rejects.
    CSWFInfo info;
    const bool read = info.ReadSWF(movie->stream.get()) == 1;
    SWFDebugger.ClearLog();
    if (!read || (movie->kind != Kind::Fws) != info.m_Compressed)
        return nullptr;
    movie->inflatedSize = info.m_TotalSize - kHeaderSize;
    if (g_Output.size() < movie->inflatedSize)
        g_Output.resize(movie->inflatedSize);
    return InflateBare(*movie) ? std::move(movie) : nullptr;
}

void AddMovies(const std::string& name, Kind kind, const std::vector<Movie*>& from)
{
    Group group { name, kind, {}, 0, 0 };
    for (Movie* m : from) {
        if (m->kind != kind)
            continue;
        group.movies.push_back(m);
        group.storedBytes += m->stream->GetSize();
        group.movieBytes += kHeaderSize + m->inflatedSize;
    }
    if (!group.movies.empty())
        g_Groups.push_back(std::move(group));
}

fs::path FindCorpus()
{
    fs::path root;
    if (const char* env = std::getenv("REELFINCH_CORPUS"); env && *env)
        root = env;
#ifdef REELFINCH_CORPUS_DIR
    else
        root = REELFINCH_CORPUS_DIR;
#endif
    std::error_code ec;
    if (root.empty() || !fs::is_directory(root, ec))
        return {};
    return fs::is_directory(root / "movies", ec) ? root / "movies" : root;
}

bool IsSwfName(const fs::path& p)
{
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".swf";
}

void LoadGroups(const fs::path& movies)
{
    std::vector<Movie*> corpus;
    std::vector<Movie*> large;
    std::vector<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(movies, fs::directory_options::skip_permission_denied))
        if (entry.is_regular_file() && IsSwfName(entry.path()))
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const fs::path& p : paths) {
        auto movie = LoadMovie(p);
        if (!movie)
            continue;
        const bool isLarge = p.parent_path().filename() == "bench";
        (isLarge ? large : corpus).push_back(movie.get());
        g_Movies.push_back(std::move(movie));
    }
    AddMovies("corpus/FWS", Kind::Fws, corpus);
    AddMovies("corpus/CWS", Kind::Cws, corpus);
    AddMovies("corpus/ZWS", Kind::Zws, corpus);
    AddMovies("large/FWS", Kind::Fws, large);
    AddMovies("large/CWS", Kind::Cws, large);
    AddMovies("large/ZWS", Kind::Zws, large);
}

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// One iteration is one pass of bare decompression and one pass of the summary over the whole group. The
// iteration time reported is the summary's.
void BM_Summary(benchmark::State& state, const Group* group)
{
    const bool compressed = group->kind != Kind::Fws;
    double summaryTotal = 0;
    double bareTotal = 0;
    for (auto _ : state) {
        double bare = 0;
        if (compressed) {
            const auto t0 = Clock::now();
            for (const Movie* m : group->movies)
                benchmark::DoNotOptimize(InflateBare(*m));
            bare = Seconds(t0, Clock::now());
        }
        const auto t1 = Clock::now();
        for (const Movie* m : group->movies)
            benchmark::DoNotOptimize(Summarise(*m));
        const double summary = Seconds(t1, Clock::now());
        SWFDebugger.ClearLog();
        state.SetIterationTime(summary);
        summaryTotal += summary;
        bareTotal += bare;
    }
    const double passes = static_cast<double>(state.iterations());
    const double walk = static_cast<double>(group->movieBytes) * passes / summaryTotal / 1e9;
    state.counters["movies"] = static_cast<double>(group->movies.size());
    state.counters["stored_MB"] = static_cast<double>(group->storedBytes) / 1e6;
    state.counters["movie_MB"] = static_cast<double>(group->movieBytes) / 1e6;
    state.counters["summary_ms"] = summaryTotal / passes * 1e3;
    state.counters["walk_GBps"] = walk;
    if (compressed) {
        const double ratio = summaryTotal / bareTotal;
        state.counters["bare_ms"] = bareTotal / passes * 1e3;
        state.counters["ratio"] = ratio;
        state.counters["target_met"] = ratio <= kMaxCompressedRatio ? 1 : 0;
    } else {
        state.counters["target_met"] = walk >= kMinWalkGBps ? 1 : 0;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path movies = FindCorpus();
    if (movies.empty()) {
        std::printf("bench_summary: no movie corpus (set REELFINCH_CORPUS); nothing to measure.\n");
        return 0;
    }
    LoadGroups(movies);
    if (g_Groups.empty()) {
        std::printf("bench_summary: no readable movies under %s; nothing to measure.\n", movies.c_str());
        return 0;
    }
    for (const Group& group : g_Groups)
        benchmark::RegisterBenchmark(("summary/" + group.name).c_str(), BM_Summary, &group)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
