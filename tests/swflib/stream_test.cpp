#include "SWFStream.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <random>
#include <set>

using namespace testsupport;

namespace {

struct BitRead {
    bool isSigned;
    unsigned char bits;
    int64_t expected;
};

struct BitCase {
    const char* name;
    Bytes bytes;
    std::vector<BitRead> reads;
    uint32_t position;
    unsigned char bit;
};

} // namespace

TEST(Stream, BitFieldsAreReadMostSignificantFirstAndTheCursorFollows)
{
    const BitCase cases[] = {
        { "two fields across a byte", { 0xB5, 0x40 }, { { false, 5, 22 }, { false, 6, 42 } }, 1, 5 },
        { "signed nibble", { 0xC0 }, { { true, 4, -4 } }, 0, 4 },
        { "one-bit signed field", { 0x80 }, { { true, 1, -1 } }, 0, 7 },
        { "positive signed field", { 0x60 }, { { true, 4, 6 } }, 0, 4 },
        { "whole bytes land aligned", { 0x12, 0x34 }, { { false, 8, 0x12 }, { false, 8, 0x34 } }, 2, 8 },
        { "32 bits from an odd bit", { 0xFF, 0xFF, 0xFF, 0xFF, 0x7E }, { { false, 1, 1 }, { false, 32, 0xFFFFFFFE } },
            4, 7 },
        { "32-bit signed", { 0x80, 0x00, 0x00, 0x00 }, { { true, 32, INT32_MIN } }, 4, 8 },
        { "zero-width fields read nothing", { 0xFF }, { { false, 0, 0 }, { true, 0, 0 }, { false, 3, 7 } }, 0, 5 },
    };
    for (const BitCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data = c.bytes;
        CSWFStream s;
        s.Assign(data.data(), data.size());
        for (const BitRead& r : c.reads) {
            if (r.isSigned)
                EXPECT_EQ(s.GetS(r.bits), r.expected);
            else
                EXPECT_EQ(s.GetU(r.bits), static_cast<uint32_t>(r.expected));
        }
        EXPECT_EQ(s.GetPosition(), c.position);
        EXPECT_EQ(s.GetBit(), c.bit);
        EXPECT_EQ(s.GetDataLow(), 0);
    }
}

TEST(Stream, ReadingPastTheEndRecordsTheShortfallUntilThePositionMovesInside)
{
    CSWFStream empty;
    EXPECT_EQ(empty.GetU8(), 0);
    EXPECT_EQ(empty.GetDataRest(), -1);

    Bytes data = { 1, 2, 3 };
    CSWFStream s;
    s.Assign(data.data(), data.size());
    s.GetU(4);
    uint32_t v = 99;
    EXPECT_EQ(s.ReadBits(&v, 24), 0); // needs 4 bytes from position 0
    EXPECT_EQ(v, 99u);
    EXPECT_EQ(s.GetPosition(), 3u);
    EXPECT_EQ(s.GetBit(), 8);
    EXPECT_EQ(s.GetDataRest(), -1);
    EXPECT_EQ(s.GetU32(), 0u); // shortfalls accumulate
    EXPECT_EQ(s.GetDataRest(), -5);
    s.SetPosition(3); // same position: nothing changes
    EXPECT_EQ(s.GetDataRest(), -5);
    s.SetPosition(10);
    EXPECT_EQ(s.GetDataRest(), -12);
    s.SetPosition(1);
    EXPECT_EQ(s.GetDataRest(), 2);
    EXPECT_EQ(s.GetU16(), 0x0302);
}

TEST(Stream, WrittenBitFieldsReadBackAndLeaveNeighbouringBitsAlone)
{
    std::mt19937 random(1234);
    std::vector<std::pair<uint32_t, unsigned char>> fields;
    CSWFStream s;
    for (int i = 0; i < 2000; ++i) {
        const auto bits = static_cast<unsigned char>(random() % 33);
        const uint32_t value = bits == 32 ? static_cast<uint32_t>(random()) : random() & ((1u << bits) - 1);
        fields.emplace_back(value, bits);
        ASSERT_EQ(s.WriteBits(value, bits), 1);
    }
    s.FlushBits();
    s.SetPosition(0);
    for (const auto& [value, bits] : fields)
        ASSERT_EQ(s.GetU(bits), value) << int(bits);
    s.FlushBits();
    EXPECT_EQ(s.GetDataRest(), 0);

    // Overwriting a field inside existing bytes keeps the bits around it.
    Bytes data = { 0xFF, 0xFF };
    CSWFStream window;
    window.Assign(data.data(), data.size());
    window.GetU(3);
    EXPECT_EQ(window.WriteBits(0, 6), 1);
    EXPECT_EQ(data, (Bytes { 0xE0, 0x7F }));
    // A window cannot grow: a write past its end fails and writes nothing.
    window.SetPosition(1);
    window.SetBit(8);
    EXPECT_EQ(window.WriteBits(0, 16), 0);
    EXPECT_EQ(data, (Bytes { 0xE0, 0x7F }));
}

