// Inputs the fuzz targets found faults with, kept as tests so the faults stay fixed.
#include "Compression.h"
#include "SWFStream.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

void Load(CSWFStream& s, const Bytes& b)
{
    s.WriteBuf(b.data(), b.size());
    s.SetPosition(0);
}

Bytes Contents(const CSWFStream& s)
{
    return Bytes(s.GetBuffer(), s.GetBuffer() + s.GetSize());
}

// zlib (level 9) of the eight bytes "FWS-body".
const Bytes kZlibBody
    = { 0x78, 0xDA, 0x73, 0x0B, 0x0F, 0xD6, 0x4D, 0xCA, 0x4F, 0xA9, 0x04, 0x00, 0x0B, 0x82, 0x02, 0xCC };
const Bytes kInflatedBody = { 'F', 'W', 'S', '-', 'b', 'o', 'd', 'y' };

// The body of a "ZWS" movie holding "FWS-body FWS-body FWS-body": compressed length, LZMA properties whose
// dictionary size says 4 GB, raw LZMA data.
const Bytes kLzmaHugeDictionary = { 0x16, 0x00, 0x00, 0x00, // length
    0x5D, 0xFF, 0xFF, 0xFF, 0xFF, // properties
    0x00, 0x23, 0x15, 0xC6, 0x8D, 0x9C, 0x1E, 0x06, 0x67, 0x18, 0x81, 0x01, 0x0B, 0x2F, 0xB2, 0x1F, // data
    0xFF, 0xFF, 0xA0, 0x1E, 0x00, 0x00 };
constexpr size_t kLzmaHugeDictionaryOutput = 26;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// Limits the address space of this process to what it uses now plus `extra` bytes.
bool LimitAddressSpace(size_t extra)
{
    FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    const bool read = statm && std::fscanf(statm, "%lu", &pages) == 1;
    if (statm)
        std::fclose(statm);
    const rlimit limit { pages * 4096 + extra, pages * 4096 + extra };
    return read && setrlimit(RLIMIT_AS, &limit) == 0;
}

} // namespace

// Inflating a region that ends before the stream did drop every byte after the region: the inflated data was
// handed to the stream as its whole new buffer.
TEST(FuzzRegressions, InflatingARegionKeepsTheBytesAroundIt)
{
    const Bytes head = { 'x', 'y', 'z' };
    const Bytes tail = { 'T', 'A', 'I', 'L' };
    CSWFStream s;
    Load(s, Concat({ head, kZlibBody, tail }));
    s.SetPosition(head.size());
    ASSERT_EQ(DeCompress(&s, static_cast<long>(kZlibBody.size()), kInflatedBody.size()), 1);
    EXPECT_EQ(Contents(s), Concat({ head, kInflatedBody, tail }));
    EXPECT_EQ(s.GetPosition(), head.size());
}

// The same fault through both codecs, at odd positions, with and without bytes after the region. Noise is
// the case LZMA compression failed on: its output outgrew the buffer sized for the .xz format.
TEST(FuzzRegressions, CompressedRegionsInflateBackInPlace)
{
    struct Case {
        bool lzma;
        size_t before;
        size_t region;
        size_t after;
        bool noise;
    };
    const Case cases[] = {
        { false, 0, 1, 4, false },
        { false, 3, 9, 4, false },
        { false, 5, 100, 1, false },
        { false, 5, 100, 0, false },
        { false, 4097, 300, 7, false },
        { false, 3, 70000, 5, true },
        { true, 0, 1, 4, false },
        { true, 3, 9, 4, false },
        { true, 5, 100, 1, false },
        { true, 5, 100, 0, false },
        { true, 4097, 300, 7, false },
        { true, 3, 70000, 5, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.lzma ? "lzma" : "zlib") << " before " << c.before << " region "
                                        << c.region << " after " << c.after << (c.noise ? " noise" : ""));
        Bytes original(c.before + c.region + c.after);
        uint32_t x = 12345;
        for (size_t i = 0; i < original.size(); ++i) {
            x = x * 1103515245u + 12345u;
            original[i] = static_cast<uint8_t>(c.noise ? x >> 24 : i * 7 + i / 13);
        }
        CSWFStream s;
        Load(s, original);
        s.SetPosition(c.before);
        ASSERT_EQ(
            c.lzma ? CompressLZMA(&s, static_cast<long>(c.region)) : Compress(&s, static_cast<long>(c.region)), 1);
        EXPECT_EQ(s.GetPosition(), c.before);
        const long packed = static_cast<long>(s.GetSize() - c.before - c.after);
        ASSERT_EQ(c.lzma ? DeCompressLZMA(&s, packed, c.region) : DeCompress(&s, packed, c.region), 1);
        EXPECT_EQ(Contents(s), original);
        EXPECT_EQ(s.GetPosition(), c.before);
    }
}

// LZMA properties may ask for a dictionary of up to 4 GB, which the decoder allocated before reading a byte:
// a few bytes of a malformed movie reserved gigabytes. The dictionary never needs to exceed the output.
TEST(FuzzRegressions, LzmaDictionaryIsBoundedByTheOutput)
{
    CSWFStream s;
    Load(s, kLzmaHugeDictionary);
    ASSERT_EQ(DeCompressLZMA(&s, static_cast<long>(kLzmaHugeDictionary.size()), kLzmaHugeDictionaryOutput), 1);
    EXPECT_EQ(Contents(s),
        Bytes({ 'F', 'W', 'S', '-', 'b', 'o', 'd', 'y', ' ', 'F', 'W', 'S', '-', 'b', 'o', 'd', 'y', ' ', 'F', 'W', 'S',
            '-', 'b', 'o', 'd', 'y' }));

    // With the address space capped, a dictionary of the claimed size could not even be allocated. The
    // sanitizer's shadow memory does not live with such a cap, so this half runs only in plain builds.
    if (kAddressSanitizer)
        return;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!LimitAddressSpace(size_t { 256 } << 20))
                std::_Exit(2);
            CSWFStream t;
            Load(t, kLzmaHugeDictionary);
            std::_Exit(DeCompressLZMA(&t, static_cast<long>(kLzmaHugeDictionary.size()), 1 << 30) == 1 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// The output buffer was reserved at the size the header claims (up to 8192 times the input): 64 KB of data
// claiming 512 MB reserved 512 MB up front. It now grows with the data that actually comes out.
TEST(FuzzRegressions, LzmaOutputGrowsWithTheDataNotTheClaim)
{
    if (kAddressSanitizer)
        GTEST_SKIP() << "the address-space cap does not combine with the sanitizer's shadow memory";
    Bytes noise(size_t { 64 } << 10);
    uint32_t x = 12345;
    for (uint8_t& b : noise) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    CSWFStream packed;
    Load(packed, noise);
    ASSERT_EQ(CompressLZMA(&packed, static_cast<long>(noise.size())), 1);
    const Bytes region = Contents(packed);

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!LimitAddressSpace(size_t { 256 } << 20))
                std::_Exit(2);
            CSWFStream t;
            Load(t, region);
            if (DeCompressLZMA(&t, static_cast<long>(region.size()), 512ul << 20) != 1)
                std::_Exit(1);
            std::_Exit(Contents(t) == noise ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
}
