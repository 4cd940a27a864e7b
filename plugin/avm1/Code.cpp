#include "avm1/Code.h"

#include "avm1/Heap.h"
#include "avm1/TextCodec.h"

#include "Actions.h"
#include "ClassIds.h"

#include <algorithm>
#include <cstring>

namespace reelfinch::avm1 {

namespace {

// Movies of SWF 5 and older hold their text in the system's 8-bit code page.
String* Literal(Heap& heap, const std::string& text, int version)
{
    String* s = heap.string(version <= 5 ? codePageToUtf8(text) : text);
    s->m_Permanent = true;
    return s;
}

std::string Text(const C0TrmStringItem* item)
{
    return item ? item->GetStr() : std::string();
}

class Decoder
{
public:
    Decoder(const CActionsItem& actions, int version, Heap& heap)
        : m_Actions(actions)
        , m_Heap(heap)
        , m_Code(std::make_shared<Code>())
    {
        m_Code->version = version;
    }

    std::shared_ptr<Code> run()
    {
        const int count = m_Actions.GetItemCount();
        m_First.assign(size_t(count) + 2, 0);
        for (int i = 0; i < count; ++i) {
            m_First[size_t(i)] = uint32_t(m_Code->ops.size());
            decode(i, m_Actions.GetAction(i));
        }
        m_First[size_t(count)] = m_First[size_t(count) + 1] = uint32_t(m_Code->ops.size());
        // Branch operands were action indexes until every action had its first instruction.
        for (auto& [op, action] : m_Fixups)
            m_Code->ops[op].a = int32_t(target(action));
        // Blocks never end before they start: the interpreter only moves backwards through jumps.
        for (auto& f : m_Code->functions) {
            f.start = target(int(f.start));
            f.end = std::max(f.start, target(int(f.end)));
        }
        for (size_t i = 0; i < m_Code->tries.size(); ++i) {
            TryInfo& t = m_Code->tries[i];
            const uint32_t start = m_TryOps[i] + 1;
            t.tryEnd = std::max(start, target(int(t.tryEnd)));
            t.catchEnd = std::max(t.tryEnd, target(int(t.catchEnd)));
            t.finallyEnd = std::max(t.catchEnd, target(int(t.finallyEnd)));
        }
        for (auto& [op, action] : m_Fixups) {
            Instruction& ins = m_Code->ops[op];
            if ((ins.op == kActionWith || ins.op == 0x8A || ins.op == 0x8D) && ins.a < int32_t(op + 1))
                ins.a = int32_t(op + 1);
        }
        m_Code->ops.push_back(Instruction { kActionEnd, 0, 0 });
        return m_Code;
    }

private:
    // Instruction index of action `index`; the end of the block for one past the last or a bad index.
    uint32_t target(int index) const
    {
        if (index < 0 || size_t(index) >= m_First.size())
            return uint32_t(m_Code->ops.size());
        return m_First[size_t(index)];
    }

    // An action index that the library could not place (a distance to no action boundary) ends the block.
    int branch(const CBranchAction* action, int i) const
    {
        return action->m_KeepOffsets ? m_Actions.GetItemCount() : action->GetBranchIndex(i);
    }

    void emit(uint16_t op, int32_t a = 0, uint16_t b = 0) { m_Code->ops.push_back(Instruction { op, b, a }); }
    void emitBranch(uint16_t op, int action, uint16_t b = 0)
    {
        m_Fixups.emplace_back(m_Code->ops.size(), action);
        emit(op, 0, b);
    }
    int32_t string(const std::string& text)
    {
        m_Code->strings.push_back(Literal(m_Heap, text, m_Code->version));
        return int32_t(m_Code->strings.size() - 1);
    }
    int32_t number(double n)
    {
        m_Code->numbers.push_back(n);
        return int32_t(m_Code->numbers.size() - 1);
    }

