// Writes the seed inputs of the fuzz targets from our own stream and tag writing: small movies of every kind
// (uncompressed, zlib, LZMA, truncated, with sprites and every content category) for fuzz_swfinfo, and
// operation scripts over such movies for fuzz_stream. Usage: make-fuzz-seeds SEED_FOLDER
#include "Compression.h"
#include "HeaderItems.h"
#include "SWFStream.h"
#include "TagCodes.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kVersion = 8;
constexpr int kTwips = 20;

Bytes ToBytes(const CSWFStream& s)
{
    return Bytes(s.GetBuffer(), s.GetBuffer() + s.GetSize());
}

void AddTag(CSWFStream& movie, uint16_t code, size_t bodySize, bool longHeader = false, uint8_t fill = 0xA5)
{
    CSWFStream body;
    const Bytes bytes(bodySize, fill);
    body.WriteBuf(bytes.data(), bytes.size());
    movie.AppendTag(code, longHeader, bodySize ? &body : nullptr);
}

// A DefineSprite holding two DoAction tags and a stream sound block, then End.
void AddSprite(CSWFStream& movie)
{
    CSWFStream sprite;
    sprite.WriteU16(7); // character ID
    sprite.WriteU16(1); // frame count
    AddTag(sprite, kTagDoAction, 10);
    AddTag(sprite, kTagDoAction, 10, true);
    AddTag(sprite, kTagSoundStreamBlock, 5);
    AddTag(sprite, kTagShowFrame, 0);
    AddTag(sprite, kTagEnd, 0);
    movie.AppendTag(kTagDefineSprite, false, &sprite);
}

// Header, frame count and background colour; the tags follow.
void StartMovie(CSWFStream& movie, CHeaderItem& header, SWFCompression compression)
{
    header.m_Version = kVersion;
    header.m_Compressed = compression != kCompressionNone;
    header.m_CompressionMethod = compression;
    header.m_FrameRate = 24.0f;
    header.m_pFrameRect->m_XMax = 550 * kTwips;
    header.m_pFrameRect->m_YMax = 400 * kTwips;
    header.WriteSWF(&movie);
    movie.WriteU16(2);
    CSWFStream colour;
    colour.WriteU8(0x33);
    colour.WriteU8(0x66);
    colour.WriteU8(0x99);
    movie.AppendTag(kTagSetBackgroundColor, false, &colour);
}

Bytes MinimalMovie()
{
    CSWFStream movie;
    CHeaderItem header;
    StartMovie(movie, header, kCompressionNone);
    AddTag(movie, kTagShowFrame, 0);
    AddTag(movie, kTagEnd, 0);
    header.MakeCompleteSWF(&movie);
    return ToBytes(movie);
}

// One tag of every category, a sprite, long headers, unknown codes and bytes after End.
Bytes EveryCategoryMovie(SWFCompression compression)
{
    CSWFStream movie;
    CHeaderItem header;
    StartMovie(movie, header, compression);
    for (uint16_t code : { kTagDefineShape, kTagDefineMorphShape, kTagDefineFont2, kTagDoInitAction, kTagJPEGTables,
             kTagDefineBitsLossless, kTagDefineSound, kTagSoundStreamHead2, kTagDefineVideoStream, kTagVideoFrame })
        AddTag(movie, code, 12);
    AddTag(movie, kTagDefineBitsJPEG2, 70); // long header by size
    AddTag(movie, kTagDoAction, 4, true); // long header by choice
    AddTag(movie, 66, 3); // a code with no category
    AddTag(movie, 1000, 2); // beyond every known code
    AddSprite(movie);
    AddTag(movie, kTagShowFrame, 0);
    AddTag(movie, kTagShowFrame, 0);
    AddTag(movie, kTagEnd, 0);
    AddTag(movie, kTagDoAction, 3); // after End: ignored
    header.MakeCompleteSWF(&movie);
    return ToBytes(movie);
}

// The last tag claims more bytes than the file holds.
Bytes TruncatedMovie()
{
    Bytes movie = EveryCategoryMovie(kCompressionNone);
    movie.resize(movie.size() - 20);
    return movie;
}

// "FWS" whose length field disagrees with the size and whose body is zlib data after all.
Bytes UnflaggedZlibMovie()
{
    Bytes movie = EveryCategoryMovie(kCompressionZlib);
    movie[0] = kSignatureUncompressed;
    return movie;
}

// FuzzedDataProvider takes raw bytes from the front and integers from the back: a script is the data followed
// by the integer choices in reverse order of use.
class Script
{
public:
    explicit Script(const Bytes& data)
        : m_Data(data)
    {
        Value(data.size(), 4096);
    }

