// LoadVars: name/value pairs in the URL-encoded form, decoded into the object's properties and written back
// from its enumerable ones.
#include "avm1/builtins/NativeData.h"

namespace reelfinch::avm1 {

namespace {

// %XX for every byte but ASCII letters and digits, as the player writes form data.
std::string FormEncode(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// '+' as a space and %XX as its byte; a malformed escape stays as written.
std::string FormDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0
            && HexDigit(text[i + 2]) >= 0) {
            out += char(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

// Sets a property on `target` for each `name=value` pair of the URL-encoded `text` (used by loadVariables too).
void DecodeVariables(Machine& m, Object* target, std::string_view text)
{
    size_t i = 0;
    while (i <= text.size()) {
        size_t amp = text.find('&', i);
        if (amp == std::string_view::npos)
            amp = text.size();
        const std::string_view pair = text.substr(i, amp - i);
        if (!pair.empty()) {
            const size_t eq = pair.find('=');
            const std::string_view name = pair.substr(0, eq);
            const std::string_view value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
            m.setMember(Value(target), FormDecode(name), Value(m.str(FormDecode(value))));
        }
        i = amp + 1;
    }
}

namespace {

Value LoadVarsConstruct(Machine& m, const Value& self, const Value*, int)
{
    if (self.isObject())
        AttachNative<NativeMark>(m, self.asObject());
    return Value();
}

Value Decode(Machine& m, const Value& self, const Value* args, int argc)
{
    if (self.isObject() && argc > 0)
        DecodeVariables(m, self.asObject(), m.toString(args[0]));
    return Value();
}

Value LoadVarsToString(Machine& m, const Value& self, const Value*, int)
{
    if (!self.isObject())
        return Value();
    std::string out;
    for (const std::string& name : m.enumerate(self.asObject())) {
        const Value v = m.getMember(self, name);
        const std::string text = m.toString(v);
        if (m.unwinding())
            return Value();
        if (!out.empty())
            out += '&';
        out += FormEncode(name) + '=' + FormEncode(text);
    }
    return Value(m.str(std::move(out)));
}

// The default onData: decode what arrived and report it, or report the failure.
Value LoadVarsOnData(Machine& m, const Value& self, const Value* args, int argc)
{
    return DeliverLoadedData(m, self, args, argc, Decode);
}



} // namespace

void InstallLoadVarsClass(Machine& m)
{
    Object* proto = m.newObject();
    DefineClass(m, "LoadVars", LoadVarsConstruct, nullptr, proto);
    DefineMethods(m, proto,
        {
            { "decode", Decode },
            { "toString", LoadVarsToString },
            { "onData", LoadVarsOnData },
            { "onLoad", Nothing },
            { "load", NotLoaded },
            { "send", NotLoaded },
            { "sendAndLoad", NotLoaded },
            { "addRequestHeader", Nothing },
            { "getBytesLoaded", Nothing },
            { "getBytesTotal", Nothing },
        });
    m.define(proto, "contentType", Value(m.str("application/x-www-form-urlencoded")), kDontEnum);
    m.define(proto, "loaded", Value(false), kDontEnum);
}

} // namespace reelfinch::avm1
