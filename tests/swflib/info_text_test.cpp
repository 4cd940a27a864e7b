#include "SWFInfo.h"
#include "SWFInfoText.h"
#include "TagCodes.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(InfoText, SizesUseDecimalLimitsAndBinaryDivisors)
{
    const std::pair<int32_t, const char*> cases[] = {
        { 0, "0 byte" },
        { 999, "999 byte" },
        { 1000, "0.98 kilobyte" },
        { 1536, "1.50 kilobyte" },
        { 999999, "976.56 kilobyte" },
        { 1000000, "0.95 megabyte" },
        { 1048576, "1.00 megabyte" },
        { -5, "-5 byte" },
    };
    for (auto [size, text] : cases)
        EXPECT_EQ(SizeText(size), text) << size;

    InfoWords words;
    words.kilobyte = "Kilobyte";
    EXPECT_EQ(SizeText(2048, words), "2.00 Kilobyte");

    EXPECT_EQ(ShareText(1536, 12447), "1.50 kilobyte (12.34 %)");
    EXPECT_EQ(ShareText(0, 500), "0 byte (0.00 %)");
    EXPECT_EQ(ShareText(500, 500), "500 byte (100.00 %)");
    EXPECT_EQ(ShareText(5, 0), "5 byte (0.00 %)"); // no movie: no division by zero
}

TEST(InfoText, RowsOfAValidAndOfAnInvalidSummary)
{
    CSWFInfo info;
    CSWFStream s;
    Load(s,
        Movie(Concat({ Tag(kTagSetBackgroundColor, { 0x1B, 0x26, 0x3B }), Tag(kTagDefineShape, Filled(30)),
                  Tag(kTagEnd) }),
            7, 8));
    ASSERT_EQ(info.ReadSWF(&s), 1);
    // The width stays positive when the rectangle is given backwards.
    std::swap(info.m_FrameRect.m_XMin, info.m_FrameRect.m_XMax);
    info.m_FrameRate = 29.97f;

    const std::pair<int, const char*> values[] = {
        { 0, "movie.swf" },
        { 1, "60 byte" },
        { 2, "60 byte" },
        { 3, "8" },
        { 4, "550" },
        { 5, "400" },
        { 6, "29.97" },
        { 7, "7" },
        { 8, "#1B263B" },
        { 9, "No" },
        { 10, "30 byte (50.00 %)" },
        { 11, "0 byte (0.00 %)" },
        { 17, "30 byte (50.00 %)" },
    };
    for (auto [row, value] : values) {
        const InfoRow r = InfoRowText(info, row, "movie.swf");
        EXPECT_EQ(r.label, kInfoLabels[row]);
        EXPECT_EQ(r.value, value) << row;
        EXPECT_EQ(r.dimmed, row == 11) << row; // only an empty category is grey
    }
    EXPECT_EQ(InfoRowText(info, 18, "x").label, "");
    EXPECT_EQ(InfoRowText(info, -1, "x").value, "");
    EXPECT_STREQ(kInfoLabels[2], "File size (no ZLIb)");

    info.m_pBackgroundColor.reset();
    EXPECT_EQ(InfoRowText(info, kInfoRowBackground, "").value, "none");

    CSWFStream bad;
    Load(bad, { 'N', 'O', 'T', ' ', 'A', ' ', 'S', 'W', 'F' });
    ASSERT_EQ(info.ReadSWF(&bad), 0);
    EXPECT_EQ(InfoRowText(info, 0, "bad.swf").value, "bad.swf");
    EXPECT_EQ(InfoRowText(info, 1, "").value, "9 byte");
    EXPECT_FALSE(InfoRowText(info, 1, "").dimmed);
    for (int row = 2; row < kInfoRowCount; ++row) {
        EXPECT_EQ(InfoRowText(info, row, "").value, "N/A") << row;
        EXPECT_TRUE(InfoRowText(info, row, "").dimmed) << row;
    }
}
