#include "Compression.h"

#include "SWFStream.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr uint64_t kMaxStreamSize = std::numeric_limits<uint32_t>::max();
// Below this many bytes before the region, the new movie is built whole in one buffer and handed over.
constexpr uint32_t kAdoptPrefixLimit = 4096;
constexpr uint64_t kMinOutput = 256;
// First output buffer of LZMA decoding, as a multiple of the input; movies rarely pack better.
constexpr uint64_t kLzmaFirstGuessRatio = 4;
constexpr size_t kLzmaMinGrowth = 4096;

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<uint8_t, FreeDeleter>;

uint32_t LimitCount(const CSWFStream* stream, long count)
{
    if (count <= 0)
        return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(count),
                                                    stream->m_Size - stream->m_Position));
}

// Replaces `count` bytes at the position with `len` new bytes; the position ends at the region's start.
int ReplaceRegion(CSWFStream* stream, uint32_t count, const uint8_t* bytes, uint64_t len)
{
    const uint32_t start = stream->m_Position;
    if (len > kMaxStreamSize - (stream->m_Size - count))
        return 0;
    if (!stream->Insert(static_cast<long>(static_cast<int64_t>(len) - static_cast<int64_t>(count))))
        return 0;
    const int ok = stream->WriteBuf(bytes, static_cast<unsigned long>(len));
    stream->m_Position = start;
    return ok;
}

// Output of a decoder: a malloc'd buffer whose first `prefix` bytes are kept free for the bytes before the
// region, so that a small prefix can be copied in and the whole buffer adopted by the stream.
class OutputBuffer
{
public:
    OutputBuffer(uint32_t prefix, uint64_t limit) : m_Prefix(prefix), m_Limit(limit) {}

    bool Reserve(uint64_t capacity)
    {
        capacity = std::min(capacity, m_Limit);
        if (capacity <= m_Capacity && m_Data)
            return true;
        auto* grown = static_cast<uint8_t*>(std::realloc(m_Data.get(), m_Prefix + std::max<uint64_t>(capacity, 1)));
        if (!grown)
            return false;
        m_Data.release();
        m_Data.reset(grown);
        m_Capacity = std::max<uint64_t>(capacity, 1);
        return true;
    }
    bool Grow() { return m_Capacity < m_Limit && Reserve(m_Capacity * 2); }
    uint8_t* Out() { return m_Data.get() + m_Prefix; }
    uint64_t Capacity() const { return m_Capacity; }

    // Hands the result to the stream: adopted whole when the prefix is small, copied in place otherwise.
    int Commit(CSWFStream* stream, uint32_t count, uint64_t produced)
    {
        const uint32_t start = stream->m_Position;
        // Only a region that runs to the end of the stream can be replaced by a new buffer: bytes after it
        // would be lost.
        const bool adopt = stream->m_AutoDispose && start == m_Prefix && uint64_t{start} + count == stream->m_Size &&
                           start + produced <= kMaxStreamSize;
        if (!adopt)
            return ReplaceRegion(stream, count, Out(), produced);
        if (start > 0)
            std::memcpy(m_Data.get(), stream->m_pBuffer, start);
        if (!stream->AdoptBuffer(m_Data.get(), start + produced, start + m_Capacity))
            return 0;
        m_Data.release();
        stream->m_Position = start;
        return 1;
    }

private:
    MallocBuffer m_Data;
    uint32_t m_Prefix;
    uint64_t m_Limit;
    uint64_t m_Capacity = 0;
};

uint32_t AdoptPrefix(const CSWFStream* stream)
{
    return stream->m_AutoDispose && stream->m_Position <= kAdoptPrefixLimit ? stream->m_Position : 0;
}

} // namespace

int Compress(CSWFStream* stream, long count)
{
    if (!stream)
        return 0;
    const uint32_t n = LimitCount(stream, count);
    if (n == 0)
        return 1;
    uLongf outLength = compressBound(n);
    std::vector<uint8_t> output(outLength);
    if (compress2(output.data(), &outLength, stream->m_pBuffer + stream->m_Position, n, Z_BEST_COMPRESSION) != Z_OK)
        return 0;
    return ReplaceRegion(stream, n, output.data(), outLength);
}

int DeCompress(CSWFStream* stream, long count, unsigned long expectedSize)
{
    if (!stream)
        return 0;
    const uint32_t n = LimitCount(stream, count);
    if (n == 0)
        return 1;
    const uint64_t limit = std::min<uint64_t>(n * kZlibMaxRatio + kMinOutput, kMaxStreamSize - stream->m_Position);
    OutputBuffer output(AdoptPrefix(stream), limit);
    if (!output.Reserve(std::max<uint64_t>(expectedSize, kMinOutput)))
        return 0;

    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return 0;
    z.next_in = stream->m_pBuffer + stream->m_Position;
    z.avail_in = n;
    uint64_t produced = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        if (produced == output.Capacity() && !output.Grow())
            break;
        z.next_out = output.Out() + produced;
        z.avail_out = static_cast<uInt>(std::min<uint64_t>(output.Capacity() - produced, 1u << 30));
        const uInt before = z.avail_out;
        status = inflate(&z, Z_NO_FLUSH);
        produced += before - z.avail_out;
        if (status == Z_BUF_ERROR && z.avail_out > 0)
            break; // input ended before the end of the zlib stream
        if (status == Z_BUF_ERROR)
            status = Z_OK;
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END)
        return 0;
    return output.Commit(stream, n, produced);
}

