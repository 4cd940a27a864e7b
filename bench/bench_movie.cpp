// Times the whole-movie object model over real movies: bare decompression, reading into the object tree
// (CSWF::ReadSWF from memory), writing back without compression, and deep copying; and measures the heap an
// opened movie holds. One run over the corpus (../shared/corpus/movies, or $REELFINCH_CORPUS/movies) and, as a
// group of its own, the large movies of its bench folder.
//
// Targets, in aggregate over compressed movies: reading at most 2.5 times the bare decompression, writing
// without compression at most 2 times it, copying at most 1 time it; no single movie takes more than 200 ms to
// read; an opened movie holds at most 10 bytes of heap per byte of uncompressed movie.
//
// Times are CPU time. Usage: bench_movie [--repeat N]. Without the corpus it prints a note and exits 0.
#include "Movie.h"
#include "SWFDebugger.h"
#include "SWFStream.h"

#include <lzma.h>
#include <malloc.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
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

constexpr double kMaxReadRatio = 2.5;
constexpr double kMaxWriteRatio = 2.0;
constexpr double kMaxCopyRatio = 1.0;
constexpr double kMaxOpenMs = 200.0;
constexpr double kMaxBytesPerByte = 10.0;
constexpr size_t kHeaderSize = 8;
constexpr size_t kLzmaPropsOffset = 12;
constexpr size_t kLzmaDataOffset = 17;

// Times are the CPU time of this process, so that the figures do not depend on what else the machine runs.
double CpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t LengthField(const std::vector<uint8_t>& b)
{
    return b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<uint32_t>(b[7]) << 24);
}

// Inflates the body into a buffer of the announced size, as a player that trusts the header would; returns
// false when the body does not decode.
bool BareDecompress(const std::vector<uint8_t>& file, std::vector<uint8_t>& out)
{
    const uint32_t length = LengthField(file);
    if (length < kHeaderSize)
        return false;
    out.resize(length - kHeaderSize);
    if (file[0] == 'C') {
        uLongf outLength = out.size();
        const int status = uncompress(out.data(), &outLength, file.data() + kHeaderSize, file.size() - kHeaderSize);
        return status == Z_OK || (status == Z_BUF_ERROR && outLength == out.size());
    }
    if (file[0] == 'Z' && file.size() > kLzmaDataOffset) {
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
        if (lzma_properties_decode(&filters[0], nullptr, file.data() + kLzmaPropsOffset, 5) != LZMA_OK)
            return false;
        lzma_stream z = LZMA_STREAM_INIT;
        const bool started = lzma_raw_decoder(&z, filters) == LZMA_OK;
        std::free(filters[0].options);
        if (!started)
            return false;
        z.next_in = file.data() + kLzmaDataOffset;
        z.avail_in = file.size() - kLzmaDataOffset;
        z.next_out = out.data();
        z.avail_out = out.size();
        const lzma_ret status = lzma_code(&z, LZMA_RUN);
        const bool ok = status == LZMA_STREAM_END || (status == LZMA_OK && z.avail_out == 0);
        lzma_end(&z);
        return ok;
    }
    return false;
}

size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

struct Totals {
    size_t movies = 0;
    size_t movieBytes = 0;
    double bareMs = 0, readMs = 0, writeMs = 0, copyMs = 0;
    double slowestMs = 0;
    std::string slowest;
    double worstBytesPerByte = 0;
    std::string worstMemory;
    size_t heldBytes = 0;
};

struct Measure {
    double bareMs = 0, readMs = 0, writeMs = 0, copyMs = 0;
    size_t held = 0;
    size_t movieBytes = 0;
};

bool MeasureMovie(const std::vector<uint8_t>& file, int repeat, Measure& m)
{
    std::vector<uint8_t> inflated;
    const bool compressed = file.size() > kHeaderSize && (file[0] == 'C' || file[0] == 'Z');
    if (compressed) {
        double t0 = CpuMs();
        for (int i = 0; i < repeat; ++i)
            if (!BareDecompress(file, inflated))
                return false;
        m.bareMs = CpuMs() - t0 / repeat;
    }
    for (int i = 0; i < repeat; ++i) {
        const size_t before = HeapInUse();
        CSWFStream stream;
        stream.WriteBuf(file.data(), file.size());
        stream.SetPosition(0);
        auto movie = std::make_unique<CSWF>();
        double t0 = CpuMs();
        const int ok = movie->ReadSWF(&stream);
        m.readMs += CpuMs() - t0;
        if (!ok)
            return false;
        m.movieBytes = stream.GetSize();
        stream.Assign(nullptr, 0);
        const size_t after = HeapInUse();
        m.held = after > before ? after - before : 0;

        movie->m_pHeader->m_Compressed = false;
        CSWFStream out;
        t0 = CpuMs();
        movie->WriteSWF(&out);
        m.writeMs += CpuMs() - t0;

        CSWFObject* copy = nullptr;
        t0 = CpuMs();
        movie->MakeCopy(nullptr, 0, copy);
        m.copyMs += CpuMs() - t0;
        delete copy;
        SWFDebugger.ClearLog();
    }
    m.readMs /= repeat;
    m.writeMs /= repeat;
    m.copyMs /= repeat;
    return true;
}

