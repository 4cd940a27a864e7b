#include "Collections.h"
#include "Compression.h"
#include "TagCodes.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

Bytes Write(CSWFObject& object, int expected = 1)
{
    CSWFStream out;
    EXPECT_EQ(object.WriteSWF(&out), expected);
    return Contents(out);
}

std::unique_ptr<CSWFObject> Copy(const CSWFObject& object)
{
    CSWFObject* copy = nullptr;
    EXPECT_EQ(object.MakeCopy(nullptr, object.GetStyle(), copy), 1);
    return std::unique_ptr<CSWFObject>(copy);
}

// Whether a diagnostic with the text of `code` and the given value was recorded.
bool HasValue(const LogMark& mark, long code, long value)
{
    const std::string text = GetErrorMessage(static_cast<unsigned long>(code));
    const std::string number = "\"" + std::to_string(value) + "\"";
    for (const std::string& line : mark.Lines())
        if (line.find(text) != std::string::npos && line.find(number) != std::string::npos)
            return true;
    return false;
}

std::vector<int> TagCodes(const CTagsItem& tags)
{
    std::vector<int> codes;
    for (int i = 0; i < tags.GetItemCount(); ++i)
        codes.push_back(tags.GetTag(i)->m_TagCode);
    return codes;
}

} // namespace

// Tag lists: what they read, what they report, and that writing and copying give the expected bytes back.
TEST(TagList, ReadsReportsWritesAndCopies)
{
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<int> codes;
        uint16_t frameCount;
        std::vector<long> reported; // {-1}: not checked
        Bytes written; // empty: the bytes read
    };
    const Case cases[] = {
        { "empty list", { 0x00, 0x00, 0x00, 0x00 }, {}, 0, {}, {} },
        { "frames match", Concat({ { 0x02, 0x00 }, Tag(1), Tag(1), Tag(0) }), { 1, 1 }, 2, {}, {} },
        { "fewer frames than declared", Concat({ { 0x03, 0x00 }, Tag(1), Tag(1), Tag(0) }), { 1, 1 }, 2,
            { kSWFErr_LessFrames }, {} },
        { "more frames than declared", Concat({ { 0x00, 0x00 }, Tag(1), Tag(0) }), { 1 }, 1, { kSWFErr_MoreFrames },
            {} },
        { "no End tag: none written either", Concat({ { 0x01, 0x00 }, Tag(1) }), { 1 }, 1, {}, {} },
        { "tag cut short", Concat({ { 0x01, 0x00 }, Tag(1), { 0x43, 0x02, 0x00 } }), { 1 }, 1,
            { kSWFErr_DataBeyondSize }, Concat({ { 0x01, 0x00 }, Tag(1), Tag(0) }) },
        { "unknown code and long header kept",
            Concat({ { 0x01, 0x00 }, Tag(200, { 1, 2, 3 }), Tag(1, {}, true), Tag(0) }), { 200, 1 }, 1,
            { kSWFErr_UnknownTag }, {} },
        { "End tag with a body survives", Concat({ { 0x00, 0x00 }, Tag(0, { 9, 9 }) }), {}, 0, { -1 }, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSWFStream in;
        Load(in, c.bytes);
        CTagsItem tags;
        LogMark mark;
        EXPECT_EQ(tags.ReadSWF(&in), 1);
        EXPECT_EQ(TagCodes(tags), c.codes);
        EXPECT_EQ(tags.m_FrameCount, c.frameCount);
        ASSERT_NE(tags.GetLastItem(), nullptr);
        EXPECT_EQ(tags.GetLastItem()->GetClassID(), kClassID_CEndTag);
        for (long code : c.reported) {
            if (code > 0) {
                EXPECT_TRUE(mark.Has(code)) << code;
            }
        }
        if (c.reported.empty()) {
            EXPECT_EQ(mark.Count(), 0u) << ::testing::PrintToString(mark.Lines());
        }
        const Bytes expected = c.written.empty() ? c.bytes : c.written;
        EXPECT_EQ(Write(tags), expected);
        auto copy = Copy(tags);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(Write(*copy), expected);
    }
}

