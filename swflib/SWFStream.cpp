#include "SWFStream.h"

#include "SWFDebugger.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr uint64_t kMaxStreamSize = std::numeric_limits<uint32_t>::max();

uint32_t LowMask(unsigned n)
{
    return n >= 32 ? 0xFFFFFFFFu : ((1u << n) - 1u);
}

// Bytes a field of n bits spans when b bits are left in the current byte.
uint32_t SpanBytes(unsigned n, unsigned b)
{
    return n <= b ? 1 : 1 + (n - b + 7) / 8;
}

uint16_t Swap16(uint16_t v)
{
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}

uint32_t Swap32(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

int32_t ClampToInt32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

uint32_t SReadBits(const void* bytes, long bitsLeft, long n)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    if (n <= 0)
        return 0;
    uint64_t acc = p[0] & LowMask(static_cast<unsigned>(bitsLeft));
    long total = bitsLeft;
    for (size_t i = 1; total < n; ++i, total += 8)
        acc = (acc << 8) | p[i];
    return static_cast<uint32_t>(acc >> (total - n)) & LowMask(static_cast<unsigned>(n));
}

void SWriteBits(void* bytes, uint32_t value, long bitsLeft, long n)
{
    auto* p = static_cast<uint8_t*>(bytes);
    long remaining = n;
    long avail = bitsLeft;
    for (size_t i = 0; remaining > 0; ++i, avail = 8) {
        const long take = std::min(avail, remaining);
        const uint32_t chunk = (value >> (remaining - take)) & LowMask(static_cast<unsigned>(take));
        const long shift = avail - take;
        const auto mask = static_cast<uint8_t>(LowMask(static_cast<unsigned>(take)) << shift);
        p[i] = static_cast<uint8_t>((p[i] & ~mask) | (chunk << shift));
        remaining -= take;
    }
}

unsigned char ReadByte(unsigned char byte, unsigned char bitsLeft, unsigned char n)
{
    if (n == 0 || bitsLeft == 0 || n > bitsLeft || bitsLeft > 8)
        return 0;
    return static_cast<unsigned char>((byte >> (bitsLeft - n)) & LowMask(n));
}

unsigned long GetFileSize(FILE* file)
{
    if (!file)
        return 0;
    const long old = std::ftell(file);
    if (std::fseek(file, 0, SEEK_END) != 0)
        return 0;
    const long size = std::ftell(file);
    std::fseek(file, old < 0 ? 0 : old, SEEK_SET);
    return size < 0 ? 0 : static_cast<unsigned long>(size);
}

CSWFStream::~CSWFStream()
{
    Assign(nullptr, 0);
}

// ---- Buffer, size and position ----

int CSWFStream::Assign(void* data, unsigned long size)
{
    if (m_AutoDispose)
        std::free(m_pBuffer);
    m_AutoDispose = false;
    m_pBuffer = static_cast<uint8_t*>(data);
    m_Size = static_cast<uint32_t>(std::min<uint64_t>(data ? size : 0, kMaxStreamSize));
    m_MemorySize = m_Size;
    // An empty stream has nothing to be short of: a reused body stream must not carry the last one's shortfall.
    m_Position = 0;
    m_DataLow = 0;
    m_Bit = 8;
    return 1;
}

void CSWFStream::SetAutoDispose(bool autoDispose)
{
    if (!autoDispose)
        m_AutoDispose = false;
}

int CSWFStream::SetMemorySize(unsigned long n)
{
    if (!m_AutoDispose)
        return n == m_MemorySize ? 1 : 0;
    if (n > kMaxStreamSize)
        return 0;
    if (n == m_MemorySize && (m_pBuffer || n == 0))
        return 1;
    if (n == 0) {
        std::free(m_pBuffer);
        m_pBuffer = nullptr;
        m_MemorySize = 0;
        m_Size = 0;
        m_Position = 0;
        m_Bit = 8;
        return 1;
    }
    uint8_t* grown = m_pBuffer ? static_cast<uint8_t*>(std::realloc(m_pBuffer, n))
                               : static_cast<uint8_t*>(std::calloc(n, 1));
    if (!grown) {
        std::free(m_pBuffer);
        m_pBuffer = nullptr;
        m_MemorySize = m_Size = m_Position = 0;
        m_Bit = 8;
        return 0;
    }
    m_pBuffer = grown;
    m_MemorySize = static_cast<uint32_t>(n);
    // The capacity never falls below the size: bytes past it are gone.
    if (m_Size > m_MemorySize)
        m_Size = m_MemorySize;
    if (m_Position > m_Size) {
        m_Position = m_Size;
        m_Bit = 8;
    }
    return 1;
}

