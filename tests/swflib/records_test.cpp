// The record family: each case of the table is read from its bytes, checked, written back to the same bytes and
// deep-copied (the copy writes the same bytes and describes itself the same way, also once the source is gone).
// Then records built by hand against bit patterns packed here, and malformed input.
#include "Movie.h"
#include "Records.h"
#include "SWFDebugger.h"
#include "SWFStream.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using testsupport::Bytes;

namespace {

// Packs bit fields most significant bit first, as the format does, independently of the library's writer.
class BitPacker
{
public:
    BitPacker& Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i)
            m_Bits.push_back((value >> i) & 1u);
        return *this;
    }
    BitPacker& Align()
    {
        while (m_Bits.size() % 8)
            m_Bits.push_back(false);
        return *this;
    }
    Bytes Done()
    {
        Align();
        Bytes out(m_Bits.size() / 8);
        for (size_t i = 0; i < m_Bits.size(); ++i)
            if (m_Bits[i])
                out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
        return out;
    }

private:
    std::vector<bool> m_Bits;
};

// A textual dump of an object tree, to compare a copy with its source.
class DumpVisitor : public CSWFFieldVisitor
{
public:
    void Int(const char* name, long long value) override { m_Out << name << '=' << value << ';'; }
    void Real(const char* name, double value) override { m_Out << name << '=' << value << ';'; }
    void Text(const char* name, const std::string& value) override { m_Out << name << "='" << value << "';"; }
    void Bytes(const char* name, const uint8_t* data, size_t size) override
    {
        m_Out << name << '[' << size << ']';
        for (size_t i = 0; i < size; ++i)
            m_Out << static_cast<int>(data[i]) << ',';
    }
    void Child(const char* name, const CSWFObject* child) override
    {
        m_Out << name << '{';
        if (child) {
            m_Out << child->GetClassName() << ':';
            child->DescribeFields(*this);
        }
        m_Out << '}';
    }
    std::string Str() const { return m_Out.str(); }

private:
    std::ostringstream m_Out;
};

std::string Dump(const CSWFObject* object)
{
    DumpVisitor visitor;
    visitor.Child("root", object);
    return visitor.Str();
}

template <class T> std::unique_ptr<T> Make(int classID, unsigned char style, CSWFObject* owner = nullptr)
{
    CSWFObject* made = nullptr;
    if (!NewInstance(classID, made, owner, style))
        return nullptr;
    return std::unique_ptr<T>(dynamic_cast<T*>(made));
}

Bytes Written(CSWFObject* object, int* result = nullptr)
{
    CSWFStream out;
    const int ok = object->WriteSWF(&out);
    if (result)
        *result = ok;
    out.FlushBits();
    return testsupport::Contents(out);
}

struct RecordCase {
    const char* name;
    int classID;
    unsigned char style;
    Bytes bytes;
    std::function<void(CSWFItem&)> prepare; // what the enclosing tag sets before reading (counts, flags)
    std::function<void(const CSWFItem&)> check;
    // Prefixes at least this long are complete records of their own (the rest of the body is optional data).
    size_t validFrom = SIZE_MAX;
};

template <class T> std::function<void(const CSWFItem&)> Expect(std::function<void(const T&)> check)
{
    return [check](const CSWFItem& item) {
        const auto* typed = dynamic_cast<const T*>(&item);
        ASSERT_NE(typed, nullptr);
        check(*typed);
    };
}

