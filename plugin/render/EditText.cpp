#include "render/EditText.h"
#include "render/KernedLayout.h"

#include "avm1/Clip.h"
#include "render/Fonts.h"

#include "Tags.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <tuple>

#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace reelfinch::plugin {

namespace {

constexpr char32_t kLineBreak = U'\n';
constexpr char32_t kSpace = U' ';
constexpr char32_t kNoBreakSpace = 0xA0;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
// Entities longer than this (between '&' and ';') are taken as text.
constexpr size_t kMaxEntityLength = 10;

// Decodes one UTF-8 sequence at `i`; a byte that does not begin a valid one stands for itself.
char32_t NextCharacter(const std::string& text, size_t& i)
{
    const auto byte = [&](size_t k) { return uint8_t(text[k]); };
    const uint8_t lead = byte(i);
    int extra = 0;
    char32_t code = lead;
    if (lead >= 0xF0 && lead < 0xF5) {
        extra = 3;
        code = lead & 0x07;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        extra = 2;
        code = lead & 0x0F;
    } else if (lead >= 0xC2 && lead < 0xE0) {
        extra = 1;
        code = lead & 0x1F;
    }
    if (extra == 0 || i + size_t(extra) >= text.size()) {
        ++i;
        return lead;
    }
    for (int k = 1; k <= extra; ++k) {
        if ((byte(i + size_t(k)) & 0xC0) != 0x80) {
            ++i;
            return lead;
        }
        code = (code << 6) | (byte(i + size_t(k)) & 0x3F);
    }
    if (code > kMaxCodePoint || code < (extra == 1 ? 0x80u : extra == 2 ? 0x800u : 0x10000u)) {
        ++i;
        return lead;
    }
    i += size_t(extra) + 1;
    return code;
}

std::u32string Decode(const std::string& text)
{
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const char32_t c = NextCharacter(text, i);
        if (c == 0)
            break; // the string's terminator
        out.push_back(c);
    }
    return out;
}

std::u32string NormaliseBreaks(const std::u32string& text)
{
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == U'\r') {
            if (i + 1 < text.size() && text[i + 1] == U'\n')
                ++i;
            out.push_back(kLineBreak);
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

char32_t Entity(const std::u32string& name)
{
    if (name == U"lt")
        return U'<';
    if (name == U"gt")
        return U'>';
    if (name == U"amp")
        return U'&';
    if (name == U"quot")
        return U'"';
    if (name == U"apos")
        return U'\'';
    if (name == U"nbsp")
        return kNoBreakSpace;
    if (name.size() > 1 && name[0] == U'#') {
        const bool hex = name[1] == U'x' || name[1] == U'X';
        uint32_t value = 0;
        for (size_t k = hex ? 2 : 1; k < name.size(); ++k) {
            const char32_t c = name[k];
            uint32_t digit = 0;
            if (c >= U'0' && c <= U'9')
                digit = c - U'0';
            else if (hex && c >= U'a' && c <= U'f')
                digit = c - U'a' + 10;
            else if (hex && c >= U'A' && c <= U'F')
                digit = c - U'A' + 10;
            else
                return 0;
            value = value * (hex ? 16 : 10) + digit;
            if (value > kMaxCodePoint)
                return 0;
        }
        return value;
    }
    return 0;
}

std::u32string StripHTML(const std::u32string& text)
{
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c == U'<') {
            const size_t close = text.find(U'>', i);
            if (close == std::u32string::npos)
                break; // an unfinished tag hides the rest
            size_t k = i + 1;
            const bool closing = k < close && text[k] == U'/';
            if (closing)
                ++k;
            std::string name;
            for (; k < close && text[k] < 0x80 && std::isalpha(int(text[k])); ++k)
                name.push_back(char(std::tolower(int(text[k]))));
            if ((!closing && name == "br") || (closing && (name == "p" || name == "li")))
                out.push_back(kLineBreak);
            i = close;
            continue;
        }
        if (c == U'&') {
            const size_t semi = text.find(U';', i);
            if (semi != std::u32string::npos && semi - i - 1 <= kMaxEntityLength) {
                if (const char32_t e = Entity(text.substr(i + 1, semi - i - 1))) {
                    out.push_back(e);
                    i = semi;
                    continue;
                }
            }
        }
        out.push_back(c);
    }
    // The break that ends the last paragraph opens no line of its own.
    if (!out.empty() && out.back() == kLineBreak)
        out.pop_back();
    return out;
}

double LineWidth(const std::u32string& text, size_t begin, size_t end, const std::function<double(char32_t)>& advance)
{
    while (end > begin && text[end - 1] == kSpace)
        --end;
    double width = 0;
    for (size_t i = begin; i < end; ++i)
        width += advance(text[i]);
    return width;
}

} // namespace

std::u32string FieldText(const std::string& text, bool html)
{
    const std::u32string decoded = NormaliseBreaks(Decode(text));
    return html ? StripHTML(decoded) : decoded;
}