void CSWFStream::PSetSize(unsigned long n)
{
    if (n == m_Size || !m_AutoDispose || n > kMaxStreamSize)
        return;
    m_DataLow = 0;
    if (n > m_Size && n < m_MemorySize && m_pBuffer) {
        std::memset(m_pBuffer + m_Size, 0, n - m_Size);
        m_Size = static_cast<uint32_t>(n);
        return;
    }
    const uint32_t oldSize = m_Size;
    if (!SetMemorySize(n)) {
        if (!m_pBuffer) {
            m_Position = m_Size = 0;
            m_Bit = 8;
        }
        return;
    }
    if (n > oldSize)
        std::memset(m_pBuffer + oldSize, 0, n - oldSize);
    if (m_Position > n) {
        m_Position = static_cast<uint32_t>(n);
        m_Bit = 8;
    }
    m_Size = static_cast<uint32_t>(n);
}

int CSWFStream::SetSize(unsigned long n)
{
    PSetSize(n);
    return m_Size == n ? 1 : 0;
}

void CSWFStream::SetPosition(unsigned long p)
{
    if (p == m_Position)
        return;
    if (p > m_Size) {
        m_DataLow = ClampToInt32(static_cast<int64_t>(m_DataLow) - static_cast<int64_t>(p - m_Size));
        m_Position = m_Size;
        return;
    }
    m_DataLow = 0;
    m_Position = static_cast<uint32_t>(p);
}

int32_t CSWFStream::GetDataRest() const
{
    if (m_DataLow < 0)
        return m_DataLow;
    return ClampToInt32(static_cast<int64_t>(m_Size) - m_Position);
}

void CSWFStream::SetBit(unsigned char b)
{
    if (b == GetBit())
        return;
    m_Bit = (b >= 1 && b <= 8) ? b : 8;
}

void CSWFStream::FlushBits()
{
    if (GetBit() == 8)
        return;
    m_Bit = 8;
    if (m_Position == m_Size && !GrowForWrite(static_cast<uint64_t>(m_Size) + 1))
        return;
    ++m_Position;
}

bool CSWFStream::GrowForWrite(uint64_t n)
{
    if (n <= m_Size)
        return true;
    if (!m_AutoDispose || n > kMaxStreamSize)
        return false;
    if (n > m_MemorySize) {
        // Reserve ahead geometrically; a failed allocation keeps the data that is already there.
        const uint64_t wanted = std::min<uint64_t>(kMaxStreamSize, std::max<uint64_t>(n, m_MemorySize * 2ull));
        auto* grown = static_cast<uint8_t*>(std::realloc(m_pBuffer, wanted));
        if (!grown)
            return false;
        m_pBuffer = grown;
        m_MemorySize = static_cast<uint32_t>(wanted);
    }
    std::memset(m_pBuffer + m_Size, 0, n - m_Size);
    m_Size = static_cast<uint32_t>(n);
    return true;
}

void CSWFStream::NoteShortfall(uint64_t end)
{
    m_DataLow = ClampToInt32(static_cast<int64_t>(m_DataLow) - static_cast<int64_t>(end - m_Size));
    m_Position = m_Size;
    m_Bit = 8;
}

void CSWFStream::AdvanceBits(unsigned char n, unsigned char b)
{
    m_Position += n / 8;
    const int r = static_cast<int>(b) - static_cast<int>(n % 8);
    if (r <= 0) {
        ++m_Position;
        m_Bit = static_cast<uint8_t>(r + 8);
    } else {
        m_Bit = static_cast<uint8_t>(r);
    }
}

// ---- Bit fields ----

int CSWFStream::ReadBits(uint32_t* out, unsigned char n)
{
    if (n == 0)
        return 1;
    if (n > 32)
        return 0;
    const unsigned char b = GetBit();
    const uint64_t end = static_cast<uint64_t>(m_Position) + SpanBytes(n, b);
    if (Empty() || end > m_Size) {
        NoteShortfall(end);
        return 0;
    }
    const uint32_t value = SReadBits(m_pBuffer + m_Position, b, n);
    AdvanceBits(n, b);
    if (out)
        *out = value;
    return 1;
}

