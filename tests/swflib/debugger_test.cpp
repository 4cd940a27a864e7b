#include "SWFDebugger.h"
#include "SWFObject.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(Debugger, RecordsAreFormattedFromLevelSeverityCodeObjectMessageAndValue)
{
    CSWFItem item;
    struct {
        const CLowCoreObject* object;
        long code;
        std::string message;
        long value;
        unsigned char type;
        std::string record;
    } cases[] = {
        { nullptr, 99, "", 0, 9, "0  " },
        { &item, 32770, "x", -3, 4,
            "0  Error   Read data is more than the file size, class name: CSWFItem, with message: \"x\", (\"-3\")" },
        { nullptr, 32768, "", 5, 3, "0 (Warning)  Unknown error; the code is:  32768, (\"5\")" },
        { &SWFDebugger, 32796, "m", 0, 7,
            "0 (:Internal error:)  Data small read big Tag, class name: CLowCoreObject, "
            "with message: \"m\"" },
    };
    for (auto& c : cases) {
        LogMark mark;
        SWFDebugger.Add(c.object, c.code, c.message, c.value, c.type);
        ASSERT_EQ(mark.Count(), 1u);
        EXPECT_EQ(mark.Lines()[0], c.record);
        EXPECT_EQ(SWFDebugger.m_LastError, c.code);
    }

    // The level shows how deeply nested the failing read was.
    {
        SWFDebugLevel outer;
        SWFDebugLevel inner;
        LogMark mark;
        SWFDebugger.Add(nullptr, 0, "", 0, 0);
        EXPECT_EQ(mark.Lines()[0].substr(0, 2), "2 ");
    }
    EXPECT_EQ(SWFDebugger.m_Level, 0);
}

TEST(Debugger, TextsOfCodesAndSeverities)
{
    EXPECT_EQ(GetErrorMessage(32767), "");
    EXPECT_EQ(GetErrorMessage(32797), "");
    EXPECT_EQ(GetErrorMessage(32781), "File is corrupted or missing");
    EXPECT_EQ(GetErrorMessage(32779), "Nececarry ZLib parameter (outestimate) is not set");
    EXPECT_EQ(ConvertErrorType(0), " ");
    EXPECT_EQ(ConvertErrorType(2), "{Hint} ");
    EXPECT_EQ(ConvertErrorType(5), " Fatal error  ");
    EXPECT_EQ(ConvertErrorType(8), "");
}

TEST(Debugger, HelpersReportOnlyWhatIsWrong)
{
    LogMark mark;
    EXPECT_EQ(SWFDebugger.AddF(nullptr, 32796, "m", 1, 1), 1);
    EXPECT_EQ(mark.Count(), 0u);
    EXPECT_EQ(SWFDebugger.CheckFilter(32784, 0), 0);
    EXPECT_EQ(SWFDebugger.CheckFilter(32785, 0), 0);
    EXPECT_EQ(SWFDebugger.CheckFilter(32770, 0), 1);

    Bytes data = { 0x50, 0x00 };
    CSWFStream s;
    s.Assign(data.data(), data.size());
    unsigned long value = 0;
    EXPECT_EQ(SWFDebugger.CheckReserved(nullptr, &s, 4, &value), 1); // 0101: reported, but read
    EXPECT_EQ(value, 5u);
    EXPECT_TRUE(mark.Has(kSWFErr_InvalidReserved));
    EXPECT_EQ(SWFDebugger.CheckReserved(nullptr, &s, 4, &value), 1);
    EXPECT_EQ(mark.Count(), 1u); // zero bits: nothing to say
    EXPECT_EQ(SWFDebugger.CheckReserved(nullptr, &s, 16, &value), 0);
    EXPECT_TRUE(mark.Has(kSWFErr_InvalidParameter));

    EXPECT_EQ(SWFDebugger.CheckDataLow(nullptr, &s), 0); // the failed read left a shortfall
    s.SetPosition(0);
    EXPECT_EQ(SWFDebugger.CheckDataLow(nullptr, &s), 1);
    EXPECT_EQ(SWFDebugger.IntError_SetStyle(nullptr, 7), 0);
    EXPECT_EQ(SWFDebugger.VersionNotSupport(nullptr, "HasNamedAnchorFlag", 5), 1);
    const auto lines = mark.Lines();
    EXPECT_NE(lines.back().find("\"HasNamedAnchorFlag\", (\"5\")"), std::string::npos);

    SWFDebugger.AddString("plain text");
    EXPECT_EQ(mark.Lines().back(), "plain text");
}