std::vector<RecordCase> RecordCases()
{
    return {
        { "identity matrix", kClassID_CMatrixItem, 0, { 0x00 }, nullptr, Expect<CMatrixItem>([](const CMatrixItem& m) {
             EXPECT_FLOAT_EQ(m.m_ScaleX, 1.0f);
             EXPECT_FLOAT_EQ(m.m_RotateSkew1, 0.0f);
             EXPECT_EQ(m.m_TranslateX, 0);
             EXPECT_TRUE(m.IsEmpty());
         }) },
        // Scale 1.0 written with 18-bit fields and a translation whose width is wider than needed: kept.
        { "matrix with kept widths", kClassID_CMatrixItem, 0,
            BitPacker()
                .Put(1, 1)
                .Put(18, 5)
                .Put(65536, 18)
                .Put(65536, 18)
                .Put(0, 1)
                .Put(10, 5)
                .Put(-3 & 0x3FF, 10)
                .Put(7, 10)
                .Done(),
            nullptr, Expect<CMatrixItem>([](const CMatrixItem& m) {
                EXPECT_FLOAT_EQ(m.m_ScaleY, 1.0f);
                EXPECT_EQ(m.m_TranslateX, -3);
                EXPECT_EQ(m.m_TranslateY, 7);
            }) },
        // The width field is present without terms; a writer that puts 1 there is answered in kind.
        { "colour transform without terms", kClassID_CCXFormItem, 0, { 0x04 }, nullptr,
            Expect<CCXFormItem>([](const CCXFormItem& c) { EXPECT_TRUE(c.IsEmpty()); }) },
        { "colour transform with alpha", kClassID_CCXFormItem, 0,
            BitPacker()
                .Put(3, 2)
                .Put(9, 4)
                .Put(256, 9)
                .Put(128, 9)
                .Put(0, 9)
                .Put(255, 9)
                .Put(-5 & 0x1FF, 9)
                .Put(0, 9)
                .Put(0, 9)
                .Put(0, 9)
                .Done(),
            [](CSWFItem& item) { static_cast<CCXFormItem&>(item).SetHasAlpha(true); },
            Expect<CCXFormItem>([](const CCXFormItem& c) {
                EXPECT_EQ(c.m_GreenMultTerm, 128);
                EXPECT_EQ(c.m_AlphaMultTerm, 255);
                EXPECT_EQ(c.m_RedAddTerm, -5);
            }) },
        // Solid RGB, linear gradient with two records, clipped bitmap 7, and a non-smoothed bitmap type (0x42).
        { "fill styles, shape 2", kClassID_CFillStyleArrayItem, 2,
            testsupport::Concat({ { 0x04, 0x00, 0x10, 0x20, 0x30, 0x10, 0x00, 0x02, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00,
                0x00, 0xFF, 0x41, 0x07, 0x00, 0x00, 0x42, 0x08, 0x00, 0x00 } }),
            nullptr, Expect<CFillStyleArrayItem>([](const CFillStyleArrayItem& a) {
                ASSERT_EQ(a.GetItemCount(), 4);
                const auto* solid = dynamic_cast<const CFillStyleItem*>(a.GetItem(0));
                const auto* color = dynamic_cast<const CColorItem*>(solid->GetFillObject());
                ASSERT_NE(color, nullptr);
                EXPECT_EQ(color->GetColor(), 0x302010);
                EXPECT_FALSE(color->m_HasAlpha);
                const auto* gradient = dynamic_cast<const CLinearGradientItem*>(
                    dynamic_cast<const CFillStyleItem*>(a.GetItem(1))->GetFillObject());
                ASSERT_NE(gradient, nullptr);
                EXPECT_EQ(gradient->m_pGradient->m_pGradRecords->GetItemCount(), 2);
                const auto* clipped = dynamic_cast<const CClippedBitMapItem*>(
                    dynamic_cast<const CFillStyleItem*>(a.GetItem(2))->GetFillObject());
                ASSERT_NE(clipped, nullptr);
                EXPECT_EQ(clipped->m_BitMapID, 7);
                const auto* hard = dynamic_cast<const CFillStyleItem*>(a.GetItem(3));
                EXPECT_EQ(hard->GetFillStyle(), kFillTiledBitmap);
                EXPECT_EQ(hard->m_RawFillStyleType, 0x42);
            }) },
        { "line styles with alpha", kClassID_CLineStyleArrayItem, 3, { 0x01, 0x14, 0x00, 0x01, 0x02, 0x03, 0x80 },
            nullptr, Expect<CLineStyleArrayItem>([](const CLineStyleArrayItem& a) {
                ASSERT_EQ(a.GetItemCount(), 1);
                const auto* line = dynamic_cast<const CLineStyleItem*>(a.GetItem(0));
                EXPECT_EQ(line->m_Width, 20);
                EXPECT_EQ(line->m_pColor->GetRGBA().alpha, 0x80);
            }) },
        // Fill bits 1, line bits 1; move to (10, -10) with fill style 1; a straight general edge, a vertical
        // edge, a curved edge; then new styles (one solid fill, no line) switching to fill bits 1, line bits 0,
        // a style change using fill style 1 under them; end.
        { "shape with every kind of record", kClassID_CShapeItem, 2,
            BitPacker()
                .Put(1, 4)
                .Put(1, 4)
                .Put(0, 1)
                .Put(0x05, 5)
                .Put(5, 5)
                .Put(10, 5)
                .Put(-10 & 0x1F, 5)
                .Put(1, 1)
                .Put(0x3, 2)
                .Put(4, 4)
                .Put(1, 1)
                .Put(20, 6)
                .Put(-7 & 0x3F, 6)
                .Put(0x3, 2)
                .Put(3, 4)
                .Put(0, 1)
                .Put(1, 1)
                .Put(9, 5)
                .Put(0x2, 2)
                .Put(2, 4)
                .Put(1, 4)
                .Put(2, 4)
                .Put(3, 4)
                .Put(-4 & 0xF, 4)
                .Put(0, 1)
                .Put(0x12, 5)
                .Put(1, 1)
                .Align()
                .Put(1, 8)
                .Put(0, 8)
                .Put(0xAA, 8)
                .Put(0xBB, 8)
                .Put(0xCC, 8)
                .Put(0, 8)
                .Put(1, 4)
                .Put(0, 4)
                .Put(0, 1)
                .Put(0x04, 5)
                .Put(1, 1)
                .Put(0, 6)
                .Done(),
            nullptr, Expect<CShapeItem>([](const CShapeItem& s) {
                ASSERT_EQ(s.GetItemCount(), 6);
                const auto* move = dynamic_cast<const CStyleChangeRecordItem*>(s.GetItem(0));
                ASSERT_NE(move, nullptr);
                EXPECT_EQ(move->m_MoveDeltaY, -10);
                EXPECT_EQ(move->m_FillStyle1, 1u);
                const auto* general = dynamic_cast<const CStraightedEdgeRecordItem*>(s.GetItem(1));
                ASSERT_NE(general, nullptr);
                EXPECT_EQ(general->m_DeltaX, 20);
                EXPECT_EQ(general->m_DeltaY, -7);
                const auto* vertical = dynamic_cast<const CStraightedEdgeRecordItem*>(s.GetItem(2));
                EXPECT_EQ(vertical->m_DeltaX, 0);
                EXPECT_EQ(vertical->m_DeltaY, 9);
                const auto* curve = dynamic_cast<const CCurvedEdgeRecordItem*>(s.GetItem(3));
                ASSERT_NE(curve, nullptr);
                EXPECT_EQ(curve->m_AnchorDeltaY, -4);
                const auto* styles = dynamic_cast<const CStyleChangeRecordItem*>(s.GetItem(4));
                ASSERT_TRUE(styles->m_pFillStyles);
                EXPECT_EQ(styles->m_pFillStyles->GetItemCount(), 1);
                EXPECT_EQ(styles->m_NewLineBits, 0);
                const auto* after = dynamic_cast<const CStyleChangeRecordItem*>(s.GetItem(5));
                EXPECT_EQ(after->m_NumFillBits, 1);
                EXPECT_EQ(after->m_FillStyle1, 1u);
            }) },
        // Glyph bits 4, advance bits 6: a style part with font 1, colour and X offset; two glyphs; end.
        { "text records", kClassID_CTextRecordsItem, 2,
            testsupport::Concat({ { 0x04, 0x06, 0x8D, 0x01, 0x00, 0xFF, 0x00, 0x00, 0x0A, 0x00, 0xF0, 0x00, 0x02 },
                BitPacker().Put(3, 4).Put(12, 6).Put(15, 4).Put(-2 & 0x3F, 6).Done(), { 0x00 } }),
            nullptr, Expect<CTextRecordsItem>([](const CTextRecordsItem& t) {
                ASSERT_EQ(t.GetItemCount(), 2);
                const auto* style = dynamic_cast<const CTextRecordType1Item*>(t.GetItem(0));
                ASSERT_NE(style, nullptr);
                EXPECT_EQ(style->m_FontID, 1);
                EXPECT_EQ(style->m_XOffset, 10);
                EXPECT_EQ(style->m_TextHeight, 240);
                const auto* glyphs = dynamic_cast<const CTextRecordType0Item*>(t.GetItem(1));
                ASSERT_EQ(glyphs->GetItemCount(), 2);
                EXPECT_EQ(dynamic_cast<const CGlyphEntryItem*>(glyphs->GetItem(1))->m_GlyphAdvance, -2);
            }) },
        { "kerning with wide codes", kClassID_CKerningRecordsItem, 0, { 0x41, 0x00, 0x56, 0x00, 0xFC, 0xFF },
            [](CSWFItem& item) {
                auto& k = static_cast<CKerningRecordsItem&>(item);
                k.SetWideCodes(true);
                k.SetCount(1);
            },
            Expect<CKerningRecordsItem>([](const CKerningRecordsItem& k) {
                ASSERT_EQ(k.GetItemCount(), 1);
                EXPECT_EQ(dynamic_cast<const CKerningRecordItem*>(k.GetItem(0))->m_Adjustment, -4);
            }) },
        { "narrow code table", kClassID_CFontCodeTableItem, 0, { 0x41, 0x42, 0x43 },
            [](CSWFItem& item) { static_cast<CFontCodeTableItem&>(item).SetCount(3); },
            Expect<CFontCodeTableItem>([](const CFontCodeTableItem& c) {
                EXPECT_EQ(c.m_Codes, (std::vector<uint16_t> { 0x41, 0x42, 0x43 }));
            }) },
        // Sync stop, envelope of one point, loop count 3, in point.
        { "sound info", kClassID_CSoundInfoItem, 0,
            { 0x2D, 0x10, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x20, 0x00, 0x00, 0x00, 0x00, 0x80, 0xFF, 0x7F }, nullptr,
            Expect<CSoundInfoItem>([](const CSoundInfoItem& s) {
                EXPECT_TRUE(s.m_SyncStop);
                EXPECT_EQ(s.m_InPoint, 16u);
                EXPECT_EQ(s.m_LoopCount, 3);
                ASSERT_TRUE(s.m_pEnvelope);
                EXPECT_EQ(s.m_pEnvelope->GetItemCount(), 1);
            }) },
        // An MP3 stream head's parameters with and without the latency seek.
        { "mp3 parameters", kClassID_CSoundParametersItem, 0, { 0x2E, 0x40, 0x02, 0xF0, 0xFF }, nullptr,
            Expect<CSoundParametersItem>([](const CSoundParametersItem& p) {
                EXPECT_EQ(p.m_Format, kSoundFormatMP3);
                EXPECT_EQ(p.m_SampleCount, 0x240u);
                EXPECT_EQ(p.m_LatencySeek, -16);
            }),
            3 },
        { "mp3 parameters without latency seek", kClassID_CSoundParametersItem, 0, { 0x2E, 0x40, 0x02 }, nullptr,
            Expect<CSoundParametersItem>([](const CSoundParametersItem& p) { EXPECT_FALSE(p.m_HasLatencySeek); }), 3 },
        { "audio data", kClassID_CAudioDataItem, 0, { 0x3F, 0x04, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03 }, nullptr,
            Expect<CAudioDataItem>([](const CAudioDataItem& a) {
                EXPECT_EQ(a.m_pSoundParameters->m_SampleCount, 4u);
                EXPECT_EQ(a.m_pSoundData->m_pData->GetSize(), 3u);
            }),
            5 },
        // A DefineButton2 record with a glow filter and a blend mode, then the end record.
        { "button records with filters", kClassID_CButtonRecordsItem, kStyleButton2,
            testsupport::Concat({ { 0x32, 0x02, 0x00, 0x01, 0x00, 0x00, 0x04, 0x01, 0x02 },
                testsupport::Filled(15, 0x11), { 0x05, 0x00 } }),
            nullptr, Expect<CButtonRecordsItem>([](const CButtonRecordsItem& b) {
                ASSERT_EQ(b.GetItemCount(), 1);
                const auto* record = dynamic_cast<const CButtonRecord*>(b.GetItem(0));
                EXPECT_EQ(record->m_CharacterID, 2);
                ASSERT_TRUE(record->m_pFilterList);
                ASSERT_EQ(record->m_pFilterList->GetItemCount(), 1);
                EXPECT_EQ(record->m_pFilterList->GetFilterItem(0)->m_FilterID, kFilterGlow);
                EXPECT_EQ(record->m_BlendMode, 5);
                ASSERT_TRUE(record->m_pColorTransform);
            }) },
        { "assets", kClassID_CAssetsItem, 0, { 0x02, 0x00, 0x01, 0x00, 'a', 0x00, 0x02, 0x00, 'b', 'c', 0x00 }, nullptr,
            Expect<CAssetsItem>([](const CAssetsItem& a) {
                ASSERT_EQ(a.GetItemCount(), 2);
                EXPECT_EQ(dynamic_cast<const CAssetItem*>(a.GetItem(1))->m_pName->GetStr(), "bc");
            }) },
        // No owning movie: the 32-bit event flags. A KeyPress record (key 13, Stop, End), a record of size 0,
        // the end record with a reserved bit set.
        { "clip actions", kClassID_CClipActionsItem, 0,
            testsupport::Concat({ { 0x00, 0x00, 0x01, 0x00, 0x02, 0x00 },
                { 0x00, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00, 0x00, 0x0D, 0x07, 0x00 },
                { 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00 }, { 0x00, 0x00, 0x00, 0x80 } }),
            nullptr, Expect<CClipActionsItem>([](const CClipActionsItem& c) {
                EXPECT_TRUE(c.m_pAllEventFlags->m_ClipEventLoad);
                EXPECT_TRUE(c.m_pAllEventFlags->m_ClipEventKeyPress);
                ASSERT_EQ(c.m_pClipActionRecords->GetItemCount(), 2);
                const auto* key = dynamic_cast<const CClipActionsRecordItem*>(c.m_pClipActionRecords->GetItem(0));
                EXPECT_EQ(key->m_KeyCode, 13);
                EXPECT_EQ(key->m_pActions->GetItemCount(), 1);
                EXPECT_FALSE(
                    dynamic_cast<const CClipActionsRecordItem*>(c.m_pClipActionRecords->GetItem(1))->m_HasBody);
            }) },
        { "lossless bitmap", kClassID_CBitsLossLessItem, 3, { 0x03, 0x02, 0x00, 0x01, 0x00, 0x00, 0x78, 0x9C, 0x01 },
            nullptr, Expect<CBitsLossLessItem>([](const CBitsLossLessItem& b) {
                EXPECT_EQ(b.GetBitMapSize(), 4u + 4u);
                EXPECT_EQ(b.m_pZlibBitmapData->m_OutEstimate, 8u);
            }),
            6 },
        { "morph fill styles", kClassID_CMorphFillStylesItem, 3,
            testsupport::Concat({ { 0x02, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x40, 0x09, 0x00, 0x00, 0x00 } }), nullptr,
            Expect<CMorphFillStylesItem>([](const CMorphFillStylesItem& m) {
                ASSERT_EQ(m.GetItemCount(), 2);
                const auto* bitmap = dynamic_cast<const CMorphTiledBitMapItem*>(
                    dynamic_cast<const CMorphFillStyleItem*>(m.GetItem(1))->GetFillObject());
                ASSERT_NE(bitmap, nullptr);
                EXPECT_EQ(bitmap->m_BitMapID, 9);
            }) },
        { "morph line styles", kClassID_CMorphLineStylesItem, 3,
            { 0x01, 0x14, 0x00, 0x28, 0x00, 1, 2, 3, 4, 5, 6, 7, 8 }, nullptr,
            Expect<CMorphLineStylesItem>([](const CMorphLineStylesItem& m) {
                ASSERT_EQ(m.GetItemCount(), 1);
                EXPECT_EQ(dynamic_cast<const CMorphLineStyleItem*>(m.GetItem(0))->m_EndWidth, 40);
            }) },
    };
}

