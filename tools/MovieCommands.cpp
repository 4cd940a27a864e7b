#include "MovieCommands.h"

#include "Movie.h"
#include "ObjectDump.h"
#include "SWFDebugger.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// The first versions whose players read zlib and LZMA bodies.
constexpr unsigned char kZlibVersion = 6;
constexpr unsigned char kLzmaVersion = 13;

bool Readable(const std::string& path, FILE* err)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        std::fprintf(err, "reelfinch-swf: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::fclose(file);
    return true;
}

// Opens the movie; the diagnostics its reading produced go to `log` when given.
bool Open(CSWF& movie, const std::string& path, std::vector<std::string>* log, FILE* err)
{
    if (!Readable(path, err))
        return false;
    const size_t logStart = SWFDebugger.LogSize();
    const bool ok = movie.OpenSWF(path.c_str()) == 1;
    if (log) {
        for (size_t i = logStart; i < SWFDebugger.LogSize(); ++i)
            log->push_back(*SWFDebugger.Log()[i]);
    }
    if (!ok)
        std::fprintf(err, "reelfinch-swf: %s is not a valid movie\n", path.c_str());
    return ok;
}

} // namespace

int RunDump(const std::string& path, bool json, FILE* out, FILE* err)
{
    CSWF movie;
    if (!Open(movie, path, nullptr, err))
        return 1;
    const std::string text = json ? DumpJson(&movie) + "\n" : DumpText(&movie);
    std::fwrite(text.data(), 1, text.size(), out);
    return 0;
}

int RunSave(const std::string& in, const std::string& out, SaveCompression compression, FILE* err)
{
    CSWF movie;
    if (!Open(movie, in, nullptr, err))
        return 1;
    CHeaderItem& header = *movie.GetHeader();
    switch (compression) {
    case SaveCompression::AsRead:
        break;
    case SaveCompression::None:
        header.m_Compressed = false;
        header.m_CompressionMethod = kCompressionNone;
        break;
    case SaveCompression::Zlib:
    case SaveCompression::Lzma: {
        const bool lzma = compression == SaveCompression::Lzma;
        header.m_Compressed = true;
        header.m_CompressionMethod = lzma ? kCompressionLzma : kCompressionZlib;
        const unsigned char needed = lzma ? kLzmaVersion : kZlibVersion;
        if (header.m_Version < needed)
            std::fprintf(err, "reelfinch-swf: note: %s is version %u; players read %s bodies from version %u\n",
                in.c_str(), header.m_Version, lzma ? "LZMA" : "zlib", needed);
        break;
    }
    }
    if (!movie.SaveSWF(out.c_str())) {
        std::fprintf(err, "reelfinch-swf: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

int RunLog(const std::string& path, FILE* out, FILE* err)
{
    CSWF movie;
    std::vector<std::string> log;
    const bool ok = Open(movie, path, &log, err);
    for (const std::string& line : log)
        std::fprintf(out, "%s\n", line.c_str());
    return ok ? 0 : 1;
}