    void decodePush(const CPushAction* push)
    {
        if (!push->m_pValues)
            return;
        for (int k = 0; k < push->m_pValues->GetItemCount(); ++k) {
            const CPushObject* v = push->m_pValues->GetValue(k);
            if (!v)
                continue;
            if (auto* prop = dynamic_cast<const CPushProperty*>(v)) {
                emit(kOpPushNumber, number(double(prop->GetProperty())));
                continue;
            }
            switch (v->GetClassID()) {
            case kClassID_CPOString:
                emit(kOpPushString, string(Text(static_cast<const CPOString*>(v)->m_pValue.get())));
                break;
            case kClassID_CPOFloat:
                emit(kOpPushNumber, number(double(static_cast<const CPOFloat*>(v)->GetValue())));
                break;
            case kClassID_CPONull:
                emit(kOpPushNull);
                break;
            case kClassID_CPONone:
                emit(kOpPushUndefined);
                break;
            case kClassID_CPOStoreRegister:
                emit(kOpPushRegister, static_cast<const CPOStoreRegister*>(v)->m_Value);
                break;
            case kClassID_CPOBoolean:
                emit(static_cast<const CPOBoolean*>(v)->m_Value ? kOpPushTrue : kOpPushFalse);
                break;
            case kClassID_CPODouble:
                emit(kOpPushNumber, number(static_cast<const CPODouble*>(v)->GetValue()));
                break;
            case kClassID_CPOU32:
                // The integer form is signed.
                emit(kOpPushNumber, number(double(int32_t(static_cast<const CPOU32*>(v)->m_Value))));
                break;
            case kClassID_CPODictionaryU8:
                emit(kOpPushPool, static_cast<const CPODictionaryU8*>(v)->m_Value);
                break;
            case kClassID_CPODictionaryU16:
                emit(kOpPushPool, static_cast<const CPODictionaryU16*>(v)->m_Value);
                break;
            default:
                emit(kOpPushUndefined);
                break;
            }
        }
    }