std::vector<TextLine> BreakLines(
    const std::u32string& text, const std::function<double(char32_t)>& advance, double width, double indent, bool wrap)
{
    std::vector<TextLine> lines;
    size_t paragraph = 0;
    while (paragraph <= text.size()) {
        size_t end = text.find(kLineBreak, paragraph);
        if (end == std::u32string::npos)
            end = text.size();
        size_t start = paragraph;
        bool first = true;
        while (true) {
            size_t lineEnd = end;
            size_t next = end;
            if (wrap) {
                const double limit = first ? width - indent : width;
                double x = 0;
                size_t space = std::u32string::npos;
                size_t i = start;
                for (; i < end; ++i) {
                    const double w = advance(text[i]);
                    if (text[i] == kSpace) {
                        space = i;
                    } else if (x + w > limit && i > start) {
                        break;
                    }
                    x += w;
                }
                if (i < end) {
                    lineEnd = space != std::u32string::npos && space > start ? space : i;
                    next = lineEnd;
                    while (next < end && text[next] == kSpace)
                        ++next;
                }
            }
            lines.push_back({ start, lineEnd, LineWidth(text, start, lineEnd, advance), first });
            if (next >= end)
                break;
            start = next;
            first = false;
        }
        paragraph = end + 1;
    }
    return lines;
}

} // namespace reelfinch::plugin

// ---- the scripted field ----

