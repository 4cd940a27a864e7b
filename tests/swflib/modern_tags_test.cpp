// The tags and records of the format's versions 8 to 10: each case reads a body, checks the fields a player
// needs, writes the body back byte for byte and copies the tag; every prefix of every body reads without going
// past its end and, when the tag keeps it whole, writes back the prefix.
#include "Movie.h"
#include "ObjectDump.h"
#include "SWFInfo.h"
#include "TagCodes.h"
#include "TagsModern.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace testsupport;

namespace {

std::unique_ptr<CTag> NewTag(uint16_t code, bool inSprite = false)
{
    CSWFObject* object = nullptr;
    if (!NewInstance(TagClassForCode(code, inSprite), object, nullptr, kStyleNone))
        return nullptr;
    auto tag = std::unique_ptr<CTag>(dynamic_cast<CTag*>(object));
    tag->m_TagCode = code;
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

// Bit fields packed from the most significant bit, padded to a byte.
Bytes Bits(std::initializer_list<std::pair<uint32_t, int>> fields)
{
    Bytes out;
    int used = 8;
    for (auto [value, bits] : fields) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used == 8) {
                out.push_back(0);
                used = 0;
            }
            if ((value >> i) & 1)
                out.back() |= static_cast<uint8_t>(0x80 >> used);
            ++used;
        }
    }
    return out;
}

Bytes Rect(int bits, int32_t xMin, int32_t xMax, int32_t yMin, int32_t yMax)
{
    return Bits({ { static_cast<uint32_t>(bits), 5 }, { static_cast<uint32_t>(xMin), bits },
        { static_cast<uint32_t>(xMax), bits }, { static_cast<uint32_t>(yMin), bits },
        { static_cast<uint32_t>(yMax), bits } });
}

Bytes Text(const char* s)
{
    Bytes out(s, s + std::strlen(s));
    out.push_back(0);
    return out;
}

// One filter of each kind: drop shadow, blur, glow, bevel, gradient glow (two colours), convolution (2 x 2),
// colour matrix, gradient bevel (one colour).
const Bytes kAllFilters = Concat({ { 8 }, { 0 }, Filled(23, 0x11), { 1 }, Filled(9, 0x22), { 2 }, Filled(15, 0x33),
    { 3 }, Filled(27, 0x44), { 4, 2 }, Filled(10 + 19, 0x55), { 5, 2, 2 }, Filled(16 + 13, 0x66), { 6 },
    Filled(80, 0x77), { 7, 1 }, Filled(5 + 19, 0x88) });

struct TagCase {
    const char* name;
    uint16_t code;
    Bytes body;
    int readResult;
    std::function<void(const std::unique_ptr<CTag>&)> check;
};