class RecordTable : public testing::TestWithParam<RecordCase>
{
};

TEST_P(RecordTable, ReadsWritesBackAndCopies)
{
    const RecordCase& c = GetParam();
    auto item = Make<CSWFItem>(c.classID, c.style);
    ASSERT_NE(item, nullptr);
    if (c.prepare)
        c.prepare(*item);
    CSWFStream in;
    testsupport::Load(in, c.bytes);
    ASSERT_EQ(item->ReadSWF(&in), 1);
    EXPECT_EQ(in.GetPosition(), c.bytes.size());
    c.check(*item);
    int ok = 0;
    EXPECT_EQ(Written(item.get(), &ok), c.bytes);
    EXPECT_EQ(ok, 1);

    CSWFObject* copy = nullptr;
    ASSERT_EQ(item->MakeCopy(nullptr, c.style, copy), 1);
    std::unique_ptr<CSWFObject> owned(copy);
    const std::string before = Dump(item.get());
    EXPECT_EQ(Dump(copy), before);
    item.reset();
    EXPECT_EQ(Written(copy), c.bytes);
    c.check(*dynamic_cast<CSWFItem*>(copy));
}

// Every shorter prefix of a case is malformed input: the read fails, or leaves the shortfall in the stream for
// the enclosing record to see (collections keep what they could read), without reading past the bytes (the
// sanitizer build checks that) and without looping.
TEST_P(RecordTable, TruncatedBytesFail)
{
    const RecordCase& c = GetParam();
    for (size_t n = 0; n < std::min(c.bytes.size(), c.validFrom); ++n) {
        auto item = Make<CSWFItem>(c.classID, c.style);
        if (c.prepare)
            c.prepare(*item);
        CSWFStream in;
        testsupport::Load(in, Bytes(c.bytes.begin(), c.bytes.begin() + static_cast<long>(n)));
        const int result = item->ReadSWF(&in);
        EXPECT_TRUE(result == 0 || in.GetDataLow() != 0) << "prefix of " << n << " bytes";
        Written(item.get());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, RecordTable, testing::ValuesIn(RecordCases()), [](const testing::TestParamInfo<RecordCase>& info) {
        std::string name;
        for (const char* p = info.param.name; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// ---- Records built by hand: the widths the writer chooses ----

TEST(RecordWriting, MatrixAndColourTransformWidths)
{
    CMatrixItem matrix;
    matrix.m_ScaleX = 2.0f;
    EXPECT_EQ(
        Written(&matrix), BitPacker().Put(1, 1).Put(19, 5).Put(131072, 19).Put(65536, 19).Put(0, 1).Put(0, 5).Done());

    CCXFormItem add;
    add.m_RedAddTerm = 10;
    add.m_GreenAddTerm = 20;
    add.m_BlueAddTerm = 30;
    EXPECT_EQ(Written(&add), BitPacker().Put(1, 1).Put(0, 1).Put(6, 4).Put(10, 6).Put(20, 6).Put(30, 6).Done());

    // -16 needs 5 bits, and so does the width field of the colour transform's largest term, 16384 (15 bits)
    // would not fit a 4-bit width through its magnitude alone: the term -16384 is written in 15.
    CCXFormItem wide;
    wide.m_RedAddTerm = -16384;
    EXPECT_EQ(Written(&wide),
        BitPacker().Put(1, 1).Put(0, 1).Put(15, 4).Put(-16384 & 0x7FFF, 15).Put(0, 15).Put(0, 15).Done());
}

TEST(RecordWriting, EdgeFormsFollowTheDeltas)
{
    struct EdgeCase {
        int32_t dx, dy;
        Bytes expected;
    };
    const EdgeCase cases[] = {
        { 0, 100, BitPacker().Put(6, 4).Put(0, 1).Put(1, 1).Put(100, 8).Done() },
        { -3, 0, BitPacker().Put(1, 4).Put(0, 1).Put(0, 1).Put(-3 & 0x7, 3).Done() },
        { 5, -5, BitPacker().Put(2, 4).Put(1, 1).Put(5, 4).Put(-5 & 0xF, 4).Done() },
    };
    for (const EdgeCase& c : cases) {
        CStraightedEdgeRecordItem edge;
        edge.m_DeltaX = c.dx;
        edge.m_DeltaY = c.dy;
        EXPECT_EQ(Written(&edge), c.expected) << c.dx << "," << c.dy;
    }
    // A form read from the file that can no longer carry the deltas gives way.
    CStraightedEdgeRecordItem edge;
    edge.m_Form = CStraightedEdgeRecordItem::kFormVertical;
    edge.m_DeltaX = 1;
    edge.m_DeltaY = 1;
    EXPECT_EQ(Written(&edge), BitPacker().Put(0, 4).Put(1, 1).Put(1, 2).Put(1, 2).Done());
}

TEST(RecordWriting, ShapeWidthsFollowTheStyleIndexes)
{
    CShapeItem shape(nullptr, 2);
    ASSERT_EQ(shape.Add(0), 0);
    auto* record = dynamic_cast<CStyleChangeRecordItem*>(shape.GetItem(0));
    record->m_StateFillStyle0 = true;
    record->m_FillStyle0 = 3;
    record->m_StateLineStyle = true;
    record->m_LineStyle = 1;
    const Bytes out = Written(&shape);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], 0x21); // fill bits 2, line bits 1
    EXPECT_EQ(out, BitPacker().Put(2, 4).Put(1, 4).Put(0, 1).Put(0x0A, 5).Put(3, 2).Put(1, 1).Put(0, 6).Done());

    // After new styles the widths follow the new arrays, and widen for an index beyond them rather than cut it.
    CShapeItem second(nullptr, 2);
    second.Add(0);
    auto* styles = dynamic_cast<CStyleChangeRecordItem*>(second.GetItem(0));
    styles->SetStateNewStyles(true);
    styles->m_pFillStyles->Add(0);
    second.Add(0);
    auto* user = dynamic_cast<CStyleChangeRecordItem*>(second.GetItem(1));
    user->m_StateFillStyle1 = true;
    user->m_FillStyle1 = 6;
    Written(&second);
    EXPECT_EQ(styles->m_NewFillBits, 3);
    EXPECT_EQ(styles->m_NewLineBits, 0);
}

TEST(RecordWriting, ClipEventFlagsFollowTheMovieVersion)
{
    for (uint8_t version : { 5, 6 }) {
        CSWF movie;
        movie.m_pHeader->m_Version = version;
        CClipEventFlagsItem flags(&movie, 0);
        flags.m_ClipEventKeyPress = true;
        flags.m_ClipEventLoad = true;
        flags.ApplyFlags();
        EXPECT_EQ(flags.GetFlags32(), CClipEventFlagsItem::kKeyPressBit | 1u);
        const Bytes out = Written(&flags);
        EXPECT_EQ(out.size(), version < 6 ? 2u : 4u);
        EXPECT_EQ(out[0], 0x01);
    }
}

TEST(RecordWriting, LongGlyphRecordIsNotedAndStillWritten)
{
    CTextRecordType0Item glyphs;
    for (int i = 0; i < 251; ++i)
        glyphs.Add(0);
    testsupport::LogMark mark;
    const Bytes out = Written(&glyphs);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], 0xFB);
    ASSERT_EQ(mark.Count(), 1u);
    EXPECT_NE(mark.Lines()[0].find("is more 250"), std::string::npos);
}

