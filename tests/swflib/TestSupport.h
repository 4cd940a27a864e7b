// Helpers shared by the SWF library tests: movies and tags built byte by byte (independently of the library's
// own writers), a view of the diagnostics recorded since a mark, and the folders the tests use.
#pragma once

#include "SWFDebugger.h"
#include "SWFStream.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

inline void AppendU16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void AppendU32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// One tag record: the short header when the body fits and `forceLong` is false.
inline Bytes Tag(uint16_t code, const Bytes& body = {}, bool forceLong = false)
{
    Bytes out;
    if (!forceLong && body.size() < 0x3F) {
        AppendU16(out, static_cast<uint32_t>(code << 6) | static_cast<uint32_t>(body.size()));
    } else {
        AppendU16(out, static_cast<uint32_t>(code << 6) | 0x3F);
        AppendU32(out, static_cast<uint32_t>(body.size()));
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes Filled(size_t n, uint8_t value = 0xAB)
{
    return Bytes(n, value);
}

// The frame rectangle 0..550 x 0..400 pixels (11000 x 8000 twips, 15-bit fields), frame rate 12, as bytes.
inline Bytes StandardRectAndRate()
{
    return { 0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x0C };
}

// An uncompressed movie: "FWS", version, file length (the real one unless given), rectangle, rate, frame count
// and then `tags`.
inline Bytes Movie(const Bytes& tags, uint16_t frames = 1, uint8_t version = 6, int64_t lengthField = -1)
{
    Bytes rest = StandardRectAndRate();
    AppendU16(rest, frames);
    rest.insert(rest.end(), tags.begin(), tags.end());
    Bytes out = { 'F', 'W', 'S', version };
    AppendU32(out, lengthField >= 0 ? static_cast<uint32_t>(lengthField) : static_cast<uint32_t>(rest.size() + 8));
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

// An owning stream holding a copy of the bytes.
inline void Load(CSWFStream& s, const Bytes& b)
{
    s.WriteBuf(b.data(), b.size());
    s.SetPosition(0);
}

inline Bytes Contents(const CSWFStream& s)
{
    return Bytes(s.GetBuffer(), s.GetBuffer() + s.GetSize());
}

// The diagnostics recorded after construction.
class LogMark
{
public:
    LogMark()
        : m_Start(SWFDebugger.LogSize())
    { }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> out;
        for (size_t i = m_Start; i < SWFDebugger.LogSize(); ++i)
            out.push_back(*SWFDebugger.Log()[i]);
        return out;
    }
    // Whether a record carries the text of `code`.
    bool Has(long code) const
    {
        const std::string text = GetErrorMessage(static_cast<unsigned long>(code));
        for (const std::string& line : Lines())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
    size_t Count() const { return SWFDebugger.LogSize() - m_Start; }

private:
    size_t m_Start;
};

// The folder of real movies, or empty when it is absent.
inline std::filesystem::path CorpusDir()
{
    std::filesystem::path dir;
    if (const char* env = std::getenv("REELFINCH_CORPUS"); env && *env)
        dir = env;
#ifdef REELFINCH_CORPUS_DIR
    else
        dir = REELFINCH_CORPUS_DIR;
#endif
    std::error_code ec;
    return !dir.empty() && std::filesystem::is_directory(dir, ec) ? dir : std::filesystem::path();
}

// A fresh temporary folder, removed with the object.
class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "reelfinch-test-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_Path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!m_Path.empty())
            std::filesystem::remove_all(m_Path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_Path; }

private:
    std::filesystem::path m_Path;
};

} // namespace testsupport
