// Every real movie of the corpus opens, saves, reopens to the same tree, saves again to the same bytes, and
// copies to the same bytes. Also measures fidelity: how many saved movies equal the original byte for byte after
// decompression, and for the others, which top-level tag is the first to differ.
#include "HeaderItems.h"
#include "Movie.h"
#include "ObjectDump.h"
#include "SWFDebugger.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace {

using testsupport::Bytes;
namespace fs = std::filesystem;

constexpr uint32_t kLengthFieldOffset = 4;

std::vector<fs::path> CorpusMovies(const fs::path& dir)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir / "movies", ec); !ec && it != fs::end(it); it.increment(ec)) {
        if (it->is_regular_file() && it->path().extension() == ".swf")
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

Bytes WriteMovie(CSWF& movie)
{
    CSWFStream out;
    if (!movie.WriteSWF(&out))
        return {};
    return testsupport::Contents(out);
}

// A save to compare with another: LZMA compression is slow on the large movies, so their bodies are compared
// uncompressed (the compressor is deterministic: equal bodies compress to equal bytes).
Bytes ComparableSave(CSWF& movie)
{
    CHeaderItem& header = *movie.GetHeader();
    if (header.m_CompressionMethod != kCompressionLzma || !header.m_Compressed)
        return WriteMovie(movie);
    header.m_Compressed = false;
    Bytes plain = WriteMovie(movie);
    header.m_Compressed = true;
    return plain;
}

// The movie file's bytes with the body inflated, as the header reader leaves them.
Bytes Decompressed(const Bytes& file)
{
    CSWFStream stream;
    testsupport::Load(stream, file);
    CHeaderItem header;
    header.ReadSWF(&stream);
    return testsupport::Contents(stream);
}

// Code of the first top-level tag whose record differs, -1 for a difference in the header or frame count, or
// -2 when all tags agree and only what follows the End tag differs.
int FirstDifferingTag(Bytes a, Bytes b)
{
    // Both are plain now: the signature and the length field must say so for the header reader.
    for (Bytes* bytes : { &a, &b }) {
        (*bytes)[0] = kSignatureUncompressed;
        const auto size = static_cast<uint32_t>(bytes->size());
        for (uint32_t i = 0; i < 4; ++i)
            (*bytes)[kLengthFieldOffset + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    CSWFStream sa, sb;
    testsupport::Load(sa, a);
    testsupport::Load(sb, b);
    CHeaderItem ha, hb;
    if (!ha.ReadSWF(&sa) || !hb.ReadSWF(&sb))
        return -1;
    const uint32_t listA = sa.GetPosition(), listB = sb.GetPosition();
    if (listA + 2 > a.size() || listB + 2 > b.size())
        return -1;
    if (!std::equal(
            a.begin() + kSWFHeaderSize, a.begin() + listA + 2, b.begin() + kSWFHeaderSize, b.begin() + listB + 2))
        return -1;
    uint32_t pa = listA + 2, pb = listB + 2;
    auto next = [](const Bytes& bytes, uint32_t& at, int& code) {
        if (at + 2 > bytes.size())
            return false;
        const uint32_t header = bytes[at] | (bytes[at + 1] << 8);
        uint64_t length = header & 0x3F;
        uint32_t headerSize = 2;
        if (length == 0x3F) {
            if (at + 6 > bytes.size())
                return false;
            length = bytes[at + 2] | (bytes[at + 3] << 8) | (bytes[at + 4] << 16)
                | (static_cast<uint64_t>(bytes[at + 5]) << 24);
            headerSize = 6;
        }
        code = static_cast<int>(header >> 6);
        at = static_cast<uint32_t>(std::min<uint64_t>(bytes.size(), at + headerSize + length));
        return true;
    };
    for (;;) {
        const uint32_t startA = pa, startB = pb;
        int codeA = -1, codeB = -1;
        const bool moreA = next(a, pa, codeA), moreB = next(b, pb, codeB);
        if (!moreA || !moreB)
            return moreA ? codeA : moreB ? codeB : -2;
        if (codeA != codeB || pa - startA != pb - startB
            || !std::equal(a.begin() + startA, a.begin() + pa, b.begin() + startB))
            return codeA;
        if (codeA == 0)
            return -2;
    }
}

// The first line where two dumps part, to name the object that changed without printing whole trees.
std::string FirstDifferentLine(const std::string& a, const std::string& b)
{
    std::istringstream sa(a), sb(b);
    std::string la, lb;
    while (true) {
        const bool moreA = static_cast<bool>(std::getline(sa, la));
        const bool moreB = static_cast<bool>(std::getline(sb, lb));
        if (!moreA && !moreB)
            return {};
        if (la != lb || moreA != moreB)
            return "\n  first: " + la + "\n  then:  " + lb;
    }
}

// Codes that some version of the format defines: a movie's tags of these codes all have classes.
bool DefinedByTheFormat(int code)
{
    return code != kTagEnd && TagClassForCode(static_cast<uint16_t>(code), false) != kClassID_CUnKnownTag;
}

// Counts the tags read without a class, by code: at the top level, and inside sprites (where the format allows
// only the display-list, action and sound tags).
void CountUnknownTags(const CTagsItem* tags, bool inSprite, std::map<int, int>& top, std::map<int, int>& sprite)
{
    for (int i = 0; tags && i < tags->GetItemCount(); ++i) {
        const auto* tag = dynamic_cast<const CTag*>(tags->GetItem(i));
        if (!tag)
            continue;
        if (tag->GetClassID() == kClassID_CUnKnownTag)
            ++(inSprite ? sprite : top)[tag->m_TagCode];
        if (const auto* defineSprite = dynamic_cast<const CDefineSpriteTag*>(tag))
            CountUnknownTags(defineSprite->m_pTags.get(), true, top, sprite);
    }
}

} // namespace

TEST(CorpusRoundTrip, EveryMovieSavesReopensAndCopiesToTheSameBytes)
{
    const fs::path dir = testsupport::CorpusDir();
    if (dir.empty())
        GTEST_SKIP() << "corpus folder absent";
    std::vector<fs::path> files = CorpusMovies(dir);
    // REELFINCH_CORPUS_FILTER keeps only the paths that contain it (a quicker run under the sanitizers).
    if (const char* filter = std::getenv("REELFINCH_CORPUS_FILTER"); filter && *filter)
        std::erase_if(files, [&](const fs::path& p) { return p.string().find(filter) == std::string::npos; });
    ASSERT_FALSE(files.empty());

    int opened = 0, identical = 0;
    std::map<int, int> firstDifference, unknownTop, unknownSprite;
    std::ostringstream differing;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.string());
        const std::string name = path.lexically_relative(dir).string();
        Bytes original;
        {
            std::ifstream in(path, std::ios::binary);
            original.assign(std::istreambuf_iterator<char>(in), {});
        }
        auto first = std::make_unique<CSWF>();
        CSWFStream input;
        testsupport::Load(input, original);
        const bool valid = first->ReadSWF(&input) == 1;
        CountUnknownTags(first->GetTags(), false, unknownTop, unknownSprite);
        // Taken before saving: writing compresses the data records that were read compressed.
        const std::string dump = DumpText(first.get());
        const Bytes saved = WriteMovie(*first);
        SWFDebugger.ClearLog();
        if (!valid)
            continue;
        ++opened;
        ASSERT_FALSE(saved.empty()) << name << ": the opened movie did not save";
        const Bytes reference = ComparableSave(*first);

        CSWF second;
        CSWFStream reread;
        testsupport::Load(reread, saved);
        ASSERT_EQ(second.ReadSWF(&reread), 1) << name << ": the saved movie does not reopen";
        second.GetHeader()->m_FileLength = first->GetHeader()->m_FileLength;
        const std::string reopened = DumpText(&second);
        EXPECT_TRUE(reopened == dump) << name << ": the reopened tree differs" << FirstDifferentLine(dump, reopened);
        EXPECT_TRUE(ComparableSave(second) == reference) << name << ": saving the reopened movie gives other bytes";

        CSWFObject* copy = nullptr;
        ASSERT_EQ(first->MakeCopy(nullptr, kStyleDefault, copy), 1) << name;
        std::unique_ptr<CSWF> copied(dynamic_cast<CSWF*>(copy));
        first.reset();
        ASSERT_TRUE(copied) << name;
        EXPECT_TRUE(ComparableSave(*copied) == reference) << name << ": the copy saves to other bytes";
        SWFDebugger.ClearLog();

        Bytes plainOriginal = Decompressed(original);
        Bytes plainSaved = Decompressed(saved);
        // The signature and the length field are rewritten on saving (compression as read, the real size).
        for (Bytes* b : { &plainOriginal, &plainSaved }) {
            if (b->size() < kSWFHeaderSize)
                b->resize(kSWFHeaderSize);
            (*b)[0] = kSignatureUncompressed;
            std::fill(b->begin() + kLengthFieldOffset, b->begin() + kSWFHeaderSize, 0);
        }
        SWFDebugger.ClearLog();
        if (plainOriginal == plainSaved) {
            ++identical;
        } else {
            const int code = FirstDifferingTag(plainOriginal, plainSaved);
            ++firstDifference[code];
            differing << name << "\t" << code << "\n";
        }
    }
    std::printf("corpus: %zu files, %d opened, %d identical after decompression\n", files.size(), opened, identical);
    for (const auto& [code, count] : firstDifference)
        std::printf("  first difference in tag %d: %d movies\n", code, count);
    // Every tag a version of the format defines is read by its class; inside sprites only the tags a sprite may
    // not hold stay without one.
    for (const auto& [code, count] : unknownTop) {
        std::printf("  unknown tag %d: %d at the top level\n", code, count);
        EXPECT_FALSE(DefinedByTheFormat(code)) << code;
    }
    for (const auto& [code, count] : unknownSprite)
        std::printf("  unknown tag %d: %d inside sprites\n", code, count);
    // At least 99.5 % of the movies that open come back byte for byte (over the whole corpus: a chosen few may
    // be all exceptions).
    const char* filter = std::getenv("REELFINCH_CORPUS_FILTER");
    if (!filter || !*filter) {
        EXPECT_GE(identical * 1000, opened * 995);
    }
    if (const char* report = std::getenv("REELFINCH_FIDELITY_REPORT"))
        std::ofstream(report) << differing.str();
}