const std::vector<TagCase>& Cases()
{
    static const std::vector<TagCase> cases = {
        { "FileAttributes: ActionScript 3, metadata, network", kTagFileAttributes, { 0x19, 0x00, 0x00, 0x00 }, 1,
            [](const auto& tag) {
                auto& a = As<CFileAttributesTag>(tag);
                EXPECT_TRUE(a.m_ActionScript3 && a.m_HasMetadata && a.m_UseNetwork);
                EXPECT_FALSE(a.m_UseGPU || a.m_UseDirectBlit);
                EXPECT_EQ(a.m_ReservedBits, 0u);
            } },
        { "FileAttributes keeps the bits it does not name", kTagFileAttributes, { 0x86, 0x00, 0x00, 0x01 }, 1,
            [](const auto& tag) { EXPECT_EQ(As<CFileAttributesTag>(tag).m_ReservedBits, 0x01000086u); } },
        { "PlaceObject3: class name, character, matrix, blur filter, blend mode", kTagPlaceObject3,
            Concat({ { 0x06, 0x0B, 0x01, 0x00 }, Text("Cls"), { 0x05, 0x00, 0x00 },
                { 0x01, 0x01, 0x00, 0x00, 0x04, 0x00, 0x00, 0x80, 0x02, 0x00, 0x08 }, { 0x03 } }),
            1,
            [](const auto& tag) {
                auto& p = As<CPlaceObject3Tag>(tag);
                EXPECT_EQ(p.m_Depth, 1);
                EXPECT_EQ(p.GetID(), 5);
                EXPECT_EQ(p.m_ClassName, "Cls");
                EXPECT_EQ(p.m_BlendMode, 3);
                ASSERT_TRUE(p.m_pFilterList);
                ASSERT_EQ(p.m_pFilterList->GetItemCount(), 1);
                const auto* blur = dynamic_cast<const CBlurFilterItem*>(p.m_pFilterList->GetFilterItem(0)->GetFilter());
                ASSERT_TRUE(blur);
                EXPECT_DOUBLE_EQ(FromFixed16(blur->m_BlurX), 4.0);
                EXPECT_DOUBLE_EQ(FromFixed16(blur->m_BlurY), 2.5);
                EXPECT_EQ(blur->m_Passes, 1);
            } },
        { "PlaceObject3: move, invisible, opaque background", kTagPlaceObject3,
            { 0x01, 0x60, 0x02, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04 }, 1,
            [](const auto& tag) {
                auto& p = As<CPlaceObject3Tag>(tag);
                EXPECT_TRUE(p.m_Move && p.m_HasVisible && p.m_OpaqueBackground);
                EXPECT_EQ(p.m_Visible, 0);
                EXPECT_EQ(p.m_BackgroundColor.alpha, 4);
                EXPECT_FALSE(p.m_pFilterList);
            } },
        { "PlaceObject3: every kind of filter", kTagPlaceObject3, Concat({ { 0x00, 0x01, 0x01, 0x00 }, kAllFilters }),
            1,
            [](const auto& tag) {
                auto& p = As<CPlaceObject3Tag>(tag);
                ASSERT_TRUE(p.m_pFilterList);
                ASSERT_EQ(p.m_pFilterList->GetItemCount(), 8);
                for (int i = 0; i < 8; ++i)
                    EXPECT_EQ(p.m_pFilterList->GetFilterItem(i)->GetFilter()->GetClassID(),
                        FilterClassFor(static_cast<uint8_t>(i)));
                const auto* gradient
                    = dynamic_cast<const CGradientGlowFilterItem*>(p.m_pFilterList->GetFilterItem(4)->GetFilter());
                ASSERT_TRUE(gradient);
                EXPECT_EQ(gradient->m_Colors.size(), 2u);
                const auto* convolution
                    = dynamic_cast<const CConvolutionFilterItem*>(p.m_pFilterList->GetFilterItem(5)->GetFilter());
                ASSERT_TRUE(convolution);
                EXPECT_EQ(convolution->m_Matrix.size(), 4u);
            } },
        { "PlaceObject3 with a filter of unknown kind keeps its body", kTagPlaceObject3,
            { 0x00, 0x01, 0x01, 0x00, 0x01, 0x09, 0x00 }, 0,
            [](const auto& tag) { EXPECT_TRUE(As<CPlaceObject3Tag>(tag).m_KeptWhole); } },
        { "ImportAssets2", kTagImportAssets2, Concat({ Text("lib.swf"), { 0x01, 0x00, 0x01, 0x00, 0x03, 0x00 }, Text("a") }),
            1,
            [](const auto& tag) {
                auto& i = As<CImportAssets2Tag>(tag);
                EXPECT_EQ(i.m_pURL->GetStr(), "lib.swf");
                EXPECT_EQ(i.m_Reserved1, 1);
                EXPECT_EQ(i.m_pAssets->GetItemCount(), 1);
            } },
        { "DoABC keeps flags, name and bytecode", kTagDoABC,
            Concat({ { 0x01, 0x00, 0x00, 0x00 }, Text("frame1"), { 0x10, 0x00, 0x2E, 0x00 } }), 1,
            [](const auto& tag) {
                auto& d = As<CDoABCTag>(tag);
                EXPECT_EQ(d.m_Flags, CDoABCTag::kLazyInitialize);
                EXPECT_EQ(d.m_Name, "frame1");
                EXPECT_EQ(d.m_ABCData, (Bytes { 0x10, 0x00, 0x2E, 0x00 }));
            } },
        { "DoABC whose name runs to the end keeps its body", kTagDoABC, { 0x01, 0x00, 0x00, 0x00, 'a', 'b' }, 0,
            [](const auto& tag) { EXPECT_TRUE(As<CDoABCTag>(tag).m_KeptWhole); } },
        { "DefineFontAlignZones: two glyphs", kTagDefineFontAlignZones,
            { 0x01, 0x00, 0x40, 0x02, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x38, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00,
                0x00, 0x00, 0x00, 0x00, 0x01 },
            1,
            [](const auto& tag) {
                auto& z = As<CDefineFontAlignZonesTag>(tag);
                EXPECT_EQ(z.m_CSMTableHint, 1);
                ASSERT_EQ(z.m_pZoneTable->GetItemCount(), 2);
                const auto* zone = dynamic_cast<const CZoneRecordItem*>(z.m_pZoneTable->GetItem(0));
                ASSERT_TRUE(zone);
                ASSERT_EQ(zone->m_Zones.size(), 2u);
                EXPECT_DOUBLE_EQ(HalfToDouble(zone->m_Zones[0].m_AlignmentCoordinate), 1.0);
                EXPECT_DOUBLE_EQ(HalfToDouble(zone->m_Zones[1].m_Range), 0.5);
                EXPECT_TRUE(zone->m_ZoneMaskX && zone->m_ZoneMaskY);
            } },
        { "CSMTextSettings", kTagCSMTextSettings,
            { 0x02, 0x00, 0x48, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xC0, 0x00 }, 1,
            [](const auto& tag) {
                auto& c = As<CCSMTextSettingsTag>(tag);
                EXPECT_EQ(c.m_UseFlashType, 1);
                EXPECT_EQ(c.m_GridFit, 1);
                EXPECT_EQ(c.m_Thickness, 1.0f);
                EXPECT_EQ(c.m_Sharpness, -2.0f);
            } },
        { "DefineFont3 reads as DefineFont2", kTagDefineFont3,
            { 0x01, 0x00, 0x00, 0x00, 0x01, 'F', 0x00, 0x00, 0x02, 0x00 }, 1,
            [](const auto& tag) {
                auto& f = As<CDefineFont3Tag>(tag);
                EXPECT_EQ(f.m_ID, 1);
                EXPECT_EQ(f.m_pFontName->GetStr(), "F");
            } },
        { "SymbolClass", kTagSymbolClass, Concat({ { 0x01, 0x00, 0x00, 0x00 }, Text("Main") }), 1,
            [](const auto& tag) { EXPECT_EQ(As<CSymbolClassTag>(tag).m_pAssets->GetItemCount(), 1); } },
        { "Metadata", kTagMetadata, Text("<rdf/>"), 1,
            [](const auto& tag) { EXPECT_EQ(As<CMetadataTag>(tag).m_Metadata, "<rdf/>"); } },
        { "DefineScalingGrid keeps a splitter wider than its values", kTagDefineScalingGrid,
            Concat({ { 0x04, 0x00 }, Rect(15, 10, 20, -10, 30) }), 1,
            [](const auto& tag) {
                auto& g = As<CDefineScalingGridTag>(tag);
                EXPECT_EQ(g.m_CharacterID, 4);
                EXPECT_EQ(g.m_pSplitter->m_YMin, -10);
                EXPECT_EQ(g.m_pSplitter->m_NBits, 15);
            } },
        { "DefineShape4: focal gradient fill, mitred LINESTYLE2, winding rule", kTagDefineShape4,
            Concat({ { 0x01, 0x00 }, Rect(0, 0, 0, 0, 0), Rect(0, 0, 0, 0, 0), { 0x04 },
                { 0x01, 0x13, 0x00, 0x02, 0x00, 0x10, 0x20, 0x30, 0xFF, 0xFF, 0x40, 0x50, 0x60, 0x80, 0x80, 0x00 },
                { 0x01, 0x14, 0x00, 0x20, 0x00, 0x00, 0x03, 0x01, 0x02, 0x03, 0x04 }, { 0x11, 0x00 } }),
            1,
            [](const auto& tag) {
                auto& s = As<CDefineShape4Tag>(tag);
                EXPECT_TRUE(s.m_UsesFillWindingRule);
                EXPECT_FALSE(s.m_UsesScalingStrokes);
                const auto* fill = dynamic_cast<const CFillStyleItem*>(s.m_pShapes->m_pFillStyles->GetItem(0));
                ASSERT_TRUE(fill);
                EXPECT_EQ(fill->GetFillStyle(), kFillFocalGradient);
                const auto* focal = dynamic_cast<const CFocalGradientItem*>(fill->GetFillObject());
                ASSERT_TRUE(focal);
                EXPECT_DOUBLE_EQ(focal->GetFocalPoint(), 0.5);
                const auto* line = dynamic_cast<const CLineStyle2Item*>(s.m_pShapes->m_pLineStyles->GetItem(0));
                ASSERT_TRUE(line);
                EXPECT_EQ(line->m_Width, 20);
                EXPECT_EQ(line->m_JoinStyle, CLineStyle2Item::kJoinMiter);
                EXPECT_EQ(line->m_MiterLimitFactor, 0x300);
                ASSERT_TRUE(line->m_pColor);
                EXPECT_EQ(line->m_pColor->m_Color.alpha, 4);
            } },
        { "DefineShape4: a line style filled with a solid colour", kTagDefineShape4,
            Concat({ { 0x01, 0x00 }, Rect(0, 0, 0, 0, 0), Rect(0, 0, 0, 0, 0), { 0x01 }, { 0x00 },
                { 0x01, 0x14, 0x00, 0x08, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04 }, { 0x01, 0x00 } }),
            1,
            [](const auto& tag) {
                const auto* line = dynamic_cast<const CLineStyle2Item*>(
                    As<CDefineShape4Tag>(tag).m_pShapes->m_pLineStyles->GetItem(0));
                ASSERT_TRUE(line);
                ASSERT_TRUE(line->m_pFillStyle);
                EXPECT_FALSE(line->m_pColor);
            } },
        { "DefineMorphShape2: edge bounds and a MORPHLINESTYLE2", kTagDefineMorphShape2,
            Concat({ { 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01 }, { 0x12, 0x00, 0x00, 0x00 }, { 0x00 },
                { 0x01, 0x0A, 0x00, 0x14, 0x00, 0x00, 0x00, 1, 2, 3, 4, 5, 6, 7, 8 }, { 0x00, 0x00 }, { 0x00, 0x00 } }),
            1,
            [](const auto& tag) {
                auto& m = As<CDefineMorphShape2Tag>(tag);
                EXPECT_TRUE(m.m_UsesScalingStrokes);
                const auto* line = dynamic_cast<const CMorphLineStyle2Item*>(m.m_pLineStyles->GetItem(0));
                ASSERT_TRUE(line);
                EXPECT_EQ(line->m_EndWidth, 20);
                EXPECT_EQ(line->m_pEndColor->m_Color.alpha, 8);
            } },
        { "DefineSceneAndFrameLabelData keeps a long encoding", kTagDefineSceneAndFrameLabelData,
            Concat({ { 0x01, 0x00 }, Text("Scene 1"), { 0x02, 0x80, 0x00 }, Text("a"), { 0x81, 0x01 }, Text("b") }), 1,
            [](const auto& tag) {
                auto& d = As<CDefineSceneAndFrameLabelDataTag>(tag);
                ASSERT_EQ(d.m_pScenes->m_Entries.size(), 1u);
                EXPECT_EQ(d.m_pScenes->m_Entries[0].m_Name, "Scene 1");
                ASSERT_EQ(d.m_pFrameLabels->m_Entries.size(), 2u);
                EXPECT_EQ(d.m_pFrameLabels->m_Entries[1].m_Frame.m_Value, 129u);
            } },
        { "DefineSceneAndFrameLabelData counting more labels than there are", kTagDefineSceneAndFrameLabelData,
            { 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 'a', 0x00 }, 0,
            [](const auto& tag) { EXPECT_TRUE(As<CDefineSceneAndFrameLabelDataTag>(tag).m_KeptWhole); } },
        { "DefineBinaryData", kTagDefineBinaryData, { 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03 }, 1,
            [](const auto& tag) { EXPECT_EQ(As<CDefineBinaryDataTag>(tag).m_Data, (Bytes { 1, 2, 3 })); } },
        { "DefineFontName", kTagDefineFontName, Concat({ { 0x01, 0x00 }, Text("Arial"), Text("(c)") }), 1,
            [](const auto& tag) { EXPECT_EQ(As<CDefineFontNameTag>(tag).m_FontCopyright, "(c)"); } },
        { "StartSound2", kTagStartSound2, Concat({ Text("Snd"), { 0x00 } }), 1,
            [](const auto& tag) { EXPECT_EQ(As<CStartSound2Tag>(tag).m_SoundClassName, "Snd"); } },
        { "DefineBitsJPEG4", kTagDefineBitsJPEG4,
            { 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xD8, 0xFF, 0xD9, 0x78, 0x9C }, 1,
            [](const auto& tag) {
                auto& j = As<CDefineBitsJPEG4Tag>(tag);
                EXPECT_EQ(j.m_DeblockParam, 0x100);
                EXPECT_EQ(j.m_pJPEGData->GetData()->GetSize(), 4u);
            } },
        { "DefineBitsJPEG4 whose alpha offset passes the end reads the data there is", kTagDefineBitsJPEG4,
            { 0x01, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xD8 }, 1,
            [](const auto& tag) {
                auto& j = As<CDefineBitsJPEG4Tag>(tag);
                EXPECT_EQ(j.m_StatedDataSize, 0x40u);
                EXPECT_EQ(j.m_pJPEGData->GetData()->GetSize(), 2u);
                EXPECT_EQ(j.m_pAlphaData->GetData()->GetSize(), 0u);
            } },
        { "DefineFont4", kTagDefineFont4, Concat({ { 0x01, 0x00, 0x05 }, Text("F"), { 0x00, 0x01, 0x00, 0x00 } }), 1,
            [](const auto& tag) {
                auto& f = As<CDefineFont4Tag>(tag);
                EXPECT_TRUE(f.m_HasFontData && f.m_Bold && !f.m_Italic);
                EXPECT_EQ(f.m_FontData.size(), 4u);
            } },
        { "EnableTelemetry with a password hash", kTagEnableTelemetry, Concat({ { 0x00, 0x00 }, Filled(32, 0x5A) }), 1,
            [](const auto& tag) { EXPECT_EQ(As<CEnableTelemetryTag>(tag).m_PasswordHash.size(), 32u); } },
        { "ProductInfo", kTagProductInfo,
            Concat({ { 0x03, 0, 0, 0, 0x06, 0, 0, 0, 0x0A, 0x02 }, { 0x10, 0, 0, 0, 0, 0, 0, 0 },
                { 0x00, 0x10, 0, 0, 0x01, 0, 0, 0 } }),
            1,
            [](const auto& tag) {
                auto& p = As<CProductInfoTag>(tag);
                EXPECT_EQ(p.m_MajorVersion, 10);
                EXPECT_EQ(p.m_CompilationDate, 0x100001000ull);
            } },
        { "DebugID", kTagDebugID, Filled(16, 0xC3), 1,
            [](const auto& tag) { EXPECT_EQ(As<CDebugIDTag>(tag).m_UUID[15], 0xC3); } },
        { "ScriptLimits", kTagScriptLimits, { 0xE8, 0x03, 0x0F, 0x00 }, 1,
            [](const auto& tag) {
                EXPECT_EQ(As<CScriptLimitsTag>(tag).m_MaxRecursionDepth, 1000);
                EXPECT_EQ(As<CScriptLimitsTag>(tag).m_ScriptTimeoutSeconds, 15);
            } },
    };
    return cases;
}

} // namespace

