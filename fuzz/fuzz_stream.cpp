// Arbitrary bytes drive a sequence of operations on three streams: one that owns its buffer, one that views an
// outside buffer, and body windows cut from either by tag and action header walks. Every bit read is checked
// against a plain bit-by-bit reading of the same bytes, every bit write is read back, compression regions are
// round-tripped, and the stream invariants are checked after each step.
#include "Compression.h"
#include "SWFDebugger.h"
#include "SWFStream.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Sizes the fuzzer may ask for are kept small so that a run explores behaviour, not the allocator.
constexpr uint32_t kMaxInitialData = 4096;
constexpr long kMaxInsert = 1 << 16;
constexpr uint32_t kMaxSetSize = 1 << 16;
constexpr uint32_t kMaxExpected = 1 << 16;
constexpr int kMaxOperations = 256;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The reference reading: bit by bit, most significant first, starting in the low `bitsLeft` bits of the byte at
// `position`.
uint32_t ReferenceBits(const uint8_t* bytes, uint32_t position, unsigned bitsLeft, unsigned n)
{
    uint64_t bitIndex = uint64_t { position } * 8 + (8 - bitsLeft);
    uint32_t value = 0;
    for (unsigned i = 0; i < n; ++i, ++bitIndex)
        value = (value << 1) | ((bytes[bitIndex / 8] >> (7 - bitIndex % 8)) & 1u);
    return value;
}

uint64_t SpanEnd(const CSWFStream& s, unsigned n)
{
    const unsigned b = s.GetBit();
    return uint64_t { s.GetPosition() } + (n <= b ? 1 : 1 + (n - b + 7) / 8);
}

bool SameBytes(const uint8_t* a, const uint8_t* b, size_t n)
{
    return n == 0 || std::memcmp(a, b, n) == 0;
}

void CheckInvariants(const CSWFStream& s)
{
    Check(s.GetPosition() <= s.GetSize());
    Check(s.GetBit() >= 1 && s.GetBit() <= 8);
    Check(s.GetSize() == 0 || s.GetBuffer() != nullptr);
    if (s.GetAutoDispose())
        Check(s.GetSize() <= s.GetMemorySize());
}

class Driver
{
public:
    explicit Driver(FuzzedDataProvider& in)
        : m_In(in)
    {
        const std::vector<uint8_t> data
            = m_In.ConsumeBytes<uint8_t>(m_In.ConsumeIntegralInRange<uint32_t>(0, kMaxInitialData));
        m_Owning.WriteBuf(data.data(), data.size());
        m_Owning.SetPosition(0);
        m_External = data;
        m_View.Assign(m_External.data(), m_External.size());
    }

    void Run()
    {
        for (int i = 0; i < kMaxOperations && m_In.remaining_bytes() > 0; ++i) {
            Step();
            CheckInvariants(m_Owning);
            CheckInvariants(m_View);
            CheckInvariants(m_Body);
            // A view never changes size nor lets go of the outside buffer.
            Check(m_View.GetSize() == m_External.size());
            Check(m_External.empty() || m_View.GetBuffer() == m_External.data());
        }
    }

private:
    enum class Target { Owning, View, Body };

    CSWFStream& Current()
    {
        switch (m_Target) {
        case Target::Owning:
            return m_Owning;
        case Target::View:
            return m_View;
        case Target::Body:
            return m_Body;
        }
        return m_Owning;
    }

    // A body window must not outlive a size change of the stream it was cut from. The scratch window may come
    // from a body of the owning stream, so it goes too.
    void BeforeResizing(const CSWFStream& s)
    {
        if (&s != &m_Owning)
            return;
        m_Scratch.Assign(nullptr, 0);
        if (m_BodyFromOwning) {
            m_Body.Assign(nullptr, 0);
            m_BodyFromOwning = false;
        }
    }

    unsigned char BitCount() { return m_In.ConsumeIntegralInRange<unsigned char>(0, 33); }

    void ReadBitsChecked(CSWFStream& s, unsigned char n)
    {
        const uint32_t position = s.GetPosition();
        const unsigned b = s.GetBit();
        const bool fits = n <= 32 && s.GetSize() > 0 && SpanEnd(s, n) <= s.GetSize();
        const uint32_t expected = fits ? ReferenceBits(s.GetBuffer(), position, b, n) : 0;
        uint32_t value = 0xDEADBEEF;
        const int ok = s.ReadBits(&value, n);
        if (n == 0) {
            Check(ok == 1 && value == 0xDEADBEEF && s.GetPosition() == position);
            return;
        }
        Check(ok == (fits ? 1 : 0));
        if (!ok) {
            Check(value == 0xDEADBEEF);
            if (n <= 32)
                Check(s.GetPosition() == s.GetSize() && s.GetDataRest() < 0);
            return;
        }
        Check(value == expected);
        const uint64_t bitsAfter = uint64_t { position } * 8 + (8 - b) + n;
        Check(uint64_t { s.GetPosition() } * 8 + (8 - s.GetBit()) == bitsAfter);
    }

