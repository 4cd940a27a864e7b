#include "Actions.h"

#include "FactoryFamilies.h"
#include "Movie.h"
#include "SWFDebugger.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Push values that are property numbers exist only in movies before version 5.
constexpr unsigned char kFirstVersionWithoutProperties = 5;
// DefineFunction2 and Try keep reserved bits between their flags.
constexpr unsigned char kFunction2ReservedBits = 7;
constexpr unsigned char kTryReservedBits = 5;

struct ActionClassEntry {
    uint8_t code;
    int classID;
};

// Every action code with a class; the rest are CUnKnownAction.
constexpr ActionClassEntry kActionClasses[] = {
    { 0x00, kClassID_CEndAction },
    { 0x04, kClassID_CNextFrameAction },
    { 0x05, kClassID_CPreviousFrameAction },
    { 0x06, kClassID_CPlayAction },
    { 0x07, kClassID_CStopAction },
    { 0x08, kClassID_CToggleQualityAction },
    { 0x09, kClassID_CStopSoundsAction },
    { 0x0A, kClassID_CAddAction },
    { 0x0B, kClassID_CSubtractAction },
    { 0x0C, kClassID_CMultiplyAction },
    { 0x0D, kClassID_CDivideAction },
    { 0x0E, kClassID_CEqualsAction },
    { 0x0F, kClassID_CLessAction },
    { 0x10, kClassID_CAndAction },
    { 0x11, kClassID_COrAction },
    { 0x12, kClassID_CNotAction },
    { 0x13, kClassID_CStringEqualsAction },
    { 0x14, kClassID_CStringLengthAction },
    { 0x15, kClassID_CStringExtractAction },
    { 0x17, kClassID_CPopAction },
    { 0x18, kClassID_CToIntegerAction },
    { 0x1C, kClassID_CGetVariableAction },
    { 0x1D, kClassID_CSetVariableAction },
    { 0x20, kClassID_CSetTarget2Action },
    { 0x21, kClassID_CStringAddAction },
    { 0x22, kClassID_CGetPropertyAction },
    { 0x23, kClassID_CSetPropertyAction },
    { 0x24, kClassID_CCloneSpriteAction },
    { 0x25, kClassID_CReMoveSpriteAction },
    { 0x26, kClassID_CTraceAction },
    { 0x27, kClassID_CStartDragAction },
    { 0x28, kClassID_CEndDragAction },
    { 0x29, kClassID_CStringLessAction },
    { 0x2A, kClassID_CThrowAction },
    { 0x2B, kClassID_CCastOpAction },
    { 0x2C, kClassID_CImplementsOpAction },
    { 0x30, kClassID_CRandomNumberAction },
    { 0x31, kClassID_CMBStringLengthAction },
    { 0x32, kClassID_CCharToASCIIAction },
    { 0x33, kClassID_CASCIIToCharAction },
    { 0x34, kClassID_CGetTimeAction },
    { 0x35, kClassID_CMBStringExtractAction },
    { 0x36, kClassID_CMBCharToASCIIAction },
    { 0x37, kClassID_CMBASCIIToCharAction },
    { 0x3A, kClassID_CDeleteAction },
    { 0x3B, kClassID_CDelete2Action },
    { 0x3C, kClassID_CDefineLocalAction },
    { 0x3D, kClassID_CCallFunctionAction },
    { 0x3E, kClassID_CReturnAction },
    { 0x3F, kClassID_CModuloAction },
    { 0x40, kClassID_CNewObjectAction },
    { 0x41, kClassID_CDefineLocal2Action },
    { 0x42, kClassID_CInitArrayAction },
    { 0x43, kClassID_CInitObjectAction },
    { 0x44, kClassID_CTypeOfAction },
    { 0x45, kClassID_CTargetPathAction },
    { 0x46, kClassID_CEnumerateAction },
    { 0x47, kClassID_CAdd2Action },
    { 0x48, kClassID_CLess2Action },
    { 0x49, kClassID_CEquals2Action },
    { 0x4A, kClassID_CToNumberAction },
    { 0x4B, kClassID_CToStringAction },
    { 0x4C, kClassID_CPushDuplicateAction },
    { 0x4D, kClassID_CStackSwapAction },
    { 0x4E, kClassID_CGetMemberAction },
    { 0x4F, kClassID_CSetMemberAction },
    { 0x50, kClassID_CIncrementAction },
    { 0x51, kClassID_CDecrementAction },
    { 0x52, kClassID_CCallMethodAction },
    { 0x53, kClassID_CNewMethodAction },
    { 0x54, kClassID_CInstanceOfAction },
    { 0x55, kClassID_CEnumerate2Action },
    { 0x60, kClassID_CBitAndAction },
    { 0x61, kClassID_CBitOrAction },
    { 0x62, kClassID_CBitXorAction },
    { 0x63, kClassID_CBitLShiftAction },
    { 0x64, kClassID_CBitRShiftAction },
    { 0x65, kClassID_CBitURShiftAction },
    { 0x66, kClassID_CStrictEqualsAction },
    { 0x67, kClassID_CGreaterAction },
    { 0x68, kClassID_CStringGreaterAction },
    { 0x69, kClassID_CExtendsAction },
    { 0x81, kClassID_CGoToFrameAction },
    { 0x83, kClassID_CGetURLAction },
    { 0x87, kClassID_CStoreRegister2Action },
    { kActionConstantPool, kClassID_CConstantPoolAction },
    { 0x8A, kClassID_CWaitForFrameAction },
    { 0x8B, kClassID_CSetTargetAction },
    { 0x8C, kClassID_CGoToLabelAction },
    { 0x8D, kClassID_CWaitForFrame2Action },
    { kActionDefineFunction2, kClassID_CDefineFunction2Action },
    { kActionTry, kClassID_CTryAction },
    { kActionWith, kClassID_CWithAction },
    { kActionPush, kClassID_CPushAction },
    { kActionJump, kClassID_CJumpAction },
    { 0x9A, kClassID_CGetURL2Action },
    { kActionDefineFunction, kClassID_CDefineFunctionAction },
    { kActionIf, kClassID_CIfAction },
    { 0x9E, kClassID_CCallAction },
    { 0x9F, kClassID_CGoToFrame2Action },
};

constexpr std::array<int, 256> MakeActionClassTable()
{
    std::array<int, 256> table {};
    for (int& id : table)
        id = kClassID_CUnKnownAction;
    for (const ActionClassEntry& entry : kActionClasses)
        table[entry.code] = entry.classID;
    return table;
}

constexpr std::array<int, 256> kActionClassTable = MakeActionClassTable();

// The version of the movie an object belongs to, found through its owners; 0 without a movie.
unsigned char OwnerVersion(const CSWFObject* owner)
{
    for (int depth = 0; owner && depth < 64; owner = owner->m_pOwner, ++depth) {
        if (const auto* movie = dynamic_cast<const CSWF*>(owner))
            return movie->m_pHeader ? movie->m_pHeader->m_Version : 0;
    }
    return 0;
}