uint32_t CSWFStream::GetU(unsigned char n)
{
    uint32_t v = 0;
    return ReadBits(&v, n) ? v : 0;
}

int CSWFStream::WriteBits(uint32_t value, unsigned char n)
{
    if (n == 0)
        return 1;
    if (n > 32)
        return 0;
    const unsigned char b = GetBit();
    if (!GrowForWrite(static_cast<uint64_t>(m_Position) + SpanBytes(n, b)))
        return 0;
    SWriteBits(m_pBuffer + m_Position, value, b, n);
    AdvanceBits(n, b);
    return 1;
}

int CSWFStream::ReadS(int32_t* out, unsigned char n)
{
    if (n == 0)
        return 1;
    uint32_t v = 0;
    if (!ReadBits(&v, n))
        return 0;
    if (n < 32 && (v & (1u << (n - 1))))
        v |= ~LowMask(n);
    if (out)
        *out = static_cast<int32_t>(v);
    return 1;
}

int32_t CSWFStream::GetS(unsigned char n)
{
    int32_t v = 0;
    return ReadS(&v, n) ? v : 0;
}

int CSWFStream::ReadBool(bool* out)
{
    uint32_t v = 0;
    if (!ReadBits(&v, 1))
        return 0;
    if (out)
        *out = v != 0;
    return 1;
}

bool CSWFStream::GetBool()
{
    bool v = false;
    return ReadBool(&v) ? v : false;
}

// ---- Integers ----

int CSWFStream::ReadU8(uint8_t* out)
{
    uint32_t v = 0;
    if (!ReadBits(&v, 8))
        return 0;
    if (out)
        *out = static_cast<uint8_t>(v);
    return 1;
}

uint8_t CSWFStream::GetU8()
{
    uint8_t v = 0;
    return ReadU8(&v) ? v : 0;
}

int CSWFStream::WriteU8(uint8_t v)
{
    return WriteBits(v, 8);
}

int CSWFStream::ReadS8(int8_t* out)
{
    int32_t v = 0;
    if (!ReadS(&v, 8))
        return 0;
    if (out)
        *out = static_cast<int8_t>(v);
    return 1;
}

int8_t CSWFStream::GetS8()
{
    int8_t v = 0;
    return ReadS8(&v) ? v : 0;
}

int CSWFStream::ReadU16(uint16_t* out)
{
    if (GetBit() == 8 && !Empty() && static_cast<uint64_t>(m_Position) + 2 <= m_Size) {
        const uint8_t* p = m_pBuffer + m_Position;
        if (out)
            *out = static_cast<uint16_t>(p[0] | (p[1] << 8));
        m_Position += 2;
        return 1;
    }
    uint32_t v = 0;
    if (!ReadBits(&v, 16))
        return 0;
    if (out)
        *out = Swap16(static_cast<uint16_t>(v));
    return 1;
}

uint16_t CSWFStream::GetU16()
{
    uint16_t v = 0;
    return ReadU16(&v) ? v : 0;
}

int CSWFStream::WriteU16(uint16_t v)
{
    return WriteBits(Swap16(v), 16);
}

int CSWFStream::ReadS16(int16_t* out)
{
    uint16_t v = 0;
    if (!ReadU16(&v))
        return 0;
    if (out)
        *out = static_cast<int16_t>(v);
    return 1;
}

int16_t CSWFStream::GetS16()
{
    int16_t v = 0;
    return ReadS16(&v) ? v : 0;
}

int CSWFStream::WriteS16(int16_t v)
{
    return WriteU16(static_cast<uint16_t>(v));
}

