// Whole-movie inputs the movie fuzz target found faults with, kept as tests so the faults stay fixed.
#include "HeaderItems.h"
#include "Movie.h"
#include "SWFStream.h"
#include "TagCodes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// An uncompressed movie of one frame whose only script is `actions`, laid out exactly as our writer lays it out.
Bytes MovieWithActions(const Bytes& actions)
{
    CSWFStream s;
    CHeaderItem header;
    header.m_Compressed = false;
    header.m_pFrameRect->m_XMax = 2000;
    header.m_pFrameRect->m_YMax = 2000;
    header.WriteSWF(&s);
    s.WriteU16(1);
    CSWFStream body;
    body.WriteBuf(actions.data(), actions.size());
    s.AppendTag(kTagDoAction, false, &body);
    s.AppendTag(kTagShowFrame, false, nullptr);
    s.AppendTag(kTagEnd, false, nullptr);
    header.MakeCompleteSWF(&s);
    return Bytes(s.GetBuffer(), s.GetBuffer() + s.GetSize());
}

Bytes SaveAfterReading(const Bytes& movie)
{
    CSWFStream in;
    in.WriteBuf(movie.data(), movie.size());
    in.SetPosition(0);
    CSWF swf;
    EXPECT_EQ(swf.ReadSWF(&in), 1);
    CSWFStream out;
    EXPECT_EQ(swf.WriteSWF(&out), 1);
    return Bytes(out.GetBuffer(), out.GetBuffer() + out.GetSize());
}

} // namespace

// An action header whose length runs past the script: the block ends there, and the header's own bytes stay
// with the rest of the tag body instead of being dropped on every save.
TEST(MovieFuzzRegressions, UnreadableActionHeaderKeepsItsBytes)
{
    const Bytes movie = MovieWithActions({0x07, 0xA5, 0xA5, 0x01, 0x42, 0x43});
    const Bytes saved = SaveAfterReading(movie);
    EXPECT_EQ(saved, movie);
    EXPECT_EQ(SaveAfterReading(saved), saved);
}