bool NoShortfall(const CSWFStream* stream)
{
    return stream && stream->m_DataLow == 0;
}

// Copies an owned string record into another's field; the field keeps a blank string when there is none.
int CopyString(
    const C0TrmStringItem* src, CSWFObject* owner, unsigned char style, std::unique_ptr<C0TrmStringItem>& dest)
{
    if (!CopyOwned(src, owner, style, dest))
        return 0;
    if (!dest)
        dest = std::make_unique<C0TrmStringItem>(owner, style);
    return 1;
}

} // namespace

int ActionClassForCode(uint8_t code)
{
    return kActionClassTable[code];
}

// ---- COperandAction ----

COperandAction::~COperandAction() = default;

int COperandAction::ReadSWF(CSWFStream* body)
{
    m_pDumpProtect.reset();
    m_RawBody = false;
    if (!body)
        return 0;
    return ReadBody(body) && NoShortfall(body) ? 1 : 0;
}

int COperandAction::WriteSWF(CSWFStream* body)
{
    if (!body || (!m_RawBody && !WriteBody(body)))
        return 0;
    return m_pDumpProtect ? m_pDumpProtect->WriteSWF(body) : 1;
}

void COperandAction::SetRawBody(CSWFStream* body)
{
    body->SetPosition(0);
    body->SetBit(8);
    SetDumpProtect(body);
    m_RawBody = true;
}

void COperandAction::SetDumpProtect(CSWFStream* body)
{
    m_pDumpProtect.reset();
    if (!body || body->GetDataRest() <= 0)
        return;
    body->FlushBits();
    auto dump = std::make_unique<CDumpItem>(m_pOwner, m_Style);
    dump->SetReadingSize(static_cast<unsigned long>(std::max<int32_t>(body->GetDataRest(), 0)));
    if (dump->ReadSWF(body))
        m_pDumpProtect = std::move(dump);
}

int COperandAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<COperandAction>(dest);
    if (!copy)
        return 0;
    copy->m_RawBody = m_RawBody;
    return CopyOwned(m_pDumpProtect.get(), owner, style, copy->m_pDumpProtect);
}

void COperandAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CAction::DescribeFields(visitor);
    visitor.Child("extraBytes", m_pDumpProtect.get());
    visitor.Int("rawBody", m_RawBody);
}

// ---- CBranchAction ----

int CBranchAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CBranchAction>(dest);
    if (!copy)
        return 0;
    copy->m_KeepOffsets = m_KeepOffsets;
    return 1;
}

void CBranchAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Int("keepOffsets", m_KeepOffsets);
}

// ---- Actions with simple operands ----

int CGoToFrameAction::ReadBody(CSWFStream* body)
{
    return body->ReadU16(&m_Frame);
}

int CGoToFrameAction::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_Frame);
}

int CGoToFrameAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CGoToFrameAction>(dest);
    if (!copy)
        return 0;
    copy->m_Frame = m_Frame;
    return 1;
}

void CGoToFrameAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Int("frame", m_Frame);
}

CGetURLAction::CGetURLAction(CSWFObject* owner, unsigned char style)
    : COperandAction(owner, style)
    , m_pURL(std::make_unique<C0TrmStringItem>(owner, style))
    , m_pTarget(std::make_unique<C0TrmStringItem>(owner, style))
{ }

CGetURLAction::~CGetURLAction() = default;

int CGetURLAction::ReadBody(CSWFStream* body)
{
    return m_pURL->ReadSWF(body) && m_pTarget->ReadSWF(body) ? 1 : 0;
}

int CGetURLAction::WriteBody(CSWFStream* body)
{
    return m_pURL->WriteSWF(body) && m_pTarget->WriteSWF(body) ? 1 : 0;
}

int CGetURLAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CGetURLAction>(dest);
    return copy && CopyString(m_pURL.get(), owner, style, copy->m_pURL)
            && CopyString(m_pTarget.get(), owner, style, copy->m_pTarget)
        ? 1
        : 0;
}

void CGetURLAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Child("url", m_pURL.get());
    visitor.Child("target", m_pTarget.get());
}

int CStoreRegister2Action::ReadBody(CSWFStream* body)
{
    return body->ReadU8(&m_Register);
}

int CStoreRegister2Action::WriteBody(CSWFStream* body)
{
    return body->WriteU8(m_Register);
}

int CStoreRegister2Action::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CStoreRegister2Action>(dest);
    if (!copy)
        return 0;
    copy->m_Register = m_Register;
    return 1;
}

void CStoreRegister2Action::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Int("register", m_Register);
}

CConstantPoolAction::CConstantPoolAction(CSWFObject* owner, unsigned char style)
    : COperandAction(owner, style)
    , m_pConstants(std::make_unique<C0TrmStringsItem>(owner, style))
{ }

CConstantPoolAction::~CConstantPoolAction() = default;

int CConstantPoolAction::ReadBody(CSWFStream* body)
{
    const int ok = m_pConstants->ReadSWF(body);
    if (ok)
        SetDumpProtect(body);
    return ok;
}

int CConstantPoolAction::WriteBody(CSWFStream* body)
{
    return m_pConstants->WriteSWF(body);
}

int CConstantPoolAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CConstantPoolAction>(dest);
    return copy && CopyOwned(m_pConstants.get(), owner, style, copy->m_pConstants) && copy->m_pConstants ? 1 : 0;
}

void CConstantPoolAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Child("constants", m_pConstants.get());
}

int CWaitForFrameAction::ReadBody(CSWFStream* body)
{
    return body->ReadU16(&m_Frame) && body->ReadU8(&m_SkipCount) ? 1 : 0;
}

int CWaitForFrameAction::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_Frame) && body->WriteU8(m_SkipCount) ? 1 : 0;
}

int CWaitForFrameAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CWaitForFrameAction>(dest);
    if (!copy)
        return 0;
    copy->m_Frame = m_Frame;
    copy->m_SkipCount = m_SkipCount;
    return 1;
}

void CWaitForFrameAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Int("frame", m_Frame);
    visitor.Int("skipCount", m_SkipCount);
}

int CWaitForFrame2Action::ReadBody(CSWFStream* body)
{
    return body->ReadU8(&m_SkipCount);
}

int CWaitForFrame2Action::WriteBody(CSWFStream* body)
{
    return body->WriteU8(m_SkipCount);
}

int CWaitForFrame2Action::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CWaitForFrame2Action>(dest);
    if (!copy)
        return 0;
    copy->m_SkipCount = m_SkipCount;
    return 1;
}

void CWaitForFrame2Action::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Int("skipCount", m_SkipCount);
}

CStringOperandAction::CStringOperandAction(CSWFObject* owner, unsigned char style)
    : COperandAction(owner, style)
    , m_pName(std::make_unique<C0TrmStringItem>(owner, style))
{ }

CStringOperandAction::~CStringOperandAction() = default;