int CSWFStream::ReadU32(uint32_t* out)
{
    if (GetBit() == 8 && !Empty() && static_cast<uint64_t>(m_Position) + 4 <= m_Size) {
        const uint8_t* p = m_pBuffer + m_Position;
        if (out)
            *out = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                   (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        m_Position += 4;
        return 1;
    }
    uint32_t v = 0;
    if (!ReadBits(&v, 32))
        return 0;
    if (out)
        *out = Swap32(v);
    return 1;
}

uint32_t CSWFStream::GetU32()
{
    uint32_t v = 0;
    return ReadU32(&v) ? v : 0;
}

int CSWFStream::WriteU32(uint32_t v)
{
    return WriteBits(Swap32(v), 32);
}

int CSWFStream::ReadS32(int32_t* out)
{
    uint32_t v = 0;
    if (!ReadU32(&v))
        return 0;
    if (out)
        *out = static_cast<int32_t>(v);
    return 1;
}

int32_t CSWFStream::GetS32()
{
    int32_t v = 0;
    return ReadS32(&v) ? v : 0;
}

int CSWFStream::WriteS32(int32_t v)
{
    return WriteU32(static_cast<uint32_t>(v));
}

// ---- Numbers with a fraction ----

int CSWFStream::ReadFloat88(float* out)
{
    uint8_t fraction = 0;
    int32_t integer = 0;
    if (!ReadU8(&fraction) || !ReadS(&integer, 8))
        return 0;
    if (out)
        *out = static_cast<float>(integer) + static_cast<float>(fraction) / 256.0f;
    return 1;
}

float CSWFStream::GetFloat88()
{
    float v = 0.0f;
    return ReadFloat88(&v) ? v : 0.0f;
}

int CSWFStream::WriteFloat88(float v)
{
    // 8.8 fixed point truncated toward zero for the frame rates it carries (0 up to below 256, the integer part
    // stored as an unsigned byte); negative values are encoded as the exact two's complement of the value
    // floored to 1/256. Values out of either range are clamped.
    double scaled = static_cast<double>(v) * 256.0;
    scaled = v >= 0 ? std::trunc(scaled) : std::floor(scaled);
    if (!(scaled == scaled)) // NaN
        scaled = 0;
    const auto raw = static_cast<int32_t>(std::clamp(scaled, -32768.0, 65535.0));
    return WriteU16(static_cast<uint16_t>(raw));
}

int CSWFStream::ReadFloat1616(float* out)
{
    uint32_t bits = 0;
    if (!ReadU32(&bits))
        return 0;
    float v = 0.0f;
    std::memcpy(&v, &bits, sizeof v);
    if (out)
        *out = v;
    return 1;
}

float CSWFStream::GetFloat1616()
{
    float v = 0.0f;
    return ReadFloat1616(&v) ? v : 0.0f;
}

int CSWFStream::WriteFloat1616(float v)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return WriteU32(bits);
}

int CSWFStream::ReadFloat(float* out, unsigned char n)
{
    int32_t k = 0;
    if (!ReadS(&k, n))
        return 0;
    if (out && n > 0)
        *out = static_cast<float>(static_cast<double>(k) / 65536.0);
    return 1;
}

float CSWFStream::GetFloat(unsigned char n)
{
    float v = 0.0f;
    return ReadFloat(&v, n) ? v : 0.0f;
}

// ---- Blocks, streams and files ----

int CSWFStream::ReadBuf(void* dest, unsigned long n)
{
    if (n == 0)
        return 1;
    const uint32_t rest = m_Size - m_Position;
    if (rest < n) {
        if (rest > 0 && dest)
            std::memcpy(dest, m_pBuffer + m_Position, rest);
        NoteShortfall(static_cast<uint64_t>(m_Position) + n);
        return 0;
    }
    if (dest)
        std::memcpy(dest, m_pBuffer + m_Position, n);
    m_Position += static_cast<uint32_t>(n);
    return 1;
}

int CSWFStream::WriteBuf(const void* src, unsigned long n)
{
    if (n == 0)
        return 1;
    // The source may lie inside this stream's own buffer, which growing can move.
    const auto* s = static_cast<const uint8_t*>(src);
    const bool inside = m_pBuffer && s >= m_pBuffer && s < m_pBuffer + m_MemorySize;
    const size_t offset = inside ? static_cast<size_t>(s - m_pBuffer) : 0;
    if (!GrowForWrite(static_cast<uint64_t>(m_Position) + n)) {
        m_DataLow = ClampToInt32(static_cast<int64_t>(m_DataLow) - static_cast<int64_t>(n));
        return 0;
    }
    if (inside)
        s = m_pBuffer + offset;
    if (s)
        std::memmove(m_pBuffer + m_Position, s, n);
    m_Position += static_cast<uint32_t>(n);
    return 1;
}

int CSWFStream::ReadStream(CSWFStream* dest, unsigned long n)
{
    if (!dest || dest == this || n > static_cast<unsigned long>(m_Size - m_Position))
        return 0;
    if (!dest->WriteBuf(m_pBuffer ? m_pBuffer + m_Position : nullptr, n))
        return 0;
    m_Position += static_cast<uint32_t>(n);
    return 1;
}

