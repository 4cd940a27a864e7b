// TextField.StyleSheet: named styles kept as scripts gave them (`_css`, plain objects of CSS property names and
// string values) and as text formats (`_styles`, what `transform` made of each). Styles come from setStyle, from
// CSS text (parseCSS, parse) and from CSS files (load, answered through the movie's loader).
#include "avm1/builtins/CssText.h"
#include "avm1/builtins/NativeData.h"

#include "avm1/Loading.h"

#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace reelfinch::avm1 {

namespace {

const char* const kCss = "_css";
const char* const kStyles = "_styles";

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The leading integer of a text as the player's parseInt reads a decimal one: spaces, a sign, digits; NaN when
// no digit follows.
double LeadingInteger(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    double n = 0;
    bool any = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        n = n * 10 + (s[i] - '0');
        any = true;
    }
    if (!any)
        return NAN;
    return negative ? -n : n;
}

// A CSS property name as scripts see it: each '-' dropped and the character after it made upper case.
std::string ScriptName(const std::string& css)
{
    std::string out;
    for (size_t i = 0; i < css.size(); ++i) {
        if (css[i] == '-' && i + 1 < css.size()) {
            const char next = css[++i];
            out.push_back(next >= 'a' && next <= 'z' ? char(next - 32) : next);
        } else {
            out.push_back(css[i]);
        }
    }
    return out;
}

} // namespace

// Reads CSS text the way the player's style sheets do, all or nothing: selectors are runs of characters up to a
// space, ',' or '{' (a selector followed by anything but ',' or '{' spoils the text); inside a block, a name runs
// to its ':' (it may hold ';', '{' or '}', never a space inside it) and a value from its first non-space
// character to ';' or '}'. A block left open after its last ';' (or at once after '{') ends with the text; one
// cut inside a name or value spoils the text. Empty names are passed over.
std::optional<std::vector<CssRule>> ParseCss(const std::string& text)
{
    std::vector<CssRule> rules;
    size_t i = 0;
    const size_t n = text.size();
    const auto skip = [&] {
        while (i < n && IsSpace(text[i]))
            ++i;
    };
    while (true) {
        skip();
        if (i >= n)
            return rules;
        CssRule rule;
        // Selectors, separated by commas, up to the block.
        while (true) {
            skip();
            const size_t start = i;
            while (i < n && !IsSpace(text[i]) && text[i] != ',' && text[i] != '{')
                ++i;
            if (i == start)
                return std::nullopt;
            rule.selectors.push_back(text.substr(start, i - start));
            skip();
            if (i >= n)
                return std::nullopt;
            if (text[i] == ',') {
                ++i;
                continue;
            }
            if (text[i] != '{')
                return std::nullopt;
            ++i;
            break;
        }
        // Declarations up to the closing brace.
        while (true) {
            skip();
            if (i >= n)
                break;
            if (text[i] == '}') {
                ++i;
                break;
            }
            const size_t start = i;
            while (i < n && text[i] != ':' && !IsSpace(text[i]))
                ++i;
            skip();
            if (i >= n || text[i] != ':')
                return std::nullopt;
            const std::string name = text.substr(start, i - start);
            ++i;
            skip();
            const size_t valueStart = i;
            while (i < n && text[i] != ';' && text[i] != '}')
                ++i;
            if (i >= n)
                return std::nullopt;
            const std::string value = text.substr(valueStart, i - valueStart);
            if (!name.empty())
                rule.declarations.emplace_back(ScriptName(name), value);
            if (text[i++] == '}')
                break;
        }
        rules.push_back(std::move(rule));
    }
}