int CStringOperandAction::ReadBody(CSWFStream* body)
{
    return m_pName->ReadSWF(body);
}

int CStringOperandAction::WriteBody(CSWFStream* body)
{
    return m_pName->WriteSWF(body);
}

int CStringOperandAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CStringOperandAction>(dest);
    return copy && CopyString(m_pName.get(), owner, style, copy->m_pName) ? 1 : 0;
}

void CStringOperandAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Child("name", m_pName.get());
}

int CGetURL2Action::ReadBody(CSWFStream* body)
{
    return body->ReadU8(&m_Flags);
}

int CGetURL2Action::WriteBody(CSWFStream* body)
{
    return body->WriteU8(m_Flags);
}

int CGetURL2Action::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CGetURL2Action>(dest);
    if (!copy)
        return 0;
    copy->m_Flags = m_Flags;
    return 1;
}

void CGetURL2Action::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Int("flags", m_Flags);
}

int CGoToFrame2Action::ReadBody(CSWFStream* body)
{
    return body->ReadU8(&m_Flags);
}

int CGoToFrame2Action::WriteBody(CSWFStream* body)
{
    return body->WriteU8(m_Flags);
}

int CGoToFrame2Action::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CGoToFrame2Action>(dest);
    if (!copy)
        return 0;
    copy->m_Flags = m_Flags;
    return 1;
}

void CGoToFrame2Action::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Int("flags", m_Flags);
}

CUnKnownAction::CUnKnownAction(CSWFObject* owner, unsigned char style)
    : COperandAction(owner, style)
    , m_pData(std::make_unique<CDumpItem>(owner, style))
{ }

CUnKnownAction::~CUnKnownAction() = default;

int CUnKnownAction::ReadBody(CSWFStream* body)
{
    m_pData->SetReadingSize(static_cast<unsigned long>(std::max<int32_t>(body->GetDataRest(), 0)));
    return m_pData->ReadSWF(body);
}

int CUnKnownAction::WriteBody(CSWFStream* body)
{
    return m_pData->WriteSWF(body);
}

int CUnKnownAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CUnKnownAction>(dest);
    return copy && CopyOwned(m_pData.get(), owner, style, copy->m_pData) && copy->m_pData ? 1 : 0;
}

void CUnKnownAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Child("data", m_pData.get());
}

// ---- Branch actions ----

int CJumpingAction::ReadBody(CSWFStream* body)
{
    return body->ReadS16(&m_BranchOffset);
}

int CJumpingAction::WriteBody(CSWFStream* body)
{
    return body->WriteS16(m_BranchOffset);
}

int CJumpingAction::SetBranchOffset(int, long offset)
{
    if (offset < std::numeric_limits<int16_t>::min() || offset > std::numeric_limits<int16_t>::max())
        return 0;
    m_BranchOffset = static_cast<int16_t>(offset);
    return 1;
}

int CJumpingAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CBranchAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CJumpingAction>(dest);
    if (!copy)
        return 0;
    copy->m_BranchOffset = m_BranchOffset;
    copy->m_BranchIndex = m_BranchIndex;
    return 1;
}

void CJumpingAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CBranchAction::DescribeFields(visitor);
    visitor.Int("branchOffset", m_BranchOffset);
    visitor.Int("branchIndex", m_BranchIndex);
}

int CCodeBlockAction::SetBranchOffset(int, long offset)
{
    if (offset < 0 || offset > std::numeric_limits<uint16_t>::max())
        return 0;
    m_CodeSize = static_cast<uint16_t>(offset);
    return 1;
}

int CCodeBlockAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CBranchAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CCodeBlockAction>(dest);
    if (!copy)
        return 0;
    copy->m_CodeSize = m_CodeSize;
    copy->m_EndIndex = m_EndIndex;
    return 1;
}

void CCodeBlockAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CBranchAction::DescribeFields(visitor);
    visitor.Int("codeSize", m_CodeSize);
    visitor.Int("endIndex", m_EndIndex);
}

int CWithAction::ReadBody(CSWFStream* body)
{
    return body->ReadU16(&m_CodeSize);
}

int CWithAction::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_CodeSize);
}

CDefineFunctionAction::CDefineFunctionAction(CSWFObject* owner, unsigned char style)
    : CCodeBlockAction(owner, style)
    , m_pName(std::make_unique<C0TrmStringItem>(owner, style))
    , m_pParams(std::make_unique<C0TrmStringsItem>(owner, style))
{ }

CDefineFunctionAction::~CDefineFunctionAction() = default;

int CDefineFunctionAction::ReadBody(CSWFStream* body)
{
    return m_pName->ReadSWF(body) && m_pParams->ReadSWF(body) && body->ReadU16(&m_CodeSize) ? 1 : 0;
}

int CDefineFunctionAction::WriteBody(CSWFStream* body)
{
    return m_pName->WriteSWF(body) && m_pParams->WriteSWF(body) && body->WriteU16(m_CodeSize) ? 1 : 0;
}

int CDefineFunctionAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CCodeBlockAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineFunctionAction>(dest);
    return copy && CopyString(m_pName.get(), owner, style, copy->m_pName)
            && CopyOwned(m_pParams.get(), owner, style, copy->m_pParams) && copy->m_pParams
        ? 1
        : 0;
}

void CDefineFunctionAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CCodeBlockAction::DescribeFields(visitor);
    visitor.Child("name", m_pName.get());
    visitor.Child("params", m_pParams.get());
}

CRegisterParam::CRegisterParam(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pName(std::make_unique<C0TrmStringItem>(owner, style))
{ }

CRegisterParam::~CRegisterParam() = default;

int CRegisterParam::ReadSWF(CSWFStream* stream)
{
    return stream && stream->ReadU8(&m_Register) && m_pName->ReadSWF(stream) ? 1 : 0;
}

int CRegisterParam::WriteSWF(CSWFStream* stream)
{
    return stream && stream->WriteU8(m_Register) && m_pName->WriteSWF(stream) ? 1 : 0;
}

int CRegisterParam::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CRegisterParam>(dest);
    if (!copy)
        return 0;
    copy->m_Register = m_Register;
    return CopyString(m_pName.get(), owner, style, copy->m_pName);
}

void CRegisterParam::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("register", m_Register);
    visitor.Child("name", m_pName.get());
}

CRegisterParamS::CRegisterParamS(CSWFObject* owner, unsigned char style)
    : CSWFItemsDefineCountable(owner, style)
{
    m_ItemClassID = kClassID_CRegisterParam;
}

CDefineFunction2Action::CDefineFunction2Action(CSWFObject* owner, unsigned char style)
    : CCodeBlockAction(owner, style)
    , m_pName(std::make_unique<C0TrmStringItem>(owner, style))
    , m_pParams(std::make_unique<CRegisterParamS>(owner, style))
{ }

CDefineFunction2Action::~CDefineFunction2Action() = default;

