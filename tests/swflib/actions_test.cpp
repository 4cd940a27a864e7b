#include "Actions.h"
#include "Movie.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace testsupport;

namespace {

// Reads a block from bytes; the stream stays alive beside the block because nothing else keeps the bytes.
struct ReadBlock {
    explicit ReadBlock(const Bytes& bytes, CSWFObject* owner = nullptr)
        : block(owner, kStyleDefault)
    {
        Load(stream, bytes);
        result = block.ReadSWF(&stream);
    }
    CSWFStream stream;
    CActionsItem block;
    int result = 0;
};

Bytes Write(CSWFObject& object)
{
    CSWFStream out;
    EXPECT_EQ(object.WriteSWF(&out), 1);
    return Contents(out);
}

Bytes WriteCopy(const CSWFObject& object)
{
    CSWFObject* copy = nullptr;
    EXPECT_EQ(object.MakeCopy(nullptr, kStyleDefault, copy), 1);
    std::unique_ptr<CSWFObject> owned(copy);
    return owned ? Write(*owned) : Bytes {};
}

// A flat text of every field of a tree, to compare what objects keep.
class TextDump : public CSWFFieldVisitor
{
public:
    void Int(const char* name, long long value) override
    {
        m_Text += std::string(name) + "=" + std::to_string(value) + ";";
    }
    void Real(const char* name, double value) override
    {
        m_Text += std::string(name) + "~" + std::to_string(value) + ";";
    }
    void Text(const char* name, const std::string& value) override { m_Text += std::string(name) + "'" + value + "';"; }
    void Bytes(const char* name, const uint8_t* data, size_t size) override
    {
        m_Text += std::string(name) + "[";
        for (size_t i = 0; i < size; ++i)
            m_Text += std::to_string(data[i]) + ",";
        m_Text += "];";
    }
    void Child(const char* name, const CSWFObject* child) override
    {
        m_Text += std::string(name) + "{";
        if (child) {
            m_Text += child->GetClassName();
            child->DescribeFields(*this);
        }
        m_Text += "}";
    }
    std::string m_Text;
};

std::string Dump(const CSWFObject& object)
{
    TextDump dump;
    object.DescribeFields(dump);
    return dump.m_Text;
}

std::vector<int> ClassesOf(const CActionsItem& block)
{
    std::vector<int> ids;
    for (int i = 0; i < block.GetItemCount(); ++i)
        ids.push_back(block.GetItem(i)->GetClassID());
    return ids;
}

} // namespace