TEST(Stream, IntegersAreLittleEndianWithoutImplicitAlignment)
{
    CSWFStream s;
    s.WriteU16(0x1234);
    s.WriteS16(-2);
    s.WriteU32(0xA1B2C3D4);
    s.WriteS32(-100000);
    EXPECT_EQ(Contents(s), (Bytes { 0x34, 0x12, 0xFE, 0xFF, 0xD4, 0xC3, 0xB2, 0xA1, 0x60, 0x79, 0xFE, 0xFF }));
    s.SetPosition(0);
    EXPECT_EQ(s.GetU16(), 0x1234);
    EXPECT_EQ(s.GetS16(), -2);
    EXPECT_EQ(s.GetU32(), 0xA1B2C3D4u);
    EXPECT_EQ(s.GetS32(), -100000);

    // A 16-bit read inside a bit field takes the next 16 bits and swaps them.
    Bytes data = { 0x81, 0x23, 0x40 };
    CSWFStream bits;
    bits.Assign(data.data(), data.size());
    bits.GetU(4);
    EXPECT_EQ(bits.GetU16(), 0x3412);
    EXPECT_EQ(bits.GetBit(), 4);
    bits.SetPosition(0);
    bits.SetBit(8);
    EXPECT_EQ(bits.GetS8(), -127);
}

TEST(Stream, FixedPointNumbers)
{
    struct {
        Bytes bytes;
        float value;
    } reads[] = { { { 0x80, 0x0C }, 12.5f }, { { 0x00, 0xFF }, -1.0f }, { { 0x00, 0x18 }, 24.0f },
        { { 0x40, 0xFE }, -1.75f } };
    for (auto& r : reads) {
        CSWFStream s;
        s.Assign(r.bytes.data(), r.bytes.size());
        EXPECT_FLOAT_EQ(s.GetFloat88(), r.value);
    }

    struct {
        float value;
        Bytes bytes;
    } writes[] = {
        { 12.0f, { 0x00, 0x0C } },
        { 12.5f, { 0x80, 0x0C } },
        { 24.0f, { 0x00, 0x18 } },
        { 29.97f, { 0xF8, 0x1D } },
        { 200.0f, { 0x00, 0xC8 } },
        { 255.5f, { 0x80, 0xFF } },
        { -1.5f, { 0x80, 0xFE } },
        { -0.25f, { 0xC0, 0xFF } },
    };
    for (auto& w : writes) {
        SCOPED_TRACE(w.value);
        CSWFStream s;
        ASSERT_EQ(s.WriteFloat88(w.value), 1);
        EXPECT_EQ(Contents(s), w.bytes);
    }
    // Every negative 8.8 value survives a write and a read exactly.
    for (int raw = -32768; raw < 0; raw += 97) {
        const float v = static_cast<float>(raw) / 256.0f;
        CSWFStream s;
        s.WriteFloat88(v);
        s.SetPosition(0);
        ASSERT_EQ(s.GetFloat88(), v);
    }
}

TEST(Stream, BitCursorAndAlignment)
{
    Bytes data = { 0xAA, 0xBB };
    CSWFStream s;
    s.Assign(data.data(), data.size());
    s.SetBit(0);
    EXPECT_EQ(s.GetBit(), 8);
    s.SetBit(9);
    EXPECT_EQ(s.GetBit(), 8);
    s.FlushBits(); // aligned: nothing moves
    EXPECT_EQ(s.GetPosition(), 0u);
    s.GetU(3);
    s.FlushBits();
    EXPECT_EQ(s.GetPosition(), 1u);
    EXPECT_EQ(s.GetBit(), 8);

    // A writer at the end that flushes gets its partial byte.
    CSWFStream w;
    w.WriteBits(1, 1);
    w.FlushBits();
    EXPECT_EQ(Contents(w), (Bytes { 0x80 }));
    EXPECT_EQ(w.GetPosition(), 1u);
}