namespace {

// A plain object with the enumerable properties of `source` (their values themselves, not copies).
Object* ShallowCopy(Machine& m, const Value& source)
{
    Object* copy = m.newObject();
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(Value(copy));
    if (source.isObject()) {
        std::vector<std::string> names = m.enumerate(source.asObject());
        // Enumeration lists the newest first; copying oldest first keeps the order.
        for (auto it = names.rbegin(); it != names.rend() && !m.unwinding(); ++it)
            m.setMember(Value(copy), *it, m.getMember(source, *it));
    }
    m.m_Temporaries.resize(mark);
    return copy;
}

// The sheet's table of a kind, made when first needed.
Value Table(Machine& m, const Value& self, const char* name)
{
    Value table = m.getMember(self, name);
    if (!table.isObject()) {
        table = Value(m.newObject());
        m.setMember(self, name, table);
    }
    return table;
}

// Stores a style (an object, or null) under its name and its text format through the sheet's transform.
void StoreStyle(Machine& m, const Value& self, const std::string& name, const Value& style)
{
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(style);
    m.setMember(Table(m, self, kCss), name, style);
    Value arg = style;
    const Value format = m.callMethod(self, "transform", &arg, 1);
    m.m_Temporaries.push_back(format);
    m.setMember(Table(m, self, kStyles), name, format);
    m.m_Temporaries.resize(mark);
}

Value Construct(Machine& m, const Value& self, const Value*, int)
{
    if (self.isObject())
        AttachNative<NativeMark>(m, self.asObject());
    return Value();
}

Value GetStyle(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value css = m.getMember(self, kCss);
    if (!css.isObject())
        return Value::null();
    const Value style = m.getMember(css, m.toString(Arg(args, argc, 0)));
    if (!style.isObject())
        return Value::null();
    return Value(ShallowCopy(m, style));
}

Value SetStyle(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value();
    const std::string name = m.toString(Arg(args, argc, 0));
    const Value style = Arg(args, argc, 1);
    const Value copy = style.isObject() && !style.asObject()->isFunction() ? Value(ShallowCopy(m, style))
                                                                           : Value::null();
    StoreStyle(m, self, name, copy);
    return Value();
}

Value GetStyleNames(Machine& m, const Value& self, const Value*, int)
{
    ArrayObject* names = m.newArray();
    const Value css = m.getMember(self, kCss);
    if (css.isObject()) {
        std::vector<std::string> keys = m.enumerate(css.asObject());
        for (auto it = keys.rbegin(); it != keys.rend(); ++it)
            names->m_Items.push_back(Value(m.str(*it)));
    }
    return Value(static_cast<Object*>(names));
}

Value Clear(Machine& m, const Value& self, const Value*, int)
{
    if (!self.isObject())
        return Value();
    m.setMember(self, kCss, Value(m.newObject()));
    m.setMember(self, kStyles, Value(m.newObject()));
    return Value();
}

// parseCSS(text) and parse(text): true when the whole text reads; then each rule's selectors take its style,
// replacing what they had.
Value ParseCssMethod(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value(false);
    const auto rules = ParseCss(m.toString(Arg(args, argc, 0)));
    if (!rules)
        return Value(false);
    for (const CssRule& rule : *rules) {
        for (const std::string& selector : rule.selectors) {
            Object* style = m.newObject();
            const size_t mark = m.m_Temporaries.size();
            m.m_Temporaries.push_back(Value(style));
            for (const auto& [name, value] : rule.declarations)
                m.setMember(Value(style), name, Value(m.str(value)));
            StoreStyle(m, self, selector, Value(style));
            m.m_Temporaries.resize(mark);
            if (m.unwinding())
                return Value();
        }
    }
    return Value(true);
}

// Font lists: each name without its leading spaces, empty names dropped, joined by commas.
std::string FontList(const std::string& list)
{
    std::string out;
    size_t p = 0;
    while (p <= list.size()) {
        size_t q = list.find(',', p);
        if (q == std::string::npos)
            q = list.size();
        size_t s = p;
        while (s < q && IsSpace(list[s]))
            ++s;
        if (s < q) {
            if (!out.empty())
                out.push_back(',');
            out.append(list, s, q - s);
        }
        p = q + 1;
    }
    return out;
}

// transform(style): the text format a style stands for, or null for no style.
Value Transform(Machine& m, const Value&, const Value* args, int argc)
{
    const Value style = Arg(args, argc, 0);
    if (style.isNullish())
        return Value::null();
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(style);
    Value format = m.construct(m.getMember(Value(m.m_Global), "TextFormat"), nullptr, 0);
    m.m_Temporaries.push_back(format);
    const auto read = [&](const char* name) { return m.getMember(style, name); };
    const auto set = [&](const char* name, const Value& v) { m.setMember(format, name, v); };
    const auto text = [&](const Value& v, const char* word) { return v.isString() && v.str() == word; };
    // An integer figure: a false value (absent, 0, empty) leaves the field null, text without a leading integer
    // gives 0.
    const auto integer = [&](const char* from, const char* to, bool keepNaN) {
        const Value v = read(from);
        if (!m.toBoolean(v))
            return;
        const double n = LeadingInteger(m.toString(v));
        set(to, Value(std::isnan(n) && !keepNaN ? 0.0 : n));
    };

    const Value color = read("color");
    if (color.isString() && color.str().size() == 7 && color.str()[0] == '#') {
        const std::string digits = color.str().substr(1);
        if (digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos)
            set("color", Value(double(std::stoul(digits, nullptr, 16))));
    }
    const Value display = read("display");
    set("display", Value(m.str(text(display, "inline") ? "inline" : text(display, "none") ? "none" : "block")));
    const Value family = read("fontFamily");
    if (m.toBoolean(family))
        set("font", Value(m.str(FontList(m.toString(family)))));
    const Value size = read("fontSize");
    if (!size.isNullish()) {
        const double n = LeadingInteger(m.toString(size));
        if (n > 0)
            set("size", Value(n));
    }
    const Value fontStyle = read("fontStyle");
    if (text(fontStyle, "normal") || text(fontStyle, "italic"))
        set("italic", Value(text(fontStyle, "italic")));
    const Value weight = read("fontWeight");
    if (text(weight, "normal") || text(weight, "bold"))
        set("bold", Value(text(weight, "bold")));
    const Value kerning = read("kerning");
    bool kern = text(kerning, "true");
    if (!kern && !kerning.isNullish()) {
        const double n = LeadingInteger(m.toString(kerning));
        kern = !std::isnan(n) && n != 0;
    }
    set("kerning", Value(kern));
    integer("leading", "leading", false);
    integer("letterSpacing", "letterSpacing", true);
    integer("marginLeft", "leftMargin", false);
    integer("marginRight", "rightMargin", false);
    integer("textIndent", "indent", false);
    const Value align = read("textAlign");
    if (!align.isNullish()) {
        std::string a = m.toString(align);
        for (char& c : a)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (a == "left" || a == "center" || a == "right" || a == "justify")
            set("align", Value(m.str(a)));
    }
    const Value decoration = read("textDecoration");
    if (text(decoration, "none") || text(decoration, "underline"))
        set("underline", Value(text(decoration, "underline")));
    m.m_Temporaries.resize(mark);
    return format;
}

// load(url): fetches a CSS file; when it arrives, onData gets its text (undefined when the load failed).
Value Load(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject() || argc < 1)
        return Value(false);
    const std::string url = m.toString(args[0]);
    Object* sheet = self.asObject();
    const bool started = FetchForMovie(m, sheet, url, [sheet](Machine& machine, bool ok, const std::string& bytes) {
        std::string body = bytes;
        // A byte-order mark is not part of the text.
        if (body.compare(0, 3, "\xEF\xBB\xBF") == 0)
            body.erase(0, 3);
        Value arg = ok ? Value(machine.str(body)) : Value();
        machine.callMethod(Value(sheet), "onData", &arg, 1);
    });
    return Value(started);
}