int CSWFStream::WriteStream(CSWFStream* src, unsigned long n)
{
    if (!src || src == this || n > static_cast<unsigned long>(src->m_Size - src->m_Position))
        return 0;
    if (!WriteBuf(src->m_pBuffer ? src->m_pBuffer + src->m_Position : nullptr, n))
        return 0;
    src->m_Position += static_cast<uint32_t>(n);
    return 1;
}

int CSWFStream::LoadFromFile(const char* path)
{
    FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file)
        return 0;
    const int result = LoadFromFile(file);
    std::fclose(file);
    return result;
}

int CSWFStream::SaveToFile(const char* path)
{
    FILE* file = path ? std::fopen(path, "wb") : nullptr;
    if (!file)
        return 0;
    int result = SaveToFile(file);
    if (std::fclose(file) != 0)
        result = 0;
    return result;
}

int CSWFStream::LoadFromFile(FILE* file)
{
    if (!file || std::fseek(file, 0, SEEK_SET) != 0)
        return 0;
    const unsigned long size = GetFileSize(file);
    if (size > kMaxStreamSize || !SetSize(size))
        return 0;
    SetPosition(0);
    m_Bit = 8;
    if (size != 0 && !WriteFile(file, size))
        return 0;
    m_Bit = 8;
    m_Position = 0;
    return 1;
}

int CSWFStream::SaveToFile(FILE* file)
{
    if (!file || std::fseek(file, 0, SEEK_SET) != 0)
        return 0;
    if (m_Size == 0)
        return 1;
    return std::fwrite(m_pBuffer, 1, m_Size, file) == m_Size ? 1 : 0;
}

int CSWFStream::WriteFile(FILE* file, unsigned long n)
{
    if (!file || n == 0 || !GrowForWrite(static_cast<uint64_t>(m_Position) + n))
        return 0;
    if (std::fread(m_pBuffer + m_Position, 1, n, file) != n)
        return 0;
    m_Position += static_cast<uint32_t>(n);
    return 1;
}

int CSWFStream::ReadFile(FILE* file, unsigned long n)
{
    if (!file || n == 0)
        return 0;
    const uint32_t rest = m_Size - m_Position;
    if (rest < n) {
        if (rest > 0)
            std::fwrite(m_pBuffer + m_Position, 1, rest, file);
        NoteShortfall(static_cast<uint64_t>(m_Position) + n);
        return 0;
    }
    if (std::fwrite(m_pBuffer + m_Position, 1, n, file) != n)
        return 0;
    m_Position += static_cast<uint32_t>(n);
    return 1;
}

// ---- SWF record headers ----

int CSWFStream::GetNexTag(unsigned short* code, bool* longHeader, CSWFStream* body)
{
    uint16_t header = 0;
    if (!ReadU16(&header))
        return 0;
    const auto tagCode = static_cast<unsigned short>(header >> 6);
    uint32_t length = header & kTagShortLengthMask;
    const bool isLong = length == kTagLongLengthMarker;
    if (code)
        *code = tagCode;
    if (longHeader)
        *longHeader = isLong;
    if (length == 0) {
        if (body)
            body->Assign(nullptr, 0);
        return 1;
    }
    if (isLong) {
        if (!ReadU32(&length))
            return 0;
        if (length <= kTagLongLengthMarker &&
            !SWFDebugger.AddF(this, kSWFErr_SmallLongTag, "Read Tag= + AID+, Size= +Size+. ", 0, kSWFType_Message))
            return 0;
    }
    if (static_cast<int64_t>(length) > GetDataRest()) {
        SWFDebugger.Add(this, kSWFErr_DataBeyondSize,
                        "Requied size: " + std::to_string(length) +
                            ", from absolure rest: " + std::to_string(GetDataRest()) +
                            ". Real data size: " + std::to_string(m_Size) +
                            ", Offset: " + std::to_string(m_Position) + ", tag ID: " + std::to_string(tagCode) +
                            ", navigation terminated",
                        0, kSWFType_Fatal);
        return 0;
    }
    if (body && body != this)
        body->Assign(m_pBuffer + m_Position, length);
    m_Position += length;
    return 1;
}

