#include "sound/Adpcm.h"

#include <algorithm>

namespace reelfinch::plugin::sound {

namespace {

// The step sizes shared with IMA ADPCM.
constexpr int16_t kStepTable[89] = { 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50,
    55, 60, 66, 73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408, 449, 494,
    544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327,
    3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818,
    18500, 20350, 22385, 24623, 27086, 29794, 32767 };
constexpr int kMaxStepIndex = 88;

// How the step index moves for each magnitude, by code size 2, 3, 4, 5.
constexpr int8_t kIndex2[] = { -1, 2 };
constexpr int8_t kIndex3[] = { -1, -1, 2, 4 };
constexpr int8_t kIndex4[] = { -1, -1, -1, -1, 2, 4, 6, 8 };
constexpr int8_t kIndex5[] = { -1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16 };
constexpr const int8_t* kIndexTables[4] = { kIndex2, kIndex3, kIndex4, kIndex5 };

constexpr int kCodeSizeBits = 2;
constexpr int kSampleBits = 16;
constexpr int kIndexBits = 6;
constexpr int kPacketSamples = 4096; // per channel, the first one given whole

class Bits
{
public:
    Bits(const uint8_t* data, size_t size)
        : m_Data(data)
        , m_Total(size * 8)
    {
    }
    bool has(size_t n) const { return m_Pos + n <= m_Total; }
    uint32_t get(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++m_Pos)
            v = (v << 1) | ((m_Data[m_Pos >> 3] >> (7 - (m_Pos & 7))) & 1u);
        return v;
    }

private:
    const uint8_t* m_Data;
    size_t m_Total;
    size_t m_Pos = 0;
};

struct ChannelState {
    int predictor = 0;
    int index = 0;
};

} // namespace

void DecodeAdpcm(const uint8_t* data, size_t size, int channels, std::vector<int16_t>& out)
{
    if (!data || channels < 1 || channels > 2)
        return;
    Bits bits(data, size);
    if (!bits.has(kCodeSizeBits))
        return;
    const int codeBits = int(bits.get(kCodeSizeBits)) + 2;
    const int8_t* indexTable = kIndexTables[codeBits - 2];
    const uint32_t signBit = 1u << (codeBits - 1);
    const uint32_t magnitudeTop = signBit >> 1;
    ChannelState state[2];
    const size_t headerBits = size_t(kSampleBits + kIndexBits) * size_t(channels);
    while (bits.has(headerBits)) {
        for (int c = 0; c < channels; ++c) {
            state[c].predictor = int16_t(bits.get(kSampleBits));
            state[c].index = int(bits.get(kIndexBits));
            state[c].index = std::min(state[c].index, kMaxStepIndex);
            out.push_back(int16_t(state[c].predictor));
        }
        for (int n = 1; n < kPacketSamples && bits.has(size_t(codeBits) * size_t(channels)); ++n) {
            for (int c = 0; c < channels; ++c) {
                const uint32_t code = bits.get(codeBits);
                int step = kStepTable[state[c].index];
                // The difference is (magnitude + 1/2) steps scaled down by the code size, built bit by bit with
                // the step halved for each lower bit.
                int diff = 0;
                for (uint32_t bit = magnitudeTop; bit; bit >>= 1) {
                    if (code & bit)
                        diff += step;
                    step >>= 1;
                }
                diff += step;
                state[c].predictor += (code & signBit) ? -diff : diff;
                state[c].predictor = std::clamp(state[c].predictor, -32768, 32767);
                state[c].index = std::clamp(state[c].index + indexTable[code & (signBit - 1)], 0, kMaxStepIndex);
                out.push_back(int16_t(state[c].predictor));
            }
        }
    }
}

} // namespace reelfinch::plugin::sound