// The default onData: the text is parsed as CSS and onLoad hears whether it read.
Value OnData(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value text = Arg(args, argc, 0);
    Value ok(false);
    if (!text.isUndefined())
        ok = Value(m.toBoolean(m.callMethod(self, "parse", &text, 1)));
    m.callMethod(self, "onLoad", &ok, 1);
    return Value();
}

} // namespace

void InstallStyleSheetClass(Machine& m)
{
    const Value textField = m.getMember(Value(m.m_Global), "TextField");
    if (!textField.isObject())
        return;
    Object* proto = m.newObject();
    FunctionObject* ctor = m.newNative(Construct, Construct);
    m.define(ctor, "prototype", Value(proto), kDontEnum | kDontDelete);
    m.define(proto, "constructor", Value(static_cast<Object*>(ctor)), kDontEnum);
    m.define(textField.asObject(), "StyleSheet", Value(static_cast<Object*>(ctor)), kDontEnum);
    constexpr uint16_t flags = kDontEnum | kDontDelete | kReadOnly;
    DefineMethods(m, proto,
        {
            { "clear", Clear, flags },
            { "getStyle", GetStyle, flags },
            { "getStyleNames", GetStyleNames, flags },
            { "load", Load, flags },
            { "parseCSS", ParseCssMethod, flags },
            { "parse", ParseCssMethod, flags },
            { "setStyle", SetStyle, flags },
            { "transform", Transform, flags },
            { "onData", OnData, flags },
        });
}

} // namespace reelfinch::avm1
