#include "SWFDebugger.h"

#include "SWFObject.h"
#include "SWFStream.h"

#include <array>
#include <cstdio>

CSWFDebugger SWFDebugger;

namespace {

const std::array<const char*, 29> kErrorTexts = {
    "Unknown error; the code is: ",
    "The rest of data is too large",
    "Read data is more than the file size",
    "Can't decompress",
    "File compressed, but compression flag is not set",
    "Internal file size is missing",
    "Invalid compression flag",
    "Invalid file header",
    "Cant read tag",
    "Invalid reserved data flag",
    "The data in the memory dump was cut before reading",
    "Nececarry ZLib parameter (outestimate) is not set",
    "The object to access is not assigned",
    "File is corrupted or missing",
    "Invalid file version flag",
    "Trying to set invalid object as parameter",
    "Found unknown tag",
    "Found unknown action",
    "Can't read action",
    "The number of real frames is more than the specified one",
    "The number of real frames is less than the specified one",
    "Parameter is missing in this file version",
    "Zlib compression not applied",
    "Can't allocate memory to create object",
    "Can't execute reading process",
    "Can't execute writing process",
    "Mandatory field FontBoundsTable is absent",
    "Error count IndexBranchOffset BranchOffset",
    "Data small read big Tag",
};

const std::array<const char*, 8> kTypeWords = {
    "", " Message ", "{Hint}", "(Warning)", " Error ", " Fatal error ", " System error ", "(:Internal error:)",
};

} // namespace

std::string GetErrorMessage(unsigned long code)
{
    if (code < kSWFErr_Unknown || code > kSWFErr_SmallLongTag)
        return {};
    std::string text = kErrorTexts[code - kSWFErr_Unknown];
    if (code == kSWFErr_Unknown)
        text += " " + std::to_string(code);
    return text;
}

std::string ConvertErrorType(unsigned char type)
{
    if (type >= kTypeWords.size())
        return {};
    return std::string(kTypeWords[type]) + " ";
}

CSWFDebugger::~CSWFDebugger()
{
    ClearLog();
}

void CSWFDebugger::Add(const CLowCoreObject* object, long code, const std::string& message, long value,
                       unsigned char type)
{
    m_LastError = static_cast<int32_t>(code);
    std::string record = std::to_string(m_Level) + " " + ConvertErrorType(type) + " " +
                         GetErrorMessage(static_cast<unsigned long>(code));
    if (object)
        record += std::string(", class name: ") + object->GetClassName();
    if (!message.empty())
        record += ", with message: \"" + message + "\"";
    if (value != 0)
        record += ", (\"" + std::to_string(static_cast<int32_t>(value)) + "\")";
    m_Log.push_back(std::make_unique<std::string>(std::move(record)));
}

int CSWFDebugger::AddF(const CLowCoreObject*, long, const std::string&, long, unsigned char)
{
    return 1;
}

void CSWFDebugger::AddString(const std::string& text)
{
    m_Log.push_back(std::make_unique<std::string>(text));
}

void CSWFDebugger::ClearLog()
{
    while (!m_Log.empty())
        m_Log.pop_back();
}

int CSWFDebugger::CheckFilter(long code, unsigned char) const
{
    return (code == kSWFErr_UnknownTag || code == kSWFErr_UnknownAction) ? 0 : 1;
}

int CSWFDebugger::CheckReserved(const CLowCoreObject* object, CSWFStream* stream, unsigned long bits,
                                unsigned long* value)
{
    uint32_t read = 0;
    if (!stream || bits > 32 || !stream->ReadBits(&read, static_cast<unsigned char>(bits))) {
        Add(object, kSWFErr_InvalidParameter, "", 0, kSWFType_Fatal);
        return 0;
    }
    if (value)
        *value = read;
    if (read != 0)
        Add(object, kSWFErr_InvalidReserved, "", static_cast<long>(read), kSWFType_Warning);
    return 1;
}

int CSWFDebugger::VersionNotSupport(const CSWFObject* object, const std::string& message, long version)
{
    Add(object, kSWFErr_InvalidParameter, message, version,
        kSWFType_Message);
    return 1;
}

int CSWFDebugger::CheckDataLow(const CLowCoreObject* object, CSWFStream* stream)
{
    const int32_t rest = stream ? stream->GetDataRest() : 0;
    if (rest >= 0)
        return 1;
    Add(object, kSWFErr_DataBeyondSize, "", rest, kSWFType_Error);
    return 0;
}

int CSWFDebugger::IntError_SetStyle(const CLowCoreObject* object, unsigned char style)
{
    Add(object, kSWFErr_InvalidParameter, "SetStyle", style, kSWFType_Internal);
    return 0;
}