// Blocks that must come back byte for byte, with the classes and branch targets they read as.
TEST(ActionBlock, ReadsWritesAndCopiesBlocks)
{
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<int> classes;
        std::vector<uint32_t> sizes;
        int branchAt; // index of the branch action checked, -1 for none
        int branchTarget; // its target (or end) index
    };
    const Case cases[] = {
        { "stop", { 0x07, 0x00 }, { kClassID_CStopAction }, { 1, 1 }, -1, 0 },
        { "block that stops without an End action", { 0x07, 0x06 }, { kClassID_CStopAction, kClassID_CPlayAction },
            { 1, 1 }, -1, 0 },
        { "jump over one stop", { 0x99, 0x02, 0x00, 0x01, 0x00, 0x07, 0x07, 0x00 },
            { kClassID_CJumpAction, kClassID_CStopAction, kClassID_CStopAction }, { 5, 1, 1, 1 }, 0, 2 },
        { "jump to the end action", { 0x99, 0x02, 0x00, 0x02, 0x00, 0x07, 0x07, 0x00 },
            { kClassID_CJumpAction, kClassID_CStopAction, kClassID_CStopAction }, { 5, 1, 1, 1 }, 0, 3 },
        { "jump to itself", { 0x99, 0x02, 0x00, 0xFB, 0xFF, 0x00 }, { kClassID_CJumpAction }, { 5, 1 }, 0, 0 },
        { "if backwards over a play", { 0x06, 0x9D, 0x02, 0x00, 0xFA, 0xFF, 0x00 },
            { kClassID_CPlayAction, kClassID_CIfAction }, { 1, 5, 1 }, 1, 0 },
        { "with block of one action", { 0x94, 0x02, 0x00, 0x01, 0x00, 0x07, 0x06, 0x00 },
            { kClassID_CWithAction, kClassID_CStopAction, kClassID_CPlayAction }, { 5, 1, 1, 1 }, 0, 2 },
        { "define function f(a) { stop }",
            { 0x9B, 0x08, 0x00, 'f', 0x00, 0x01, 0x00, 'a', 0x00, 0x01, 0x00, 0x07, 0x00 },
            { kClassID_CDefineFunctionAction, kClassID_CStopAction }, { 11, 1, 1 }, 0, 2 },
        { "define function 2 with reserved bits and a register parameter",
            { 0x8E, 0x0C, 0x00, 'g', 0x00, 0x01, 0x00, 0x03, 0xA5, 0x0B, 0x02, 'p', 0x00, 0x00, 0x00, 0x00 },
            { kClassID_CDefineFunction2Action }, { 15, 1 }, 0, 1 },
        { "try with catch in register",
            { 0x8F, 0x08, 0x00, 0x05, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x07, 0x06, 0x00 },
            { kClassID_CTryAction, kClassID_CStopAction, kClassID_CPlayAction }, { 11, 1, 1, 1 }, 0, 3 },
        { "operands",
            { 0x81, 0x02, 0x00, 0x05, 0x00, // go to frame 5
                0x83, 0x04, 0x00, 'u', 0x00, 't', 0x00, // get URL "u" "t"
                0x87, 0x01, 0x00, 0x02, // store register 2
                0x8A, 0x03, 0x00, 0x01, 0x00, 0x04, // wait for frame 1, skip 4
                0x8B, 0x02, 0x00, 'x', 0x00, // set target "x"
                0x8C, 0x02, 0x00, 'l', 0x00, // go to label "l"
                0x8D, 0x01, 0x00, 0x02, // wait for frame 2, skip 2
                0x9A, 0x01, 0x00, 0xC1, // get URL 2, flags kept whole
                0x9E, 0x00, 0x00, // call
                0x88, 0x05, 0x00, 0x01, 0x00, 'a', 0x00, 0xEE, // pool with a trailing byte
                0x00 },
            { kClassID_CGoToFrameAction, kClassID_CGetURLAction, kClassID_CStoreRegister2Action,
                kClassID_CWaitForFrameAction, kClassID_CSetTargetAction, kClassID_CGoToLabelAction,
                kClassID_CWaitForFrame2Action, kClassID_CGetURL2Action, kClassID_CCallAction,
                kClassID_CConstantPoolAction },
            { 5, 7, 4, 6, 5, 5, 4, 4, 3, 8, 1 }, -1, 0 },
        { "unknown codes keep their bodies and extra bytes survive",
            { 0x7F, 0xF0, 0x02, 0x00, 0xAA, 0xBB, 0x9F, 0x03, 0x00, 0x03, 0x10, 0x00, 0x00 },
            { kClassID_CUnKnownAction, kClassID_CUnKnownAction, kClassID_CGoToFrame2Action }, { 1, 5, 6, 1 }, -1, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadBlock r(c.bytes);
        ASSERT_EQ(r.result, 1);
        EXPECT_EQ(ClassesOf(r.block), c.classes);
        EXPECT_EQ(r.block.m_ActionSizes, c.sizes);
        ASSERT_NE(r.block.GetLastItem(), nullptr);
        EXPECT_EQ(r.block.GetLastItem()->GetClassID(), kClassID_CEndAction);
        if (c.branchAt >= 0) {
            auto* branch = dynamic_cast<CBranchAction*>(r.block.GetItem(c.branchAt));
            ASSERT_NE(branch, nullptr);
            EXPECT_EQ(branch->GetBranchIndex(branch->GetBranchCount() - 1), c.branchTarget);
            EXPECT_FALSE(branch->m_KeepOffsets);
        }
        EXPECT_EQ(Write(r.block), c.bytes);
        EXPECT_EQ(WriteCopy(r.block), c.bytes);
        CSWFObject* copy = nullptr;
        ASSERT_EQ(r.block.MakeCopy(nullptr, kStyleDefault, copy), 1);
        std::unique_ptr<CSWFObject> owned(copy);
        EXPECT_EQ(Dump(*owned), Dump(r.block));
    }
}

