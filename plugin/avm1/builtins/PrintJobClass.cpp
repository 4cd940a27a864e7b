// PrintJob as a player on a machine with no printer has it: start() is refused, so pages are never added or
// sent, and the paper and page sizes read 0.
#include "avm1/builtins/NativeData.h"

namespace reelfinch::avm1 {

namespace {

Value Zero(Machine&, const Value&, const Value*, int)
{
    return Value(0.0);
}

Value False(Machine&, const Value&, const Value*, int)
{
    return Value(false);
}

Value Construct(Machine& m, const Value& self, const Value*, int)
{
    if (self.isObject())
        AttachNative<NativeMark>(m, self.asObject());
    return Value();
}

} // namespace

void InstallPrintJobClass(Machine& m)
{
    // Before SWF 7 the prototype stands alone, without Object's methods.
    Object* proto = m.version() >= 7 ? m.newObject() : m.heap().make<Object>(nullptr);
    DefineClass(m, "PrintJob", Construct, nullptr, proto);
    DefineMethods(m, proto,
        {
            { "start", False, kDontEnum | kOnlySwf7 },
            { "addPage", False, kDontEnum | kOnlySwf7 },
            { "send", Nothing, kDontEnum | kOnlySwf7 },
        });
    // Read-only sizes, listed by for-in (newest first, so defined in the reverse of the player's order).
    for (const char* name : { "paperHeight", "paperWidth", "pageHeight", "pageWidth", "orientation" })
        DefineAccessor(m, proto, name, Zero, Nothing, kDontDelete);
}

} // namespace reelfinch::avm1
