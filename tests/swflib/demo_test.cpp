#include "SWFInfo.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

// The committed demo movie is exactly what the generator writes, and it summarises as a valid movie.
TEST(DemoMovie, GeneratorOutputMatchesTheCommittedFileAndIsAValidMovie)
{
    TempDir dir;
    const std::string out = (dir.Path() / "demo.swf").string();
    const std::string command = std::string("'") + REELFINCH_DEMO_GENERATOR + "' '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    CSWFStream generated, committed;
    ASSERT_EQ(generated.LoadFromFile(out.c_str()), 1);
    const std::string committedPath = std::string(REELFINCH_SOURCE_DIR) + "/resources/demo/demo.swf";
    ASSERT_EQ(committed.LoadFromFile(committedPath.c_str()), 1);
    EXPECT_EQ(Contents(generated), Contents(committed)) << "regenerate resources/demo/demo.swf";

    LogMark mark;
    CSWFInfo info;
    ASSERT_EQ(info.ReadSWF(&committed), 1);
    EXPECT_EQ(mark.Count(), 0u);
    EXPECT_TRUE(info.m_Compressed);
    EXPECT_EQ(info.m_FileLength, info.m_TotalSize);
    EXPECT_EQ(info.m_FrameCount, 48);
    EXPECT_EQ(info.m_FrameRate, 24.0f);
    EXPECT_EQ(info.m_FrameRect.m_XMax - info.m_FrameRect.m_XMin, 480 * 20);
    EXPECT_EQ(info.m_FrameRect.m_YMax - info.m_FrameRect.m_YMin, 320 * 20);
    EXPECT_EQ(info.m_ShapesCount, 2u);
    ASSERT_NE(info.m_pBackgroundColor, nullptr);
    EXPECT_EQ(info.m_pBackgroundColor->GetColor(), 0x3B261B);
    EXPECT_EQ(info.m_TagsCount, 1u + 2u + 48u * 3u);
}