int CDefineFunction2Action::ReadBody(CSWFStream* body)
{
    uint16_t paramCount = 0;
    if (!m_pName->ReadSWF(body) || !body->ReadU16(&paramCount) || !body->ReadU8(&m_RegisterCount))
        return 0;
    for (bool* flag : { &m_PreloadParent, &m_PreloadRoot, &m_SuppressSuper, &m_PreloadSuper, &m_SuppressArguments,
             &m_PreloadArguments, &m_SuppressThis, &m_PreloadThis }) {
        if (!body->ReadBool(flag))
            return 0;
    }
    unsigned long reserved = 0;
    if (!SWFDebugger.CheckReserved(this, body, kFunction2ReservedBits, &reserved))
        return 0;
    m_Reserved = static_cast<uint8_t>(reserved);
    if (!body->ReadBool(&m_PreloadGlobal))
        return 0;
    m_pParams->SetCount(paramCount);
    return m_pParams->ReadSWF(body) && body->ReadU16(&m_CodeSize) ? 1 : 0;
}

int CDefineFunction2Action::WriteBody(CSWFStream* body)
{
    const unsigned long paramCount = m_pParams->GetCount();
    if (paramCount > std::numeric_limits<uint16_t>::max())
        return 0;
    if (!m_pName->WriteSWF(body) || !body->WriteU16(static_cast<uint16_t>(paramCount))
        || !body->WriteU8(m_RegisterCount))
        return 0;
    for (bool flag : { m_PreloadParent, m_PreloadRoot, m_SuppressSuper, m_PreloadSuper, m_SuppressArguments,
             m_PreloadArguments, m_SuppressThis, m_PreloadThis }) {
        if (!body->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    if (!body->WriteBits(m_Reserved, kFunction2ReservedBits) || !body->WriteBits(m_PreloadGlobal ? 1 : 0, 1))
        return 0;
    return m_pParams->WriteSWF(body) && body->WriteU16(m_CodeSize) ? 1 : 0;
}

int CDefineFunction2Action::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CCodeBlockAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineFunction2Action>(dest);
    if (!copy)
        return 0;
    copy->m_RegisterCount = m_RegisterCount;
    copy->m_PreloadParent = m_PreloadParent;
    copy->m_PreloadRoot = m_PreloadRoot;
    copy->m_SuppressSuper = m_SuppressSuper;
    copy->m_PreloadSuper = m_PreloadSuper;
    copy->m_SuppressArguments = m_SuppressArguments;
    copy->m_PreloadArguments = m_PreloadArguments;
    copy->m_SuppressThis = m_SuppressThis;
    copy->m_PreloadThis = m_PreloadThis;
    copy->m_Reserved = m_Reserved;
    copy->m_PreloadGlobal = m_PreloadGlobal;
    return CopyString(m_pName.get(), owner, style, copy->m_pName)
            && CopyOwned(m_pParams.get(), owner, style, copy->m_pParams) && copy->m_pParams
        ? 1
        : 0;
}

void CDefineFunction2Action::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CCodeBlockAction::DescribeFields(visitor);
    visitor.Child("name", m_pName.get());
    visitor.Int("registerCount", m_RegisterCount);
    visitor.Int("preloadParent", m_PreloadParent);
    visitor.Int("preloadRoot", m_PreloadRoot);
    visitor.Int("suppressSuper", m_SuppressSuper);
    visitor.Int("preloadSuper", m_PreloadSuper);
    visitor.Int("suppressArguments", m_SuppressArguments);
    visitor.Int("preloadArguments", m_PreloadArguments);
    visitor.Int("suppressThis", m_SuppressThis);
    visitor.Int("preloadThis", m_PreloadThis);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("preloadGlobal", m_PreloadGlobal);
    visitor.Child("params", m_pParams.get());
}

CTryAction::CTryAction(CSWFObject* owner, unsigned char style)
    : CBranchAction(owner, style)
    , m_pCatchName(std::make_unique<C0TrmStringItem>(owner, style))
{ }

CTryAction::~CTryAction() = default;

int CTryAction::ReadBody(CSWFStream* body)
{
    unsigned long reserved = 0;
    if (!SWFDebugger.CheckReserved(this, body, kTryReservedBits, &reserved))
        return 0;
    m_Reserved = static_cast<uint8_t>(reserved);
    if (!body->ReadBool(&m_CatchInRegister) || !body->ReadBool(&m_FinallyBlock) || !body->ReadBool(&m_CatchBlock))
        return 0;
    if (!body->ReadU16(&m_TrySize) || !body->ReadU16(&m_CatchSize) || !body->ReadU16(&m_FinallySize))
        return 0;
    if (m_CatchInRegister)
        return body->ReadU8(&m_CatchRegister);
    return m_pCatchName->ReadSWF(body);
}

int CTryAction::WriteBody(CSWFStream* body)
{
    if (!body->WriteBits(m_Reserved, kTryReservedBits) || !body->WriteBits(m_CatchInRegister ? 1 : 0, 1)
        || !body->WriteBits(m_FinallyBlock ? 1 : 0, 1) || !body->WriteBits(m_CatchBlock ? 1 : 0, 1))
        return 0;
    if (!body->WriteU16(m_TrySize) || !body->WriteU16(m_CatchSize) || !body->WriteU16(m_FinallySize))
        return 0;
    if (m_CatchInRegister)
        return body->WriteU8(m_CatchRegister);
    return m_pCatchName->WriteSWF(body);
}

long CTryAction::GetBranchOffset(int i) const
{
    long offset = m_TrySize;
    if (i >= 1)
        offset += m_CatchSize;
    if (i >= 2)
        offset += m_FinallySize;
    return offset;
}

int CTryAction::SetBranchOffset(int i, long offset)
{
    // Each block's size is the distance from the end of the block before it.
    const long previous = i == 0 ? 0 : GetBranchOffset(i - 1);
    const long size = offset - previous;
    if (size < 0 || size > std::numeric_limits<uint16_t>::max())
        return 0;
    uint16_t& field = i == 0 ? m_TrySize : i == 1 ? m_CatchSize : m_FinallySize;
    field = static_cast<uint16_t>(size);
    return 1;
}

int CTryAction::GetBranchIndex(int i) const
{
    return i == 0 ? m_TryEndIndex : i == 1 ? m_CatchEndIndex : m_FinallyEndIndex;
}

void CTryAction::SetBranchIndex(int i, int index)
{
    (i == 0 ? m_TryEndIndex : i == 1 ? m_CatchEndIndex : m_FinallyEndIndex) = index;
}

int CTryAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CBranchAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CTryAction>(dest);
    if (!copy)
        return 0;
    copy->m_Reserved = m_Reserved;
    copy->m_CatchInRegister = m_CatchInRegister;
    copy->m_FinallyBlock = m_FinallyBlock;
    copy->m_CatchBlock = m_CatchBlock;
    copy->m_TrySize = m_TrySize;
    copy->m_CatchSize = m_CatchSize;
    copy->m_FinallySize = m_FinallySize;
    copy->m_CatchRegister = m_CatchRegister;
    copy->m_TryEndIndex = m_TryEndIndex;
    copy->m_CatchEndIndex = m_CatchEndIndex;
    copy->m_FinallyEndIndex = m_FinallyEndIndex;
    return CopyString(m_pCatchName.get(), owner, style, copy->m_pCatchName);
}

void CTryAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CBranchAction::DescribeFields(visitor);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("catchInRegister", m_CatchInRegister);
    visitor.Int("finallyBlock", m_FinallyBlock);
    visitor.Int("catchBlock", m_CatchBlock);
    visitor.Int("trySize", m_TrySize);
    visitor.Int("catchSize", m_CatchSize);
    visitor.Int("finallySize", m_FinallySize);
    visitor.Int("catchRegister", m_CatchRegister);
    visitor.Child("catchName", m_pCatchName.get());
    visitor.Int("tryEndIndex", m_TryEndIndex);
    visitor.Int("catchEndIndex", m_CatchEndIndex);
    visitor.Int("finallyEndIndex", m_FinallyEndIndex);
}

// ---- Push values ----

int PropertyClassForFloat(float value)
{
    // Only the exact float of a property number names it: -0.0 and the like stay floats, keeping their bits.
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    auto bitsOf = [](float f) {
        uint32_t b = 0;
        std::memcpy(&b, &f, sizeof b);
        return b;
    };
    if (bits == bitsOf(static_cast<float>(kPropertyWithTarget)))
        return kClassID_CPopWthIt;
    for (uint32_t n = 0; n <= kPropertyLast; ++n) {
        if (bits == bitsOf(static_cast<float>(n)))
            return kClassID_CPopX + static_cast<int>(n);
    }
    return 0;
}

int CPushProperty::ReadSWF(CSWFStream* stream)
{
    // The type byte and the float that named the property were read by the push value list.
    return NoShortfall(stream) ? 1 : 0;
}

int CPushProperty::WriteSWF(CSWFStream* stream)
{
    return stream && stream->WriteFloat1616(static_cast<float>(GetProperty())) ? 1 : 0;
}

void CPushProperty::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CPushObject::DescribeFields(visitor);
    visitor.Int("property", GetProperty());
}

CPOString::CPOString(CSWFObject* owner, unsigned char style)
    : CPushObject(owner, style)
    , m_pValue(std::make_unique<C0TrmStringItem>(owner, style))
{ }

CPOString::~CPOString() = default;

int CPOString::ReadSWF(CSWFStream* stream)
{
    return m_pValue->ReadSWF(stream);
}

int CPOString::WriteSWF(CSWFStream* stream)
{
    return m_pValue->WriteSWF(stream);
}

int CPOString::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CPushObject::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CPOString>(dest);
    return copy && CopyString(m_pValue.get(), owner, style, copy->m_pValue) ? 1 : 0;
}

void CPOString::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CPushObject::DescribeFields(visitor);
    visitor.Child("value", m_pValue.get());
}

namespace {

int ReadNumber(CSWFStream* s, uint8_t* v)
{
    return s->ReadU8(v);
}
int ReadNumber(CSWFStream* s, uint16_t* v)
{
    return s->ReadU16(v);
}
int ReadNumber(CSWFStream* s, uint32_t* v)
{
    return s->ReadU32(v);
}
int WriteNumber(CSWFStream* s, uint8_t v)
{
    return s->WriteU8(v);
}
int WriteNumber(CSWFStream* s, uint16_t v)
{
    return s->WriteU16(v);
}
int WriteNumber(CSWFStream* s, uint32_t v)
{
    return s->WriteU32(v);
}

} // namespace

template <int ID, uint8_t Type, class T> int CPushNumber<ID, Type, T>::ReadSWF(CSWFStream* stream)
{
    return stream && ReadNumber(stream, &m_Value) ? 1 : 0;
}

template <int ID, uint8_t Type, class T> int CPushNumber<ID, Type, T>::WriteSWF(CSWFStream* stream)
{
    return stream && WriteNumber(stream, m_Value) ? 1 : 0;
}

template <int ID, uint8_t Type, class T>
int CPushNumber<ID, Type, T>::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CPushObject::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CPushNumber>(dest);
    if (!copy)
        return 0;
    copy->m_Value = m_Value;
    return 1;
}

template <int ID, uint8_t Type, class T> void CPushNumber<ID, Type, T>::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CPushObject::DescribeFields(visitor);
    visitor.Int("value", m_Value);
}

template class CPushNumber<kClassID_CPOStoreRegister, kPushRegister, uint8_t>;
template class CPushNumber<kClassID_CPOBoolean, kPushBoolean, uint8_t>;
template class CPushNumber<kClassID_CPOU32, kPushInteger, uint32_t>;
template class CPushNumber<kClassID_CPODictionaryU8, kPushConstant8, uint8_t>;
template class CPushNumber<kClassID_CPODictionaryU16, kPushConstant16, uint16_t>;

double CPODouble::GetValue() const
{
    double value = 0;
    std::memcpy(&value, &m_Bits, sizeof value);
    return value;
}

void CPODouble::SetValue(double value)
{
    std::memcpy(&m_Bits, &value, sizeof m_Bits);
}

int CPODouble::ReadSWF(CSWFStream* stream)
{
    uint32_t high = 0;
    uint32_t low = 0;
    if (!stream || !stream->ReadU32(&high) || !stream->ReadU32(&low))
        return 0;
    m_Bits = (static_cast<uint64_t>(high) << 32) | low;
    return 1;
}

int CPODouble::WriteSWF(CSWFStream* stream)
{
    return stream && stream->WriteU32(static_cast<uint32_t>(m_Bits >> 32))
            && stream->WriteU32(static_cast<uint32_t>(m_Bits))
        ? 1
        : 0;
}

int CPODouble::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CPushObject::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CPODouble>(dest);
    if (!copy)
        return 0;
    copy->m_Bits = m_Bits;
    return 1;
}

void CPODouble::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CPushObject::DescribeFields(visitor);
    visitor.Real("value", GetValue());
    visitor.Int("bits", static_cast<long long>(m_Bits));
}

float CPOFloat::GetValue() const
{
    float value = 0;
    std::memcpy(&value, &m_Bits, sizeof value);
    return value;
}

void CPOFloat::SetValue(float value)
{
    std::memcpy(&m_Bits, &value, sizeof m_Bits);
}

int CPOFloat::ReadSWF(CSWFStream* stream)
{
    return stream && stream->ReadU32(&m_Bits) ? 1 : 0;
}

int CPOFloat::WriteSWF(CSWFStream* stream)
{
    return stream && stream->WriteU32(m_Bits) ? 1 : 0;
}

int CPOFloat::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CPushObject::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CPOFloat>(dest);
    if (!copy)
        return 0;
    copy->m_Bits = m_Bits;
    return 1;
}