    void ReadSignedChecked(CSWFStream& s, unsigned char n)
    {
        if (n == 0 || n > 32)
            return;
        const bool fits = s.GetSize() > 0 && SpanEnd(s, n) <= s.GetSize();
        const uint32_t raw = fits ? ReferenceBits(s.GetBuffer(), s.GetPosition(), s.GetBit(), n) : 0;
        int32_t value = 0;
        if (!s.ReadS(&value, n)) {
            Check(!fits);
            return;
        }
        Check(fits);
        const int64_t expected = (raw >> (n - 1)) & 1u ? int64_t { raw } - (int64_t { 1 } << n) : int64_t { raw };
        Check(value == expected);
    }

    void WriteBitsChecked(CSWFStream& s, uint32_t value, unsigned char n)
    {
        if (n > 32)
            n = 32;
        BeforeResizing(s);
        const uint32_t position = s.GetPosition();
        const unsigned b = s.GetBit();
        const bool canGrow = s.GetAutoDispose();
        const bool fits = SpanEnd(s, n) <= s.GetSize();
        const int ok = s.WriteBits(value, n);
        if (n == 0)
            return;
        Check(ok == ((fits || canGrow) ? 1 : 0));
        if (ok) {
            const uint32_t mask = n == 32 ? 0xFFFFFFFFu : ((1u << n) - 1u);
            Check(ReferenceBits(s.GetBuffer(), position, b, n) == (value & mask));
        }
    }

    void Integers(CSWFStream& s)
    {
        switch (m_In.ConsumeIntegralInRange(0, 9)) {
        case 0: {
            const bool fits = s.GetSize() > 0 && SpanEnd(s, 16) <= s.GetSize();
            const uint32_t raw = fits ? ReferenceBits(s.GetBuffer(), s.GetPosition(), s.GetBit(), 16) : 0;
            uint16_t v = 0;
            Check(s.ReadU16(&v) == (fits ? 1 : 0));
            if (fits)
                Check(v == static_cast<uint16_t>((raw >> 8) | (raw << 8)));
            break;
        }
        case 1: {
            const bool fits = s.GetSize() > 0 && SpanEnd(s, 32) <= s.GetSize();
            const uint32_t raw = fits ? ReferenceBits(s.GetBuffer(), s.GetPosition(), s.GetBit(), 32) : 0;
            int32_t v = 0;
            Check(s.ReadS32(&v) == (fits ? 1 : 0));
            if (fits)
                Check(static_cast<uint32_t>(v) == __builtin_bswap32(raw));
            break;
        }
        case 2:
            s.GetS16();
            s.GetS8();
            break;
        case 3:
            s.GetU8();
            s.GetU32();
            break;
        case 4:
            s.GetFloat88();
            s.GetFloat1616();
            break;
        case 5:
            s.GetFloat(BitCount());
            s.GetBool();
            break;
        case 6:
            BeforeResizing(s);
            s.WriteU16(m_In.ConsumeIntegral<uint16_t>());
            s.WriteS32(m_In.ConsumeIntegral<int32_t>());
            break;
        case 7:
            BeforeResizing(s);
            s.WriteFloat88(m_In.ConsumeFloatingPointInRange<float>(-300.0f, 300.0f));
            break;
        case 8: {
            BeforeResizing(s);
            const uint32_t start = s.GetPosition();
            const unsigned b = s.GetBit();
            const float v = m_In.ConsumeFloatingPoint<float>();
            if (s.WriteFloat1616(v) && !std::isnan(v)) {
                s.SetPosition(start);
                s.SetBit(static_cast<unsigned char>(b));
                const float back = s.GetFloat1616();
                Check(std::memcmp(&back, &v, sizeof v) == 0);
            }
            break;
        }
        case 9:
            BeforeResizing(s);
            s.WriteS16(m_In.ConsumeIntegral<int16_t>());
            s.WriteU32(m_In.ConsumeIntegral<uint32_t>());
            break;
        }
    }

