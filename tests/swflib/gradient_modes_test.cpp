// The gradient count byte of newer movies carries the spread and interpolation modes in its high bits.
#include "Records.h"
#include "SWFStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(CSWFObject& object)
{
    CSWFStream out;
    EXPECT_EQ(object.WriteSWF(&out), 1);
    return Bytes(out.GetBuffer(), out.GetBuffer() + out.GetSize());
}

} // namespace

TEST(GradientModes, CountIsTheLowNibbleAndModesSurviveWritingAndCopying)
{
    // Pad spread mode 1 and linear-RGB interpolation 1 (modes 0x5), two RGB records.
    const Bytes bytes = {0x52, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF};
    CSWFStream in;
    in.WriteBuf(bytes.data(), bytes.size());
    in.SetPosition(0);
    CGradientItem gradient(nullptr, 1);
    ASSERT_EQ(gradient.ReadSWF(&in), 1);
    EXPECT_EQ(in.GetDataRest(), 0);
    EXPECT_EQ(gradient.m_pGradRecords->GetItemCount(), 2);
    EXPECT_EQ(gradient.m_pGradRecords->m_Modes, 0x5);
    EXPECT_EQ(Written(gradient), bytes);

    CSWFObject* copy = nullptr;
    ASSERT_EQ(gradient.MakeCopy(nullptr, 1, copy), 1);
    std::unique_ptr<CSWFObject> owned(copy);
    EXPECT_EQ(Written(*owned), bytes);
}

TEST(GradientModes, MoreRecordsThanTheNibbleHoldsFailToWrite)
{
    CGradRecordsItem records(nullptr, 1);
    for (int i = 0; i < 16; ++i)
        records.Add(0);
    CSWFStream out;
    EXPECT_EQ(records.WriteSWF(&out), 0);
}