namespace {

struct TagHeaderCase {
    Bytes bytes;
    int result;
    unsigned short code;
    bool longHeader;
    uint32_t bodySize;
};

} // namespace

TEST(Stream, TagHeadersGiveCodeLengthAndABodyWindow)
{
    const TagHeaderCase cases[] = {
        { { 0x00, 0x00 }, 1, 0, false, 0 }, { { 0x43, 0x02, 1, 2, 3 }, 1, 9, false, 3 },
        { { 0x3F, 0x03, 0x05, 0x00, 0x00, 0x00, 1, 2, 3, 4, 5 }, 1, 12, true, 5 },
        { { 0x3F, 0x03, 0x00, 0x00, 0x00, 0x00 }, 1, 12, true, 0 }, // a long header may announce a short body
        { { 0x43 }, 0, 0, false, 0 }, // truncated header
        { { 0x3F, 0x03, 0x05, 0x00 }, 0, 12, true, 0 }, // truncated long length
    };
    for (const TagHeaderCase& c : cases) {
        Bytes data = c.bytes;
        CSWFStream s, body;
        s.Assign(data.data(), data.size());
        unsigned short code = 0xFFFF;
        bool longHeader = false;
        ASSERT_EQ(s.GetNexTag(&code, &longHeader, &body), c.result);
        if (!c.result)
            continue;
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(longHeader, c.longHeader);
        EXPECT_EQ(body.GetSize(), c.bodySize);
        EXPECT_FALSE(body.GetAutoDispose());
        if (c.bodySize) {
            EXPECT_EQ(body.GetBuffer(), data.data() + data.size() - c.bodySize); // a window, not a copy
        }
        EXPECT_EQ(s.GetPosition(), data.size());
    }
}

TEST(Stream, ATagLongerThanTheRestStopsTheWalkWithADiagnostic)
{
    Bytes data = { 0x43, 0x02, 1, 2 }; // announces 3 bytes, 2 remain
    CSWFStream s, body;
    s.Assign(data.data(), data.size());
    LogMark mark;
    unsigned short code = 0;
    bool longHeader = false;
    EXPECT_EQ(s.GetNexTag(&code, &longHeader, &body), 0);
    EXPECT_EQ(s.GetPosition(), 2u);
    ASSERT_EQ(mark.Count(), 1u);
    EXPECT_TRUE(mark.Has(kSWFErr_DataBeyondSize));
    EXPECT_NE(mark.Lines()[0].find("Requied size: 3, from absolure rest: 2. Real data size: 4, Offset: 2, tag ID: 9, "
                                   "navigation terminated"),
        std::string::npos);
}

TEST(Stream, AppendTagChoosesTheHeaderFormByBodySizeOrFlag)
{
    struct {
        unsigned short code;
        bool longHeader;
        size_t bodySize; // SIZE_MAX: no body
        Bytes header;
    } cases[] = {
        { 9, false, 3, { 0x43, 0x02 } },
        { 9, false, 62, { 0x7E, 0x02 } },
        { 9, false, 63, { 0x7F, 0x02, 0x3F, 0x00, 0x00, 0x00 } },
        { 9, true, 3, { 0x7F, 0x02, 0x03, 0x00, 0x00, 0x00 } },
        { 1, false, SIZE_MAX, { 0x40, 0x00 } },
        { 1023, false, 0, { 0xC0, 0xFF } },
    };
    for (auto& c : cases) {
        CSWFStream out, body;
        Bytes content = Filled(c.bodySize == SIZE_MAX ? 0 : c.bodySize, 0x5A);
        Load(body, content);
        body.SetPosition(body.GetSize()); // the body's position plays no part
        ASSERT_EQ(out.AppendTag(c.code, c.longHeader, c.bodySize == SIZE_MAX ? nullptr : &body), 1);
        EXPECT_EQ(Contents(out), Concat({ c.header, content })) << c.code << " " << c.bodySize;
    }
}