// Blocks that differ in one bit of one operand must describe themselves differently: no kept bit is left out
// of the description the dumps are compared by.
TEST(ActionBlock, EveryKeptBitIsDescribed)
{
    const Bytes function2
        = { 0x8E, 0x0C, 0x00, 'g', 0x00, 0x01, 0x00, 0x03, 0xA5, 0x0B, 0x02, 'p', 0x00, 0x00, 0x00, 0x00 };
    const Bytes tryBlock = { 0x8F, 0x08, 0x00, 0x05, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x07, 0x06, 0x00 };
    const Bytes pool = { 0x88, 0x05, 0x00, 0x01, 0x00, 'a', 0x00, 0xEE, 0x00 };
    const Bytes push = { 0x96, 0x05, 0x00, 0x01, 0x00, 0x00, 0xC0, 0x7F, 0x00 };
    struct Case {
        const Bytes* bytes;
        size_t at;
        uint8_t mask;
    };
    const Case cases[] = {
        { &function2, 8, 0x01 },
        { &function2, 9, 0x02 },
        { &function2, 9, 0x01 },
        { &function2, 10, 0x04 },
        { &function2, 7, 0x80 },
        { &tryBlock, 3, 0x80 },
        { &tryBlock, 3, 0x01 },
        { &tryBlock, 10, 0x01 },
        { &pool, 7, 0x01 },
        { &push, 4, 0x01 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "byte " << c.at << " mask " << int(c.mask));
        Bytes changed = *c.bytes;
        changed[c.at] ^= c.mask;
        ReadBlock a(*c.bytes);
        ReadBlock b(changed);
        EXPECT_NE(Dump(a.block), Dump(b.block));
        EXPECT_EQ(Write(b.block), changed);
    }
}

TEST(ActionBlock, OperandValuesAreRead)
{
    ReadBlock f2({ 0x8E, 0x0C, 0x00, 'g', 0x00, 0x01, 0x00, 0x03, 0xA5, 0x0B, 0x02, 'p', 0x00, 0x00, 0x00, 0x00 });
    auto* fn = dynamic_cast<CDefineFunction2Action*>(f2.block.GetItem(0));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn->m_pName->GetStr(), "g");
    EXPECT_EQ(fn->m_RegisterCount, 3);
    // 0xA5 = 1010 0101: PreloadParent, SuppressSuper, PreloadArguments, PreloadThis.
    EXPECT_TRUE(fn->m_PreloadParent && fn->m_SuppressSuper && fn->m_PreloadArguments && fn->m_PreloadThis);
    EXPECT_FALSE(fn->m_PreloadRoot || fn->m_PreloadSuper || fn->m_SuppressArguments || fn->m_SuppressThis);
    // 0x0B = 0000101 1: reserved bits 5 kept, PreloadGlobal set.
    EXPECT_EQ(fn->m_Reserved, 5);
    EXPECT_TRUE(fn->m_PreloadGlobal);
    ASSERT_EQ(fn->m_pParams->GetItemCount(), 1);
    auto* param = dynamic_cast<CRegisterParam*>(fn->m_pParams->GetItem(0));
    ASSERT_NE(param, nullptr);
    EXPECT_EQ(param->m_Register, 2);
    EXPECT_EQ(param->m_pName->GetStr(), "p");

    ReadBlock t({ 0x8F, 0x08, 0x00, 0x05, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x07, 0x06, 0x00 });
    auto* tr = dynamic_cast<CTryAction*>(t.block.GetItem(0));
    ASSERT_NE(tr, nullptr);
    EXPECT_TRUE(tr->m_CatchInRegister && tr->m_CatchBlock);
    EXPECT_FALSE(tr->m_FinallyBlock);
    EXPECT_EQ(tr->m_CatchRegister, 3);
    EXPECT_EQ(tr->m_TryEndIndex, 2);
    EXPECT_EQ(tr->m_CatchEndIndex, 3);
    EXPECT_EQ(tr->m_FinallyEndIndex, 3);
}