void CPOFloat::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CPushObject::DescribeFields(visitor);
    visitor.Real("value", GetValue());
    visitor.Int("bits", m_Bits);
}

CPushArrayItems::CPushArrayItems(CSWFObject* owner, unsigned char style)
    : CSWFItems(owner, style)
{
    m_ItemClassID = kClassID_CPushObject;
}

int CPushArrayItems::ReadSWF(CSWFStream* stream)
{
    SWFDebugLevel level;
    m_pList->ClearList();
    if (!stream)
        return 0;
    static constexpr int kClassForType[] = { kClassID_CPOString, kClassID_CPOFloat, kClassID_CPONull, kClassID_CPONone,
        kClassID_CPOStoreRegister, kClassID_CPOBoolean, kClassID_CPODouble, kClassID_CPOU32, kClassID_CPODictionaryU8,
        kClassID_CPODictionaryU16 };
    const bool propertiesAllowed = OwnerVersion(m_pOwner) < kFirstVersionWithoutProperties;
    while (stream->GetDataRest() > 0) {
        const uint32_t start = stream->GetPosition();
        uint8_t type = 0;
        stream->ReadU8(&type);
        if (type > kPushTypeLast) {
            // The value cannot be read; its bytes stay in the stream for the caller to keep.
            stream->SetPosition(start);
            SWFDebugger.Add(this, kSWFErr_InvalidParameter, "push type", type, kSWFType_Error);
            return 0;
        }
        int classID = kClassForType[type];
        uint32_t floatBits = 0;
        if (type == kPushFloat && propertiesAllowed) {
            if (!stream->ReadU32(&floatBits)) {
                stream->SetPosition(start);
                return 0;
            }
            float value = 0;
            std::memcpy(&value, &floatBits, sizeof value);
            const int property = PropertyClassForFloat(value);
            if (property)
                classID = property;
            else
                stream->SetPosition(stream->GetPosition() - sizeof floatBits);
        }
        CSWFItem* item = nullptr;
        if (!CreateItem(item, classID))
            return 0;
        m_pList->AddObject(item);
        if (!ItemReadSWF(stream, item)) {
            m_pList->DeleteObject(item);
            stream->SetPosition(start);
            return 0;
        }
    }
    return NoShortfall(stream) ? 1 : 0;
}

int CPushArrayItems::PostSWFItem(CSWFStream* stream, CSWFItem* item)
{
    auto* value = dynamic_cast<CPushObject*>(item);
    if (!value || !stream->WriteU8(value->GetPushType()))
        return 0;
    return ItemWriteSWF(stream, item);
}

int CPushArrayItems::WriteSWF(CSWFStream* stream)
{
    return stream ? WriteItems(stream) : 0;
}

CPushAction::CPushAction(CSWFObject* owner, unsigned char style)
    : COperandAction(owner, style)
    , m_pValues(std::make_unique<CPushArrayItems>(owner, style))
{ }

CPushAction::~CPushAction() = default;

int CPushAction::ReadBody(CSWFStream* body)
{
    return m_pValues->ReadSWF(body);
}

int CPushAction::WriteBody(CSWFStream* body)
{
    return m_pValues->WriteSWF(body);
}

int CPushAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!COperandAction::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CPushAction>(dest);
    return copy && CopyOwned(m_pValues.get(), owner, style, copy->m_pValues) && copy->m_pValues ? 1 : 0;
}

void CPushAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    COperandAction::DescribeFields(visitor);
    visitor.Child("values", m_pValues.get());
}

// ---- CActionsItem ----

CActionsItem::CActionsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsUnCountable(owner, style)
{
    m_ItemClassID = kClassID_CAction;
}

std::unique_ptr<CSWFItem> CActionsItem::MakeBlankTerminator()
{
    CSWFItem* item = nullptr;
    if (!CreateItem(item, kClassID_CEndAction))
        return nullptr;
    return std::unique_ptr<CSWFItem>(item);
}

bool CActionsItem::IsLastItem(CSWFItem* item)
{
    return !item || item->GetClassID() == kClassID_CEndAction;
}

int CActionsItem::Add(int code)
{
    if (code < 0 || code > UINT8_MAX)
        return 0;
    CSWFItem* item = nullptr;
    if (!CreateItem(item, GetActionClass(static_cast<unsigned char>(code))))
        return 0;
    auto* action = dynamic_cast<CAction*>(item);
    if (!action) {
        delete item;
        return 0;
    }
    action->m_ActionCode = static_cast<uint8_t>(code);
    return m_pList->AddObject(action);
}

void CActionsItem::MeasureActions(const CSWFStream* stream)
{
    // Walks the action headers over the raw bytes, creating nothing and reporting nothing: the reading pass
    // that follows reports what is wrong.
    m_ActionSizes.clear();
    const uint8_t* bytes = stream->GetBuffer();
    const uint32_t size = stream->GetSize();
    uint32_t pos = stream->GetPosition() + (stream->GetBit() != 8 ? 1 : 0);
    while (bytes && pos < size) {
        const uint8_t code = bytes[pos];
        uint32_t length = 1;
        if (code >= kActionHasLength) {
            if (size - pos < 3)
                break;
            const uint32_t bodySize = bytes[pos + 1] | (static_cast<uint32_t>(bytes[pos + 2]) << 8);
            if (bodySize > size - pos - 3)
                break;
            length = 3 + bodySize;
        }
        m_ActionSizes.push_back(length);
        pos += length;
        if (code == kActionEnd)
            break;
    }
}

int CActionsItem::GetIndexOffset(int index, long offset) const
{
    const long count = static_cast<long>(m_ActionSizes.size());
    if (index < 0 || index >= count)
        return 0;
    long sum = 0;
    if (offset >= 0) {
        long i = index + 1;
        while (sum < offset) {
            if (i >= count)
                return 0;
            sum += m_ActionSizes[static_cast<size_t>(i)];
            ++i;
        }
        // The action right after the last recorded one is no action of the block.
        return i < count ? static_cast<int>(i) : 0;
    }
    long i = index;
    while (sum > offset) {
        if (i < 0)
            return 0;
        sum -= m_ActionSizes[static_cast<size_t>(i)];
        --i;
    }
    return static_cast<int>(i + 1);
}

long CActionsItem::GetBranchOffset(int index, int target) const
{
    const long count = static_cast<long>(m_ActionSizes.size());
    long sum = 0;
    if (target > index) {
        for (long i = index + 1; i < target && i < count; ++i)
            sum += m_ActionSizes[static_cast<size_t>(i)];
        return sum;
    }
    for (long i = std::max(target, 0); i <= index && i < count; ++i)
        sum -= m_ActionSizes[static_cast<size_t>(i)];
    return sum;
}

