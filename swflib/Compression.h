// In-place compression of the part of a stream after its position: zlib for "CWS" movies and compressed data
// records, LZMA for "ZWS" movies.
#pragma once

#include <cstdint>

class CSWFStream;

// zlib can expand its input at most about 1,032 times; a larger claimed size cannot come from the data.
inline constexpr uint64_t kZlibMaxRatio = 1032;
// LZMA reaches a few thousand to one on uniform data; output is capped at this ratio of the input.
inline constexpr uint64_t kLzmaMaxRatio = 8192;
// A "ZWS" body starts with the 32-bit compressed length and the 5 bytes of LZMA properties.
inline constexpr uint32_t kLzmaPropsSize = 5;
inline constexpr uint32_t kLzmaBodyPrefix = 4 + kLzmaPropsSize;

// Compresses `count` bytes at the position (zlib, level 9) in place; the position stays at the region's start.
int Compress(CSWFStream* stream, long count);
// Inflates `count` bytes at the position in place. `expectedSize` sizes the first output buffer; the output is
// bounded by what zlib can produce from `count` bytes, whatever the caller expects.
int DeCompress(CSWFStream* stream, long count, unsigned long expectedSize);

// The same for the LZMA layout of "ZWS" movies: length, properties, raw LZMA1 data. Decoding stops at the end
// marker or at `expectedSize` bytes, whichever comes first.
int CompressLZMA(CSWFStream* stream, long count);
int DeCompressLZMA(CSWFStream* stream, long count, unsigned long expectedSize);