// Branches follow their target actions when the block is edited.
TEST(ActionBlock, EditingRecomputesBranchOffsets)
{
    ReadBlock r({ 0x99, 0x02, 0x00, 0x01, 0x00, 0x07, 0x07, 0x00 });
    // A Push of the string "AB" inside the jumped-over part moves the target further away.
    auto push = std::make_unique<CPushAction>();
    push->m_ActionCode = kActionPush;
    auto value = std::make_unique<CPOString>();
    value->m_pValue->SetStr("AB");
    push->m_pValues->AppendItem(std::move(value));
    ASSERT_EQ(r.block.m_pList->InsertObject(1, push.release()), 1);
    // The jump still names the action after the first Stop, now at index 3.
    auto* jump = dynamic_cast<CJumpAction*>(r.block.GetItem(0));
    jump->m_BranchIndex = 3;
    EXPECT_EQ(Write(r.block),
        (Bytes { 0x99, 0x02, 0x00, 0x08, 0x00, 0x96, 0x04, 0x00, 0x00, 'A', 'B', 0x00, 0x07, 0x07, 0x00 }));
    EXPECT_EQ(jump->m_BranchOffset, 8);

    // A target beyond the block cannot be written.
    jump->m_BranchIndex = 40;
    CSWFStream out;
    LogMark mark;
    EXPECT_EQ(r.block.WriteSWF(&out), 0);
    EXPECT_TRUE(mark.Has(kSWFErr_BranchOffset));
}

TEST(ActionBlock, BranchIntoTheMiddleOfAnActionIsReportedAndKept)
{
    const Bytes bytes = { 0x99, 0x02, 0x00, 0x01, 0x00, 0x81, 0x02, 0x00, 0x05, 0x00, 0x00 };
    LogMark mark;
    ReadBlock r(bytes);
    ASSERT_EQ(r.result, 1);
    EXPECT_TRUE(mark.Has(kSWFErr_BranchOffset));
    auto* jump = dynamic_cast<CJumpAction*>(r.block.GetItem(0));
    ASSERT_NE(jump, nullptr);
    EXPECT_EQ(jump->m_BranchIndex, 0);
    EXPECT_TRUE(jump->m_KeepOffsets);
    // The distance that led nowhere is not silently turned into a jump to the first action.
    EXPECT_EQ(Write(r.block), bytes);
}

TEST(ActionBlock, UnknownCodeIsReportedWithItsValue)
{
    LogMark mark;
    ReadBlock r({ 0x7F, 0x00 });
    ASSERT_EQ(r.block.GetItemCount(), 1);
    auto* unknown = dynamic_cast<CUnKnownAction*>(r.block.GetItem(0));
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->m_ActionCode, 0x7F);
    EXPECT_TRUE(unknown->m_pData->IsEmpty());
    ASSERT_TRUE(mark.Has(kSWFErr_UnknownAction));
    bool valued = false;
    for (const std::string& line : mark.Lines())
        valued |= line.find(GetErrorMessage(kSWFErr_UnknownAction)) != std::string::npos
            && line.find("\"127\"") != std::string::npos;
    EXPECT_TRUE(valued);
}