void CActionsItem::ConvertOffsetsToIndexes(int index, CBranchAction* action)
{
    action->m_KeepOffsets = false;
    for (int i = 0; i < action->GetBranchCount(); ++i) {
        const long offset = action->GetBranchOffset(i);
        int target = GetIndexOffset(index, offset);
        if (GetBranchOffset(index, target) != offset) {
            SWFDebugger.Add(action, kSWFErr_BranchOffset, "", action->m_ActionCode, kSWFType_Warning);
            target = 0;
            action->m_KeepOffsets = true;
        }
        action->SetBranchIndex(i, target);
    }
}

int CActionsItem::ConvertIndexesToOffsets(int index, CBranchAction* action)
{
    // A distance read from the file that led to no action is written back as it was read.
    if (action->m_KeepOffsets || action->m_RawBody)
        return 1;
    for (int i = 0; i < action->GetBranchCount(); ++i) {
        const int target = action->GetBranchIndex(i);
        if (target < 0 || target > static_cast<int>(m_ActionSizes.size())
            || !action->SetBranchOffset(i, GetBranchOffset(index, target))) {
            SWFDebugger.Add(action, kSWFErr_BranchOffset, "", action->m_ActionCode, kSWFType_Error);
            return 0;
        }
    }
    return 1;
}

int CActionsItem::GetSWFItem(CSWFStream* stream, CSWFItem*& item, int)
{
    CSWFStream body;
    unsigned char code = 0;
    const uint32_t start = stream->GetPosition();
    if (!stream->GetNextAction(&code, &body)) {
        // A header that cannot be read is left in the stream, so that whoever keeps the rest keeps it whole.
        stream->SetPosition(start);
        stream->SetBit(8);
        return 0;
    }
    if (!CreateItem(item, GetActionClass(code)))
        return 0;
    if (auto* action = dynamic_cast<CAction*>(item))
        action->m_ActionCode = code;
    return ItemReadSWF(&body, item);
}

int CActionsItem::ItemReadSWF(CSWFStream* body, CSWFItem* item)
{
    auto* action = dynamic_cast<CAction*>(item);
    if (!action)
        return 0;
    const int index = m_pList->GetSize();
    if (action->GetClassID() == kClassID_CUnKnownAction)
        SWFDebugger.Add(action, kSWFErr_UnknownAction, "", action->m_ActionCode, kSWFType_Warning);
    const int ok = CSWFItems::ItemReadSWF(body, item);
    auto* operand = dynamic_cast<COperandAction*>(action);
    if (ok) {
        if (auto* branch = dynamic_cast<CBranchAction*>(action))
            ConvertOffsetsToIndexes(index, branch);
    }
    if (!ok) {
        // Operands that cannot be read from the body: the body is kept whole and written back as it was.
        if (operand)
            operand->SetRawBody(body);
        return 0;
    }
    const int32_t rest = body->GetDataRest();
    if (rest > 0) {
        SWFDebugger.Add(action, kSWFErr_RestTooLarge, "", rest, kSWFType_Warning);
        if (operand)
            operand->SetDumpProtect(body);
    }
    return 1;
}

int CActionsItem::MeasureForWriting()
{
    m_ActionSizes.clear();
    for (int i = 0; i < m_pList->GetSize(); ++i) {
        CSWFStream scratch;
        if (!PostSWFItem(&scratch, GetItem(i)))
            return 0;
        m_ActionSizes.push_back(scratch.GetSize());
    }
    m_ActionSizes.push_back(1);
    return 1;
}

int CActionsItem::PostSWFItem(CSWFStream* stream, CSWFItem* item)
{
    auto* action = dynamic_cast<CAction*>(item);
    if (!action)
        return 0;
    CSWFStream body;
    if (!ItemWriteSWF(&body, action))
        return 0;
    return stream->AppendAction(action->m_ActionCode, &body);
}

int CActionsItem::ReadSWF(CSWFStream* stream)
{
    if (!stream)
        return 0;
    MeasureActions(stream);
    return CSWFItemsUnCountable::ReadSWF(stream);
}

int CActionsItem::WriteSWF(CSWFStream* stream)
{
    if (!stream || !MeasureForWriting())
        return 0;
    for (int i = 0; i < m_pList->GetSize(); ++i) {
        CSWFItem* item = GetItem(i);
        if (auto* branch = dynamic_cast<CBranchAction*>(item)) {
            if (!ConvertIndexesToOffsets(i, branch))
                return 0;
        }
        ReserveAhead(stream);
        if (!PostSWFItem(stream, item))
            return 0;
    }
    return m_TerminatorMissing ? 1 : PostLastItem(stream);
}

int CActionsItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItemsUnCountable::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CActionsItem>(dest);
    if (!copy)
        return 0;
    copy->m_ActionSizes = m_ActionSizes;
    return 1;
}

void CActionsItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItemsUnCountable::DescribeFields(visitor);
    for (uint32_t size : m_ActionSizes)
        visitor.Int("actionSize", size);
}

// ---- Factory ----