TEST(ModernTags, ReadWriteAndCopy)
{
    for (const TagCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto tag = NewTag(c.code);
        ASSERT_TRUE(tag);
        CSWFStream stream;
        stream.Assign(const_cast<uint8_t*>(c.body.data()), c.body.size());
        EXPECT_EQ(tag->ReadSWF(&stream), c.readResult);
        c.check(tag);
        EXPECT_EQ(WriteTag(*tag), c.body);
        CSWFObject* copy = nullptr;
        ASSERT_EQ(tag->MakeCopy(nullptr, kStyleNone, copy), 1);
        std::unique_ptr<CTag> copied(dynamic_cast<CTag*>(copy));
        ASSERT_TRUE(copied);
        const std::string dump = DumpText(tag.get());
        tag.reset();
        EXPECT_EQ(DumpText(copied.get()), dump);
        EXPECT_EQ(WriteTag(*copied), c.body);
    }
}

TEST(ModernTags, TruncatedBodiesNeverReadPastTheirEnd)
{
    for (const TagCase& c : Cases()) {
        for (size_t n = 0; n < c.body.size(); ++n) {
            SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(n));
            Bytes prefix(c.body.begin(), c.body.begin() + static_cast<long>(n));
            auto exact = std::make_unique<uint8_t[]>(n ? n : 1);
            std::copy(prefix.begin(), prefix.end(), exact.get());
            auto tag = NewTag(c.code);
            CSWFStream stream;
            stream.Assign(exact.get(), n);
            tag->ReadSWF(&stream);
            EXPECT_LE(stream.GetPosition(), n);
            auto* parsed = dynamic_cast<CParsedTag*>(tag.get());
            ASSERT_TRUE(parsed);
            if (parsed->m_KeptWhole) {
                EXPECT_EQ(WriteTag(*tag), prefix);
            }
        }
    }
}