TEST(ActionBlock, MalformedBlocksEndWithoutOverrunning)
{
    const Bytes cases[] = {
        {}, // nothing at all
        { 0x07 }, // no End action
        { 0x96, 0x10, 0x00, 0x00, 'A' }, // length beyond the data
        { 0x96, 0x03, 0x00, 0x00, 'A', 'B' }, // string without its zero byte
        { 0x96, 0x02, 0x00, 0x06, 0x01 }, // double cut short
        { 0x96, 0x02, 0x00, 0x0A, 0x01, 0x00 }, // push type above 9
        { 0x8E, 0x04, 0x00, 'g', 0x00, 0xFF, 0xFF, 0x00 }, // 65535 parameters announced in a 4-byte body
        { 0x8F, 0x01, 0x00, 0x00, 0x00 }, // try cut short
        { 0x81 }, // header cut short
    };
    for (const Bytes& bytes : cases) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        ReadBlock r(bytes);
        EXPECT_EQ(r.result, 1);
        EXPECT_NE(r.block.GetLastItem(), nullptr);
        EXPECT_LE(r.block.GetItemCount(), 2);
        EXPECT_EQ(WriteCopy(r.block), Write(r.block));
    }
    // An action whose operands cannot be read keeps its body: the block writes back what it read.
    const Bytes unreadable[] = {
        { 0x96, 0x04, 0x00, 0x07, 0x01, 0x00, 0x00, 0x00 }, // integer cut short
        { 0x96, 0x04, 0x00, 0x02, 0x0A, 0x01, 0x02, 0x00 }, // push type above 9 after a null
        { 0x8E, 0x04, 0x00, 'g', 0x00, 0xFF, 0xFF, 0x07, 0x00 }, // function 2 cut short
        { 0x83, 0x02, 0x00, 'u', 'v', 0x00 }, // URL without its zero byte
    };
    for (const Bytes& bytes : unreadable) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        ReadBlock r(bytes);
        auto* action = dynamic_cast<COperandAction*>(r.block.GetItem(0));
        ASSERT_NE(action, nullptr);
        EXPECT_TRUE(action->m_RawBody);
        EXPECT_EQ(Write(r.block), bytes);
        EXPECT_EQ(WriteCopy(r.block), bytes);
    }
}

