#include "render/EditText.h"

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