    void WalkTags(CSWFStream& s)
    {
        const bool fromOwning = &s == &m_Owning;
        const int limit = m_In.ConsumeIntegralInRange(1, 64);
        unsigned short code = 0;
        bool longHeader = false;
        CSWFStream* body = &s == &m_Body ? &m_Scratch : &m_Body;
        for (int i = 0; i < limit; ++i) {
            const uint32_t before = s.GetPosition();
            if (!s.GetNexTag(&code, &longHeader, body))
                break;
            // The body is the window right before the new position.
            Check(body->GetSize() == 0 || body->GetBuffer() + body->GetSize() == s.GetBuffer() + s.GetPosition());
            Check(s.GetPosition() > before);
            ReadAFewFields(*body);
        }
        if (body == &m_Body)
            m_BodyFromOwning = fromOwning;
    }

    void WalkActions(CSWFStream& s)
    {
        const bool fromOwning = &s == &m_Owning;
        const int limit = m_In.ConsumeIntegralInRange(1, 64);
        unsigned char code = 0;
        CSWFStream* body = &s == &m_Body ? &m_Scratch : &m_Body;
        for (int i = 0; i < limit; ++i) {
            if (!s.GetNextAction(&code, body))
                break;
            Check(code >= kActionHasLength || body->GetSize() == 0);
            ReadAFewFields(*body);
        }
        if (body == &m_Body)
            m_BodyFromOwning = fromOwning;
    }

    void ReadAFewFields(CSWFStream& body)
    {
        const int count = m_In.ConsumeIntegralInRange(0, 3);
        for (int i = 0; i < count; ++i)
            ReadBitsChecked(body, BitCount());
        // Writes inside a window land in the parent's bytes; past its end they must fail.
        if (m_In.ConsumeBool()) {
            body.SetPosition(body.GetSize());
            Check(!body.WriteU8(0x5A));
        }
    }

    // Compresses a region at the position and inflates it again: the bytes must come back.
    void CompressRoundTrip(CSWFStream& s, bool lzma)
    {
        BeforeResizing(s);
        const uint32_t start = s.GetPosition();
        const long count = m_In.ConsumeIntegralInRange<long>(-1, s.GetSize() - start + 2);
        const uint32_t n = count <= 0 ? 0 : std::min<uint32_t>(static_cast<uint32_t>(count), s.GetSize() - start);
        const std::vector<uint8_t> before(s.GetBuffer(), s.GetBuffer() + s.GetSize());
        const int packed = lzma ? CompressLZMA(&s, count) : Compress(&s, count);
        Check(s.GetPosition() == start);
        if (!packed) {
            Check(s.GetSize() == before.size() && SameBytes(s.GetBuffer(), before.data(), before.size()));
            return;
        }
        if (!s.GetAutoDispose())
            return;
        if (n == 0) {
            Check(s.GetSize() == before.size());
            return;
        }
        const uint32_t packedSize = s.GetSize() - static_cast<uint32_t>(before.size() - n);
        const int unpacked = lzma ? DeCompressLZMA(&s, packedSize, n) : DeCompress(&s, packedSize, n);
        Check(unpacked == 1);
        Check(s.GetSize() == before.size() && s.GetPosition() == start);
        Check(SameBytes(s.GetBuffer(), before.data(), before.size()));
    }

    void DecompressAnything(CSWFStream& s, bool lzma)
    {
        BeforeResizing(s);
        const uint32_t start = s.GetPosition();
        const long count = m_In.ConsumeIntegralInRange<long>(-1, s.GetSize() - start + 2);
        const unsigned long expected = m_In.ConsumeIntegralInRange<uint32_t>(0, kMaxExpected);
        const std::vector<uint8_t> before(s.GetBuffer(), s.GetBuffer() + s.GetSize());
        const int ok = lzma ? DeCompressLZMA(&s, count, expected) : DeCompress(&s, count, expected);
        Check(s.GetPosition() == start);
        // Bytes before the region never change; a failure changes nothing at all.
        Check(s.GetSize() >= start && SameBytes(s.GetBuffer(), before.data(), start));
        if (!ok)
            Check(s.GetSize() == before.size() && SameBytes(s.GetBuffer(), before.data(), before.size()));
    }

    void InsertChecked(CSWFStream& s)
    {
        BeforeResizing(s);
        const long n = m_In.ConsumeIntegralInRange<long>(-static_cast<long>(s.GetSize()) - 2, kMaxInsert);
        const uint32_t position = s.GetPosition();
        const std::vector<uint8_t> before(s.GetBuffer(), s.GetBuffer() + s.GetSize());
        if (!s.Insert(n))
            return;
        if (n > 0) {
            Check(s.GetSize() == before.size() + n && s.GetPosition() == position);
            Check(SameBytes(s.GetBuffer() + position + n, before.data() + position, before.size() - position));
        } else if (static_cast<uint64_t>(-n) <= before.size()) {
            const size_t removed = std::min<size_t>(-n, before.size() - position);
            Check(s.GetSize() == before.size() - removed && s.GetPosition() == position);
            Check(SameBytes(s.GetBuffer(), before.data(), position));
            Check(SameBytes(s.GetBuffer() + position, before.data() + position + removed, s.GetSize() - position));
        } else {
            Check(s.GetSize() == 0);
        }
    }