    // An integer in [0, range], encoded the way the provider decodes it: as many bytes as the range needs,
    // the most significant one used first.
    Script& Value(uint64_t v, uint64_t range)
    {
        Bytes bytes;
        for (unsigned shift = 0; shift < 64 && (range >> shift) > 0; shift += 8)
            bytes.push_back(static_cast<uint8_t>(v >> shift));
        m_Tail.insert(m_Tail.end(), bytes.rbegin(), bytes.rend());
        return *this;
    }
    Script& Op(int op) { return Value(static_cast<uint64_t>(op), 22); }

    Bytes Build() const
    {
        Bytes out = m_Data;
        out.insert(out.end(), m_Tail.rbegin(), m_Tail.rend());
        return out;
    }

private:
    Bytes m_Data;
    Bytes m_Tail; // in order of use
};

// The operation numbers of fuzz_stream.
enum StreamOp {
    kOpReadBits = 0,
    kOpSetPosition = 3,
    kOpWalkTags = 6,
    kOpWalkActions = 7,
    kOpInsert = 8,
    kOpCompress = 9,
    kOpCompressLzma = 10,
    kOpDecompress = 11,
    kOpWriteBits = 13,
};

Bytes WalkMovieScript()
{
    const Bytes movie = EveryCategoryMovie(kCompressionNone);
    Script s(movie);
    s.Op(kOpSetPosition).Value(8, movie.size() + 4);
    s.Op(kOpReadBits).Value(5, 33);
    s.Op(kOpReadBits).Value(15, 33);
    s.Op(kOpSetPosition).Value(21, movie.size() + 4);
    s.Op(kOpWalkTags).Value(63, 63);
    for (int i = 0; i < 64; ++i)
        s.Value(1, 3).Value(static_cast<uint64_t>(i % 33), 33).Value(0, 1);
    return s.Build();
}

Bytes ActionScript()
{
    const Bytes actions = { 0x07, 0x83, 0x02, 0x00, 'a', 0x00, 0x96, 0x05, 0x00, 0x00, 'h', 'i', 0x00, 0x00, 0x00 };
    Script s(actions);
    s.Op(kOpWalkActions).Value(7, 63);
    for (int i = 0; i < 8; ++i)
        s.Value(2, 3).Value(8, 33).Value(3, 33).Value(1, 1);
    return s.Build();
}

Bytes CompressionScript()
{
    const Bytes movie = MinimalMovie();
    Script s(movie);
    s.Op(kOpSetPosition).Value(3, movie.size() + 4);
    s.Op(kOpCompress).Value(movie.size() - 3 + 1, movie.size() - 3 + 3);
    s.Op(kOpSetPosition).Value(5, movie.size() + 4);
    s.Op(kOpCompressLzma).Value(9, movie.size() - 5 + 3);
    s.Op(kOpInsert).Value(movie.size() + 2 + 7, movie.size() + 2 + 65536);
    s.Op(kOpWriteBits).Value(0xABCDEF, 0xFFFFFFFF).Value(19, 33);
    return s.Build();
}

// zlib data in the middle of the buffer, inflated at an odd position.
Bytes DecompressScript()
{
    CSWFStream data;
    data.WriteBuf("xyz", 3);
    const Bytes movie = MinimalMovie();
    data.WriteBuf(movie.data(), movie.size());
    data.SetPosition(3);
    Compress(&data, static_cast<long>(movie.size()));
    const Bytes bytes = ToBytes(data);
    Script s(bytes);
    s.Op(kOpSetPosition).Value(3, bytes.size() + 4);
    s.Op(kOpDecompress).Value(bytes.size() - 3 + 1, bytes.size() - 3 + 3).Value(movie.size(), 1 << 20);
    return s.Build();
}

bool Save(const std::string& path, const Bytes& bytes)
{
    CSWFStream s;
    s.WriteBuf(bytes.data(), bytes.size());
    return s.SaveToFile(path.c_str()) == 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds SEED_FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<std::pair<std::string, Bytes>> seeds = {
        { "swfinfo/minimal.swf", MinimalMovie() },
        { "swfinfo/categories-fws.swf", EveryCategoryMovie(kCompressionNone) },
        { "swfinfo/categories-cws.swf", EveryCategoryMovie(kCompressionZlib) },
        { "swfinfo/categories-zws.swf", EveryCategoryMovie(kCompressionLzma) },
        { "swfinfo/truncated.swf", TruncatedMovie() },
        { "swfinfo/unflagged-zlib.swf", UnflaggedZlibMovie() },
        { "stream/walk-movie.bin", WalkMovieScript() },
        { "stream/actions.bin", ActionScript() },
        { "stream/compression.bin", CompressionScript() },
        { "stream/decompress.bin", DecompressScript() },
    };
    for (const auto& [name, bytes] : seeds) {
        if (!Save(dir + "/" + name, bytes)) {
            std::fprintf(stderr, "make-fuzz-seeds: cannot write %s/%s\n", dir.c_str(), name.c_str());
            return 1;
        }
    }
    return 0;
}
