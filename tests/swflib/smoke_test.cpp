#include "SWFStream.h"

#include <gtest/gtest.h>

TEST(StreamSmoke, ReadsBitFieldsMostSignificantFirst)
{
    uint8_t bytes[] = {0xB5, 0x40};
    CSWFStream s;
    s.Assign(bytes, sizeof bytes);
    EXPECT_EQ(s.GetU(5), 22u);
    EXPECT_EQ(s.GetU(6), 42u);
    EXPECT_EQ(s.GetPosition(), 1u);
    EXPECT_EQ(s.GetBit(), 5);
}