// Push values, including the property references of version 4 movies.
TEST(PushValues, ReadWriteAndCopy)
{
    struct Case {
        const char* name;
        unsigned char version;
        Bytes body;
        std::vector<int> classes;
    };
    const Case cases[] = {
        { "string and integer", 6, { 0x00, 'A', 0x00, 0x07, 0x05, 0x00, 0x00, 0x00 },
            { kClassID_CPOString, kClassID_CPOU32 } },
        { "every simple type", 6,
            { 0x02, 0x03, 0x04, 0x09, 0x05, 0x02, 0x08, 0xFE, 0x09, 0x34, 0x12, 0x06, 0x00, 0x00, 0xF0, 0x3F, 0x01,
                0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x80, 0x3F },
            { kClassID_CPONull, kClassID_CPONone, kClassID_CPOStoreRegister, kClassID_CPOBoolean,
                kClassID_CPODictionaryU8, kClassID_CPODictionaryU16, kClassID_CPODouble, kClassID_CPOFloat } },
        { "float 11 in version 5", 5, { 0x01, 0x00, 0x00, 0x30, 0x41 }, { kClassID_CPOFloat } },
        { "float 11 in version 4", 4, { 0x01, 0x00, 0x00, 0x30, 0x41 }, { kClassID_CPopTarget } },
        { "properties 0, 21 and 16384 in version 4", 4,
            { 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0xA8, 0x41, 0x01, 0x00, 0x00, 0x80, 0x46 },
            { kClassID_CPopX, kClassID_CPopYMouse, kClassID_CPopWthIt } },
        { "-0, 22 and 1.5 stay floats in version 4", 4,
            { 0x01, 0x00, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0xB0, 0x41, 0x01, 0x00, 0x00, 0xC0, 0x3F },
            { kClassID_CPOFloat, kClassID_CPOFloat, kClassID_CPOFloat } },
        { "name property reads no string", 4, { 0x01, 0x00, 0x00, 0x50, 0x41, 0x00, 'n', 0x00 },
            { kClassID_CPopName, kClassID_CPOString } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSWF movie;
        movie.m_pHeader->m_Version = c.version;
        Bytes block = { 0x96 };
        AppendU16(block, static_cast<uint32_t>(c.body.size()));
        block.insert(block.end(), c.body.begin(), c.body.end());
        block.push_back(0x00);
        ReadBlock r(block, &movie);
        ASSERT_EQ(r.block.GetItemCount(), 1);
        auto* push = dynamic_cast<CPushAction*>(r.block.GetItem(0));
        ASSERT_NE(push, nullptr);
        std::vector<int> classes;
        for (int i = 0; i < push->m_pValues->GetItemCount(); ++i)
            classes.push_back(push->m_pValues->GetItem(i)->GetClassID());
        EXPECT_EQ(classes, c.classes);
        EXPECT_EQ(push->GetDumpProtectSize(), 0u);
        EXPECT_EQ(Write(r.block), block);
        EXPECT_EQ(WriteCopy(r.block), block);
    }
}

TEST(PushValues, ValuesAreDecoded)
{
    ReadBlock r({ 0x96, 0x13, 0x00, 0x00, 'A', 0x00, 0x07, 0x05, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0xF0, 0x3F, 0x00,
        0x00, 0x00, 0x00, 0x05, 0x01, 0x00 });
    auto* push = dynamic_cast<CPushAction*>(r.block.GetItem(0));
    ASSERT_NE(push, nullptr);
    ASSERT_EQ(push->m_pValues->GetItemCount(), 4);
    EXPECT_EQ(dynamic_cast<CPOString*>(push->m_pValues->GetItem(0))->m_pValue->GetStr(), "A");
    EXPECT_EQ(dynamic_cast<CPOU32*>(push->m_pValues->GetItem(1))->m_Value, 5u);
    EXPECT_EQ(dynamic_cast<CPODouble*>(push->m_pValues->GetItem(2))->GetValue(), 1.0);
    EXPECT_EQ(dynamic_cast<CPOBoolean*>(push->m_pValues->GetItem(3))->m_Value, 1);
}

// Every class ID of the family is created by the factory as that class, and every code maps to a class that
// reads as the action of that code.
TEST(ActionFactory, EveryIdAndCode)
{
    for (int id = kClassID_CAdd2Action; id <= kClassID_CPushArrayItems; ++id) {
        CSWFObject* object = nullptr;
        ASSERT_EQ(NewInstance(id, object, nullptr, 2), 1) << id;
        std::unique_ptr<CSWFObject> owned(object);
        EXPECT_EQ(owned->GetClassID(), id);
        EXPECT_EQ(owned->GetStyle(), 2);
    }
    CSWFObject* block = nullptr;
    ASSERT_EQ(NewInstance(kClassID_CActionsItem, block, nullptr, 0), 1);
    delete block;

    // Codes below 0x80 carry no body, so only classes without operands may read them; codes from 0x80 on do.
    for (int code = 0; code < 256; ++code) {
        const int id = ActionClassForCode(static_cast<uint8_t>(code));
        ASSERT_TRUE(id >= kClassID_CAdd2Action && id <= kClassID_CWithAction) << code;
        if (code > 0x9F) {
            EXPECT_EQ(id, kClassID_CUnKnownAction) << code;
        }
        CSWFObject* object = nullptr;
        ASSERT_EQ(NewInstance(id, object, nullptr, 0), 1);
        std::unique_ptr<CSWFObject> owned(object);
        const bool hasBody = dynamic_cast<COperandAction*>(owned.get()) != nullptr;
        if (id != kClassID_CUnKnownAction) {
            EXPECT_EQ(hasBody, code >= 0x80) << code;
        }
    }
    EXPECT_EQ(ActionClassForCode(0x9E), kClassID_CCallAction);
    EXPECT_EQ(ActionClassForCode(0x16), kClassID_CUnKnownAction);
    EXPECT_EQ(ActionClassForCode(0xA0), kClassID_CUnKnownAction);

    CActionsItem list;
    EXPECT_EQ(list.Add(0x99), 0);
    EXPECT_EQ(list.GetAction(0)->GetClassID(), kClassID_CJumpAction);
    EXPECT_EQ(list.GetAction(0)->m_ActionCode, 0x99);
}
