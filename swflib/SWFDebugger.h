// The process-wide log of numbered library diagnostics. The library never throws and never prints: readers
// and writers report here and carry on or give up by their own rules.
#pragma once

#include "LowCoreObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CSWFStream;
class CSWFObject;

// Error codes, each with a fixed text (GetErrorMessage).
enum SWFErrorCode : long {
    kSWFErr_Unknown = 32768,
    kSWFErr_RestTooLarge = 32769,
    kSWFErr_DataBeyondSize = 32770,
    kSWFErr_CantDecompress = 32771,
    kSWFErr_CompressedWithoutFlag = 32772,
    kSWFErr_FileSizeMismatch = 32773,
    kSWFErr_InvalidCompressionFlag = 32774,
    kSWFErr_InvalidHeader = 32775,
    kSWFErr_CantReadTag = 32776,
    kSWFErr_InvalidReserved = 32777,
    kSWFErr_DumpCut = 32778,
    kSWFErr_NoOutEstimate = 32779,
    kSWFErr_NotAssigned = 32780,
    kSWFErr_FileCorrupted = 32781,
    kSWFErr_InvalidVersion = 32782,
    kSWFErr_InvalidParameter = 32783,
    kSWFErr_UnknownTag = 32784,
    kSWFErr_UnknownAction = 32785,
    kSWFErr_CantReadAction = 32786,
    kSWFErr_MoreFrames = 32787,
    kSWFErr_LessFrames = 32788,
    kSWFErr_ParameterMissing = 32789,
    kSWFErr_ZlibNotApplied = 32790,
    kSWFErr_CantAllocate = 32791,
    kSWFErr_CantRead = 32792,
    kSWFErr_CantWrite = 32793,
    kSWFErr_NoFontBounds = 32794,
    kSWFErr_BranchOffset = 32795,
    kSWFErr_SmallLongTag = 32796,
};

// Severity types 0 to 7 (ConvertErrorType).
enum SWFErrorType : unsigned char {
    kSWFType_None = 0,
    kSWFType_Message = 1,
    kSWFType_Hint = 2,
    kSWFType_Warning = 3,
    kSWFType_Error = 4,
    kSWFType_Fatal = 5,
    kSWFType_System = 6,
    kSWFType_Internal = 7,
};

std::string GetErrorMessage(unsigned long code);
std::string ConvertErrorType(unsigned char type);

class CSWFDebugger : public CLowCoreObject
{
public:
    CSWFDebugger() = default;
    ~CSWFDebugger() override;

    void Add(const CLowCoreObject* object, long code, const std::string& message, long value, unsigned char type);
    // The filtered channel: records nothing; reporters go on while it answers non-zero.
    int AddF(const CLowCoreObject* object, long code, const std::string& message, long value, unsigned char type);
    void AddString(const std::string& text);
    void ClearLog();
    int CheckFilter(long code, unsigned char type) const;
    int CheckReserved(const CLowCoreObject* object, CSWFStream* stream, unsigned long bits, unsigned long* value);
    int VersionNotSupport(const CSWFObject* object, const std::string& message, long version);
    int CheckDataLow(const CLowCoreObject* object, CSWFStream* stream);
    int IntError_SetStyle(const CLowCoreObject* object, unsigned char style);

    const std::vector<std::unique_ptr<std::string>>& Log() const { return m_Log; }
    size_t LogSize() const { return m_Log.size(); }

    std::vector<std::unique_ptr<std::string>> m_Log;
    int32_t m_Level = 0;
    int32_t m_LastError = kSWFErr_Unknown;
};

extern CSWFDebugger SWFDebugger;

// Raises the debugger's nesting level for the life of a read or write, whichever way it ends.
class SWFDebugLevel
{
public:
    SWFDebugLevel() { ++SWFDebugger.m_Level; }
    ~SWFDebugLevel() { --SWFDebugger.m_Level; }
    SWFDebugLevel(const SWFDebugLevel&) = delete;
    SWFDebugLevel& operator=(const SWFDebugLevel&) = delete;
};
