#include "Compression.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

using namespace testsupport;

namespace {

using Packer = int (*)(CSWFStream*, long);
using Unpacker = int (*)(CSWFStream*, long, unsigned long);

struct Method {
    const char* name;
    Packer pack;
    Unpacker unpack;
};

const Method kMethods[] = { { "zlib", Compress, DeCompress }, { "lzma", CompressLZMA, DeCompressLZMA } };

Bytes Sample(size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i % 7 == 0 ? random() : i / 64); // compressible but not trivial
    return b;
}

struct Snapshot {
    Bytes bytes;
    uint32_t position;
    int32_t dataLow;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const CSWFStream& s)
{
    return { Contents(s), s.GetPosition(), s.GetDataLow() };
}

} // namespace

TEST(Compression, RoundTripsInPlaceAtAnyPositionAndKeepTheBytesAroundTheRegion)
{
    struct {
        size_t prefix;
        size_t region;
        size_t tail;
    } layouts[] = { { 0, 1, 0 }, { 8, 20000, 0 }, { 3, 777, 5 }, { 5000, 4096, 0 }, { 9, 300000, 17 } };
    for (const Method& m : kMethods) {
        for (auto [prefix, region, tail] : layouts) {
            SCOPED_TRACE(std::string(m.name) + " prefix " + std::to_string(prefix) + " region " + std::to_string(region)
                + " tail " + std::to_string(tail));
            const Bytes before = Sample(prefix, 1), body = Sample(region, 2), after = Filled(tail, 0xEE);
            CSWFStream s;
            Load(s, Concat({ before, body, after }));
            s.SetPosition(prefix);
            ASSERT_EQ(m.pack(&s, static_cast<long>(region)), 1);
            EXPECT_EQ(s.GetPosition(), prefix);
            const uint32_t packedSize = s.GetSize() - static_cast<uint32_t>(prefix + tail);
            if (region > 1000) {
                EXPECT_LT(packedSize, region);
            }
            EXPECT_EQ(Bytes(s.GetBuffer(), s.GetBuffer() + prefix), before);
            EXPECT_EQ(Bytes(s.GetBuffer() + s.GetSize() - tail, s.GetBuffer() + s.GetSize()), after);

            ASSERT_EQ(m.unpack(&s, static_cast<long>(packedSize), region), 1);
            EXPECT_EQ(s.GetPosition(), prefix);
            EXPECT_EQ(Contents(s), Concat({ before, body, after }));
        }
    }
}

TEST(Compression, EmptyRegionsChangeNothingAndCountsAreLimitedToTheData)
{
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        CSWFStream s;
        Load(s, { 1, 2, 3 });
        s.SetPosition(3);
        const Snapshot before = Take(s);
        EXPECT_EQ(m.pack(&s, 100), 1);
        EXPECT_EQ(m.unpack(&s, 100, 100), 1);
        s.SetPosition(1);
        EXPECT_EQ(m.pack(&s, 0), 1);
        EXPECT_EQ(m.pack(&s, -5), 1);
        s.SetPosition(3);
        EXPECT_EQ(Take(s), before);
        EXPECT_EQ(m.pack(nullptr, 1), 0);
        EXPECT_EQ(m.unpack(nullptr, 1, 1), 0);

        // A count beyond the data means "up to the end".
        CSWFStream big;
        Load(big, Sample(5000, 3));
        ASSERT_EQ(m.pack(&big, 1 << 30), 1);
        ASSERT_EQ(m.unpack(&big, 1 << 30, 5000), 1);
        EXPECT_EQ(Contents(big), Sample(5000, 3));
    }
}