int CompressLZMA(CSWFStream* stream, long count)
{
    if (!stream)
        return 0;
    const uint32_t n = LimitCount(stream, count);
    if (n == 0)
        return 1;
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, 6))
        return 0;
    // A dictionary larger than the data gains nothing and costs the encoder about ten times its size in memory.
    options.dict_size = std::clamp<uint32_t>(n, LZMA_DICT_SIZE_MIN, options.dict_size);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    std::vector<uint8_t> output(kLzmaBodyPrefix + lzma_stream_buffer_bound(n));
    uint32_t propsSize = 0;
    if (lzma_properties_size(&propsSize, &filters[0]) != LZMA_OK || propsSize != kLzmaPropsSize ||
        lzma_properties_encode(&filters[0], output.data() + 4) != LZMA_OK)
        return 0;

    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&z, filters) != LZMA_OK)
        return 0;
    z.next_in = stream->m_pBuffer + stream->m_Position;
    z.avail_in = n;
    // The bound is that of the .xz format, whose LZMA2 chunks store incompressible data raw; plain LZMA1 can
    // come out slightly larger, so the buffer grows when it fills.
    lzma_ret status = LZMA_OK;
    while (status == LZMA_OK) {
        if (z.total_out + kLzmaBodyPrefix == output.size())
            output.resize(output.size() + output.size() / 8 + kLzmaMinGrowth);
        z.next_out = output.data() + kLzmaBodyPrefix + z.total_out;
        z.avail_out = output.size() - kLzmaBodyPrefix - z.total_out;
        status = lzma_code(&z, LZMA_FINISH);
    }
    const uint64_t packed = z.total_out;
    lzma_end(&z);
    if (status != LZMA_STREAM_END || packed > kMaxStreamSize)
        return 0;
    for (int i = 0; i < 4; ++i)
        output[i] = static_cast<uint8_t>(packed >> (8 * i));
    return ReplaceRegion(stream, n, output.data(), kLzmaBodyPrefix + packed);
}

int DeCompressLZMA(CSWFStream* stream, long count, unsigned long expectedSize)
{
    if (!stream)
        return 0;
    const uint32_t n = LimitCount(stream, count);
    if (n == 0)
        return 1;
    if (n < kLzmaBodyPrefix)
        return 0;
    const uint8_t* region = stream->m_pBuffer + stream->m_Position;

    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, region + 4, kLzmaPropsSize) != LZMA_OK)
        return 0;
    std::unique_ptr<void, decltype(&std::free)> props(filters[0].options, &std::free);
    const uint64_t input = n - kLzmaBodyPrefix;
    const uint64_t limit = std::min<uint64_t>({input * kLzmaMaxRatio + kMinOutput, expectedSize,
                                               kMaxStreamSize - stream->m_Position});
    // The decoder allocates the dictionary the properties ask for (up to 4 GB); no match can reach further back
    // than the output is long, so a larger dictionary is never needed.
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    options->dict_size = static_cast<uint32_t>(
        std::clamp<uint64_t>(limit, LZMA_DICT_SIZE_MIN, std::max<uint64_t>(options->dict_size, LZMA_DICT_SIZE_MIN)));
    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&z, filters) != LZMA_OK)
        return 0;

    // The size the header claims only bounds the output: the buffer starts at a few times the input and grows
    // as data actually arrives, so a small file cannot make us reserve gigabytes.
    OutputBuffer output(AdoptPrefix(stream), limit);
    if (!output.Reserve(std::max<uint64_t>(input * kLzmaFirstGuessRatio, kMinOutput))) {
        lzma_end(&z);
        return 0;
    }
    z.next_in = region + kLzmaBodyPrefix;
    z.avail_in = input;
    lzma_ret status = LZMA_OK;
    for (;;) {
        if (z.total_out == output.Capacity() && !output.Grow())
            break;
        z.next_out = output.Out() + z.total_out;
        z.avail_out = output.Capacity() - z.total_out;
        const uint64_t before = z.total_in + z.total_out;
        status = lzma_code(&z, z.avail_in > 0 ? LZMA_RUN : LZMA_FINISH);
        // Stop at the end marker, at an error, or when the input is spent and nothing more comes out.
        if (status != LZMA_OK || z.total_in + z.total_out == before)
            break;
    }
    const uint64_t produced = z.total_out;
    lzma_end(&z);
    // Data without an end marker ends where the expected size is reached.
    const bool complete = status == LZMA_STREAM_END || produced == limit;
    if (!complete || produced == 0)
        return 0;
    return output.Commit(stream, n, produced);
}