TEST(TagList, FrameCountFollowsEditsAndSpriteLists)
{
    CSWFStream in;
    Load(in, Concat({ { 0x05, 0x00 }, Tag(1), Tag(1), Tag(0) }));
    CTagsItem tags;
    LogMark mark;
    tags.ReadSWF(&in);
    EXPECT_TRUE(HasValue(mark, kSWFErr_LessFrames, 3));
    EXPECT_EQ(tags.m_FrameCount, 2);
    // Unchanged frames write the count the file declared; a new frame writes the real count.
    EXPECT_EQ(Write(tags)[0], 5);
    tags.Add(kTagShowFrame);
    EXPECT_EQ(Write(tags), Concat({ { 0x03, 0x00 }, Tag(1), Tag(1), Tag(1), Tag(0) }));
    EXPECT_EQ(tags.m_FrameCount, 3);

    CTagsItem sprite;
    sprite.m_SpriteTags = true;
    EXPECT_EQ(sprite.GetTagClass(kTagDefineShape), kClassID_CUnKnownTag);
    EXPECT_EQ(sprite.GetTagClass(kTagShowFrame), kClassID_CShowFrameTag);
    EXPECT_EQ(tags.GetTagClass(kTagDefineShape), kClassID_CDefineShapeTag);
}

// Counted collections over plain strings: the count forms and what a bad count does.
TEST(CountedCollections, CountForms)
{
    struct Case {
        const char* name;
        int classID;
        unsigned char style;
        Bytes bytes;
        int items;
        size_t consumed;
        int result;
    };
    const Case cases[] = {
        { "byte count", kClassID_CSWFItemsByteCount, 0, { 0x02, 'a', 0, 'b', 0 }, 2, 5, 1 },
        { "word count", kClassID_CSWFItemsWordCount, 0, { 0x01, 0x00, 'a', 0 }, 1, 4, 1 },
        { "byte-word count, escaped", kClassID_CSWFItemsByteWordCount, 2, { 0xFF, 0x01, 0x00, 'a', 0 }, 1, 5, 1 },
        { "byte-word count under style 1", kClassID_CSWFItemsByteWordCount, 1, { 0x01, 'a', 0 }, 1, 3, 1 },
        { "count beyond the data", kClassID_CSWFItemsWordCount, 0, { 0xFF, 0xFF, 'a', 0 }, 2, 4, 0 },
        { "count field cut short", kClassID_CSWFItemsWordCount, 0, { 0x01 }, 0, 1, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSWFObject* object = nullptr;
        ASSERT_EQ(NewInstance(c.classID, object, nullptr, c.style), 1);
        std::unique_ptr<CSWFItems> items(dynamic_cast<CSWFItems*>(object));
        ASSERT_NE(items, nullptr);
        items->m_ItemClassID = kClassID_C0TrmStringItem;
        CSWFStream in;
        Load(in, c.bytes);
        EXPECT_EQ(items->ReadSWF(&in), c.result);
        EXPECT_EQ(items->GetItemCount(), c.items);
        EXPECT_EQ(in.GetPosition(), c.consumed);
        if (c.result == 1) {
            EXPECT_EQ(Write(*items), c.bytes);
            auto copy = Copy(*items);
            ASSERT_NE(copy, nullptr);
            EXPECT_EQ(Write(*copy), c.bytes);
        }
    }
}

TEST(CountedCollections, ByteWordCountEscapes)
{
    // FF 2C 01: 300 under style 2; under style 1 the byte is the count and 2C 01 stay unread.
    for (unsigned char style : { 2, 1 }) {
        CSWFItemsByteWordCount items(nullptr, style);
        CSWFStream in;
        Load(in, { 0xFF, 0x2C, 0x01 });
        unsigned long count = 0;
        EXPECT_EQ(items.GetSWFItemsCount(&in, count), 1);
        EXPECT_EQ(count, style == 2 ? 300u : 255u);
        EXPECT_EQ(in.GetPosition(), style == 2 ? 3u : 1u);
    }
    struct Case {
        unsigned char style;
        int items;
        Bytes prefix;
        int result;
    };
    const Case cases[] = {
        { 2, 254, { 0xFE }, 1 }, { 2, 255, { 0xFF, 0xFF, 0x00 }, 1 }, { 1, 255, { 0xFF }, 1 },
        { 1, 256, {}, 0 }, // no form holds it: refused instead of written modulo 256
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.items);
        CSWFItemsByteWordCount items(nullptr, c.style);
        for (int i = 0; i < c.items; ++i)
            items.Add(0);
        const Bytes written = Write(items, c.result);
        EXPECT_EQ(Bytes(written.begin(), written.begin() + std::min(written.size(), c.prefix.size())), c.prefix);
    }
}