namespace {

template <class T> CSWFObject* Make(CSWFObject* owner, unsigned char style)
{
    return new T(owner, style);
}

using ActionCreator = CSWFObject* (*)(CSWFObject*, unsigned char);

struct ActionFactoryEntry {
    int classID;
    ActionCreator create;
};

#define REELFINCH_ENTRY(Name)                                                                                          \
    {                                                                                                                  \
        kClassID_##Name, &Make<Name>                                                                                   \
    }

constexpr ActionFactoryEntry kActionFactory[] = {
    REELFINCH_ENTRY(CAdd2Action),
    REELFINCH_ENTRY(CAddAction),
    REELFINCH_ENTRY(CAndAction),
    REELFINCH_ENTRY(CASCIIToCharAction),
    REELFINCH_ENTRY(CBitAndAction),
    REELFINCH_ENTRY(CBitLShiftAction),
    REELFINCH_ENTRY(CBitOrAction),
    REELFINCH_ENTRY(CBitRShiftAction),
    REELFINCH_ENTRY(CBitURShiftAction),
    REELFINCH_ENTRY(CBitXorAction),
    REELFINCH_ENTRY(CCallAction),
    REELFINCH_ENTRY(CCallFunctionAction),
    REELFINCH_ENTRY(CCallMethodAction),
    REELFINCH_ENTRY(CCastOpAction),
    REELFINCH_ENTRY(CCharToASCIIAction),
    REELFINCH_ENTRY(CCharToMBASCIIAction),
    REELFINCH_ENTRY(CCloneSpriteAction),
    REELFINCH_ENTRY(CConstantPoolAction),
    REELFINCH_ENTRY(CDecrementAction),
    REELFINCH_ENTRY(CDefineLocal2Action),
    REELFINCH_ENTRY(CDefineLocalAction),
    REELFINCH_ENTRY(CDeleteAction),
    REELFINCH_ENTRY(CDelete2Action),
    REELFINCH_ENTRY(CDivideAction),
    REELFINCH_ENTRY(CEndAction),
    REELFINCH_ENTRY(CEndDragAction),
    REELFINCH_ENTRY(CEnumerateAction),
    REELFINCH_ENTRY(CEnumerate2Action),
    REELFINCH_ENTRY(CEqualsAction),
    REELFINCH_ENTRY(CEquals2Action),
    REELFINCH_ENTRY(CExtendsAction),
    REELFINCH_ENTRY(CGetMemberAction),
    REELFINCH_ENTRY(CGetPropertyAction),
    REELFINCH_ENTRY(CGetTimeAction),
    REELFINCH_ENTRY(CGetVariableAction),
    REELFINCH_ENTRY(CGreaterAction),
    REELFINCH_ENTRY(CImplementsOpAction),
    REELFINCH_ENTRY(CIncrementAction),
    REELFINCH_ENTRY(CInitArrayAction),
    REELFINCH_ENTRY(CInitObjectAction),
    REELFINCH_ENTRY(CInstanceOfAction),
    REELFINCH_ENTRY(CLessAction),
    REELFINCH_ENTRY(CLess2Action),
    REELFINCH_ENTRY(CMBASCIIToCharAction),
    REELFINCH_ENTRY(CMBCharToASCIIAction),
    REELFINCH_ENTRY(CMBStringExtractAction),
    REELFINCH_ENTRY(CMBStringLengthAction),
    REELFINCH_ENTRY(CModuloAction),
    REELFINCH_ENTRY(CMultiplyAction),
    REELFINCH_ENTRY(CNewMethodAction),
    REELFINCH_ENTRY(CNewObjectAction),
    REELFINCH_ENTRY(CNextFrameAction),
    REELFINCH_ENTRY(CNotAction),
    REELFINCH_ENTRY(COrAction),
    REELFINCH_ENTRY(CPlayAction),
    REELFINCH_ENTRY(CPopAction),
    REELFINCH_ENTRY(CPreviousFrameAction),
    REELFINCH_ENTRY(CPushDuplicateAction),
    REELFINCH_ENTRY(CRandomNumberAction),
    REELFINCH_ENTRY(CReMoveSpriteAction),
    REELFINCH_ENTRY(CReturnAction),
    REELFINCH_ENTRY(CSetMemberAction),
    REELFINCH_ENTRY(CSetPropertyAction),
    REELFINCH_ENTRY(CSetTargetAction),
    REELFINCH_ENTRY(CSetTarget2Action),
    REELFINCH_ENTRY(CSetVariableAction),
    REELFINCH_ENTRY(CStackSwapAction),
    REELFINCH_ENTRY(CStartDragAction),
    REELFINCH_ENTRY(CStopAction),
    REELFINCH_ENTRY(CStopSoundsAction),
    REELFINCH_ENTRY(CStrictEqualsAction),
    REELFINCH_ENTRY(CStringAddAction),
    REELFINCH_ENTRY(CStringEqualsAction),
    REELFINCH_ENTRY(CStringExtractAction),
    REELFINCH_ENTRY(CStringGreaterAction),
    REELFINCH_ENTRY(CStringLengthAction),
    REELFINCH_ENTRY(CStringLessAction),
    REELFINCH_ENTRY(CSubtractAction),
    REELFINCH_ENTRY(CTargetPathAction),
    REELFINCH_ENTRY(CThrowAction),
    REELFINCH_ENTRY(CToggleQualityAction),
    REELFINCH_ENTRY(CToIntegerAction),
    REELFINCH_ENTRY(CToNumberAction),
    REELFINCH_ENTRY(CToStringAction),
    REELFINCH_ENTRY(CTraceAction),
    REELFINCH_ENTRY(CTypeOfAction),
    REELFINCH_ENTRY(CDefineFunctionAction),
    REELFINCH_ENTRY(CDefineFunction2Action),
    REELFINCH_ENTRY(CGetURLAction),
    REELFINCH_ENTRY(CGetURL2Action),
    REELFINCH_ENTRY(CGoToFrameAction),
    REELFINCH_ENTRY(CGoToFrame2Action),
    REELFINCH_ENTRY(CGoToLabelAction),
    REELFINCH_ENTRY(CIfAction),
    REELFINCH_ENTRY(CJumpAction),
    REELFINCH_ENTRY(CPushAction),
    REELFINCH_ENTRY(CStoreRegister2Action),
    REELFINCH_ENTRY(CTryAction),
    REELFINCH_ENTRY(CUnKnownAction),
    REELFINCH_ENTRY(CWaitForFrameAction),
    REELFINCH_ENTRY(CWaitForFrame2Action),
    REELFINCH_ENTRY(CWithAction),
    REELFINCH_ENTRY(CRegisterParamS),
    REELFINCH_ENTRY(CRegisterParam),
    REELFINCH_ENTRY(CPushObject),
    REELFINCH_ENTRY(CPushProperty),
    REELFINCH_ENTRY(CPopX),
    REELFINCH_ENTRY(CPopY),
    REELFINCH_ENTRY(CPopXScale),
    REELFINCH_ENTRY(CPopYScale),
    REELFINCH_ENTRY(CPopCurrentFrame),
    REELFINCH_ENTRY(CPopTotalFrames),
    REELFINCH_ENTRY(CPopAplha),
    REELFINCH_ENTRY(CPopVisibility),
    REELFINCH_ENTRY(CPopWidth),
    REELFINCH_ENTRY(CPopHeight),
    REELFINCH_ENTRY(CPopRotation),
    REELFINCH_ENTRY(CPopTarget),
    REELFINCH_ENTRY(CPopLoadedFrames),
    REELFINCH_ENTRY(CPopName),
    REELFINCH_ENTRY(CPopDropTarget),
    REELFINCH_ENTRY(CPopURL),
    REELFINCH_ENTRY(CPopHighQuality),
    REELFINCH_ENTRY(CPopShowFocusRectangle),
    REELFINCH_ENTRY(CPopSoundBufferTime),
    REELFINCH_ENTRY(CPopQuality),
    REELFINCH_ENTRY(CPopXMouse),
    REELFINCH_ENTRY(CPopYMouse),
    REELFINCH_ENTRY(CPopWthIt),
    REELFINCH_ENTRY(CPONull),
    REELFINCH_ENTRY(CPONone),
    REELFINCH_ENTRY(CPOString),
    REELFINCH_ENTRY(CPOStoreRegister),
    REELFINCH_ENTRY(CPOBoolean),
    REELFINCH_ENTRY(CPODouble),
    REELFINCH_ENTRY(CPOU32),
    REELFINCH_ENTRY(CPODictionaryU8),
    REELFINCH_ENTRY(CPODictionaryU16),
    REELFINCH_ENTRY(CPOFloat),
    REELFINCH_ENTRY(CPushArrayItems),
    REELFINCH_ENTRY(CActionsItem),
};

#undef REELFINCH_ENTRY

} // namespace

CSWFObject* NewActionObject(int classID, CSWFObject* owner, unsigned char style)
{
    for (const ActionFactoryEntry& entry : kActionFactory) {
        if (entry.classID == classID)
            return entry.create(owner, style);
    }
    return nullptr;
}