int CSWFStream::AppendTag(unsigned short code, bool longHeader, CSWFStream* body)
{
    const auto codeBits = static_cast<uint16_t>((code << 6) & 0xFFC0);
    if (!body)
        return WriteU16(codeBits);
    const uint32_t size = body->m_Size;
    const bool isLong = longHeader || size > kTagShortMaxBody;
    body->SetPosition(0);
    int ok = WriteU16(static_cast<uint16_t>(codeBits | (isLong ? kTagLongLengthMarker : size)));
    if (isLong)
        ok &= WriteU32(size);
    if (size > 0)
        ok &= WriteStream(body, size);
    return ok ? 1 : 0;
}

int CSWFStream::GetNextAction(unsigned char* code, CSWFStream* body)
{
    uint8_t actionCode = 0;
    if (!ReadU8(&actionCode))
        return 0;
    if (code)
        *code = actionCode;
    if (actionCode < kActionHasLength) {
        if (body && body != this)
            body->Assign(m_pBuffer + m_Position, 0);
        return 1;
    }
    uint16_t length = 0;
    if (!ReadU16(&length))
        return 0;
    if (static_cast<int32_t>(length) > GetDataRest()) {
        SWFDebugger.Add(this, kSWFErr_DataBeyondSize,
                        "Offset: " + std::to_string(m_Position) + ", queried size: " + std::to_string(length) +
                            ", real size: " + std::to_string(m_Size) +
                            ", absolure rest: " + std::to_string(GetDataRest()) +
                            ", action ID: " + std::to_string(actionCode) + ", navigation terminated",
                        length, kSWFType_Fatal);
        return 0;
    }
    if (body && body != this)
        body->Assign(m_pBuffer + m_Position, length);
    m_Position += length;
    return 1;
}

int CSWFStream::AppendAction(unsigned char code, CSWFStream* body)
{
    if (!WriteU8(code))
        return 0;
    if (code < kActionHasLength)
        return 1;
    if (!body)
        return WriteU16(0);
    if (body->m_Size > 0xFFFF)
        return 0;
    body->SetPosition(0);
    int ok = WriteU16(static_cast<uint16_t>(body->m_Size));
    if (body->m_Size > 0)
        ok &= WriteStream(body, body->m_Size);
    return ok ? 1 : 0;
}

// ---- Editing and copying ----

int CSWFStream::Insert(long n)
{
    if (n > 0) {
        const uint32_t oldSize = m_Size;
        if (!GrowForWrite(static_cast<uint64_t>(m_Size) + static_cast<uint64_t>(n)))
            return 0;
        std::memmove(m_pBuffer + m_Position + n, m_pBuffer + m_Position, oldSize - m_Position);
        return 1;
    }
    if (n == 0)
        return 1;
    if (!m_AutoDispose)
        return 0;
    const uint64_t remove = 0 - static_cast<uint64_t>(n); // also right for the most negative n
    if (remove > m_Size) {
        PSetSize(0);
        return 1;
    }
    // Only the bytes after the position can be removed.
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(remove, m_Size - m_Position));
    std::memmove(m_pBuffer + m_Position, m_pBuffer + m_Position + count, m_Size - m_Position - count);
    m_Size -= count;
    return 1;
}

int CSWFStream::AdoptBuffer(uint8_t* data, unsigned long size, unsigned long capacity)
{
    if (!m_AutoDispose || !data || size > capacity || capacity > kMaxStreamSize)
        return 0;
    std::free(m_pBuffer);
    m_pBuffer = data;
    m_Size = static_cast<uint32_t>(size);
    m_MemorySize = static_cast<uint32_t>(capacity);
    if (m_Position > m_Size) {
        m_Position = m_Size;
        m_Bit = 8;
    }
    return 1;
}

int CSWFStream::MakeCopy(CSWFStream*& dest) const
{
    if (dest == this)
        return 1;
    delete dest;
    dest = new CSWFStream;
    if (m_AutoDispose) {
        if (m_Size > 0) {
            if (!dest->SetMemorySize(m_Size))
                return 0;
            std::memcpy(dest->m_pBuffer, m_pBuffer, m_Size);
            dest->m_Size = m_Size;
        }
    } else {
        dest->Assign(m_pBuffer, m_Size);
    }
    dest->m_Position = m_Position;
    dest->m_Bit = m_Bit;
    dest->m_DataLow = m_DataLow;
    return 1;
}