    void decode(int index, const CAction* action)
    {
        if (!action)
            return;
        const uint8_t code = action->m_ActionCode;
        switch (code) {
        case kActionPush:
            if (auto* push = dynamic_cast<const CPushAction*>(action))
                decodePush(push);
            return;
        case kActionConstantPool:
            if (auto* pool = dynamic_cast<const CConstantPoolAction*>(action)) {
                std::vector<String*> strings;
                for (int k = 0; pool->m_pConstants && k < pool->m_pConstants->GetItemCount(); ++k)
                    strings.push_back(Literal(m_Heap, Text(pool->m_pConstants->GetString(k)), m_Code->version));
                m_Code->pools.push_back(std::move(strings));
                emit(code, int32_t(m_Code->pools.size() - 1));
            }
            return;
        case kActionJump:
        case kActionIf:
            if (auto* jump = dynamic_cast<const CJumpingAction*>(action))
                emitBranch(code, branch(jump, 0));
            return;
        case kActionWith:
            if (auto* with = dynamic_cast<const CWithAction*>(action))
                emitBranch(code, branch(with, 0));
            return;
        case kActionDefineFunction:
            if (auto* def = dynamic_cast<const CDefineFunctionAction*>(action)) {
                FunctionInfo f;
                f.name = Text(def->m_pName.get());
                for (int k = 0; def->m_pParams && k < def->m_pParams->GetItemCount(); ++k)
                    f.params.emplace_back(0, Text(def->m_pParams->GetString(k)));
                f.start = uint32_t(index + 1);
                f.end = uint32_t(branch(def, 0));
                m_Code->functions.push_back(std::move(f));
                emit(code, int32_t(m_Code->functions.size() - 1));
            }
            return;
        case kActionDefineFunction2:
            if (auto* def = dynamic_cast<const CDefineFunction2Action*>(action)) {
                FunctionInfo f;
                f.function2 = true;
                f.name = Text(def->m_pName.get());
                for (int k = 0; def->m_pParams && k < def->m_pParams->GetItemCount(); ++k)
                    if (auto* p = dynamic_cast<const CRegisterParam*>(def->m_pParams->GetItem(k)))
                        f.params.emplace_back(p->m_Register, Text(p->m_pName.get()));
                f.registerCount = def->m_RegisterCount;
                f.preloadThis = def->m_PreloadThis;
                f.suppressThis = def->m_SuppressThis;
                f.preloadArguments = def->m_PreloadArguments;
                f.suppressArguments = def->m_SuppressArguments;
                f.preloadSuper = def->m_PreloadSuper;
                f.suppressSuper = def->m_SuppressSuper;
                f.preloadRoot = def->m_PreloadRoot;
                f.preloadParent = def->m_PreloadParent;
                f.preloadGlobal = def->m_PreloadGlobal;
                f.start = uint32_t(index + 1);
                f.end = uint32_t(branch(def, 0));
                m_Code->functions.push_back(std::move(f));
                emit(code, int32_t(m_Code->functions.size() - 1));
            }
            return;
        case kActionTry:
            if (auto* t = dynamic_cast<const CTryAction*>(action)) {
                TryInfo info;
                info.hasCatch = t->m_CatchBlock;
                info.hasFinally = t->m_FinallyBlock;
                info.catchInRegister = t->m_CatchInRegister;
                info.catchRegister = t->m_CatchRegister;
                info.catchName = Text(t->m_pCatchName.get());
                info.tryEnd = uint32_t(branch(t, 0));
                info.catchEnd = uint32_t(branch(t, 1));
                info.finallyEnd = uint32_t(branch(t, 2));
                m_Code->tries.push_back(std::move(info));
                m_TryOps.push_back(uint32_t(m_Code->ops.size()));
                emit(code, int32_t(m_Code->tries.size() - 1));
            }
            return;
        case 0x81: // GotoFrame
            if (auto* go = dynamic_cast<const CGoToFrameAction*>(action))
                emit(code, go->m_Frame);
            return;
        case 0x8C: // GotoLabel
        case 0x8B: // SetTarget
            if (auto* s = dynamic_cast<const CStringOperandAction*>(action))
                emit(code, string(Text(s->m_pName.get())));
            return;
        case 0x83: // GetURL
            if (auto* get = dynamic_cast<const CGetURLAction*>(action)) {
                const int32_t url = string(Text(get->m_pURL.get()));
                string(Text(get->m_pTarget.get()));
                emit(code, url);
            }
            return;
        case 0x87: // StoreRegister
            if (auto* store = dynamic_cast<const CStoreRegister2Action*>(action))
                emit(code, store->m_Register);
            return;
        case 0x8A: // WaitForFrame: frame, then the actions to skip when it is not loaded
            if (auto* wait = dynamic_cast<const CWaitForFrameAction*>(action))
                emitBranch(code, index + 1 + wait->m_SkipCount, wait->m_Frame);
            return;
        case 0x8D: // WaitForFrame2
            if (auto* wait = dynamic_cast<const CWaitForFrame2Action*>(action))
                emitBranch(code, index + 1 + wait->m_SkipCount);
            return;
        case 0x9A: // GetURL2
            if (auto* get = dynamic_cast<const CGetURL2Action*>(action))
                emit(code, get->m_Flags);
            return;
        case 0x9F: // GotoFrame2: flags, and the scene bias when the flags say there is one
            if (auto* go = dynamic_cast<const CGoToFrame2Action*>(action)) {
                int32_t bias = 0;
                if ((go->m_Flags & 2) && go->m_pDumpProtect && go->GetDumpProtectSize() >= 2) {
                    CSWFStream* data = go->m_pDumpProtect->m_pData.get();
                    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data->GetBuffer());
                    bias = bytes[0] | (bytes[1] << 8);
                }
                emit(code, bias, go->m_Flags);
            }
            return;
        case 0x9E: // Call
            emit(code);
            return;
        default:
            if (code < 0x80 || code == 0x9D)
                emit(code);
            // Unknown actions with a body do nothing.
            return;
        }
    }

    const CActionsItem& m_Actions;
    Heap& m_Heap;
    std::shared_ptr<Code> m_Code;
    std::vector<uint32_t> m_First;
    std::vector<std::pair<size_t, int>> m_Fixups;
    std::vector<uint32_t> m_TryOps; // the instruction of each Try
};

} // namespace

std::shared_ptr<Code> DecodeActions(const CActionsItem& actions, int version, Heap& heap)
{
    return Decoder(actions, version, heap).run();
}

} // namespace reelfinch::avm1