TEST(RecordWriting, FillStyleTypesReduceToTheSixKinds)
{
    const std::pair<uint8_t, int> cases[] = { { 0x00, kClassID_CColorItem }, { 0x10, kClassID_CLinearGradientItem },
        { 0x13, kClassID_CFocalGradientItem }, { 0x17, kClassID_CRadialGradientItem },
        { 0x42, kClassID_CTiledBitMapItem },
        { 0x43, kClassID_CClippedBitMapItem }, { 0x20, kClassID_CColorItem } };
    for (const auto& [type, classID] : cases) {
        CFillStyleItem fill;
        fill.SetFillStyle(0x41);
        fill.SetFillStyle(type);
        ASSERT_NE(fill.GetFillObject(), nullptr);
        EXPECT_EQ(fill.GetFillObject()->GetClassID(), classID) << int(type);
        EXPECT_EQ(fill.GetFillStyle(), ReduceFillStyleType(type));
    }
}

TEST(RecordFunctions, SizesAndRounding)
{
    EXPECT_EQ(CalculateBitMapSize(3, 10, 2, 255, false), 792u);
    EXPECT_EQ(CalculateBitMapSize(3, 10, 2, 255, true), 12u * 2 + 1024);
    EXPECT_EQ(CalculateBitMapSize(4, 3, 2, 0, false), 16u);
    EXPECT_EQ(CalculateBitMapSize(5, 3, 2, 0, false), 32u); // width 3 raised to 4
    EXPECT_EQ(CalculateBitMapSize(5, 3, 2, 0, true), 24u);
    EXPECT_EQ(CalculateSoundSize(2, 3, 1, 1, 100), 0u);
    EXPECT_EQ(CalculateSoundSize(0, 1, 1, 0, 10), 55000ul << 3);
    EXPECT_EQ(Round(1.5f), 2);
    EXPECT_EQ(Round(-1.5f), -2);
    EXPECT_EQ(Round(0.0f), 0);
}