    void Step()
    {
        CSWFStream& s = Current();
        switch (m_In.ConsumeIntegralInRange(0, 22)) {
        case 0:
            ReadBitsChecked(s, BitCount());
            break;
        case 1:
            ReadSignedChecked(s, BitCount());
            break;
        case 2:
            Integers(s);
            break;
        case 3:
            s.SetPosition(m_In.ConsumeIntegralInRange<uint32_t>(0, s.GetSize() + 4));
            break;
        case 4:
            s.SetBit(m_In.ConsumeIntegralInRange<unsigned char>(0, 9));
            break;
        case 5:
            BeforeResizing(s);
            s.FlushBits();
            break;
        case 6:
            WalkTags(s);
            break;
        case 7:
            WalkActions(s);
            break;
        case 8:
            InsertChecked(s);
            break;
        case 9:
            CompressRoundTrip(s, false);
            break;
        case 10:
            CompressRoundTrip(s, true);
            break;
        case 11:
            DecompressAnything(s, false);
            break;
        case 12:
            DecompressAnything(s, true);
            break;
        case 13:
            WriteBitsChecked(s, m_In.ConsumeIntegral<uint32_t>(), BitCount());
            break;
        case 14: {
            BeforeResizing(s);
            const std::vector<uint8_t> bytes = m_In.ConsumeBytes<uint8_t>(m_In.ConsumeIntegralInRange(0, 64));
            s.WriteBuf(bytes.data(), bytes.size());
            break;
        }
        case 15: {
            BeforeResizing(s);
            const uint32_t n = m_In.ConsumeIntegralInRange<uint32_t>(0, kMaxSetSize);
            const uint32_t old = s.GetSize();
            const int ok = s.SetSize(n);
            Check(ok == (s.GetSize() == n ? 1 : 0));
            if (!s.GetAutoDispose())
                Check(s.GetSize() == old);
            break;
        }
        case 16: {
            BeforeResizing(s);
            CSWFStream* body = m_In.ConsumeBool() ? &m_Body : nullptr;
            if (body == &s)
                body = &m_Scratch;
            s.AppendTag(m_In.ConsumeIntegral<uint16_t>(), m_In.ConsumeBool(), body);
            break;
        }
        case 17: {
            BeforeResizing(s);
            CSWFStream* body = m_In.ConsumeBool() ? &m_Body : nullptr;
            if (body == &s)
                body = &m_Scratch;
            s.AppendAction(m_In.ConsumeIntegral<uint8_t>(), body);
            break;
        }
        case 18: {
            std::vector<uint8_t> out(m_In.ConsumeIntegralInRange(0, 512));
            s.ReadBuf(out.data(), out.size());
            break;
        }
        case 19: {
            // Move bytes between the owning stream and the current one.
            BeforeResizing(m_Owning);
            const unsigned long n = m_In.ConsumeIntegralInRange(0, 256);
            if (&s != &m_Owning)
                m_In.ConsumeBool() ? s.ReadStream(&m_Owning, n) : m_Owning.ReadStream(&s, n);
            break;
        }
        case 20: {
            CSWFStream* copy = nullptr;
            Check(s.MakeCopy(copy) == 1);
            Check(copy->GetSize() == s.GetSize() && copy->GetPosition() == s.GetPosition());
            Check(SameBytes(copy->GetBuffer(), s.GetBuffer(), s.GetSize()));
            if (s.GetAutoDispose())
                Check(s.GetSize() == 0 || copy->GetBuffer() != s.GetBuffer());
            // Reading the copy to its end must not disturb the original.
            ReadBitsChecked(*copy, BitCount());
            delete copy;
            break;
        }
        case 21:
            m_Target = static_cast<Target>(m_In.ConsumeIntegralInRange(0, 2));
            break;
        case 22:
            BeforeResizing(s);
            s.SetMemorySize(m_In.ConsumeIntegralInRange<uint32_t>(0, kMaxSetSize));
            break;
        }
    }

    FuzzedDataProvider& m_In;
    CSWFStream m_Owning;
    std::vector<uint8_t> m_External;
    CSWFStream m_View;
    CSWFStream m_Body;
    CSWFStream m_Scratch;
    bool m_BodyFromOwning = false;
    Target m_Target = Target::Owning;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SWFDebugger.ClearLog();
    FuzzedDataProvider in(data, size);
    Driver driver(in);
    driver.Run();
    SWFDebugger.ClearLog();
    return 0;
}