void Add(Totals& t, const Measure& m, const std::string& name)
{
    ++t.movies;
    t.movieBytes += m.movieBytes;
    t.bareMs += m.bareMs;
    t.readMs += m.readMs;
    t.writeMs += m.writeMs;
    t.copyMs += m.copyMs;
    t.heldBytes += m.held;
    if (m.readMs > t.slowestMs) {
        t.slowestMs = m.readMs;
        t.slowest = name;
    }
    const double perByte = m.movieBytes ? double(m.held) / m.movieBytes : 0;
    if (perByte > t.worstBytesPerByte) {
        t.worstBytesPerByte = perByte;
        t.worstMemory = name;
    }
}

const char* Verdict(bool met)
{
    return met ? "met" : "MISSED";
}

bool Report(const char* group, const Totals& t)
{
    if (t.movies == 0)
        return true;
    const double read = t.readMs / t.bareMs, write = t.writeMs / t.bareMs, copy = t.copyMs / t.bareMs;
    const double perByte = double(t.heldBytes) / t.movieBytes;
    std::printf("%s: %zu compressed movies, %.1f MB uncompressed\n", group, t.movies, t.movieBytes / 1e6);
    std::printf("  bare decompression %9.1f ms\n", t.bareMs);
    std::printf("  read  %9.1f ms  ratio %.2f (target <= %.1f: %s)\n", t.readMs, read, kMaxReadRatio,
                Verdict(read <= kMaxReadRatio));
    std::printf("  write %9.1f ms  ratio %.2f (target <= %.1f: %s)\n", t.writeMs, write, kMaxWriteRatio,
                Verdict(write <= kMaxWriteRatio));
    std::printf("  copy  %9.1f ms  ratio %.2f (target <= %.1f: %s)\n", t.copyMs, copy, kMaxCopyRatio,
                Verdict(copy <= kMaxCopyRatio));
    std::printf("  slowest read %.1f ms (%s) (target <= %.0f: %s)\n", t.slowestMs, t.slowest.c_str(), kMaxOpenMs,
                Verdict(t.slowestMs <= kMaxOpenMs));
    std::printf("  heap held %.2f bytes per movie byte in aggregate, worst %.2f (%s) (target <= %.0f: %s)\n",
                perByte, t.worstBytesPerByte, t.worstMemory.c_str(), kMaxBytesPerByte,
                Verdict(t.worstBytesPerByte <= kMaxBytesPerByte));
    return read <= kMaxReadRatio && write <= kMaxWriteRatio && copy <= kMaxCopyRatio && t.slowestMs <= kMaxOpenMs &&
           t.worstBytesPerByte <= kMaxBytesPerByte;
}

} // namespace

int main(int argc, char** argv)
{
    int repeat = 1;
    if (argc == 3 && std::strcmp(argv[1], "--repeat") == 0)
        repeat = std::max(1, std::atoi(argv[2]));
    const char* env = std::getenv("REELFINCH_CORPUS");
    const fs::path root = fs::path(env ? env : REELFINCH_CORPUS_DIR) / "movies";
    if (!fs::is_directory(root)) {
        std::printf("bench_movie: no corpus at %s; nothing measured\n", root.c_str());
        return 0;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && ext == ".swf")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());

    Totals corpus, large, uncompressed;
    size_t unread = 0;
    for (const fs::path& path : files) {
        const std::vector<uint8_t> file = ReadFile(path);
        Measure m;
        if (!MeasureMovie(file, repeat, m)) {
            ++unread;
            continue;
        }
        const bool isLarge = path.parent_path().filename() == "bench";
        const std::string name = fs::relative(path, root).string();
        if (m.bareMs == 0) {
            Add(uncompressed, m, name);
            continue;
        }
        Add(isLarge ? large : corpus, m, name);
    }
    bool met = Report("corpus", corpus);
    met &= Report("large movies", large);
    std::printf("uncompressed movies: %zu, read %.1f ms, write %.1f ms, copy %.1f ms for %.1f MB; slowest read "
                "%.1f ms (%s); worst heap %.2f bytes per byte (%s)\n",
                uncompressed.movies, uncompressed.readMs, uncompressed.writeMs, uncompressed.copyMs,
                uncompressed.movieBytes / 1e6, uncompressed.slowestMs, uncompressed.slowest.c_str(),
                uncompressed.worstBytesPerByte, uncompressed.worstMemory.c_str());
    std::printf("not readable as movies: %zu\n", unread);
    std::printf("all targets %s\n", met ? "met" : "NOT met");
    return 0;
}