TEST(ModernTags, SpritesHoldPlaceObject3AndStartSound2)
{
    EXPECT_EQ(TagClassForCode(kTagPlaceObject3, true), kClassID_CPlaceObject3Tag);
    EXPECT_EQ(TagClassForCode(kTagStartSound2, true), kClassID_CStartSound2Tag);
    EXPECT_EQ(TagClassForCode(kTagDefineShape4, true), kClassID_CUnKnownTag);
    EXPECT_EQ(TagClassForCode(kTagDoABC, true), kClassID_CUnKnownTag);
}

TEST(ModernTags, RectanglesKeepTheWidthTheyWereReadWith)
{
    struct Case {
        const char* name;
        Bytes bytes;
        int32_t newXMax; // set before writing; 0 keeps the value read
        Bytes written;   // empty: the bytes read
    } cases[] = {
        { "exact width", Rect(5, 1, 10, 2, 15), 0, {} },
        { "wider than needed", Rect(20, 0, 100, 0, 100), 0, {} },
        { "zero width", Rect(0, 0, 0, 0, 0), 0, {} },
        { "a value that outgrows the width widens it", Rect(8, 0, 100, 0, 100), 1000, Rect(11, 0, 1000, 0, 100) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRectItem rect;
        CSWFStream in;
        Load(in, c.bytes);
        ASSERT_EQ(rect.ReadSWF(&in), 1);
        if (c.newXMax)
            rect.m_XMax = c.newXMax;
        CSWFStream out;
        ASSERT_EQ(rect.WriteSWF(&out), 1);
        EXPECT_EQ(Contents(out), c.written.empty() ? c.bytes : c.written);
    }
}

TEST(ModernTags, SummaryCountsModernMoviesByCategory)
{
    const Bytes movie = Movie(Concat({ Tag(kTagFileAttributes, { 0x08, 0, 0, 0 }), Tag(kTagDefineShape4, Filled(10)),
        Tag(kTagDefineShape4, Filled(20)), Tag(kTagDoABC, Filled(30)), Tag(kTagDefineFont3, Filled(5)),
        Tag(kTagDefineBitsJPEG4, Filled(7)), Tag(kTagShowFrame), Tag(kTagEnd) }));
    CSWFStream stream;
    Load(stream, movie);
    CSWFInfo info(&stream);
    EXPECT_EQ(info.m_ShapesCount, 2u);
    EXPECT_EQ(info.m_ShapesSize, 30u);
    EXPECT_EQ(info.m_ActionsCount, 1u);
    EXPECT_EQ(info.m_FontsCount, 1u);
    EXPECT_EQ(info.m_PicturesCount, 1u);
    EXPECT_EQ(info.m_OtherCount, 2u); // FileAttributes and ShowFrame
}