TEST(Stream, ActionHeadersReadAndWrite)
{
    Bytes data = { 0x07, 0x83, 0x02, 0x00, 0xAA, 0xBB, 0x96, 0x05, 0x00, 0x01 };
    CSWFStream s, body;
    s.Assign(data.data(), data.size());
    unsigned char code = 0;
    ASSERT_EQ(s.GetNextAction(&code, &body), 1);
    EXPECT_EQ(code, 0x07);
    EXPECT_EQ(body.GetSize(), 0u);
    ASSERT_EQ(s.GetNextAction(&code, &body), 1);
    EXPECT_EQ(code, 0x83);
    EXPECT_EQ(Contents(body), (Bytes { 0xAA, 0xBB }));
    LogMark mark;
    EXPECT_EQ(s.GetNextAction(&code, &body), 0); // 5 bytes announced, 1 left
    EXPECT_TRUE(mark.Has(kSWFErr_DataBeyondSize));

    CSWFStream out;
    out.AppendAction(0x07, &body); // no length, whatever the body
    out.AppendAction(0x83, &body);
    out.AppendAction(0x81, nullptr);
    EXPECT_EQ(Contents(out), (Bytes { 0x07, 0x83, 0x02, 0x00, 0xAA, 0xBB, 0x81, 0x00, 0x00 }));
}

TEST(Stream, WindowsAndAssignedBuffersNeverChangeSize)
{
    Bytes data = { 1, 2, 3, 4, 5 };
    CSWFStream w;
    w.Assign(data.data(), data.size());
    EXPECT_EQ(w.SetSize(10), 0);
    EXPECT_EQ(w.SetSize(2), 0);
    EXPECT_EQ(w.GetSize(), 5u);
    EXPECT_EQ(w.SetMemorySize(100), 0);
    w.SetAutoDispose(true);
    EXPECT_FALSE(w.GetAutoDispose());
    EXPECT_EQ(w.Insert(2), 0);
    EXPECT_EQ(w.Insert(-2), 0);
    EXPECT_EQ(w.GetSize(), 5u);
    w.SetPosition(5);
    EXPECT_EQ(w.WriteBuf("x", 1), 0);
    EXPECT_EQ(w.GetDataRest(), -1);
    EXPECT_EQ(data, (Bytes { 1, 2, 3, 4, 5 }));

    // Assigning nothing empties the stream and clears position, shortfall and bit cursor.
    w.SetPosition(2);
    w.GetU(3);
    w.Assign(data.data(), 0);
    EXPECT_EQ(w.GetPosition(), 0u);
    EXPECT_EQ(w.GetDataRest(), 0);
    EXPECT_EQ(w.GetBit(), 8);
}

TEST(Stream, SizeAndCapacityOfAnOwnedBuffer)
{
    CSWFStream s;
    Load(s, { 1, 2, 3, 4, 5, 6, 7, 8 });
    s.SetPosition(6);
    ASSERT_EQ(s.SetSize(4), 1); // shrinking below the position moves it to the end
    EXPECT_EQ(s.GetPosition(), 4u);
    ASSERT_EQ(s.SetSize(6), 1); // growing zero-fills
    EXPECT_EQ(Contents(s), (Bytes { 1, 2, 3, 4, 0, 0 }));
    ASSERT_EQ(s.SetMemorySize(3), 1); // the size never stays above the capacity
    EXPECT_EQ(s.GetSize(), 3u);
    EXPECT_LE(s.GetPosition(), s.GetSize());
    ASSERT_EQ(s.SetMemorySize(0), 1);
    EXPECT_EQ(s.GetSize(), 0u);
    EXPECT_EQ(s.GetBuffer(), nullptr);

    // Appending byte by byte reserves ahead: the capacity changes only a few dozen times.
    CSWFStream grow;
    std::set<uint32_t> capacities;
    for (int i = 0; i < 100000; ++i) {
        grow.WriteU8(static_cast<uint8_t>(i));
        capacities.insert(grow.GetMemorySize());
    }
    EXPECT_EQ(grow.GetSize(), 100000u);
    EXPECT_LT(capacities.size(), 40u);
}

TEST(Stream, InsertOpensAndClosesGapsAtThePosition)
{
    struct {
        long n;
        uint32_t position;
        Bytes expected;
    } cases[] = {
        { 4, 2, { 0, 1, 2, 3, 4, 5, 2, 3, 4, 5 } }, // the gap keeps the old bytes; the tail moved up
        { -2, 2, { 0, 1, 4, 5 } },
        { -4, 4, { 0, 1, 2, 3 } }, // only the bytes after the position go
        { -7, 3, {} }, // more than the whole stream empties it
        { LONG_MIN, 3, {} },
        { 0, 3, { 0, 1, 2, 3, 4, 5 } },
    };
    for (auto& c : cases) {
        CSWFStream s;
        Load(s, { 0, 1, 2, 3, 4, 5 });
        s.SetPosition(c.position);
        EXPECT_EQ(s.Insert(c.n), 1) << c.n;
        EXPECT_EQ(Contents(s), c.expected) << c.n;
        EXPECT_EQ(s.GetPosition(), std::min<uint32_t>(c.position, s.GetSize())) << c.n;
    }
}

