// The format's own ADPCM: packets of up to 4096 samples per channel, each starting with a 16-bit sample and a
// 6-bit step index per channel, then codes of 2 to 5 bits (the size stated once at the start of the data),
// channels interleaved code by code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reelfinch::plugin::sound {

// Decodes one whole ADPCM body (a DefineSound's data or one stream block) and appends interleaved 16-bit
// samples. Truncated data ends at the last whole sample; nothing is read past `size`.
void DecodeAdpcm(const uint8_t* data, size_t size, int channels, std::vector<int16_t>& out);

} // namespace reelfinch::plugin::sound
