// The action family: one class per action code, their operands and push values, and the action block
// CActionsItem, which keeps branch targets as positions in the block and recomputes byte offsets on writing.
#pragma once

#include "Collections.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Action codes the library treats specially; the full code-to-class table is GetActionClass.
enum SWFActionCode : uint8_t {
    kActionEnd = 0x00,
    kActionConstantPool = 0x88,
    kActionDefineFunction2 = 0x8E,
    kActionTry = 0x8F,
    kActionWith = 0x94,
    kActionPush = 0x96,
    kActionJump = 0x99,
    kActionDefineFunction = 0x9B,
    kActionIf = 0x9D,
};

// Class ID of the action class for a code; CUnKnownAction for codes without one.
int ActionClassForCode(uint8_t code);

// ---- Actions without operands ----

#define REELFINCH_SIMPLE_ACTION(Name)                                                                                  \
    class Name : public CAction                                                                                        \
    {                                                                                                                  \
    public:                                                                                                            \
        using CAction::CAction;                                                                                        \
        int GetClassID() const override { return kClassID_##Name; }                                                    \
    };

REELFINCH_SIMPLE_ACTION(CAdd2Action)
REELFINCH_SIMPLE_ACTION(CAddAction)
REELFINCH_SIMPLE_ACTION(CAndAction)
REELFINCH_SIMPLE_ACTION(CASCIIToCharAction)
REELFINCH_SIMPLE_ACTION(CBitAndAction)
REELFINCH_SIMPLE_ACTION(CBitLShiftAction)
REELFINCH_SIMPLE_ACTION(CBitOrAction)
REELFINCH_SIMPLE_ACTION(CBitRShiftAction)
REELFINCH_SIMPLE_ACTION(CBitURShiftAction)
REELFINCH_SIMPLE_ACTION(CBitXorAction)
REELFINCH_SIMPLE_ACTION(CCallFunctionAction)
REELFINCH_SIMPLE_ACTION(CCallMethodAction)
REELFINCH_SIMPLE_ACTION(CCastOpAction)
REELFINCH_SIMPLE_ACTION(CCharToASCIIAction)
REELFINCH_SIMPLE_ACTION(CCharToMBASCIIAction)
REELFINCH_SIMPLE_ACTION(CCloneSpriteAction)
REELFINCH_SIMPLE_ACTION(CDecrementAction)
REELFINCH_SIMPLE_ACTION(CDefineLocal2Action)
REELFINCH_SIMPLE_ACTION(CDefineLocalAction)
REELFINCH_SIMPLE_ACTION(CDeleteAction)
REELFINCH_SIMPLE_ACTION(CDelete2Action)
REELFINCH_SIMPLE_ACTION(CDivideAction)
REELFINCH_SIMPLE_ACTION(CEndAction)
REELFINCH_SIMPLE_ACTION(CEndDragAction)
REELFINCH_SIMPLE_ACTION(CEnumerateAction)
REELFINCH_SIMPLE_ACTION(CEnumerate2Action)
REELFINCH_SIMPLE_ACTION(CEqualsAction)
REELFINCH_SIMPLE_ACTION(CEquals2Action)
REELFINCH_SIMPLE_ACTION(CExtendsAction)
REELFINCH_SIMPLE_ACTION(CGetMemberAction)
REELFINCH_SIMPLE_ACTION(CGetPropertyAction)
REELFINCH_SIMPLE_ACTION(CGetTimeAction)
REELFINCH_SIMPLE_ACTION(CGetVariableAction)
REELFINCH_SIMPLE_ACTION(CGreaterAction)
REELFINCH_SIMPLE_ACTION(CImplementsOpAction)
REELFINCH_SIMPLE_ACTION(CIncrementAction)
REELFINCH_SIMPLE_ACTION(CInitArrayAction)
REELFINCH_SIMPLE_ACTION(CInitObjectAction)
REELFINCH_SIMPLE_ACTION(CInstanceOfAction)
REELFINCH_SIMPLE_ACTION(CLessAction)
REELFINCH_SIMPLE_ACTION(CLess2Action)
REELFINCH_SIMPLE_ACTION(CMBASCIIToCharAction)
REELFINCH_SIMPLE_ACTION(CMBCharToASCIIAction)
REELFINCH_SIMPLE_ACTION(CMBStringExtractAction)
REELFINCH_SIMPLE_ACTION(CMBStringLengthAction)
REELFINCH_SIMPLE_ACTION(CModuloAction)
REELFINCH_SIMPLE_ACTION(CMultiplyAction)
REELFINCH_SIMPLE_ACTION(CNewMethodAction)
REELFINCH_SIMPLE_ACTION(CNewObjectAction)
REELFINCH_SIMPLE_ACTION(CNextFrameAction)
REELFINCH_SIMPLE_ACTION(CNotAction)
REELFINCH_SIMPLE_ACTION(COrAction)
REELFINCH_SIMPLE_ACTION(CPlayAction)
REELFINCH_SIMPLE_ACTION(CPopAction)
REELFINCH_SIMPLE_ACTION(CPreviousFrameAction)
REELFINCH_SIMPLE_ACTION(CPushDuplicateAction)
REELFINCH_SIMPLE_ACTION(CRandomNumberAction)
REELFINCH_SIMPLE_ACTION(CReMoveSpriteAction)
REELFINCH_SIMPLE_ACTION(CReturnAction)
REELFINCH_SIMPLE_ACTION(CSetMemberAction)
REELFINCH_SIMPLE_ACTION(CSetPropertyAction)
REELFINCH_SIMPLE_ACTION(CSetTarget2Action)
REELFINCH_SIMPLE_ACTION(CSetVariableAction)
REELFINCH_SIMPLE_ACTION(CStackSwapAction)
REELFINCH_SIMPLE_ACTION(CStartDragAction)
REELFINCH_SIMPLE_ACTION(CStopAction)
REELFINCH_SIMPLE_ACTION(CStopSoundsAction)
REELFINCH_SIMPLE_ACTION(CStrictEqualsAction)
REELFINCH_SIMPLE_ACTION(CStringAddAction)
REELFINCH_SIMPLE_ACTION(CStringEqualsAction)
REELFINCH_SIMPLE_ACTION(CStringExtractAction)
REELFINCH_SIMPLE_ACTION(CStringGreaterAction)
REELFINCH_SIMPLE_ACTION(CStringLengthAction)
REELFINCH_SIMPLE_ACTION(CStringLessAction)
REELFINCH_SIMPLE_ACTION(CSubtractAction)
REELFINCH_SIMPLE_ACTION(CTargetPathAction)
REELFINCH_SIMPLE_ACTION(CThrowAction)
REELFINCH_SIMPLE_ACTION(CToggleQualityAction)
REELFINCH_SIMPLE_ACTION(CToIntegerAction)
REELFINCH_SIMPLE_ACTION(CToNumberAction)
REELFINCH_SIMPLE_ACTION(CToStringAction)
REELFINCH_SIMPLE_ACTION(CTraceAction)
REELFINCH_SIMPLE_ACTION(CTypeOfAction)

#undef REELFINCH_SIMPLE_ACTION

// ---- Actions with a body ----

// An action that has a body. Bytes of the body that its operands do not use are kept and written back after
// them, so that an action with more data than its layout describes survives a save unchanged.
class COperandAction : public CAction
{
public:
    using CAction::CAction;
    ~COperandAction() override;
    int ReadSWF(CSWFStream* body) override;
    int WriteSWF(CSWFStream* body) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    // Keeps the bytes from the body's position to its end (nothing when none remain).
    void SetDumpProtect(CSWFStream* body);
    uint32_t GetDumpProtectSize() const { return m_pDumpProtect ? m_pDumpProtect->m_pData->GetSize() : 0; }

    // Keeps the whole body as read, written back instead of the operands (set when the operands could not be
    // read from it).
    void SetRawBody(CSWFStream* body);

    std::unique_ptr<CDumpItem> m_pDumpProtect;
    bool m_RawBody = false;

protected:
    virtual int ReadBody(CSWFStream*) { return 1; }
    virtual int WriteBody(CSWFStream*) { return 1; }
};

// An action whose operands name other actions of its block by byte distance. The block converts the distances
// to action indexes after reading and back before writing.
class CBranchAction : public COperandAction
{
public:
    using COperandAction::COperandAction;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    // Distances (byte offsets from the end of this action) and the indexes of the actions they lead to.
    virtual int GetBranchCount() const = 0;
    virtual long GetBranchOffset(int i) const = 0;
    virtual int SetBranchOffset(int i, long offset) = 0;
    virtual int GetBranchIndex(int i) const = 0;
    virtual void SetBranchIndex(int i, int index) = 0;

    // A distance that led to no action boundary: the read bytes are written back as they were.
    bool m_KeepOffsets = false;
};

class CCallAction : public COperandAction
{
public:
    using COperandAction::COperandAction;
    int GetClassID() const override { return kClassID_CCallAction; }
};

class CGoToFrameAction : public COperandAction
{
public:
    using COperandAction::COperandAction;
    int GetClassID() const override { return kClassID_CGoToFrameAction; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_Frame = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CGetURLAction : public COperandAction
{
public:
    CGetURLAction(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CGetURLAction() override;
    int GetClassID() const override { return kClassID_CGetURLAction; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<C0TrmStringItem> m_pURL;
    std::unique_ptr<C0TrmStringItem> m_pTarget;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CStoreRegister2Action : public COperandAction
{
public:
    using COperandAction::COperandAction;
    int GetClassID() const override { return kClassID_CStoreRegister2Action; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint8_t m_Register = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// The constant pool; bytes after the strings are kept (SetDumpProtect) and written back after the pool.
class CConstantPoolAction : public COperandAction
{
public:
    CConstantPoolAction(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CConstantPoolAction() override;
    int GetClassID() const override { return kClassID_CConstantPoolAction; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<C0TrmStringsItem> m_pConstants;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CWaitForFrameAction : public COperandAction
{
public:
    using COperandAction::COperandAction;
    int GetClassID() const override { return kClassID_CWaitForFrameAction; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_Frame = 0;
    uint8_t m_SkipCount = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CWaitForFrame2Action : public COperandAction
{
public:
    using COperandAction::COperandAction;
    int GetClassID() const override { return kClassID_CWaitForFrame2Action; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint8_t m_SkipCount = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// SetTarget and GoToLabel: one zero-terminated string.
class CStringOperandAction : public COperandAction
{
public:
    CStringOperandAction(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CStringOperandAction() override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<C0TrmStringItem> m_pName;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CSetTargetAction : public CStringOperandAction
{
public:
    using CStringOperandAction::CStringOperandAction;
    int GetClassID() const override { return kClassID_CSetTargetAction; }
};

class CGoToLabelAction : public CStringOperandAction
{
public:
    using CStringOperandAction::CStringOperandAction;
    int GetClassID() const override { return kClassID_CGoToLabelAction; }
};

class CGetURL2Action : public COperandAction
{
public:
    using COperandAction::COperandAction;
    int GetClassID() const override { return kClassID_CGetURL2Action; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint8_t m_Flags = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// The flags byte only; a scene bias that follows it stays in the kept bytes.
class CGoToFrame2Action : public COperandAction
{
public:
    using COperandAction::COperandAction;
    int GetClassID() const override { return kClassID_CGoToFrame2Action; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint8_t m_Flags = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// An action code without a class: its whole body, written back unchanged.
class CUnKnownAction : public COperandAction
{
public:
    CUnKnownAction(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CUnKnownAction() override;
    int GetClassID() const override { return kClassID_CUnKnownAction; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<CDumpItem> m_pData;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// If and Jump: a signed 16-bit distance to the target action.
class CJumpingAction : public CBranchAction
{
public:
    using CBranchAction::CBranchAction;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int GetBranchCount() const override { return 1; }
    long GetBranchOffset(int) const override { return m_BranchOffset; }
    int SetBranchOffset(int i, long offset) override;
    int GetBranchIndex(int) const override { return m_BranchIndex; }
    void SetBranchIndex(int, int index) override { m_BranchIndex = index; }

    int16_t m_BranchOffset = 0;
    int32_t m_BranchIndex = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CIfAction : public CJumpingAction
{
public:
    using CJumpingAction::CJumpingAction;
    int GetClassID() const override { return kClassID_CIfAction; }
};

class CJumpAction : public CJumpingAction
{
public:
    using CJumpingAction::CJumpingAction;
    int GetClassID() const override { return kClassID_CJumpAction; }
};

// A block of code that follows the action: its 16-bit size and the index of the first action after it.
class CCodeBlockAction : public CBranchAction
{
public:
    using CBranchAction::CBranchAction;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int GetBranchCount() const override { return 1; }
    long GetBranchOffset(int) const override { return m_CodeSize; }
    int SetBranchOffset(int i, long offset) override;
    int GetBranchIndex(int) const override { return m_EndIndex; }
    void SetBranchIndex(int, int index) override { m_EndIndex = index; }

    uint16_t m_CodeSize = 0;
    int32_t m_EndIndex = 0;
};

class CWithAction : public CCodeBlockAction
{
public:
    using CCodeBlockAction::CCodeBlockAction;
    int GetClassID() const override { return kClassID_CWithAction; }

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDefineFunctionAction : public CCodeBlockAction
{
public:
    CDefineFunctionAction(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineFunctionAction() override;
    int GetClassID() const override { return kClassID_CDefineFunctionAction; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<C0TrmStringItem> m_pName;
    std::unique_ptr<C0TrmStringsItem> m_pParams;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// One parameter of DefineFunction2: the register it is kept in (0: none) and its name.
class CRegisterParam : public CSWFItem
{
public:
    CRegisterParam(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CRegisterParam() override;
    int GetClassID() const override { return kClassID_CRegisterParam; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint8_t m_Register = 0;
    std::unique_ptr<C0TrmStringItem> m_pName;
};

// The parameters of DefineFunction2; their count is stored before the register count.
class CRegisterParamS : public CSWFItemsDefineCountable
{
public:
    CRegisterParamS(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CRegisterParamS; }
};

class CDefineFunction2Action : public CCodeBlockAction
{
public:
    CDefineFunction2Action(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineFunction2Action() override;
    int GetClassID() const override { return kClassID_CDefineFunction2Action; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<C0TrmStringItem> m_pName;
    uint8_t m_RegisterCount = 0;
    bool m_PreloadParent = false;
    bool m_PreloadRoot = false;
    bool m_SuppressSuper = false;
    bool m_PreloadSuper = false;
    bool m_SuppressArguments = false;
    bool m_PreloadArguments = false;
    bool m_SuppressThis = false;
    bool m_PreloadThis = false;
    uint8_t m_Reserved = 0;
    bool m_PreloadGlobal = false;
    std::unique_ptr<CRegisterParamS> m_pParams;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// Try, catch and finally blocks following the action; the block ends are kept as action indexes.
class CTryAction : public CBranchAction
{
public:
    CTryAction(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CTryAction() override;
    int GetClassID() const override { return kClassID_CTryAction; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    // Branch i ends the try (0), catch (1) and finally (2) block; its offset is the sum of the sizes up to it.
    int GetBranchCount() const override { return 3; }
    long GetBranchOffset(int i) const override;
    int SetBranchOffset(int i, long offset) override;
    int GetBranchIndex(int i) const override;
    void SetBranchIndex(int i, int index) override;

    uint8_t m_Reserved = 0;
    bool m_CatchInRegister = false;
    bool m_FinallyBlock = false;
    bool m_CatchBlock = false;
    uint16_t m_TrySize = 0;
    uint16_t m_CatchSize = 0;
    uint16_t m_FinallySize = 0;
    uint8_t m_CatchRegister = 0;
    std::unique_ptr<C0TrmStringItem> m_pCatchName;
    int32_t m_TryEndIndex = 0;
    int32_t m_CatchEndIndex = 0;
    int32_t m_FinallyEndIndex = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ---- Push values ----

// Type bytes of push values.
enum SWFPushType : uint8_t {
    kPushString = 0,
    kPushFloat = 1,
    kPushNull = 2,
    kPushUndefined = 3,
    kPushRegister = 4,
    kPushBoolean = 5,
    kPushDouble = 6,
    kPushInteger = 7,
    kPushConstant8 = 8,
    kPushConstant16 = 9,
};
inline constexpr uint8_t kPushTypeLast = kPushConstant16;

// One value of a Push action: ReadSWF and WriteSWF handle the data after the type byte.
class CPushObject : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CPushObject; }
    virtual uint8_t GetPushType() const { return kPushNull; }
};

// A version 4 float push value that names a movie property (X, Y, ... and 16384 for the "with" target).
class CPushProperty : public CPushObject
{
public:
    using CPushObject::CPushObject;
    int GetClassID() const override { return kClassID_CPushProperty; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    uint8_t GetPushType() const override { return kPushFloat; }
    virtual uint32_t GetProperty() const { return 0; }
};

inline constexpr uint32_t kPropertyLast = 21;
inline constexpr uint32_t kPropertyWithTarget = 16384;
// Class ID of the property class for a float push value in a version 4 movie; 0 when the value names none.
int PropertyClassForFloat(float value);

#define REELFINCH_PROPERTY(Name, Number)                                                                               \
    class Name : public CPushProperty                                                                                  \
    {                                                                                                                  \
    public:                                                                                                            \
        using CPushProperty::CPushProperty;                                                                            \
        int GetClassID() const override { return kClassID_##Name; }                                                    \
        uint32_t GetProperty() const override { return Number; }                                                       \
    };

REELFINCH_PROPERTY(CPopX, 0)
REELFINCH_PROPERTY(CPopY, 1)
REELFINCH_PROPERTY(CPopXScale, 2)
REELFINCH_PROPERTY(CPopYScale, 3)
REELFINCH_PROPERTY(CPopCurrentFrame, 4)
REELFINCH_PROPERTY(CPopTotalFrames, 5)
REELFINCH_PROPERTY(CPopAplha, 6)
REELFINCH_PROPERTY(CPopVisibility, 7)
REELFINCH_PROPERTY(CPopWidth, 8)
REELFINCH_PROPERTY(CPopHeight, 9)
REELFINCH_PROPERTY(CPopRotation, 10)
REELFINCH_PROPERTY(CPopTarget, 11)
REELFINCH_PROPERTY(CPopLoadedFrames, 12)
REELFINCH_PROPERTY(CPopName, 13)
REELFINCH_PROPERTY(CPopDropTarget, 14)
REELFINCH_PROPERTY(CPopURL, 15)
REELFINCH_PROPERTY(CPopHighQuality, 16)
REELFINCH_PROPERTY(CPopShowFocusRectangle, 17)
REELFINCH_PROPERTY(CPopSoundBufferTime, 18)
REELFINCH_PROPERTY(CPopQuality, 19)
REELFINCH_PROPERTY(CPopXMouse, 20)
REELFINCH_PROPERTY(CPopYMouse, 21)
REELFINCH_PROPERTY(CPopWthIt, kPropertyWithTarget)

#undef REELFINCH_PROPERTY

class CPONull : public CPushObject
{
public:
    using CPushObject::CPushObject;
    int GetClassID() const override { return kClassID_CPONull; }
    uint8_t GetPushType() const override { return kPushNull; }
};

class CPONone : public CPushObject
{
public:
    using CPushObject::CPushObject;
    int GetClassID() const override { return kClassID_CPONone; }
    uint8_t GetPushType() const override { return kPushUndefined; }
};

class CPOString : public CPushObject
{
public:
    CPOString(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CPOString() override;
    int GetClassID() const override { return kClassID_CPOString; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    uint8_t GetPushType() const override { return kPushString; }

    std::unique_ptr<C0TrmStringItem> m_pValue;
};

// Push values holding one integer of a fixed width.
template <int ID, uint8_t Type, class T> class CPushNumber : public CPushObject
{
public:
    using CPushObject::CPushObject;
    int GetClassID() const override { return ID; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    uint8_t GetPushType() const override { return Type; }

    T m_Value = 0;
};

class CPOStoreRegister : public CPushNumber<kClassID_CPOStoreRegister, kPushRegister, uint8_t>
{
    using CPushNumber::CPushNumber;
};
class CPOBoolean : public CPushNumber<kClassID_CPOBoolean, kPushBoolean, uint8_t>
{
    using CPushNumber::CPushNumber;
};
class CPOU32 : public CPushNumber<kClassID_CPOU32, kPushInteger, uint32_t>
{
    using CPushNumber::CPushNumber;
};
class CPODictionaryU8 : public CPushNumber<kClassID_CPODictionaryU8, kPushConstant8, uint8_t>
{
    using CPushNumber::CPushNumber;
};
class CPODictionaryU16 : public CPushNumber<kClassID_CPODictionaryU16, kPushConstant16, uint16_t>
{
    using CPushNumber::CPushNumber;
};

// 8 bytes: the high 32-bit word first, each word little-endian.
class CPODouble : public CPushObject
{
public:
    using CPushObject::CPushObject;
    int GetClassID() const override { return kClassID_CPODouble; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    uint8_t GetPushType() const override { return kPushDouble; }

    double GetValue() const;
    void SetValue(double value);

    // The value's bits, so that every NaN keeps its payload.
    uint64_t m_Bits = 0;
};

class CPOFloat : public CPushObject
{
public:
    using CPushObject::CPushObject;
    int GetClassID() const override { return kClassID_CPOFloat; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    uint8_t GetPushType() const override { return kPushFloat; }

    float GetValue() const;
    void SetValue(float value);

    uint32_t m_Bits = 0;
};

// The values of a Push action, read until its body ends.
class CPushArrayItems : public CSWFItems
{
public:
    CPushArrayItems(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CPushArrayItems; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int PostSWFItem(CSWFStream* stream, CSWFItem* item) override;

    CPushObject* GetValue(int index) const { return static_cast<CPushObject*>(GetItem(index)); }
};

class CPushAction : public COperandAction
{
public:
    CPushAction(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CPushAction() override;
    int GetClassID() const override { return kClassID_CPushAction; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<CPushArrayItems> m_pValues;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ---- The action block ----

class CActionsItem : public CSWFItemsUnCountable
{
public:
    CActionsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CActionsItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int GetSWFItem(CSWFStream* stream, CSWFItem*& item, int classID) override;
    int ItemReadSWF(CSWFStream* body, CSWFItem* item) override;
    int PostSWFItem(CSWFStream* stream, CSWFItem* item) override;
    bool IsLastItem(CSWFItem* item) override;
    // Creates the action of the class for `code`, sets its code and appends it; the new index, or 0.
    int Add(int code) override;

    int GetActionClass(unsigned char code) const { return ActionClassForCode(code); }
    CAction* GetAction(int index) const { return static_cast<CAction*>(GetItem(index)); }

    // Index of the action a byte distance from the end of the action at `index` leads to (0 when none).
    int GetIndexOffset(int index, long offset) const;
    // Byte distance from the end of the action at `index` to the start of the action at `target`.
    long GetBranchOffset(int index, int target) const;

    // Full length in bytes (header included) of each action of the block, the End action last.
    std::vector<uint32_t> m_ActionSizes;

protected:
    std::unique_ptr<CSWFItem> MakeBlankTerminator() override;

private:
    void MeasureActions(const CSWFStream* stream);
    int MeasureForWriting();
    void ConvertOffsetsToIndexes(int index, CBranchAction* action);
    int ConvertIndexesToOffsets(int index, CBranchAction* action);
};
