// Tag classes: each case reads a body, checks the fields, writes the body back, and copies the tag (the copy
// writes the same bytes and describes itself the same way).
#include "Movie.h"
#include "ObjectDump.h"
#include "TagCodes.h"
#include "Tags.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testsupport;

namespace {

std::unique_ptr<CTag> NewTag(uint16_t code, CSWFObject* owner = nullptr)
{
    CSWFObject* object = nullptr;
    if (!NewInstance(TagClassForCode(code, false), object, owner, kStyleNone))
        return nullptr;
    auto tag = std::unique_ptr<CTag>(dynamic_cast<CTag*>(object));
    tag->m_TagCode = code;
    return tag;
}

// Reads `body` into a new tag of that code; `ok` is the read's result.
std::unique_ptr<CTag> ReadTag(uint16_t code, const Bytes& body, int* ok = nullptr, CSWFObject* owner = nullptr)
{
    auto tag = NewTag(code, owner);
    CSWFStream stream;
    stream.Assign(const_cast<uint8_t*>(body.data()), body.size());
    const int result = tag->ReadSWF(&stream);
    if (ok)
        *ok = result;
    return tag;
}

Bytes WriteTag(CTag& tag)
{
    CSWFStream out;
    EXPECT_EQ(tag.WriteSWF(&out), 1);
    return Contents(out);
}

template <class T> T& As(const std::unique_ptr<CTag>& tag)
{
    auto* typed = dynamic_cast<T*>(tag.get());
    EXPECT_NE(typed, nullptr);
    return *typed;
}

// A DefineFont2 with one glyph and a layout that ends after the advances.
const Bytes kFontWithoutBounds = Concat({ { 0x01, 0x00, 0x80, 0x00, 0x00, 0x01, 0x00 }, { 0x04, 0x00, 0x06, 0x00 },
    { 0x00, 0x00 }, { 0x41 }, { 0x10, 0x00, 0x02, 0x00, 0x01, 0x00 }, { 0x64, 0x00 } });

struct TagCase {
    const char* name;
    uint16_t code;
    Bytes body;
    int readResult;
    std::function<void(const std::unique_ptr<CTag>&)> check;
    // What writing gives when it is not the body itself (a malformed body written back repaired).
    Bytes written = {};
};

const std::vector<TagCase>& Cases()
{
    static const std::vector<TagCase> cases = {
        { "PlaceObject2 places character 5 at depth 1", kTagPlaceObject2, { 0x06, 0x01, 0x00, 0x05, 0x00, 0x00 }, 1,
            [](const auto& tag) {
                auto& p = As<CPlaceObject2Tag>(tag);
                EXPECT_EQ(p.m_Depth, 1);
                EXPECT_EQ(p.GetID(), 5);
                ASSERT_TRUE(p.m_pMatrix);
                EXPECT_FALSE(p.m_pMatrix->GetHasScale() || p.m_pMatrix->GetHasRotate());
                EXPECT_FALSE(p.m_pColorTransform || p.m_pName || p.m_pClipActions);
            } },
        { "PlaceObject2 without its matrix byte keeps depth, ID and the body", kTagPlaceObject2,
            { 0x06, 0x01, 0x00, 0x05, 0x00 }, 0,
            [](const auto& tag) {
                auto& p = As<CPlaceObject2Tag>(tag);
                EXPECT_EQ(p.m_Depth, 1);
                EXPECT_EQ(p.GetID(), 5);
                EXPECT_TRUE(p.m_KeptWhole);
            } },
        { "PlaceObject2 that only moves has no parts", kTagPlaceObject2, { 0x01, 0x03, 0x00 }, 1,
            [](const auto& tag) {
                auto& p = As<CPlaceObject2Tag>(tag);
                EXPECT_TRUE(p.m_Move);
                EXPECT_EQ(p.m_Depth, 3);
                EXPECT_EQ(p.GetID(), 0);
                EXPECT_FALSE(p.m_pMatrix || p.m_pColorTransform || p.m_pName || p.m_pClipActions);
            } },
        { "PlaceObject2 with name, ratio and clip depth", kTagPlaceObject2,
            { 0x76, 0x02, 0x00, 0x07, 0x00, 0x00, 0x10, 0x00, 'a', 'b', 0x00, 0x09, 0x00 }, 1,
            [](const auto& tag) {
                auto& p = As<CPlaceObject2Tag>(tag);
                EXPECT_EQ(p.m_Ratio, 16);
                ASSERT_TRUE(p.m_pName);
                EXPECT_EQ(p.m_pName->GetStr(), "ab");
                EXPECT_EQ(p.m_ClipDepth, 9);
            } },
        { "PlaceObject without bytes after the matrix has no colour transform", kTagPlaceObject,
            { 0x02, 0x00, 0x01, 0x00, 0x00 }, 1,
            [](const auto& tag) { EXPECT_FALSE(As<CPlaceObjectTag>(tag).m_pColorTransform); } },
        { "PlaceObject keeps an empty colour transform as bytes", kTagPlaceObject,
            { 0x02, 0x00, 0x01, 0x00, 0x00, 0x00 }, 1,
            [](const auto& tag) {
                auto& p = As<CPlaceObjectTag>(tag);
                EXPECT_FALSE(p.m_pColorTransform);
                EXPECT_EQ(p.m_Rest, Bytes { 0x00 });
            } },
        { "PlaceObject with an add-terms transform", kTagPlaceObject,
            { 0x02, 0x00, 0x01, 0x00, 0x00, 0x98, 0xA5, 0x1E }, 1,
            [](const auto& tag) {
                auto& p = As<CPlaceObjectTag>(tag);
                ASSERT_TRUE(p.m_pColorTransform);
                EXPECT_TRUE(p.m_pColorTransform->GetHasAddTerms());
            } },
        { "RemoveObject2 keeps bytes after its depth", kTagRemoveObject2, { 0x04, 0x00, 0xEE, 0xFF }, 1,
            [](const auto& tag) {
                EXPECT_EQ(As<CReMoveObject2Tag>(tag).m_Depth, 4);
                EXPECT_EQ(tag->GetClassID(), kClassID_CReMoveObject2Tag);
                EXPECT_EQ(As<CReMoveObject2Tag>(tag).m_Rest, (Bytes { 0xEE, 0xFF }));
            } },
        { "FreeCharacter lists IDs and keeps an odd last byte", kTagFreeCharacter, { 0x01, 0x00, 0x02, 0x00, 0x03 }, 1,
            [](const auto& tag) {
                EXPECT_EQ(As<CFreeCharacterTag>(tag).m_IDs, (std::vector<uint16_t> { 1, 2 }));
                EXPECT_EQ(As<CFreeCharacterTag>(tag).m_Rest, Bytes { 0x03 });
            } },
        { "DefineButton2 with ActionOffset 0 has no condition actions", kTagDefineButton2,
            { 0x01, 0x00, 0x00, 0x00, 0x00, 0x00 }, 1,
            [](const auto& tag) {
                auto& b = As<CDefineButton2Tag>(tag);
                EXPECT_TRUE(b.m_pActions->IsEmpty());
                EXPECT_EQ(b.m_pCharacters->GetItemCount(), 0);
            } },
        { "DefineButton2 with one record and a condition action", kTagDefineButton2,
            Concat({ { 0x01, 0x00, 0x01, 0x0A, 0x00 }, { 0x01, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00 }, { 0x00 },
                { 0x00, 0x00, 0x08, 0x00, 0x07, 0x00 } }),
            1,
            [](const auto& tag) {
                auto& b = As<CDefineButton2Tag>(tag);
                EXPECT_TRUE(b.m_TrackAsMenu);
                EXPECT_EQ(b.m_pCharacters->GetItemCount(), 1);
                EXPECT_EQ(b.m_pActions->GetItemCount(), 1);
            } },
        { "DefineBitsJPEG3 with an alpha offset past the body", kTagDefineBitsJPEG3,
            { 0x01, 0x00, 0x10, 0x00, 0x00, 0x00, 0xFF, 0xD8 }, 1,
            [](const auto& tag) {
                auto& j = As<CDefineBitsJPEG3Tag>(tag);
                EXPECT_EQ(j.m_pJPEGData->GetData()->GetSize(), 2u);
                EXPECT_EQ(j.m_pAlphaData->m_pData->GetSize(), 0u);
            },
            { 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0xFF, 0xD8 } },
        { "DefineBitsJPEG3 keeps its alpha bytes as read", kTagDefineBitsJPEG3,
            { 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0xFF, 0xD8, 0x78, 0x9C, 0x01, 0x02 }, 1,
            [](const auto& tag) { EXPECT_EQ(As<CDefineBitsJPEG3Tag>(tag).m_pJPEGData->GetData()->GetSize(), 2u); } },
        { "EnableDebugger2 is kept byte for byte", kTagEnableDebugger2, { 0x00, 0x00, 'x', 'y', 0x00 }, 1,
            [](const auto& tag) { EXPECT_EQ(As<CEnableDebugger2Tag>(tag).m_pData->GetData()->GetSize(), 5u); } },
        { "a code without a class keeps its body", 16, { 0x01, 0x02, 0x03 }, 1,
            [](const auto& tag) { EXPECT_EQ(tag->GetClassID(), kClassID_CUnKnownTag); } },
        { "DefineFont finds two glyphs through its offsets", kTagDefineFont,
            { 0x03, 0x00, 0x04, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00 }, 1,
            [](const auto& tag) { EXPECT_EQ(As<CDefineFontTag>(tag).m_pGlyphs->GetItemCount(), 2); } },
        { "DefineFont whose offset table is larger than the body", kTagDefineFont, { 0x03, 0x00, 0x40, 0x00, 0x00 }, 0,
            [](const auto& tag) { EXPECT_TRUE(As<CDefineFontTag>(tag).m_KeptWhole); } },
        { "DefineFont2 without glyphs or code table offset", kTagDefineFont2,
            { 0x01, 0x00, 0x00, 0x00, 0x01, 'A', 0x00, 0x00 }, 1,
            [](const auto& tag) {
                auto& f = As<CDefineFont2Tag>(tag);
                EXPECT_EQ(f.m_pFontName->GetStr(), "A");
                EXPECT_FALSE(f.m_HasCodeTableOffset);
            } },
        { "DefineFont2 with one glyph, layout, and no bounds table", kTagDefineFont2, kFontWithoutBounds, 1,
            [](const auto& tag) {
                auto& f = As<CDefineFont2Tag>(tag);
                EXPECT_EQ(f.m_pGlyphs->GetItemCount(), 1);
                EXPECT_EQ(f.m_pCodeTable->m_Codes, std::vector<uint16_t> { 0x41 });
                EXPECT_EQ(f.m_Ascent, 16);
                EXPECT_FALSE(f.m_HasBoundsTable);
            } },
        { "DefineFont2 whose glyph count exceeds the body", kTagDefineFont2,
            { 0x01, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00 }, 0,
            [](const auto& tag) { EXPECT_TRUE(As<CDefineFont2Tag>(tag).m_KeptWhole); } },
        { "DefineFontInfo2 sizes its code table to the body", kTagDefineFontInfo2,
            { 0x01, 0x00, 0x01, 'F', 0x01, 0x02, 0x41, 0x00, 0x42, 0x00 }, 1,
            [](const auto& tag) {
                auto& f = As<CFontInfoTag>(tag);
                EXPECT_TRUE(f.m_WideCodes);
                EXPECT_EQ(f.m_LanguageCode, 2);
                EXPECT_EQ(f.m_pCodeTable->m_Codes, (std::vector<uint16_t> { 0x41, 0x42 }));
            } },
        { "DefineEditText keeps an empty initial text", kTagDefineEditText,
            { 0x01, 0x00, 0x00, 0x80, 0x00, 'v', 0x00, 0x00 }, 1,
            [](const auto& tag) {
                auto& e = As<CDefineEditTextTag>(tag);
                ASSERT_TRUE(e.m_pInitialText);
                EXPECT_EQ(e.m_pInitialText->GetStr(), "");
                EXPECT_EQ(e.m_pVariableName->GetStr(), "v");
            } },
        { "DefineEditText with font class, colour, length and layout", kTagDefineEditText,
            Concat({ { 0x01, 0x00, 0x00, 0x06, 0xA0 }, { 'C', 0x00 }, { 0xF0, 0x00 }, { 0x10, 0x20, 0x30, 0x40 },
                { 0x08, 0x00 }, { 0x01, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00 }, { 0x00 } }),
            1,
            [](const auto& tag) {
                auto& e = As<CDefineEditTextTag>(tag);
                ASSERT_TRUE(e.m_pFontClass && e.m_pTextColor);
                EXPECT_EQ(e.m_pFontClass->GetStr(), "C");
                EXPECT_EQ(e.m_FontHeight, 240);
                EXPECT_EQ(e.m_pTextColor->m_Color.alpha, 0x40);
                EXPECT_EQ(e.m_Leading, 5);
            } },
        { "DefineVideoStream keeps non-zero reserved bits", kTagDefineVideoStream,
            { 0x01, 0x00, 0x10, 0x00, 0x40, 0x01, 0xF0, 0x00, 0x8B, 0x02 }, 1,
            [](const auto& tag) {
                auto& v = As<CDefineVideoStreamTag>(tag);
                EXPECT_EQ(v.m_Reserved, 0x11);
                EXPECT_EQ(v.m_Deblocking, 1);
                EXPECT_TRUE(v.m_Smoothing);
                EXPECT_EQ(v.m_CodecID, 2);
            } },
        { "DefineSprite holds its own tag list", kTagDefineSprite,
            Concat({ { 0x02, 0x00, 0x01, 0x00 }, Tag(kTagShowFrame), Tag(kTagEnd) }), 1,
            [](const auto& tag) {
                auto& s = As<CDefineSpriteTag>(tag);
                EXPECT_EQ(s.m_ID, 2);
                EXPECT_EQ(s.m_pTags->GetItemCount(), 1);
                EXPECT_TRUE(s.m_pTags->m_SpriteTags);
            } },
        { "DoAction reads its action block", kTagDoAction, { 0x07, 0x06, 0x00 }, 1,
            [](const auto& tag) { EXPECT_EQ(As<CDoActionTag>(tag).m_pActions->GetItemCount(), 2); } },
        { "ExportAssets names its characters", kTagExportAssets, { 0x01, 0x00, 0x05, 0x00, 'm', 0x00 }, 1,
            [](const auto& tag) { EXPECT_EQ(As<CAssetTag>(tag).m_pAssets->GetItemCount(), 1); } },
        { "DefineMorphShape finds its end edges through the offset", kTagDefineMorphShape,
            Concat(
                { { 0x01, 0x00, 0x00, 0x00 }, { 0x04, 0x00, 0x00, 0x00 }, { 0x00, 0x00, 0x00, 0x00 }, { 0x00, 0x00 } }),
            1, [](const auto& tag) { EXPECT_TRUE(As<CDefineMorphShapeTag>(tag).m_Gap.empty()); } },
        { "DefineMorphShape whose offset points behind the start edges", kTagDefineMorphShape,
            Concat(
                { { 0x01, 0x00, 0x00, 0x00 }, { 0x00, 0x00, 0x00, 0x00 }, { 0x00, 0x00, 0x00, 0x00 }, { 0x00, 0x00 } }),
            0, [](const auto& tag) { EXPECT_TRUE(As<CDefineMorphShapeTag>(tag).m_KeptWhole); } },
        { "SoundStreamHead2 with MP3 reads the latency seek", kTagSoundStreamHead2,
            { 0x02, 0x22, 0x40, 0x02, 0x10, 0x00 }, 1,
            [](const auto& tag) {
                auto& h = As<CDefineSoundStreamHeadTag>(tag);
                EXPECT_EQ(h.m_pSoundParameters->m_Format, 2);
                EXPECT_EQ(h.m_pSoundParameters->m_LatencySeek, 16);
            } },
        { "SetTabIndex", kTagSetTabIndex, { 0x03, 0x00, 0x09, 0x00 }, 1,
            [](const auto& tag) { EXPECT_EQ(As<CSetTabIndex>(tag).m_TabIndex, 9); } },
    };
    return cases;
}

} // namespace

