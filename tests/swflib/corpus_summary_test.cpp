// Every real movie of the corpus is summarised, and each summary is checked against a second reading of the
// file written here from the file format alone: its own header parsing, its own zlib and LZMA decoding, its own
// walk of the tag headers and its own categories.
#include "SWFInfo.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>
#include <sstream>

using namespace testsupport;

namespace {

enum Category { kShapes, kMorphs, kFonts, kActions, kPictures, kSounds, kVideo, kNone };

Category CategoryOf(unsigned code)
{
    switch (code) {
    case 2:
    case 22:
    case 32:
    case 83:
        return kShapes;
    case 46:
    case 84:
        return kMorphs;
    case 10:
    case 13:
    case 48:
    case 62:
    case 73:
    case 75:
    case 88:
    case 91:
        return kFonts;
    case 12:
    case 59:
    case 82:
        return kActions;
    case 6:
    case 8:
    case 20:
    case 21:
    case 35:
    case 36:
    case 90:
        return kPictures;
    case 14:
    case 15:
    case 17:
    case 18:
    case 19:
    case 45:
    case 89:
        return kSounds;
    case 60:
    case 61:
        return kVideo;
    default:
        return kNone;
    }
}

bool CountsInsideSprite(unsigned code)
{
    return code == 12 || code == 15 || code == 18 || code == 19 || code == 45 || code == 89;
}

uint32_t Le(const Bytes& b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return v;
}

// What a correct summary of the file holds.
struct Expected {
    bool valid = false;
    bool compressed = false;
    bool lzma = false;
    uint8_t version = 0;
    uint32_t fileLength = 0;
    uint32_t total = 0;
    std::array<int32_t, 4> rect {};
    float rate = 0;
    uint16_t frames = 0;
    std::optional<std::array<uint8_t, 3>> colour;
    std::array<uint32_t, kNone> counts {};
    std::array<uint32_t, kNone> sizes {};
    uint32_t tags = 0;
};

std::optional<Bytes> Inflate(const uint8_t* data, size_t size, size_t guess)
{
    Bytes out(std::max<size_t>(guess, 1024));
    z_stream z {};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    z.next_in = const_cast<uint8_t*>(data);
    z.avail_in = static_cast<uInt>(size);
    int status = Z_OK;
    while (status == Z_OK) {
        if (z.total_out == out.size()) {
            if (out.size() > size * 1100 + 4096)
                break;
            out.resize(out.size() * 2);
        }
        z.next_out = out.data() + z.total_out;
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_BUF_ERROR && z.avail_out != 0)
            break;
        if (status == Z_BUF_ERROR)
            status = Z_OK;
    }
    out.resize(z.total_out);
    inflateEnd(&z);
    if (status != Z_STREAM_END)
        return std::nullopt;
    return out;
}

// "ZWS" body: 32-bit packed length, 5 bytes of properties, raw LZMA data that ends with an end marker or at
// the size the header announces.
std::optional<Bytes> DecodeLzma(const uint8_t* data, size_t size, uint64_t announced)
{
    if (size < 9)
        return std::nullopt;
    lzma_filter filters[2] = { { LZMA_FILTER_LZMA1, nullptr }, { LZMA_VLI_UNKNOWN, nullptr } };
    if (lzma_properties_decode(&filters[0], nullptr, data + 4, 5) != LZMA_OK)
        return std::nullopt;
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    const uint64_t limit = std::min<uint64_t>(announced, (size - 9) * 8192ull + 256);
    options->dict_size
        = static_cast<uint32_t>(std::clamp<uint64_t>(limit, 4096, std::max<uint32_t>(options->dict_size, 4096)));
    lzma_stream z = LZMA_STREAM_INIT;
    const lzma_ret init = lzma_raw_decoder(&z, filters);
    std::free(filters[0].options);
    if (init != LZMA_OK)
        return std::nullopt;
    Bytes out(limit);
    z.next_in = data + 9;
    z.avail_in = size - 9;
    z.next_out = out.data();
    z.avail_out = out.size();
    lzma_ret status = LZMA_OK;
    while (status == LZMA_OK && z.avail_out > 0)
        status = lzma_code(&z, z.avail_in ? LZMA_RUN : LZMA_FINISH);
    out.resize(z.total_out);
    lzma_end(&z);
    if ((status != LZMA_STREAM_END && out.size() != limit) || out.empty())
        return std::nullopt;
    return out;
}

