#include "Compression.h"
#include "HeaderItems.h"
#include "SWFInfo.h"
#include "TagCodes.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

using namespace testsupport;

namespace {

// The seven categories of the summary, in order: shapes, morphs, fonts, actions, pictures, sounds, video.
constexpr uint32_t CSWFInfo::*kCounts[] = { &CSWFInfo::m_ShapesCount, &CSWFInfo::m_MorphsCount, &CSWFInfo::m_FontsCount,
    &CSWFInfo::m_ActionsCount, &CSWFInfo::m_PicturesCount, &CSWFInfo::m_SoundsCount, &CSWFInfo::m_VideoCount };
constexpr uint32_t CSWFInfo::*kSizes[] = { &CSWFInfo::m_ShapesSize, &CSWFInfo::m_MorphsSize, &CSWFInfo::m_FontsSize,
    &CSWFInfo::m_ActionsSize, &CSWFInfo::m_PicturesSize, &CSWFInfo::m_SoundsSize, &CSWFInfo::m_VideoSize };
enum Category { kShapes, kMorphs, kFonts, kActions, kPictures, kSounds, kVideo, kOther };

int Summarise(CSWFInfo& info, const Bytes& bytes)
{
    CSWFStream s;
    Load(s, bytes);
    return info.ReadSWF(&s);
}

// The body after the 8-byte header, deflated, behind a "CWS" header whose length field is `lengthField`.
Bytes Deflated(const Bytes& movie, char signature = 'C', int64_t lengthField = -1)
{
    uLongf size = compressBound(movie.size());
    Bytes packed(size);
    compress2(packed.data(), &size, movie.data() + 8, movie.size() - 8, 9);
    packed.resize(size);
    Bytes out = { static_cast<uint8_t>(signature), 'W', 'S', movie[3] };
    AppendU32(out, lengthField >= 0 ? static_cast<uint32_t>(lengthField) : static_cast<uint32_t>(movie.size()));
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

} // namespace

TEST(HeaderItems, BitsCountOfSignedAndUnsignedValues)
{
    const std::tuple<long, bool, int> cases[] = {
        { 0, true, 0 },
        { 1, true, 2 },
        { -1, true, 1 },
        { 20, true, 6 },
        { -16, true, 5 },
        { -17, true, 6 },
        { 0x7FFFFFFF, true, 32 },
        { -0x7FFFFFFF - 1, true, 32 },
        { 5, false, 3 },
        { -5, false, 32 },
        { 1, false, 1 },
        { 255, false, 8 },
        { 0, false, 0 },
    };
    for (auto [value, isSigned, bits] : cases)
        EXPECT_EQ(GetBitsCount(value, isSigned), bits) << value << (isSigned ? " signed" : " unsigned");
}

TEST(HeaderItems, RectanglesWriteTheNarrowestWidthAndReadBack)
{
    CRectItem stage;
    stage.m_XMax = 11000;
    stage.m_YMax = 8000;
    CSWFStream s;
    ASSERT_EQ(stage.WriteSWF(&s), 1);
    Bytes expected = StandardRectAndRate();
    expected.resize(9);
    EXPECT_EQ(Contents(s), expected); // width 15

    CRectItem zero;
    CSWFStream z;
    zero.WriteSWF(&z);
    EXPECT_EQ(Contents(z), (Bytes { 0x00 }));

    std::mt19937 random(7);
    for (int i = 0; i < 500; ++i) {
        CRectItem r;
        const int32_t limit = 1 << (random() % 30);
        std::uniform_int_distribution<int32_t> coordinate(-limit, limit - 1);
        r.m_XMin = coordinate(random);
        r.m_XMax = coordinate(random);
        r.m_YMin = coordinate(random);
        r.m_YMax = coordinate(random);
        CSWFStream out;
        ASSERT_EQ(r.WriteSWF(&out), 1);
        out.SetPosition(0);
        CRectItem back;
        ASSERT_EQ(back.ReadSWF(&out), 1);
        ASSERT_EQ(std::tie(back.m_XMin, back.m_XMax, back.m_YMin, back.m_YMax),
            std::tie(r.m_XMin, r.m_XMax, r.m_YMin, r.m_YMax));
        EXPECT_EQ(out.GetDataRest(), 0);
    }

    Bytes truncated = { 0x78, 0x00 };
    CSWFStream t;
    t.Assign(truncated.data(), truncated.size());
    CRectItem r;
    EXPECT_EQ(r.ReadSWF(&t), 0);
}

TEST(HeaderItems, ColoursCarryAlphaOnlyUnderStyleThree)
{
    for (auto [style, alpha] : { std::pair { 0, false }, { 1, false }, { 2, false }, { 3, true }, { 255, false } }) {
        CColorItem c(nullptr, static_cast<unsigned char>(style));
        EXPECT_EQ(c.m_HasAlpha, alpha) << style;
        c.SetRGBA({ 1, 2, 3, 4 });
        CSWFStream s;
        c.WriteSWF(&s);
        EXPECT_EQ(s.GetSize(), alpha ? 4u : 3u);
    }
    CColorItem c(nullptr, 3);
    c.SetItemStyle(7); // other styles leave the flag
    EXPECT_TRUE(c.m_HasAlpha);
    c.SetItemStyle(2);
    EXPECT_FALSE(c.m_HasAlpha);
    c.SetItemStyle(3);
    EXPECT_TRUE(c.m_HasAlpha);

    Bytes data = { 0x33, 0x66, 0x99, 0x80 };
    CSWFStream s;
    s.Assign(data.data(), data.size());
    ASSERT_EQ(c.ReadSWF(&s), 1);
    EXPECT_EQ(c.GetColor(), 0x996633);
    EXPECT_EQ(c.m_Color.alpha, 0x80);
    c.SetColor(0x7F123456);
    EXPECT_EQ(c.GetRGBA().red, 0x56);
    EXPECT_EQ(c.GetRGBA().blue, 0x12);
    EXPECT_EQ(c.m_Color.alpha, 0x80); // alpha untouched
}

namespace {

struct HeaderCase {
    const char* name;
    Bytes bytes;
    int result;
    bool compressed;
    std::vector<long> codes;
    std::string message; // expected in the first record when not empty
};

} // namespace

TEST(HeaderItems, HeaderReadingAcceptsOnlyWellFormedMovies)
{
    const Bytes eightBytes = { 'F', 'W', 'S', 6, 8, 0, 0, 0 };
    Bytes wrongLength = eightBytes;
    wrongLength[4] = 9;
    const Bytes movie = Movie(Concat({ Tag(kTagDoAction, Filled(200)), Tag(kTagEnd) }));
    Bytes garbage = { 'C', 'W', 'S', 6, 100, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    Bytes zlibBehindF = Deflated(movie, 'F', 1234);
    Bytes zlibBehindFRightLength = Deflated(movie, 'F', static_cast<int64_t>(movie.size()));
    Bytes oldCompressed = Deflated(movie);
    oldCompressed[3] = 5;

    const HeaderCase cases[] = {
        { "bad compression flag", { 0x47, 'W', 'S', 6 }, 0, true /* as initialised */,
            { kSWFErr_InvalidCompressionFlag }, " 71" },
        { "bad signature", { 0x46, 0x57, 0x58, 6 }, 0, false, { kSWFErr_InvalidHeader }, "87 88" },
        { "signature cut short", { 0x46, 0x57 }, 0, false, { kSWFErr_InvalidHeader }, "87 0" },
        { "nothing after the header", eightBytes, 0, false, { kSWFErr_FileCorrupted }, "" },
        { "empty remainder counts as inflated", wrongLength, 0, true,
            { kSWFErr_CompressedWithoutFlag, kSWFErr_FileSizeMismatch, kSWFErr_FileCorrupted }, "" },
        { "body does not inflate", garbage, 0, false, { kSWFErr_CantDecompress }, "" },
        { "zlib body behind F, length wrong", zlibBehindF, 1, true,
            { kSWFErr_CompressedWithoutFlag, kSWFErr_FileSizeMismatch }, "" },
        { "zlib body behind F, length right", zlibBehindFRightLength, 1, true, { kSWFErr_CompressedWithoutFlag }, "" },
        { "compressed version 5", oldCompressed, 1, true, { kSWFErr_InvalidVersion }, "" },
        { "plain movie", movie, 1, false, {}, "" },
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        CSWFStream s;
        Load(s, c.bytes);
        CHeaderItem header;
        LogMark mark;
        EXPECT_EQ(header.ReadSWF(&s), c.result);
        EXPECT_EQ(header.m_Compressed, c.compressed);
        ASSERT_EQ(mark.Count(), c.codes.size());
        for (long code : c.codes)
            EXPECT_TRUE(mark.Has(code)) << code;
        if (!c.message.empty()) {
            EXPECT_NE(mark.Lines()[0].find("with message: \"" + c.message + "\""), std::string::npos)
                << mark.Lines()[0];
        }
    }
}

TEST(HeaderItems, WrittenMoviesReadBackInEveryCompression)
{
    for (SWFCompression method : { kCompressionNone, kCompressionZlib, kCompressionLzma }) {
        SCOPED_TRACE(int(method));
        CHeaderItem header;
        header.m_Compressed = method != kCompressionNone;
        header.m_CompressionMethod = method;
        header.m_Version = 10;
        header.m_FrameRate = 29.5f;
        header.m_pFrameRect->m_XMax = 6400;
        header.m_pFrameRect->m_YMax = 4800;
        CSWFStream s;
        ASSERT_EQ(header.WriteSWF(&s), 1);
        s.WriteU16(3);
        const Bytes tags = Concat({ Tag(kTagDoAction, Filled(500, 0)), Tag(kTagShowFrame), Tag(kTagEnd) });
        s.WriteBuf(tags.data(), tags.size());
        const uint32_t plainSize = s.GetSize();
        ASSERT_EQ(header.MakeCompleteSWF(&s), 1);
        const char signature[] = { 'F', 'C', 'Z' };
        EXPECT_EQ(s.GetBuffer()[0], signature[method]);
        if (method != kCompressionNone) {
            EXPECT_LT(s.GetSize(), plainSize);
        }

        CSWFInfo info;
        ASSERT_EQ(info.ReadSWF(&s), 1);
        EXPECT_EQ(info.m_Compressed, method != kCompressionNone);
        EXPECT_EQ(info.m_CompressionMethod, method);
        EXPECT_EQ(info.m_FileLength, plainSize);
        EXPECT_EQ(info.m_TotalSize, plainSize);
        EXPECT_EQ(info.m_OriginalSize, s.GetSize());
        EXPECT_EQ(info.m_Version, 10);
        EXPECT_EQ(info.m_FrameRate, 29.5f);
        EXPECT_EQ(info.m_FrameRect.m_XMax, 6400);
        EXPECT_EQ(info.m_FrameCount, 3);
        EXPECT_EQ(info.m_ActionsSize, 500u);
    }
}

TEST(Summary, CategoriesCountTagsAndBodyBytes)
{
    const std::pair<uint16_t, Category> topLevel[] = {
        { 2, kShapes },
        { 22, kShapes },
        { 32, kShapes },
        { 83, kShapes },
        { 46, kMorphs },
        { 84, kMorphs },
        { 73, kFonts },
        { 75, kFonts },
        { 88, kFonts },
        { 91, kFonts },
        { 82, kActions },
        { 90, kPictures },
        { 89, kSounds },
        { 10, kFonts },
        { 13, kFonts },
        { 48, kFonts },
        { 62, kFonts },
        { 12, kActions },
        { 59, kActions },
        { 6, kPictures },
        { 8, kPictures },
        { 20, kPictures },
        { 21, kPictures },
        { 35, kPictures },
        { 36, kPictures },
        { 14, kSounds },
        { 15, kSounds },
        { 17, kSounds },
        { 18, kSounds },
        { 19, kSounds },
        { 45, kSounds },
        { 60, kVideo },
        { 61, kVideo },
        { 1, kOther },
        { 16, kOther },
        { 26, kOther },
        { 63, kOther },
        { 69, kOther },
        { 70, kOther },
        { 72, kOther },
        { 1023, kOther },
    };
    for (auto [code, category] : topLevel) {
        SCOPED_TRACE(code);
        CSWFInfo info;
        const Bytes movie = Movie(Concat({ Tag(code, Filled(100)), Tag(kTagEnd) }));
        ASSERT_EQ(Summarise(info, movie), 1);
        EXPECT_EQ(info.m_TagsCount, 1u);
        for (int i = 0; i < kOther; ++i) {
            EXPECT_EQ(info.*kCounts[i], i == category ? 1u : 0u) << i;
            EXPECT_EQ(info.*kSizes[i], i == category ? 100u : 0u) << i;
        }
        EXPECT_EQ(info.m_OtherCount, category == kOther ? 1u : 0u);
        // The long header of a 100-byte body is 6 bytes, and it belongs to Other.
        EXPECT_EQ(info.m_OtherSize, category == kOther ? movie.size() : movie.size() - 100);
        EXPECT_EQ(info.m_TotalSize, movie.size());
    }
}

TEST(Summary, SpritesAreLookedIntoOneLevelForActionsAndSounds)
{
    Bytes spriteBody = { 1, 0, 2, 0 }; // character ID and frame count
    for (uint16_t code : { 12, 12, 15, 18, 19, 45, 2, 39, 1 })
        spriteBody = Concat({ spriteBody, Tag(code, Filled(10)) });
    spriteBody = Concat({ spriteBody, Tag(kTagEnd), Tag(kTagDoAction, Filled(10)) }); // after the inner End
    CSWFInfo info;
    ASSERT_EQ(Summarise(info, Movie(Concat({ Tag(kTagDefineSprite, spriteBody), Tag(kTagEnd) }))), 1);
    EXPECT_EQ(info.m_TagsCount, 1u);
    EXPECT_EQ(info.m_ActionsCount, 2u);
    EXPECT_EQ(info.m_ActionsSize, 20u);
    EXPECT_EQ(info.m_SoundsCount, 4u);
    EXPECT_EQ(info.m_SoundsSize, 40u);
    EXPECT_EQ(info.m_ShapesCount, 0u);
    EXPECT_EQ(info.m_OtherCount, static_cast<uint32_t>(1 - 6)); // wraps, as unsigned arithmetic does

    // A sprite whose inner tags run past its body: the inner walk stops, the outer one goes on.
    const Bytes broken = Concat({ Bytes { 1, 0, 1, 0 }, Tag(kTagDoAction, Filled(4)), Bytes { 0x3F, 0x03, 50, 0 } });
    const Bytes tiny = { 1, 0 }; // shorter than its own header
    ASSERT_EQ(Summarise(info,
                  Movie(Concat({ Tag(kTagDefineSprite, broken), Tag(kTagDefineSprite, tiny),
                      Tag(kTagDefineShape, Filled(7)), Tag(kTagEnd) }))),
        1);
    EXPECT_EQ(info.m_ActionsCount, 1u);
    EXPECT_EQ(info.m_ShapesSize, 7u);
    EXPECT_EQ(info.m_TagsCount, 3u);
}

TEST(Summary, MinimalMovieAndTheBackgroundColour)
{
    const Bytes minimal
        = Movie(Concat({ Tag(kTagSetBackgroundColor, { 0x33, 0x66, 0x99 }), Tag(kTagShowFrame), Tag(kTagEnd) }));
    CSWFInfo info;
    ASSERT_EQ(Summarise(info, minimal), 1);
    EXPECT_FALSE(info.m_Compressed);
    EXPECT_EQ(info.m_Version, 6);
    EXPECT_EQ(info.m_FrameRect.m_XMax, 11000);
    EXPECT_EQ(info.m_FrameRect.m_YMax, 8000);
    EXPECT_EQ(info.m_FrameRate, 12.0f);
    EXPECT_EQ(info.m_FrameCount, 1);
    EXPECT_EQ(info.m_TagsCount, 2u);
    EXPECT_EQ(info.m_OtherCount, 2u);
    EXPECT_EQ(info.m_OtherSize, info.m_TotalSize);
    ASSERT_NE(info.m_pBackgroundColor, nullptr);
    EXPECT_EQ(info.m_pBackgroundColor->GetColor(), 0x996633);
    EXPECT_EQ(info.m_pBackgroundColor->m_Color.alpha, 255);
    EXPECT_FALSE(info.m_pBackgroundColor->m_HasAlpha);

    // A later movie without a colour keeps this one; a short colour body reads its missing bytes as 0.
    ASSERT_EQ(Summarise(info, Movie(Tag(kTagEnd))), 1);
    ASSERT_NE(info.m_pBackgroundColor, nullptr);
    EXPECT_EQ(info.m_pBackgroundColor->GetColor(), 0x996633);
    ASSERT_EQ(Summarise(info, Movie(Tag(kTagSetBackgroundColor, { 0x10 }))), 1);
    EXPECT_EQ(info.m_pBackgroundColor->GetColor(), 0x10);

    // An invalid header drops the colour and empties the counters but keeps the other header fields.
    ASSERT_EQ(Summarise(info, { 'X', 'W', 'S' }), 0);
    EXPECT_EQ(info.m_pBackgroundColor, nullptr);
    EXPECT_EQ(info.m_TotalSize, 0u);
    EXPECT_EQ(info.m_TagsCount, 0u);
    EXPECT_EQ(info.m_OtherSize, 0u);
    EXPECT_EQ(info.m_OriginalSize, 3u);
    EXPECT_EQ(info.m_FrameRect.m_XMax, 11000);

    CSWFStream empty;
    CSWFInfo fresh(&empty);
    EXPECT_EQ(fresh.m_OriginalSize, 0u);
    EXPECT_EQ(fresh.m_TotalSize, 0u);
    EXPECT_EQ(fresh.m_pBackgroundColor, nullptr);
    EXPECT_EQ(fresh.ReadSWF(nullptr), 0);
}

TEST(Summary, TheWalkStopsAtEndOrAtTheFirstBrokenTag)
{
    CSWFInfo info;
    // Tags after End are ignored.
    ASSERT_EQ(Summarise(info, Movie(Concat({ Tag(kTagEnd), Tag(kTagDefineShape, Filled(9)) }))), 1);
    EXPECT_EQ(info.m_TagsCount, 0u);
    EXPECT_EQ(info.m_ShapesCount, 0u);

    // A tag that runs past the end stops the walk; what came before is kept and the rest is Other.
    const Bytes truncated = Movie(Concat({ Tag(kTagDoAction, Filled(5)), Bytes { 0x85, 0x00, 1, 2 } }));
    LogMark mark;
    ASSERT_EQ(Summarise(info, truncated), 1);
    EXPECT_TRUE(mark.Has(kSWFErr_DataBeyondSize));
    EXPECT_EQ(info.m_TagsCount, 1u);
    EXPECT_EQ(info.m_ActionsSize, 5u);
    EXPECT_EQ(info.m_OtherSize, truncated.size() - 5);

    // No End tag at all, and a frame count cut to one byte.
    ASSERT_EQ(Summarise(info, Movie(Tag(kTagDefineShape, Filled(3)))), 1);
    EXPECT_EQ(info.m_ShapesCount, 1u);
    Bytes header = Movie({});
    header.resize(header.size() - 1);
    header[4] = static_cast<uint8_t>(header.size());
    ASSERT_EQ(Summarise(info, header), 1);
    EXPECT_EQ(info.m_FrameCount, 0);
    EXPECT_EQ(info.m_TagsCount, 0u);
}

TEST(Summary, TheCallersStreamIsNeitherMovedNorModified)
{
    const Bytes plain = Movie(Concat({ Tag(kTagDefineShape, Filled(300, 1)), Tag(kTagEnd) }));
    Bytes compressed = Deflated(plain);
    const Bytes original = compressed;

    CSWFStream window; // a view of the caller's bytes: decompression must not write into them
    window.Assign(compressed.data(), compressed.size());
    window.SetPosition(5);
    window.GetU(3);
    CSWFInfo info;
    ASSERT_EQ(info.ReadSWF(&window), 1);
    EXPECT_EQ(compressed, original);
    EXPECT_EQ(window.GetPosition(), 5u);
    EXPECT_EQ(window.GetBit(), 5);
    EXPECT_TRUE(info.m_Compressed);
    EXPECT_EQ(info.m_OriginalSize, compressed.size());
    EXPECT_EQ(info.m_TotalSize, plain.size());
    EXPECT_EQ(info.m_ShapesSize, 300u);

    CSWFStream owned;
    Load(owned, compressed);
    owned.SetPosition(9);
    ASSERT_EQ(info.ReadSWF(&owned), 1);
    EXPECT_EQ(Contents(owned), original);
    EXPECT_EQ(owned.GetPosition(), 9u);
}