namespace reelfinch::plugin {

namespace {

constexpr char16_t kParagraph = u'\r';
constexpr double kTwips = 20.0;
// The first movie versions whose HTML reader keeps white space between tags, and knows kerning.
constexpr int kFirstKeptWhiteVersion = 7;
constexpr int kFirstKerningVersion = 8;
// Where a format sets no tab stops, they stand this many times its size apart.
constexpr double kDefaultTabStopEms = 2.7;


std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Number(double v)
{
    if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 1e15)
        return std::to_string(int64_t(v));
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

const char* AlignName(TextAlign a)
{
    switch (a) {
    case TextAlign::Right:
        return "RIGHT";
    case TextAlign::Center:
        return "CENTER";
    case TextAlign::Justify:
        return "JUSTIFY";
    default:
        return "LEFT";
    }
}

void AppendEscaped(std::u16string& out, char16_t c)
{
    switch (c) {
    case u'<':
        out += u"&lt;";
        break;
    case u'>':
        out += u"&gt;";
        break;
    case u'&':
        out += u"&amp;";
        break;
    case u'"':
        out += u"&quot;";
        break;
    case u'\'':
        out += u"&apos;";
        break;
    default:
        out.push_back(c);
    }
}

void AppendAscii(std::u16string& out, const std::string& s)
{
    const std::u16string u = ToUtf16(s);
    out += u;
}

void AppendAttribute(std::u16string& out, const char* name, const std::string& value)
{
    out.push_back(u' ');
    AppendAscii(out, name);
    out += u"=\"";
    for (char16_t c : ToUtf16(value))
        AppendEscaped(out, c);
    out.push_back(u'"');
}

std::string ColorText(uint32_t color)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%06X", unsigned(color & 0xFFFFFF));
    return buffer;
}

// Attributes of an HTML tag, names in lower case.
struct Tag {
    std::string name;
    bool closing = false;
    std::map<std::string, std::u16string> attributes;
};

Tag ParseTag(const std::u16string& body)
{
    Tag tag;
    size_t i = 0;
    const auto space = [&] {
        while (i < body.size() && (body[i] == u' ' || body[i] == u'\t' || body[i] == u'\n' || body[i] == u'\r'))
            ++i;
    };
    space();
    if (i < body.size() && body[i] == u'/') {
        tag.closing = true;
        ++i;
    }
    while (i < body.size() && body[i] < 0x80 && (std::isalnum(int(body[i])) || body[i] == u'_'))
        tag.name.push_back(char(std::tolower(int(body[i++]))));
    while (i < body.size()) {
        space();
        std::string name;
        while (i < body.size() && body[i] < 0x80 && (std::isalnum(int(body[i])) || body[i] == u'-'))
            name.push_back(char(std::tolower(int(body[i++]))));
        if (name.empty()) {
            ++i;
            continue;
        }
        space();
        std::u16string value;
        if (i < body.size() && body[i] == u'=') {
            ++i;
            space();
            if (i < body.size() && (body[i] == u'"' || body[i] == u'\'')) {
                const char16_t quote = body[i++];
                while (i < body.size() && body[i] != quote)
                    value.push_back(body[i++]);
                ++i;
            } else {
                while (i < body.size() && body[i] != u' ' && body[i] != u'/')
                    value.push_back(body[i++]);
            }
        }
        tag.attributes.emplace(name, value);
    }
    return tag;
}

double AttributeNumber(const std::u16string& v)
{
    const std::string s = ToUtf8(v);
    char* end = nullptr;
    const double n = std::strtod(s.c_str(), &end);
    return end == s.c_str() ? NAN : n;
}

// A colour attribute: '#', any spaces, then hex digits up to the first other character, of which the last six
// count. Anything else leaves the colour as it was.
uint32_t AttributeColor(const std::u16string& v, uint32_t previous)
{
    size_t i = 0;
    if (v.empty() || v[0] != u'#')
        return previous;
    for (++i; i < v.size() && (v[i] == u' ' || v[i] == u'\t'); ++i) {
    }
    uint32_t color = 0;
    bool any = false;
    for (; i < v.size(); ++i) {
        const char16_t c = v[i];
        uint32_t digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        color = ((color << 4) | digit) & 0xFFFFFF;
        any = true;
    }
    return any ? color : previous;
}

bool CharEntity(const std::u16string& name, char16_t& out)
{
    std::u32string wide(name.begin(), name.end());
    const char32_t c = [&]() -> char32_t {
        if (wide == U"lt")
            return U'<';
        if (wide == U"gt")
            return U'>';
        if (wide == U"amp")
            return U'&';
        if (wide == U"quot")
            return U'"';
        if (wide == U"apos")
            return U'\'';
        if (wide == U"nbsp")
            return 0xA0;
        if (wide.size() > 1 && wide[0] == U'#') {
            const bool hex = wide[1] == U'x' || wide[1] == U'X';
            uint32_t value = 0;
            for (size_t k = hex ? 2 : 1; k < wide.size(); ++k) {
                const char32_t d = wide[k];
                uint32_t digit = 0;
                if (d >= U'0' && d <= U'9')
                    digit = d - U'0';
                else if (hex && d >= U'a' && d <= U'f')
                    digit = d - U'a' + 10;
                else if (hex && d >= U'A' && d <= U'F')
                    digit = d - U'A' + 10;
                else
                    return 0;
                value = value * (hex ? 16 : 10) + digit;
                if (value > 0xFFFF)
                    return 0;
            }
            return value;
        }
        return 0;
    }();
    out = char16_t(c);
    return c != 0;
}

bool IsWhite(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Runs that HTML output shows in one FONT: the same font figures.
bool SameFont(const CharFormat& a, const CharFormat& b)
{
    return a.font == b.font && a.size == b.size && a.color == b.color && a.letterSpacing == b.letterSpacing
        && a.kerning == b.kerning;
}

// Runs that HTML output shows with the same link and styles.
bool SameStyle(const CharFormat& a, const CharFormat& b)
{
    return a.url == b.url && a.target == b.target && a.bold == b.bold && a.italic == b.italic
        && a.underline == b.underline;
}

} // namespace

std::u16string ToUtf16(const std::string& text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const char32_t c = NextCharacter(text, i);
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            out.push_back(char16_t(0xD800 + (v >> 10)));
            out.push_back(char16_t(0xDC00 + (v & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
}

std::string ToUtf8(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

EditField::~EditField()
{
    if (script)
        script->field = nullptr;
}

void EditField::replace(size_t begin, size_t end, const std::u16string& inserted, const CharFormat& format)
{
    end = std::min(end, text.size());
    begin = std::min(begin, end);
    std::u16string clean;
    clean.reserve(inserted.size());
    for (size_t i = 0; i < inserted.size(); ++i) {
        char16_t c = inserted[i];
        if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < inserted.size() && inserted[i + 1] == u'\n')
                ++i;
            c = kParagraph;
        }
        clean.push_back(c);
    }
    if (composingBegin >= composingEnd) {
        composingBegin = composingEnd = 0;
    } else if (end <= composingBegin) {
        composingBegin = composingBegin - (end - begin) + clean.size();
        composingEnd = composingEnd - (end - begin) + clean.size();
    } else if (begin < composingEnd) {
        composingBegin = composingEnd = 0;
    }
    text.replace(begin, end - begin, clean);
    formats.erase(formats.begin() + long(begin), formats.begin() + long(end));
    formats.insert(formats.begin() + long(begin), clean.size(), format);
    selectionBegin = selectionEnd = int(begin + clean.size());
}

void EditField::setText(const std::u16string& value)
{
    replace(0, text.size(), value, newFormat);
}

namespace {

// Movies before version 7 read HTML with the older reader: it passes over text between tags that is only white
// space (line ends included); later versions keep it as text.
std::u16string WithoutWhiteNodes(const std::u16string& html)
{
    std::u16string out;
    out.reserve(html.size());
    size_t i = 0;
    while (i < html.size()) {
        if (html[i] == u'<') {
            const size_t close = html.find(u'>', i);
            const size_t end = close == std::u16string::npos ? html.size() : close + 1;
            out.append(html, i, end - i);
            i = end;
            continue;
        }
        const size_t next = std::min(html.find(u'<', i), html.size());
        bool onlyWhite = true;
        for (size_t k = i; k < next && onlyWhite; ++k)
            onlyWhite = IsWhite(html[k]);
        if (!onlyWhite)
            out.append(html, i, next - i);
        i = next;
    }
    return out;
}

// The styles of a sheet an opening tag takes, before its own attributes (which win over them): the tag's own
// style (only paragraphs, list items and links have one), then the style its class names. A class matches its
// style whatever the case of either, and only as written whole: a class attribute with spaces around its name
// or with two names matches nothing. Paragraph figures come only with a paragraph or a list item.
void ApplyStyles(const TextStyleSheet& sheet, const Tag& tag, CharFormat& f)
{
    const bool paragraph = tag.name == "p" || tag.name == "li";
    const auto apply = [&](const std::string& selector) {
        const auto it = sheet.find(selector);
        if (it == sheet.end())
            return;
        it->second.applyCharacter(f);
        if (paragraph)
            it->second.applyParagraph(f);
    };
    if (paragraph || tag.name == "a")
        apply(tag.name);
    if (const auto it = tag.attributes.find("class"); it != tag.attributes.end())
        apply("." + Lower(ToUtf8(it->second)));
}

} // namespace

void EditField::setHtml(const std::u16string& value, int version, const TextStyleSheet* sheet)
{
    if (version < kFirstKeptWhiteVersion) {
        // The older reader also ends a line at each closing paragraph or list item of a single-line field.
        const bool wasMultiline = multiline;
        multiline = true;
        readHtml(WithoutWhiteNodes(value), version, sheet);
        multiline = wasMultiline;
        return;
    }
    readHtml(value, version, sheet);
}

void EditField::readHtml(const std::u16string& value, int version, const TextStyleSheet* sheet)
{
    text.clear();
    formats.clear();
    composingBegin = composingEnd = 0;
    // HTML paragraphs are left-aligned unless a <p align> says otherwise, whatever the field was made with.
    newFormat.align = TextAlign::Left;
    std::vector<CharFormat> stack { newFormat };
    std::vector<std::string> names { std::string() }; // the open elements, innermost last
    // The format of the last <font> closed so far: the break a closing paragraph makes takes that font's figures
    // (the field's own before any), whichever paragraph it was in.
    std::optional<CharFormat> paragraphFont;
    const auto put = [&](char16_t c) {
        text.push_back(c);
        formats.push_back(stack.back());
    };
    bool lastWhite = false;
    for (size_t i = 0; i < value.size(); ++i) {
        const char16_t c = value[i];
        if (c == u'<') {
            const size_t close = value.find(u'>', i);
            if (close == std::u16string::npos)
                break; // an unfinished tag hides the rest
            const Tag tag = ParseTag(value.substr(i + 1, close - i - 1));
            i = close;
            // White space condenses within the text between two tags, not across them.
            lastWhite = false;
            const std::string& name = tag.name;
            if (tag.closing) {
                // A closing tag ends the innermost open element only when it names it; any other is passed over.
                if (names.size() > 1 && names.back() == name) {
                    // In a multiline field paragraphs and list items end their line. The break a paragraph
                    // makes carries no link or style (an empty paragraph made so shows none).
                    if ((name == "p" || name == "li") && multiline) {
                        CharFormat plain = stack.back();
                        if (name == "p") {
                            plain.bold = plain.italic = plain.underline = false;
                            plain.url.clear();
                            plain.target.clear();
                            const CharFormat& font = paragraphFont ? *paragraphFont : newFormat;
                            plain.font = font.font;
                            plain.size = font.size;
                            plain.color = font.color;
                            plain.letterSpacing = font.letterSpacing;
                            plain.kerning = font.kerning;
                        }
                        text.push_back(kParagraph);
                        formats.push_back(plain);
                        lastWhite = true;
                    }
                    if (name == "font")
                        paragraphFont = stack.back();
                    stack.pop_back();
                    names.pop_back();
                }
                continue;
            }
            if (name == "br" || name == "sbr") {
                // A break ends the line of a multiline field; a single-line field has none to end.
                if (multiline) {
                    put(kParagraph);
                    lastWhite = true;
                }
                continue;
            }
            CharFormat f = stack.back();
            const auto attr = [&](const char* key) -> const std::u16string* {
                auto it = tag.attributes.find(key);
                return it == tag.attributes.end() ? nullptr : &it->second;
            };
            if (sheet)
                ApplyStyles(*sheet, tag, f);
            if (name == "p" || name == "li") {
                // A list item starts a line of its own.
                if (name == "li" && multiline && !text.empty() && text.back() != kParagraph)
                    put(kParagraph);
                if (name == "li")
                    f.bullet = true;
                if (const auto* a = attr("align")) {
                    const std::string s = Lower(ToUtf8(*a));
                    if (s == "left")
                        f.align = TextAlign::Left;
                    else if (s == "right")
                        f.align = TextAlign::Right;
                    else if (s == "center")
                        f.align = TextAlign::Center;
                    else if (s == "justify")
                        f.align = TextAlign::Justify;
                }
                // A paragraph inside an open one opens none of its own (its end is passed over), but its paragraph
                // figures, as they stand where it is (a list item's bullet among them), become the open one's.
                if (name == "p") {
                    if (const auto open = std::find(names.rbegin(), names.rend(), "p"); open != names.rend()) {
                        CharFormat& outer = stack[size_t(names.rend() - open) - 1];
                        outer.align = f.align;
                        outer.leftMargin = f.leftMargin;
                        outer.rightMargin = f.rightMargin;
                        outer.indent = f.indent;
                        outer.leading = f.leading;
                        outer.blockIndent = f.blockIndent;
                        outer.tabStops = f.tabStops;
                        outer.bullet = f.bullet;
                        continue;
                    }
                }
            } else if (name == "font") {
                if (const auto* a = attr("face"))
                    f.font = ToUtf8(*a);
                if (const auto* a = attr("size")) {
                    const double n = AttributeNumber(*a);
                    if (std::isfinite(n)) {
                        // Sizes are whole pixels from 1 to 127: a fraction is dropped, a relative size counts
                        // from the whole size it is relative to.
                        const bool relative = !a->empty() && ((*a)[0] == u'+' || (*a)[0] == u'-');
                        f.size = std::clamp(std::trunc(relative ? f.size + n : n), 1.0, 127.0);
                    }
                }
                if (const auto* a = attr("color"))
                    f.color = AttributeColor(*a, f.color);
                if (const auto* a = attr("letterspacing")) {
                    const double n = AttributeNumber(*a);
                    if (std::isfinite(n))
                        f.letterSpacing = n;
                }
                // Kerning came with version 8: older movies' text knows no such attribute.
                if (const auto* a = attr("kerning"); a && version >= kFirstKerningVersion)
                    f.kerning = AttributeNumber(*a) != 0;
            } else if (name == "b") {
                f.bold = true;
            } else if (name == "i") {
                f.italic = true;
            } else if (name == "u") {
                f.underline = true;
            } else if (name == "a") {
                if (const auto* a = attr("href"))
                    f.url = ToUtf8(*a);
                if (const auto* a = attr("target"))
                    f.target = ToUtf8(*a);
            } else if (name == "textformat") {
                const auto number = [&](const char* key, double& into) {
                    if (const auto* a = attr(key)) {
                        const double n = AttributeNumber(*a);
                        if (std::isfinite(n))
                            into = n;
                    }
                };
                number("leftmargin", f.leftMargin);
                number("rightmargin", f.rightMargin);
                number("indent", f.indent);
                number("leading", f.leading);
                number("blockindent", f.blockIndent);
                if (const auto* a = attr("tabstops")) {
                    f.tabStops.clear();
                    std::string s = ToUtf8(*a);
                    for (size_t p = 0; p <= s.size();) {
                        size_t q = s.find(',', p);
                        if (q == std::string::npos)
                            q = s.size();
                        const double n = std::strtod(s.substr(p, q - p).c_str(), nullptr);
                        f.tabStops.push_back(n);
                        p = q + 1;
                    }
                }
            } else if (name != "span") {
                continue; // tags the player does not know are passed over
            }
            stack.push_back(f);
            names.push_back(name);
            continue;
        }
        // With condenseWhite, text between tags that is only white space is dropped.
        const bool nodeStart = i == 0 || value[i - 1] == u'>';
        if (condenseWhite && nodeStart && IsWhite(c)) {
            size_t end = i;
            while (end < value.size() && value[end] != u'<' && IsWhite(value[end]))
                ++end;
            if (end == value.size() || value[end] == u'<') {
                i = end - 1;
                continue;
            }
        }
        char16_t out = c;
        if (c == u'&') {
            const size_t semi = value.find(u';', i);
            if (semi != std::u16string::npos && semi - i - 1 <= kMaxEntityLength
                && CharEntity(value.substr(i + 1, semi - i - 1), out)) {
                i = semi;
            } else {
                out = c;
            }
        } else if (condenseWhite && IsWhite(c)) {
            if (lastWhite)
                continue;
            out = u' ';
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n')
                ++i;
            out = kParagraph;
        }
        lastWhite = condenseWhite && IsWhite(out);
        put(out);
    }
    selectionBegin = selectionEnd = int(text.size());
}

std::u16string EditField::htmlText() const
{
    // No text, no paragraph.
    if (text.empty())
        return {};
    std::u16string out;
    size_t start = 0;
    while (true) {
        size_t end = text.find(kParagraph, start);
        const bool last = end == std::u16string::npos;
        if (last)
            end = text.size();
        const CharFormat& base = start < formats.size() ? formats[start]
            : !formats.empty()                          ? formats.back()
                                                        : newFormat;
        std::u16string textformat;
        if (base.leftMargin != 0)
            AppendAttribute(textformat, "LEFTMARGIN", Number(base.leftMargin));
        if (base.rightMargin != 0)
            AppendAttribute(textformat, "RIGHTMARGIN", Number(base.rightMargin));
        if (base.indent != 0)
            AppendAttribute(textformat, "INDENT", Number(base.indent));
        if (base.leading != 0)
            AppendAttribute(textformat, "LEADING", Number(base.leading));
        if (base.blockIndent != 0)
            AppendAttribute(textformat, "BLOCKINDENT", Number(base.blockIndent));
        if (!base.tabStops.empty()) {
            std::string stops;
            for (double s : base.tabStops)
                stops += (stops.empty() ? "" : ",") + Number(s);
            AppendAttribute(textformat, "TABSTOPS", stops);
        }
        if (!textformat.empty())
            out += u"<TEXTFORMAT" + textformat + u">";
        if (base.bullet) {
            out += u"<LI>";
        } else {
            out += u"<P";
            AppendAttribute(out, "ALIGN", AlignName(base.align));
            out += u">";
        }
        out += u"<FONT";
        AppendAttribute(out, "FACE", base.font);
        AppendAttribute(out, "SIZE", Number(base.size));
        AppendAttribute(out, "COLOR", ColorText(base.color));
        AppendAttribute(out, "LETTERSPACING", Number(base.letterSpacing));
        AppendAttribute(out, "KERNING", base.kerning ? "1" : "0");
        out += u">";
        // Runs of equal format. FONT tags stay open to the paragraph's end: a run whose font figures match an
        // open FONT returns to it (closing the ones opened after it), any other run opens a FONT inside the
        // innermost one with the figures that differ. Link, bold, italic and underline open and close with each
        // run, in that order. An empty paragraph still shows the link and styles of its break.
        std::vector<const CharFormat*> fonts { &base };
        const auto closeTo = [&](size_t level) {
            while (fonts.size() > level + 1) {
                out += u"</FONT>";
                fonts.pop_back();
            }
        };
        const auto styles = [&](const CharFormat& f, bool link, bool opening) {
            if (opening) {
                if (link) {
                    out += u"<A";
                    AppendAttribute(out, "HREF", f.url);
                    AppendAttribute(out, "TARGET", f.target);
                    out += u">";
                }
                out += std::u16string(f.bold ? u"<B>" : u"") + (f.italic ? u"<I>" : u"") + (f.underline ? u"<U>" : u"");
            } else {
                out += std::u16string(f.underline ? u"</U>" : u"") + (f.italic ? u"</I>" : u"") + (f.bold ? u"</B>" : u"");
                if (link)
                    out += u"</A>";
            }
        };
        // The paragraph's break is a character of its own format: where that differs from the text before it,
        // it shows as an empty run at the paragraph's end.
        const size_t runsEnd = std::min(last ? end : end + 1, formats.size());
        size_t i = start;
        while (i < runsEnd) {
            size_t j = i + 1;
            while (j < runsEnd && SameFont(formats[j], formats[i]) && SameStyle(formats[j], formats[i]))
                ++j;
            const CharFormat& f = formats[i];
            size_t level = fonts.size();
            for (size_t k = fonts.size(); k-- > 0;)
                if (SameFont(*fonts[k], f)) {
                    level = k;
                    break;
                }
            if (level < fonts.size()) {
                closeTo(level);
            } else {
                const CharFormat& now = *fonts.back();
                std::u16string font;
                if (f.font != now.font)
                    AppendAttribute(font, "FACE", f.font);
                if (f.size != now.size)
                    AppendAttribute(font, "SIZE", Number(f.size));
                if (f.color != now.color)
                    AppendAttribute(font, "COLOR", ColorText(f.color));
                if (f.letterSpacing != now.letterSpacing)
                    AppendAttribute(font, "LETTERSPACING", Number(f.letterSpacing));
                if (f.kerning != now.kerning)
                    AppendAttribute(font, "KERNING", f.kerning ? "1" : "0");
                out += u"<FONT" + font + u">";
                fonts.push_back(&f);
            }
            const bool link = !f.url.empty();
            styles(f, link, true);
            for (size_t k = i; k < std::min(j, end); ++k)
                AppendEscaped(out, text[k]);
            styles(f, link, false);
            i = j;
        }
        closeTo(0);
        out += u"</FONT>";
        out += base.bullet ? u"</LI>" : u"</P>";
        if (!textformat.empty())
            out += u"</TEXTFORMAT>";
        // A break that ends the text opens no paragraph of its own.
        if (last || end + 1 == text.size())
            break;
        start = end + 1;
    }
    return out;
}

std::unique_ptr<EditField> FieldFromTag(const CDefineEditTextTag& tag, const CTag* font, int version)
{
    const std::string fontName = font ? FontName(font) : std::string();
    auto field = std::make_unique<EditField>();
    field->characterId = tag.m_ID;
    if (tag.m_pBounds) {
        field->left = tag.m_pBounds->m_XMin;
        field->top = tag.m_pBounds->m_YMin;
        field->right = tag.m_pBounds->m_XMax;
        field->bottom = tag.m_pBounds->m_YMax;
    }
    field->html = tag.m_HTML;
    field->multiline = tag.m_Multiline;
    field->wordWrap = tag.m_WordWrap;
    field->password = tag.m_Password;
    field->selectable = !tag.m_NoSelect;
    field->input = !tag.m_ReadOnly;
    field->border = tag.m_Border;
    field->background = tag.m_Border;
    field->embedFonts = tag.m_UseOutlines;
    field->autoSize = tag.m_AutoSize ? AutoSize::Left : AutoSize::None;
    if (tag.m_HasMaxLength)
        field->maxChars = tag.m_MaxLength;
    if (tag.m_pVariableName)
        field->variable = tag.m_pVariableName->GetStr();
    CharFormat& f = field->newFormat;
    if (tag.m_HasFont) {
        field->fontId = tag.m_FontID;
        f.size = tag.m_FontHeight / kTwips;
    }
    if (!fontName.empty())
        f.font = fontName;
    // A plain field takes its font's boldness and slant; HTML text says its own with <b> and <i>.
    if (font && !tag.m_HTML)
        std::tie(f.bold, f.italic) = FontStyle(font);
    if (tag.m_HasTextColor && tag.m_pTextColor)
        f.color = (uint32_t(tag.m_pTextColor->m_Color.red) << 16) | (uint32_t(tag.m_pTextColor->m_Color.green) << 8)
            | tag.m_pTextColor->m_Color.blue;
    if (tag.m_HasLayout) {
        // HTML fields align their paragraphs by <p align>, left unless it says otherwise.
        f.align = tag.m_Align <= 3 && !tag.m_HTML ? TextAlign(tag.m_Align) : TextAlign::Left;
        f.leftMargin = tag.m_LeftMargin / kTwips;
        f.rightMargin = tag.m_RightMargin / kTwips;
        f.indent = int16_t(tag.m_Indent) / kTwips;
        f.leading = int16_t(tag.m_Leading) / kTwips;
    }
    if (tag.m_HasText && tag.m_pInitialText) {
        const std::u16string initial = ToUtf16(tag.m_pInitialText->GetStr());
        if (field->html)
            field->setHtml(initial, version);
        else
            field->setText(initial);
    }
    field->selectionBegin = field->selectionEnd = 0;
    field->initialText = field->text;
    return field;
}

double KerningAfter(const EditField& field, size_t i, size_t end, const PairKerning& kerning)
{
    if (!kerning || field.password || i + 1 >= end || i + 1 >= field.text.size() || i + 1 >= field.formats.size())
        return 0;
    const CharFormat& f = field.formats[i];
    const CharFormat& next = field.formats[i + 1];
    if (!f.kerning || f.font != next.font || f.size != next.size || f.bold != next.bold || f.italic != next.italic)
        return 0;
    return kerning(field.text[i], field.text[i + 1], f);
}

FieldLayout LayoutField(const EditField& field, const CharMeasure& advance, const LineMetrics& metrics)
{
    return LayoutField(field, advance, metrics, PairKerning {});
}

namespace {

// The paragraph figures of the paragraph a character starts: those of its first character.
const CharFormat& ParagraphFormat(const EditField& field, size_t paragraph)
{
    return paragraph < field.formats.size() ? field.formats[paragraph]
        : field.formats.empty()             ? field.newFormat
                                            : field.formats.back();
}

// How far right of the paragraph's margins a line's text starts, in twips. A list item's lines all leave room for
// the bullet (its first-line indent does not count); other paragraphs indent their first line, a negative indent
// taking it back to the field's edge at most.
double LineIndent(const CharFormat& pf, bool first)
{
    if (pf.bullet)
        return kBulletIndent * kTwips;
    return first ? std::max(pf.indent, -(pf.leftMargin + pf.blockIndent)) * kTwips : 0;
}

// How far character `i` moves the pen where its line has reached `x` (twips from the line's start): a tab goes on
// to the next tab stop (past the last of the paragraph's own stops it takes no room; without stops of its own,
// the default ones apply), other characters take their advance, letter spacing and kerning with the next one
// before `end`.
double CharWidth(const EditField& field, size_t i, size_t end, double x, const CharMeasure& advance,
    const PairKerning& kerning)
{
    const CharFormat& f = i < field.formats.size() ? field.formats[i] : field.newFormat;
    const char16_t c = field.password ? u'*' : field.text[i];
    if (c == u'\t' && !field.password) {
        for (double stop : f.tabStops)
            if (stop * kTwips > x)
                return stop * kTwips - x;
        if (!f.tabStops.empty())
            return 0.0;
        const double every = DefaultTabStop(f) * kTwips;
        // A format of no size (or none that is a number) has no default stops to reach.
        if (!(every > 0) || !std::isfinite(every) || !std::isfinite(x))
            return 0.0;
        return (std::floor(x / every) + 1) * every - x;
    }
    return advance(c, f) + f.letterSpacing * kTwips + KerningAfter(field, i, end, kerning);
}

} // namespace

double DefaultTabStop(const CharFormat& format)
{
    return kDefaultTabStopEms * format.size;
}

FieldLayout LayoutField(
    const EditField& field, const CharMeasure& advance, const LineMetrics& metrics, const PairKerning& kerning)
{
    FieldLayout layout;
    const std::u16string& text = field.text;
    const double boxWidth = field.right - field.left - 2 * kFieldGap;
    size_t paragraph = 0;
    while (paragraph <= text.size()) {
        size_t end = text.find(kParagraph, paragraph);
        if (end == std::u16string::npos)
            end = text.size();
        const CharFormat& pf = ParagraphFormat(field, paragraph);
        const double margins = (pf.leftMargin + pf.rightMargin + pf.blockIndent) * kTwips;
        size_t start = paragraph;
        bool first = true;
        const auto width = [&](size_t i, double x) { return CharWidth(field, i, end, x, advance, kerning); };
        while (true) {
            size_t lineEnd = end;
            size_t next = end;
            const double limit = boxWidth - margins - LineIndent(pf, first);
            if (field.wordWrap) {
                double x = 0;
                size_t space = std::u16string::npos;
                size_t i = start;
                for (; i < end; ++i) {
                    const double w = width(i, x);
                    if (text[i] == u' ')
                        space = i;
                    // A line with no room at all (an indent past the field's width) keeps its first word whole.
                    else if (x + w > limit && i > start && (space != std::u16string::npos || limit > 0))
                        break;
                    x += w;
                }
                if (i < end) {
                    lineEnd = space != std::u16string::npos && space > start ? space : i;
                    next = lineEnd;
                    while (next < end && text[next] == u' ')
                        ++next;
                }
            }
            FieldLine line;
            line.begin = start;
            line.end = lineEnd;
            line.firstOfParagraph = first;
            // Spaces ending a line take room in a left-aligned paragraph (where the line wraps, those at the
            // break as far as they fit); lines aligned otherwise leave them out unless the field keeps them.
            size_t visibleEnd = lineEnd;
            while (pf.align != TextAlign::Left && !field.alignedTrailingSpaces && visibleEnd > start
                && text[visibleEnd - 1] == u' ')
                --visibleEnd;
            for (size_t i = start; i < visibleEnd; ++i)
                line.width += width(i, line.width);
            for (size_t i = lineEnd; pf.align == TextAlign::Left && i < next && text[i] == u' '; ++i) {
                const double w = width(i, line.width);
                if (line.width + w > limit)
                    break;
                line.width += w;
            }
            const auto measureLine = [&](const CharFormat& f) {
                const auto [a, d] = metrics(f);
                line.ascent = std::max(line.ascent, a);
                line.descent = std::max(line.descent, d);
                line.leading = std::max(line.leading, f.leading * kTwips);
            };
            if (start == lineEnd)
                measureLine(start < field.formats.size() ? field.formats[start] : pf);
            for (size_t i = start; i < lineEnd; ++i)
                measureLine(field.formats[i]);
            layout.textWidth = std::max(layout.textWidth, line.width);
            layout.lines.push_back(line);
            if (next >= end)
                break;
            start = next;
            first = false;
        }
        paragraph = end + 1;
    }
    // The empty line after a break that ends the text adds no height of its own, only the leading before it.
    const bool brokenEnd = layout.lines.size() > 1 && !text.empty() && text.back() == kParagraph;
    const size_t counted = layout.lines.size() - (brokenEnd ? 1 : 0);
    for (size_t i = 0; i < counted; ++i) {
        const FieldLine& l = layout.lines[i];
        // Leading counts between lines, and after a line that is alone.
        const bool last = i + 1 == layout.lines.size();
        layout.textHeight += l.ascent + l.descent + (!last || layout.lines.size() == 1 ? l.leading : 0);
    }
    if (text.empty())
        layout.textWidth = layout.textHeight = 0;
    return layout;
}

PlacedLine PlaceLine(
    const EditField& field, const FieldLine& line, const CharMeasure& advance, const PairKerning& kerning)
{
    PlacedLine placed;
    const CharFormat& pf = ParagraphFormat(field, line.begin);
    const double width = std::fabs(field.right - field.left) - 2 * kFieldGap;
    const double edge = kFieldGap + (pf.leftMargin + pf.blockIndent) * kTwips;
    const double indent = LineIndent(pf, line.firstOfParagraph);
    const double room = width - (pf.leftMargin + pf.rightMargin + pf.blockIndent) * kTwips - indent;
    double x = edge + indent - field.hscroll * kTwips;
    if (pf.align == TextAlign::Right)
        x += room - line.width;
    else if (pf.align == TextAlign::Center)
        x += (room - line.width) / 2;
    if (pf.bullet && line.firstOfParagraph)
        placed.bullet = edge + kBulletGap * kTwips - field.hscroll * kTwips;
    const double start = x;
    const size_t end = std::min({ line.end, field.text.size(), field.formats.size() });
    placed.x.reserve(end > line.begin ? end - line.begin + 1 : 1);
    for (size_t i = line.begin; i < end; ++i) {
        placed.x.push_back(x);
        x += CharWidth(field, i, line.end, x - start, advance, kerning);
    }
    placed.x.push_back(x);
    return placed;
}

DeviceMeasure::DeviceMeasure()
    : m_Surface(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1))
    , m_Context(cairo_create(m_Surface))
{
}

DeviceMeasure::~DeviceMeasure()
{
    cairo_destroy(m_Context);
    cairo_surface_destroy(m_Surface);
}

// The system family a format's font name asks for: the player's three generic names map to fontconfig's, other
// names are looked up as they are (fontconfig substitutes a metric-compatible face where it knows one). The
// renderer draws device text in this face too.
const char* DeviceFamily(const std::string& font)
{
    if (font == "_sans")
        return "sans-serif";
    if (font == "_serif")
        return "serif";
    if (font == "_typewriter")
        return "monospace";
    return font.empty() ? "sans-serif" : font.c_str();
}

void DeviceMeasure::select(const CharFormat& format)
{
    cairo_select_font_face(m_Context, DeviceFamily(format.font), format.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
        format.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m_Context, format.size * kTwips);
}

namespace {

// Device measures are asked for the same characters of the same few formats over and over (every layout of every
// field measures each of its characters): they are kept per thread, keyed by what selects the face and the
// character, and forgotten in bulk once there are many.
struct DeviceKey {
    std::string family;
    double size = 0;
    bool bold = false;
    bool italic = false;
    char32_t c = 0; // 0xFFFFFFFF: the line metrics
    bool operator<(const DeviceKey& o) const
    {
        return std::tie(family, size, bold, italic, c) < std::tie(o.family, o.size, o.bold, o.italic, o.c);
    }
};
constexpr char32_t kMetricsKey = 0xFFFFFFFF;
constexpr size_t kMaxDeviceMeasures = 1 << 16;

std::map<DeviceKey, std::pair<double, double>>& DeviceMeasures()
{
    thread_local std::map<DeviceKey, std::pair<double, double>> measures;
    if (measures.size() > kMaxDeviceMeasures)
        measures.clear();
    return measures;
}

// Whether the context measured as asked. A size cairo refuses (none, or too large) leaves it in an error state
// that no later call undoes: the measure is not kept and the context is made afresh.
bool Recovered(cairo_t*& context, cairo_surface_t* surface)
{
    if (cairo_status(context) == CAIRO_STATUS_SUCCESS)
        return true;
    cairo_destroy(context);
    context = cairo_create(surface);
    return false;
}

DeviceKey KeyOf(const CharFormat& format, char32_t c)
{
    // A size that is no number keys as one entry of its own (NaN would break the map's order).
    const double size = std::isnan(format.size) ? -1.0 : format.size;
    return DeviceKey { DeviceFamily(format.font), size, format.bold, format.italic, c };
}

} // namespace

double DeviceMeasure::advance(char16_t c, const CharFormat& format)
{
    auto& measures = DeviceMeasures();
    DeviceKey key = KeyOf(format, c);
    if (auto it = measures.find(key); it != measures.end())
        return it->second.first;
    select(format);
    const std::string utf8 = ToUtf8(std::u16string(1, c));
    cairo_text_extents_t e {};
    cairo_text_extents(m_Context, utf8.c_str(), &e);
    if (!Recovered(m_Context, m_Surface))
        return 0;
    measures.emplace(std::move(key), std::make_pair(e.x_advance, 0.0));
    return e.x_advance;
}

std::pair<double, double> DeviceMeasure::metrics(const CharFormat& format)
{
    auto& measures = DeviceMeasures();
    DeviceKey key = KeyOf(format, kMetricsKey);
    if (auto it = measures.find(key); it != measures.end())
        return it->second;
    select(format);
    cairo_font_extents_t e {};
    cairo_font_extents(m_Context, &e);
    if (!Recovered(m_Context, m_Surface))
        return { 0, 0 };
    measures.emplace(std::move(key), std::make_pair(e.ascent, e.descent));
    return { e.ascent, e.descent };
}

} // namespace reelfinch::plugin