// A define-counted list takes its count from the enclosing record; a huge count of items that take no data
// stops instead of allocating without end.
TEST(CountedCollections, DefinedCountIsBounded)
{
    CSWFItemsDefineCountable items;
    items.m_ItemClassID = kClassID_CSWFItem;
    items.SetCount(0xFFFFFFFF);
    CSWFStream in;
    Load(in, { 1, 2, 3 });
    EXPECT_EQ(items.ReadSWF(&in), 0);
    EXPECT_LE(items.GetItemCount(), 0x10000);

    CSWFItemsUnCountable open;
    open.m_ItemClassID = kClassID_CSWFItem;
    Load(in, { 1, 2, 3 });
    EXPECT_EQ(open.ReadSWF(&in), 1);
    EXPECT_LE(open.GetItemCount(), 1);
}

TEST(Strings, ReadAndWrite)
{
    struct Case {
        const char* name;
        int classID;
        Bytes bytes;
        int result;
        std::string text;
    };
    const Case cases[] = {
        { "terminated", kClassID_C0TrmStringItem, { 'A', 'B', 0 }, 1, "AB" },
        { "empty terminated", kClassID_C0TrmStringItem, { 0 }, 1, "" },
        { "no terminator", kClassID_C0TrmStringItem, { 'A', 'B' }, 0, "AB" },
        { "pascal", kClassID_CPascalStringItem, { 3, 'A', 'B', 'C' }, 1, "ABC" },
        { "pascal cut short", kClassID_CPascalStringItem, { 5, 'A' }, 0, "A" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSWFObject* object = nullptr;
        ASSERT_EQ(NewInstance(c.classID, object, nullptr, 0), 1);
        std::unique_ptr<CStringMainItem> str(dynamic_cast<CStringMainItem*>(object));
        CSWFStream in;
        Load(in, c.bytes);
        EXPECT_EQ(str->ReadSWF(&in), c.result);
        EXPECT_EQ(str->GetStr(), c.text);
        if (c.result == 1) {
            EXPECT_EQ(Write(*str), c.bytes);
            EXPECT_EQ(Write(*Copy(*str)), c.bytes);
        }
    }
    CPascalStringItem tooLong;
    tooLong.SetStr(std::string(256, 'x'));
    Write(tooLong, 0);

    C0TrmStringsItem pool;
    pool.AddString("one");
    pool.AddString("");
    EXPECT_EQ(Write(pool), (Bytes { 2, 0, 'o', 'n', 'e', 0, 0 }));
}

TEST(RawData, DumpReadsWhatThereIs)
{
    CDumpItem dump;
    dump.SetReadingSize(10);
    CSWFStream in;
    Load(in, { 1, 2, 3, 4 });
    LogMark mark;
    EXPECT_EQ(dump.ReadSWF(&in), 1);
    EXPECT_TRUE(HasValue(mark, kSWFErr_DumpCut, 4));
    EXPECT_EQ(dump.GetReadingSize(), 4u);
    EXPECT_EQ(Write(dump), (Bytes { 1, 2, 3, 4 }));
    EXPECT_EQ(Write(*Copy(dump)), (Bytes { 1, 2, 3, 4 }));
    dump.SetEmpty();
    EXPECT_TRUE(dump.IsEmpty());
    EXPECT_EQ(Write(dump), Bytes {});

    // Data set from a window into another buffer is copied: it outlives that buffer.
    Bytes outside = { 7, 8 };
    CSWFStream window;
    window.Assign(outside.data(), outside.size());
    dump.SetData(&window);
    outside.assign({ 0, 0 });
    EXPECT_EQ(Write(dump), (Bytes { 7, 8 }));
}

TEST(RawData, CompressedDump)
{
    const Bytes plain = Filled(300, 0x5A);
    CSWFStream packed;
    Load(packed, plain);
    ASSERT_EQ(Compress(&packed, static_cast<long>(plain.size())), 1);
    const Bytes compressed = Contents(packed);

    // Without an estimate the data stays compressed.
    {
        CZDumpItem z;
        z.SetReadingSize(static_cast<unsigned long>(compressed.size()));
        CSWFStream in;
        Load(in, compressed);
        ASSERT_EQ(z.ReadSWF(&in), 1);
        LogMark mark;
        EXPECT_EQ(Contents(*z.GetData()), compressed);
        EXPECT_TRUE(z.IsCompressed());
        EXPECT_TRUE(mark.Has(kSWFErr_NoOutEstimate));
        EXPECT_EQ(Write(z), compressed);
    }
    // With one it decompresses on reading and writes the bytes it read while the data is unchanged.
    CZDumpItem z;
    z.m_OutEstimate = static_cast<uint32_t>(plain.size());
    z.SetReadingSize(static_cast<unsigned long>(compressed.size()));
    CSWFStream in;
    Load(in, compressed);
    ASSERT_EQ(z.ReadSWF(&in), 1);
    EXPECT_FALSE(z.IsCompressed());
    EXPECT_EQ(Contents(*z.GetData()), plain);
    auto copy = Copy(z);
    EXPECT_EQ(Write(z), compressed);
    EXPECT_EQ(Write(*copy), compressed);

    // Changed data is compressed anew and reads back as the new data.
    CZDumpItem changed;
    CSWFStream other;
    Load(other, Filled(50, 1));
    changed.SetData(&other);
    const Bytes written = Write(changed);
    CSWFStream check;
    Load(check, written);
    ASSERT_EQ(DeCompress(&check, static_cast<long>(written.size()), 50), 1);
    EXPECT_EQ(Contents(check), Filled(50, 1));

    // Corrupt compressed bytes keep what was read.
    CZDumpItem corrupt;
    corrupt.m_OutEstimate = 10;
    corrupt.SetReadingSize(3);
    CSWFStream bad;
    Load(bad, { 1, 2, 3 });
    EXPECT_EQ(corrupt.ReadSWF(&bad), 1);
    EXPECT_TRUE(corrupt.IsCompressed());
    EXPECT_EQ(Write(corrupt), (Bytes { 1, 2, 3 }));
}

TEST(ObjectList, OwnershipAndEditing)
{
    CObjectList list;
    auto* a = new CSWFItem;
    auto* b = new CSWFItem;
    auto* c = new CSWFItem;
    EXPECT_EQ(list.AddObject(a), 0);
    EXPECT_EQ(list.AddObject(b), 1);
    EXPECT_EQ(list.InsertObject(0, c), 1);
    EXPECT_EQ(list.InsertObject(-1, c), 0);
    EXPECT_EQ(list.InsertObject(0, nullptr), 0);
    EXPECT_EQ(list.IndexOf(c), 0);
    EXPECT_EQ(list.MoveItem(0, 2), 1);
    EXPECT_EQ(list.GetItem(2), c);
    EXPECT_EQ(list.GetItem(3), nullptr);
    EXPECT_EQ(list.GetItem(-1), nullptr);
    EXPECT_EQ(list.DeleteObject(a), 1); // deleted: the sanitizer run catches a leak or a double free
    EXPECT_EQ(list.DeleteObject(a), 0);
    EXPECT_EQ(list.DeleteObject(-1), 0);
    EXPECT_EQ(list.SetItem(0, new CSWFItem), 1);
    list.SetItemsStyle(3);
    EXPECT_EQ(list.GetItem(1)->GetStyle(), 3);
    // Shrinking hands the objects that fall off to the caller.
    std::unique_ptr<CSWFObject> keep(list.GetItem(1));
    EXPECT_EQ(list.SetSize(1), 1);
    EXPECT_EQ(list.SetSize(3), 1);
    EXPECT_EQ(list.GetItem(2), nullptr);
    list.SetItemsStyle(1);
    list.ClearList();
    EXPECT_EQ(list.GetSize(), 0);
}

// A copy shares nothing with its source: deleting the source first leaves the copy whole.
TEST(Collections, CopySurvivesItsSource)
{
    auto tags = std::make_unique<CTagsItem>();
    CSWFStream in;
    const Bytes bytes = Concat({ { 0x01, 0x00 }, Tag(200, { 1, 2, 3 }), Tag(1), Tag(0, { 5 }) });
    Load(in, bytes);
    tags->ReadSWF(&in);
    auto copy = Copy(*tags);
    tags.reset();
    in.SetSize(0);
    EXPECT_EQ(Write(*copy), bytes);

    CSWFItemsUnCountable list;
    EXPECT_EQ(list.Add(0), 0);
    CSWFItem terminator;
    list.SetLastItem(&terminator);
    ASSERT_NE(list.GetLastItem(), nullptr);
    EXPECT_NE(list.GetLastItem(), &terminator);
    list.SetLastItem(nullptr);
    EXPECT_EQ(list.GetLastItem(), nullptr);
}