// ---- Malformed input beyond truncation ----

TEST(RecordMalformed, CountsLargerThanTheDataAllocateNothingBeyondIt)
{
    CFontCodeTableItem codes;
    codes.SetWideCodes(true);
    codes.SetCount(60000);
    CSWFStream in;
    testsupport::Load(in, { 1, 0, 2, 0, 3 });
    EXPECT_EQ(codes.ReadSWF(&in), 0);
    EXPECT_EQ(codes.m_Codes.size(), 2u);
    EXPECT_LE(codes.m_Codes.capacity(), 2u);

    CFillStyleArrayItem fills(nullptr, 3);
    CSWFStream many;
    testsupport::Load(many, { 0xFF, 0xFF, 0xFF, 0x00, 1, 2, 3, 4 });
    EXPECT_EQ(fills.ReadSWF(&many), 0);
    EXPECT_LE(fills.GetItemCount(), 2);
}

TEST(RecordMalformed, ClipActionSizeBeyondTheDataStaysInside)
{
    auto clip = Make<CClipActionsItem>(kClassID_CClipActionsItem, 0);
    CSWFStream in;
    testsupport::Load(in, { 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x07, 0x00 });
    EXPECT_EQ(clip->ReadSWF(&in), 0);
    EXPECT_LE(in.GetPosition(), in.GetSize());
}

TEST(RecordMalformed, UnsupportedMorphFillAndBadFilterFail)
{
    testsupport::LogMark mark;
    CMorphFillStyleItem morph;
    CSWFStream in;
    testsupport::Load(in, { 0x14, 0, 0, 0 });
    EXPECT_EQ(morph.ReadSWF(&in), 0);
    EXPECT_TRUE(mark.Has(kSWFErr_InvalidParameter));

    // A filter list whose convolution matrix claims more bytes than there are.
    CButtonRecord button(nullptr, kStyleButton2);
    CSWFStream bad;
    testsupport::Load(bad, { 0x11, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x05, 0xFF, 0xFF, 0, 0 });
    EXPECT_EQ(button.ReadSWF(&bad), 0);
}

TEST(RecordMalformed, GlyphWidthsBeyondAStreamFieldFail)
{
    CTextRecordsItem text;
    CSWFStream in;
    testsupport::Load(in, { 0x40, 0x40, 0x80, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00 });
    EXPECT_EQ(text.ReadSWF(&in), 0);
}

} // namespace