TEST(Tags, ReadWriteAndCopy)
{
    for (const TagCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        int ok = -1;
        auto tag = ReadTag(c.code, c.body, &ok);
        ASSERT_TRUE(tag);
        EXPECT_EQ(ok, c.readResult);
        c.check(tag);
        // Writing gives the body back: every field, every kept byte.
        const Bytes& expected = c.written.empty() ? c.body : c.written;
        EXPECT_EQ(WriteTag(*tag), expected);
        CSWFObject* copy = nullptr;
        ASSERT_EQ(tag->MakeCopy(nullptr, kStyleNone, copy), 1);
        std::unique_ptr<CTag> copied(dynamic_cast<CTag*>(copy));
        ASSERT_TRUE(copied);
        const std::string dump = DumpText(tag.get());
        tag.reset();
        EXPECT_EQ(DumpText(copied.get()), dump);
        EXPECT_EQ(WriteTag(*copied), expected);
    }
}

TEST(Tags, DiagnosticsOfReading)
{
    struct Expect {
        const char* name;
        uint16_t code;
        Bytes body;
        long reported;
    } cases[] = {
        { "bytes after the fields", kTagRemoveObject2, { 0x04, 0x00, 0xEE }, kSWFErr_RestTooLarge },
        { "reserved bits in use", kTagDefineVideoStream, { 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0 }, kSWFErr_InvalidReserved },
        { "JPEG data cut short", kTagDefineBitsJPEG3, { 0x01, 0x00, 0x10, 0x00, 0x00, 0x00, 0xFF }, kSWFErr_DumpCut },
        { "font layout without bounds", kTagDefineFont2, kFontWithoutBounds, kSWFErr_NoFontBounds },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogMark mark;
        ReadTag(c.code, c.body);
        EXPECT_TRUE(mark.Has(c.reported));
    }
}

