// Reads the format's bit fields (most significant bit first) and byte-aligned numbers from a tag body that
// swflib keeps whole. Reading past the end marks the reader bad and yields zeros.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace reelfinch::plugin {

class BitReader
{
public:
    BitReader(const uint8_t* data, size_t size)
        : m_Data(data)
        , m_Size(size)
    { }

    bool ok() const { return !m_Bad; }
    void fail() { m_Bad = true; }

    uint32_t bits(int n)
    {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            if (m_Byte >= m_Size) {
                m_Bad = true;
                return 0;
            }
            value = (value << 1) | ((m_Data[m_Byte] >> (7 - m_Bit)) & 1u);
            if (++m_Bit == 8) {
                m_Bit = 0;
                ++m_Byte;
            }
        }
        return value;
    }

    int32_t signedBits(int n)
    {
        const uint32_t value = bits(n);
        if (n == 0 || n > 32)
            return 0;
        if (n < 32 && (value & (1u << (n - 1))))
            return int32_t(value | ~((1u << n) - 1));
        return int32_t(value);
    }

    void align()
    {
        if (m_Bit) {
            m_Bit = 0;
            ++m_Byte;
        }
    }

    uint8_t u8()
    {
        align();
        return uint8_t(bits(8));
    }

    uint16_t u16()
    {
        const uint16_t low = u8();
        return uint16_t(low | (u8() << 8));
    }

    // A string ended by a zero byte.
    std::string string()
    {
        std::string text;
        for (uint8_t c = u8(); c != 0 && ok(); c = u8())
            text.push_back(char(c));
        return text;
    }

    // The byte the reader stands at, and how many bytes follow from there.
    const uint8_t* here() const { return m_Data + std::min(m_Byte, m_Size); }
    size_t remaining() const { return m_Size - std::min(m_Byte, m_Size); }

    void skip(size_t bytes)
    {
        align();
        if (bytes > m_Size - std::min(m_Byte, m_Size))
            m_Bad = true;
        m_Byte = std::min(m_Size, m_Byte + bytes);
    }

private:
    const uint8_t* m_Data;
    size_t m_Size;
    size_t m_Byte = 0;
    int m_Bit = 0;
    bool m_Bad = false;
};

// MATRIX: scale and rotate-skew terms in 16.16 fixed point, translation in twips.
inline cairo_matrix_t ReadMatrix(BitReader& in)
{
    constexpr double kFixed16 = 65536.0;
    in.align();
    cairo_matrix_t m { 1, 0, 0, 1, 0, 0 };
    if (in.bits(1)) {
        const int n = int(in.bits(5));
        m.xx = in.signedBits(n) / kFixed16;
        m.yy = in.signedBits(n) / kFixed16;
    }
    if (in.bits(1)) {
        const int n = int(in.bits(5));
        m.yx = in.signedBits(n) / kFixed16;
        m.xy = in.signedBits(n) / kFixed16;
    }
    const int n = int(in.bits(5));
    m.x0 = in.signedBits(n);
    m.y0 = in.signedBits(n);
    in.align();
    return m;
}

} // namespace reelfinch::plugin