TEST(Compression, DataThatDoesNotDecodeLeavesTheStreamAsItWas)
{
    CSWFStream packed;
    Load(packed, Sample(3000, 4));
    ASSERT_EQ(Compress(&packed, 3000), 1);
    Bytes cut = Contents(packed);
    cut.resize(cut.size() - 6);
    Bytes flipped = Contents(packed);
    flipped[flipped.size() / 2] ^= 0x55;

    CSWFStream lz;
    Load(lz, Sample(3000, 4));
    ASSERT_EQ(CompressLZMA(&lz, 3000), 1);
    Bytes lzCut = Contents(lz);
    lzCut.resize(lzCut.size() / 2);
    Bytes badProps = Contents(lz);
    badProps[4] = 0xFF; // lc/lp/pb out of range

    struct {
        const char* name;
        Unpacker unpack;
        Bytes data;
        unsigned long expected;
    } cases[] = {
        { "zlib garbage", DeCompress, { 'n', 'o', 't', ' ', 'z', 'l', 'i', 'b' }, 100 },
        { "zlib cut short", DeCompress, cut, 3000 },
        { "zlib corrupted", DeCompress, flipped, 3000 },
        { "lzma garbage", DeCompressLZMA, Filled(40, 0x11), 100 },
        { "lzma shorter than its prefix", DeCompressLZMA, { 1, 2, 3 }, 100 },
        { "lzma cut short", DeCompressLZMA, lzCut, 3000 },
        { "lzma bad properties", DeCompressLZMA, badProps, 3000 },
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSWFStream s;
        Load(s, Concat({ Bytes { 7, 7 }, c.data }));
        s.SetPosition(2);
        const Snapshot before = Take(s);
        EXPECT_EQ(c.unpack(&s, static_cast<long>(c.data.size()), c.expected), 0);
        EXPECT_EQ(Take(s), before);
    }
}

TEST(Compression, ClaimedSizesDoNotDecideHowMuchIsAllocated)
{
    // A few bytes of zlib data with a claimed size of gigabytes: the result is right and the buffer small.
    CSWFStream s;
    Load(s, Filled(64, 'a'));
    ASSERT_EQ(Compress(&s, 64), 1);
    const uint32_t packedSize = s.GetSize();
    ASSERT_EQ(DeCompress(&s, packedSize, 0xFFFFFFF0ul), 1);
    EXPECT_EQ(Contents(s), Filled(64, 'a'));
    EXPECT_LT(s.GetMemorySize(), 1u << 20);

    // A claimed size that is too small does not cut the output either.
    CSWFStream large;
    Load(large, Sample(100000, 5));
    ASSERT_EQ(Compress(&large, 100000), 1);
    ASSERT_EQ(DeCompress(&large, static_cast<long>(large.GetSize()), 10), 1);
    EXPECT_EQ(Contents(large), Sample(100000, 5));

    // A zlib bomb is still inflated whole: the output bound follows what zlib can produce from the input.
    const Bytes zeros(8 << 20, 0);
    uLongf bombSize = compressBound(zeros.size());
    Bytes bomb(bombSize);
    compress2(bomb.data(), &bombSize, zeros.data(), zeros.size(), 9);
    bomb.resize(bombSize);
    CSWFStream b;
    Load(b, bomb);
    ASSERT_EQ(DeCompress(&b, static_cast<long>(bomb.size()), 0), 1);
    EXPECT_EQ(b.GetSize(), zeros.size());

    // An LZMA stream that announces a dictionary of 4 gigabytes still decodes its few bytes.
    CSWFStream lz;
    Load(lz, Sample(2000, 6));
    ASSERT_EQ(CompressLZMA(&lz, 2000), 1);
    for (int i = 0; i < 4; ++i)
        lz.GetBuffer()[4 + 1 + i] = 0xFF;
    ASSERT_EQ(DeCompressLZMA(&lz, static_cast<long>(lz.GetSize()), 0xFFFFFFF0ul), 1);
    EXPECT_EQ(Contents(lz), Sample(2000, 6));

    // LZMA data without an end marker stops at the expected size.
    CSWFStream limited;
    Load(limited, Sample(2000, 7));
    ASSERT_EQ(CompressLZMA(&limited, 2000), 1);
    ASSERT_EQ(DeCompressLZMA(&limited, static_cast<long>(limited.GetSize()), 1500), 1);
    const Bytes full = Sample(2000, 7);
    EXPECT_EQ(Contents(limited), Bytes(full.begin(), full.begin() + 1500));
}

TEST(Compression, StreamsThatDoNotOwnTheirBytesAreNotResized)
{
    Bytes data = Sample(4000, 8);
    const Bytes original = data;
    CSWFStream w;
    w.Assign(data.data(), data.size());
    EXPECT_EQ(Compress(&w, 4000), 0);
    EXPECT_EQ(w.GetSize(), 4000u);
    EXPECT_EQ(data, original);
}