TEST(Stream, CopiesOwnTheirBytesOrShareAWindow)
{
    CSWFStream s;
    Load(s, { 1, 2, 3 });
    s.GetU(3);
    CSWFStream* copy = new CSWFStream;
    ASSERT_EQ(s.MakeCopy(copy), 1); // the old object in dest is replaced
    EXPECT_NE(copy->GetBuffer(), s.GetBuffer());
    EXPECT_EQ(copy->GetBit(), 5);
    copy->SetPosition(0);
    copy->SetBit(8);
    copy->WriteU8(9);
    EXPECT_EQ(Contents(s), (Bytes { 1, 2, 3 }));
    CSWFStream* same = copy;
    EXPECT_EQ(copy->MakeCopy(same), 1);
    EXPECT_EQ(same, copy);

    Bytes data = { 4, 5 };
    CSWFStream w;
    w.Assign(data.data(), data.size());
    ASSERT_EQ(w.MakeCopy(copy), 1);
    EXPECT_EQ(copy->GetBuffer(), data.data());
    EXPECT_FALSE(copy->GetAutoDispose());
    delete copy;
}

TEST(Stream, BlockCopiesStayInsideTheirData)
{
    CSWFStream s;
    Load(s, { 1, 2, 3, 4 });
    uint8_t out[6] = {};
    EXPECT_EQ(s.ReadBuf(out, 6), 0); // copies what is there and records the rest as missing
    EXPECT_EQ(out[3], 4);
    EXPECT_EQ(s.GetDataRest(), -2);

    // A write from the stream's own bytes that makes it grow still copies the right bytes.
    s.SetPosition(0);
    s.SetPosition(4);
    ASSERT_EQ(s.WriteBuf(s.GetBuffer(), 4), 1);
    EXPECT_EQ(Contents(s), (Bytes { 1, 2, 3, 4, 1, 2, 3, 4 }));

    CSWFStream other;
    s.SetPosition(6);
    EXPECT_EQ(s.ReadStream(&other, 3), 0); // only 2 remain
    EXPECT_EQ(other.WriteStream(&s, 3), 0);
    EXPECT_EQ(s.GetPosition(), 6u);
    EXPECT_EQ(other.GetSize(), 0u);
    EXPECT_EQ(s.ReadStream(&other, 2), 1);
    EXPECT_EQ(s.ReadStream(nullptr, 0), 0);
    EXPECT_EQ(Contents(other), (Bytes { 3, 4 }));
}

TEST(Stream, FilesLoadAndSave)
{
    TempDir dir;
    const std::string path = (dir.Path() / "movie.bin").string();
    CSWFStream s;
    Load(s, { 9, 8, 7, 6, 5 });
    ASSERT_EQ(s.SaveToFile(path.c_str()), 1);

    CSWFStream loaded;
    Load(loaded, Filled(50)); // a longer earlier content is replaced
    loaded.GetU(3);
    ASSERT_EQ(loaded.LoadFromFile(path.c_str()), 1);
    EXPECT_EQ(Contents(loaded), (Bytes { 9, 8, 7, 6, 5 }));
    EXPECT_EQ(loaded.GetPosition(), 0u);
    EXPECT_EQ(loaded.GetBit(), 8);

    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 2, SEEK_SET);
    EXPECT_EQ(GetFileSize(file), 5u);
    EXPECT_EQ(std::ftell(file), 2); // the file position is restored
    std::fclose(file);
    EXPECT_EQ(GetFileSize(nullptr), 0u);

    EXPECT_EQ(loaded.LoadFromFile((dir.Path() / "missing").string().c_str()), 0);
    EXPECT_EQ(loaded.SaveToFile((dir.Path() / "no" / "such" / "dir").string().c_str()), 0);
    EXPECT_EQ(loaded.LoadFromFile(dir.Path().string().c_str()), 0); // a folder is not a file
}