// Walks the tag headers of `m` from `pos` to `end`, calling visit(code, bodyStart, bodySize) for each tag before
// End; stops at End, at a header that is cut short, or at a body that runs past `end`.
template <class Visit> void WalkTags(const Bytes& m, size_t pos, size_t end, Visit visit)
{
    while (pos + 2 <= end) {
        const uint32_t header = Le(m, pos, 2);
        pos += 2;
        const unsigned code = header >> 6;
        uint64_t length = header & 0x3F;
        if (length == 0x3F) {
            if (pos + 4 > end)
                return;
            length = Le(m, pos, 4);
            pos += 4;
        }
        if (length > end - pos || code == 0)
            return;
        visit(code, pos, static_cast<uint32_t>(length));
        pos += length;
    }
}

Expected ReadIndependently(const Bytes& file)
{
    Expected e;
    if (file.size() < 8 || (file[0] != 'F' && file[0] != 'C' && file[0] != 'Z') || file[1] != 'W' || file[2] != 'S')
        return e;
    e.version = file[3];
    e.fileLength = Le(file, 4, 4);
    const uint64_t announced = e.fileLength >= 8 ? e.fileLength - 8 : 0;
    Bytes m(file.begin(), file.begin() + 8);
    std::optional<Bytes> body;
    if (file[0] == 'C')
        body = Inflate(file.data() + 8, file.size() - 8, announced);
    else if (file[0] == 'Z')
        body = DecodeLzma(file.data() + 8, file.size() - 8, announced);
    else if (e.fileLength != file.size())
        body = Inflate(file.data() + 8, file.size() - 8, announced); // a compressed body behind "FWS"
    if (file[0] != 'F' && !body)
        return e;
    e.compressed = body.has_value();
    e.lzma = file[0] == 'Z';
    if (body)
        m.insert(m.end(), body->begin(), body->end());
    else
        m = file;

    // The frame rectangle: a 5-bit width, then four signed fields of that width.
    uint64_t bit = 8 * 8;
    auto bits = [&](unsigned n) {
        uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i, ++bit)
            v = (v << 1) | ((m[bit / 8] >> (7 - bit % 8)) & 1);
        return v;
    };
    if (m.size() < 9)
        return e;
    const unsigned width = bits(5);
    const size_t rectEnd = 8 + (5 + 4 * width + 7) / 8;
    if (rectEnd + 2 >= m.size())
        return e; // nothing after the header: not a movie
    for (int32_t& v : e.rect) {
        const uint32_t raw = bits(width);
        v = width && (raw >> (width - 1)) & 1 ? static_cast<int32_t>(raw | ~((1ull << width) - 1)) : int32_t(raw);
    }
    e.rate = static_cast<float>(static_cast<int8_t>(m[rectEnd + 1])) + m[rectEnd] / 256.0f;
    e.valid = true;
    e.total = static_cast<uint32_t>(m.size());
    if (rectEnd + 4 > m.size())
        return e; // a frame count cut short: no tags either
    e.frames = static_cast<uint16_t>(Le(m, rectEnd + 2, 2));

    WalkTags(m, rectEnd + 4, m.size(), [&](unsigned code, size_t start, uint32_t size) {
        ++e.tags;
        if (code == 9) {
            std::array<uint8_t, 3> c {};
            for (uint32_t i = 0; i < 3 && i < size; ++i)
                c[i] = m[start + i];
            e.colour = c;
        } else if (code == 39 && size >= 4) {
            WalkTags(m, start + 4, start + size, [&](unsigned inner, size_t, uint32_t innerSize) {
                if (CountsInsideSprite(inner)) {
                    ++e.counts[CategoryOf(inner)];
                    e.sizes[CategoryOf(inner)] += innerSize;
                }
            });
        } else if (const Category c = CategoryOf(code); c != kNone) {
            ++e.counts[c];
            e.sizes[c] += size;
        }
    });
    return e;
}