TEST(Tags, VersionChecksGoThroughTheOwningMovie)
{
    for (uint8_t version : { 5, 6 }) {
        SCOPED_TRACE(version);
        CSWF movie;
        movie.GetHeader()->m_Version = version;
        LogMark mark;
        auto tag = ReadTag(kTagFrameLabel, { 'f', 0x00, 0x01 }, nullptr, &movie);
        EXPECT_TRUE(As<CFrameLabelTag>(tag).m_HasNamedAnchorFlag);
        EXPECT_EQ(mark.Has(kSWFErr_InvalidParameter), version == 5);
    }
    // A tag without a movie has no version to check against.
    LogMark mark;
    CFrameLabelTag orphan;
    orphan.SetHasNamedAnchorFlag(true);
    EXPECT_EQ(mark.Count(), 0u);
}

TEST(Tags, FactoryCreatesEveryTagClassWithItsFixedStyle)
{
    std::vector<int> ids;
    for (int id = kClassID_CAssetTag; id <= kClassID_CVideoFrameTag; ++id)
        ids.push_back(id);
    ids.push_back(kClassID_CFreeCharacterTag);
    for (int id : ids) {
        SCOPED_TRACE(id);
        CSWFObject* object = nullptr;
        ASSERT_EQ(NewInstance(id, object, nullptr, 0), 1);
        std::unique_ptr<CSWFObject> owned(object);
        EXPECT_EQ(object->GetClassID(), id);
        auto* tag = dynamic_cast<CTag*>(object);
        ASSERT_TRUE(tag);
        EXPECT_TRUE(tag->IsEmpty());
    }
    const struct {
        int id;
        unsigned char style;
    } fixed[] = { { kClassID_CDefineShapeTag, 1 }, { kClassID_CDefineShape2Tag, 2 }, { kClassID_CDefineShape3Tag, 3 },
        { kClassID_CDefineTextTag, 2 }, { kClassID_CDefineText2Tag, 3 }, { kClassID_CDefineBitsLossLessTag, 1 },
        { kClassID_CDefineBitsLossLess2Tag, 3 } };
    for (const auto& f : fixed) {
        CSWFObject* object = nullptr;
        ASSERT_EQ(NewInstance(f.id, object, nullptr, 0), 1);
        std::unique_ptr<CSWFObject> owned(object);
        EXPECT_EQ(object->GetStyle(), f.style) << f.id;
        // The list a tag is read into hands it its style; the variant stays the class's.
        object->SetItemStyle(kStyleNone);
        EXPECT_EQ(object->GetStyle(), f.style) << f.id;
    }
}

TEST(Tags, TruncatedBodiesNeverReadPastTheirEnd)
{
    // Every prefix of every case body reads without touching bytes beyond it (the sanitizer run checks the
    // memory side) and writes back exactly the prefix.
    for (const TagCase& c : Cases()) {
        for (size_t n = 0; n < c.body.size(); ++n) {
            SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(n));
            Bytes prefix(c.body.begin(), c.body.begin() + static_cast<long>(n));
            // A heap copy of exactly n bytes, so that reading one more is caught.
            auto exact = std::make_unique<uint8_t[]>(n ? n : 1);
            std::copy(prefix.begin(), prefix.end(), exact.get());
            auto tag = NewTag(c.code);
            CSWFStream stream;
            stream.Assign(exact.get(), n);
            tag->ReadSWF(&stream);
            auto* parsed = dynamic_cast<CParsedTag*>(tag.get());
            if (parsed && parsed->m_KeptWhole) {
                EXPECT_EQ(WriteTag(*tag), prefix);
            }
        }
    }
}