// The differences between the summary and the expected values, one per line.
std::string Compare(const CSWFInfo& info, int result, const Expected& e, size_t fileSize)
{
    std::ostringstream diff;
    auto check = [&](const char* field, auto actual, auto expected) {
        if (!(actual == expected))
            diff << "  " << field << ": " << +actual << ", expected " << +expected << "\n";
    };
    check("result", result, e.valid ? 1 : 0);
    check("m_OriginalSize", info.m_OriginalSize, static_cast<uint32_t>(fileSize));
    check("m_TotalSize", info.m_TotalSize, e.total);
    if (!e.valid) {
        check("background colour present", info.m_pBackgroundColor != nullptr, false);
        return diff.str();
    }
    check("m_Compressed", info.m_Compressed, e.compressed);
    check("lzma", info.m_CompressionMethod == kCompressionLzma, e.compressed && e.lzma);
    check("m_Version", info.m_Version, e.version);
    check("m_FileLength", info.m_FileLength, e.fileLength);
    check("m_XMin", info.m_FrameRect.m_XMin, e.rect[0]);
    check("m_XMax", info.m_FrameRect.m_XMax, e.rect[1]);
    check("m_YMin", info.m_FrameRect.m_YMin, e.rect[2]);
    check("m_YMax", info.m_FrameRect.m_YMax, e.rect[3]);
    check("m_FrameRate", info.m_FrameRate, e.rate);
    check("m_FrameCount", info.m_FrameCount, e.frames);
    check("m_TagsCount", info.m_TagsCount, e.tags);
    const uint32_t CSWFInfo::*counts[] = { &CSWFInfo::m_ShapesCount, &CSWFInfo::m_MorphsCount, &CSWFInfo::m_FontsCount,
        &CSWFInfo::m_ActionsCount, &CSWFInfo::m_PicturesCount, &CSWFInfo::m_SoundsCount, &CSWFInfo::m_VideoCount };
    const uint32_t CSWFInfo::*sizes[] = { &CSWFInfo::m_ShapesSize, &CSWFInfo::m_MorphsSize, &CSWFInfo::m_FontsSize,
        &CSWFInfo::m_ActionsSize, &CSWFInfo::m_PicturesSize, &CSWFInfo::m_SoundsSize, &CSWFInfo::m_VideoSize };
    const char* names[] = { "shapes", "morphs", "fonts", "actions", "pictures", "sounds", "video" };
    uint32_t countSum = 0, sizeSum = 0;
    for (int c = 0; c < kNone; ++c) {
        check((std::string(names[c]) + " count").c_str(), info.*counts[c], e.counts[c]);
        check((std::string(names[c]) + " size").c_str(), info.*sizes[c], e.sizes[c]);
        countSum += e.counts[c];
        sizeSum += e.sizes[c];
    }
    check("m_OtherCount", info.m_OtherCount, e.tags - countSum);
    check("m_OtherSize", info.m_OtherSize, e.total - sizeSum);
    check("background colour present", info.m_pBackgroundColor != nullptr, e.colour.has_value());
    if (info.m_pBackgroundColor && e.colour) {
        const auto& c = info.m_pBackgroundColor->m_Color;
        check("background", c.red << 16 | c.green << 8 | c.blue,
            (*e.colour)[0] << 16 | (*e.colour)[1] << 8 | (*e.colour)[2]);
        check("background alpha", c.alpha, 255);
    }
    return diff.str();
}

} // namespace

TEST(CorpusSummary, EveryMovieAgreesWithAnIndependentReading)
{
    const std::filesystem::path corpus = CorpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "no corpus folder";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char ch) { return std::tolower(ch); });
        if (entry.is_regular_file() && ext == ".swf")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());

    const size_t logStart = SWFDebugger.LogSize();
    int valid = 0, failures = 0;
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        CSWFStream stream;
        Load(stream, bytes);
        CSWFInfo info;
        const int result = info.ReadSWF(&stream);
        const Expected expected = ReadIndependently(bytes);
        valid += expected.valid;
        const std::string diff = Compare(info, result, expected, bytes.size());
        if (!diff.empty() && ++failures <= 25)
            ADD_FAILURE() << std::filesystem::relative(path, corpus).string() << " disagrees:\n" << diff;
        // The log only grows for the life of the process; keep it from holding every movie's diagnostics.
        while (SWFDebugger.LogSize() > logStart)
            SWFDebugger.m_Log.pop_back();
    }
    EXPECT_EQ(failures, 0) << "of " << files.size() << " movies";
    RecordProperty("movies", static_cast<int>(files.size()));
    RecordProperty("valid", valid);
}
