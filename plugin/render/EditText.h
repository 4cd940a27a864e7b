// The text of a text field as drawn without scripting: its initial text made plain (HTML tags stripped, line
// breaks kept) and broken into lines by explicit breaks and, when the field wraps, at spaces.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace reelfinch::plugin {

// The field's text as characters, every line break a '\n'. The text is UTF-8; a byte that does not start a valid
// sequence stands for itself (older movies write single-byte text). HTML text loses its tags, <br> and the end
// of <p> and <li> break the line, and the common character entities are replaced.
std::u32string FieldText(const std::string& text, bool html);

struct TextLine {
    size_t begin = 0; // characters of the text, end exclusive, without the break
    size_t end = 0;
    double width = 0; // of the characters on the line, trailing spaces left out
    bool firstOfParagraph = true;
};

// Breaks the text into lines. `advance` measures one character. With `wrap`, a line ends at the last space that
// keeps it within `width` (the first line of a paragraph within `width - indent`); a word longer than a whole
// line is broken between characters.
std::vector<TextLine> BreakLines(
    const std::u32string& text, const std::function<double(char32_t)>& advance, double width, double indent, bool wrap);

} // namespace reelfinch::plugin

class CDefineEditTextTag;
class CTag;

namespace reelfinch::avm1 {
struct FieldLink;
}

namespace reelfinch::plugin {

struct SpriteInstance;

// The movie version whose text rules apply where no movie says otherwise.
inline constexpr int kNewestMovieVersion = 8;

// Paragraph alignment as the field keeps it.
enum class TextAlign : uint8_t { Left = 0, Right = 1, Center = 2, Justify = 3 };

// The format of one character of a field. Paragraph figures (alignment, margins, indents, leading, tab stops,
// bullet) are kept on every character and read from a paragraph's first one.
struct CharFormat {
    std::string font = "Times New Roman";
    double size = 12; // pixels
    uint32_t color = 0; // 0xRRGGBB
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::string url;
    std::string target;
    TextAlign align = TextAlign::Left;
    double leftMargin = 0;
    double rightMargin = 0;
    double indent = 0;
    double leading = 0;
    double blockIndent = 0;
    std::vector<double> tabStops;
    bool bullet = false;
    bool kerning = false;
    double letterSpacing = 0;
    bool operator==(const CharFormat&) const = default;
};

// What a text format or a style sets: the fields it gives, the others left as they are.
struct FormatChange {
    std::optional<std::string> font, url, target;
    std::optional<double> size, leftMargin, rightMargin, indent, leading, blockIndent, letterSpacing;
    std::optional<uint32_t> color;
    std::optional<bool> bold, italic, underline, bullet, kerning;
    std::optional<TextAlign> align;
    std::optional<std::vector<double>> tabStops;

    bool paragraph() const
    {
        return align || leftMargin || rightMargin || indent || leading || blockIndent || tabStops || bullet;
    }

    void applyCharacter(CharFormat& f) const
    {
        if (font)
            f.font = *font;
        if (url)
            f.url = *url;
        if (target)
            f.target = *target;
        if (size)
            f.size = *size;
        if (color)
            f.color = *color;
        if (bold)
            f.bold = *bold;
        if (italic)
            f.italic = *italic;
        if (underline)
            f.underline = *underline;
        if (kerning)
            f.kerning = *kerning;
        if (letterSpacing)
            f.letterSpacing = *letterSpacing;
    }
    void applyParagraph(CharFormat& f) const
    {
        if (align)
            f.align = *align;
        if (leftMargin)
            f.leftMargin = *leftMargin;
        if (rightMargin)
            f.rightMargin = *rightMargin;
        if (indent)
            f.indent = *indent;
        if (leading)
            f.leading = *leading;
        if (blockIndent)
            f.blockIndent = *blockIndent;
        if (tabStops)
            f.tabStops = *tabStops;
        if (bullet)
            f.bullet = *bullet;
    }
};

// A style sheet as the HTML reader applies it: each style's format by its selector in lower case (".name" for a
// class, a tag's name for the tag).
using TextStyleSheet = std::map<std::string, FormatChange>;

// How a field grows to fit its text.
enum class AutoSize : uint8_t { None, Left, Center, Right };

// A text field as scripts and the drawing see it: its characters (UTF-16 units, as scripts count them) with a
// format each, the format new text takes, and the field's settings. Placed DefineEditText characters start from
// their tag; createTextField starts from the defaults below.
struct EditField : std::enable_shared_from_this<EditField> {
    EditField() = default;
    EditField(const EditField&) = delete;
    EditField& operator=(const EditField&) = delete;
    ~EditField();

    uint16_t characterId = 0; // the DefineEditText it was made from; 0 for createTextField
    uint16_t fontId = 0; // the tag's embedded font
    // Bounds in twips relative to the field's origin.
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    std::u16string text; // every paragraph break a '\r'
    std::vector<CharFormat> formats; // one per unit of `text`
    CharFormat newFormat;
    bool html = false;
    bool multiline = false;
    bool wordWrap = false;
    bool password = false;
    bool selectable = true;
    bool input = false; // "input" type: the user may type
    bool border = false;
    bool background = false;
    bool embedFonts = false;
    bool condenseWhite = false;
    bool mouseWheelEnabled = true;
    // Movies of version 7 and before measure a right-aligned or centred line with the spaces that end it; later
    // ones leave them out.
    bool alignedTrailingSpaces = false;
    uint32_t borderColor = 0;
    uint32_t backgroundColor = 0xFFFFFF;
    int maxChars = 0; // 0: no limit
    bool hasRestrict = false;
    std::u16string restrict;
    std::string variable;
    AutoSize autoSize = AutoSize::None;
    int scroll = 1; // first shown line, from 1
    int hscroll = 0; // pixels
    std::string antiAliasType = "normal";
    std::string gridFitType = "pixel";
    double sharpness = 0;
    double thickness = 0;
    // Where the text a script last read from the variable came from: the field shows the variable's value
    // while it is set.
    std::u16string variableText;
    bool variableSynced = false;
    std::u16string initialText; // the tag's text, which an unset variable takes when the field binds to it
    // While a style sheet is set, the field reads what scripts give it as HTML and gives back the source it was
    // last given.
    std::u16string styledSource;
    bool hasStyledSource = false;
    // Selection and caret, in units of `text`.
    int selectionBegin = 0;
    int selectionEnd = 0;
    // Units [composingBegin, composingEnd) of `text` are what an input method is composing: shown, not yet typed.
    // Empty while nothing is composed. An edit reaching into them leaves them as ordinary text; one before them
    // moves them.
    size_t composingBegin = 0;
    size_t composingEnd = 0;
    std::shared_ptr<avm1::FieldLink> script; // its script object, once a script has used it

    // Replaces units [begin, end) with `inserted` in `format`.
    void replace(size_t begin, size_t end, const std::u16string& inserted, const CharFormat& format);
    // Replaces the whole text, in the format new text takes.
    void setText(const std::u16string& value);
    // Sets the text from HTML of the player's subset, read as a movie of `version` reads it; the styles of
    // `sheet`, when given, apply to the elements they select.
    void setHtml(
        const std::u16string& value, int version = kNewestMovieVersion, const TextStyleSheet* sheet = nullptr);
    // The text as HTML in the player's form.
    std::u16string htmlText() const;

private:
    void readHtml(const std::u16string& value, int version, const TextStyleSheet* sheet);
};

// A field made from its tag and the tag of its font (null when it has none), its HTML read as a movie of
// `version` reads it.
std::unique_ptr<EditField> FieldFromTag(
    const CDefineEditTextTag& tag, const CTag* font, int version = kNewestMovieVersion);

// The characters of UTF-8 `text` as UTF-16 units and back; a byte that does not start a valid sequence stands for
// itself.
std::u16string ToUtf16(const std::string& text);
std::string ToUtf8(const std::u16string& text);

// Lines of the field's text laid out: measures in twips.
struct FieldLine {
    size_t begin = 0; // units of the text
    size_t end = 0;
    double width = 0; // twips, trailing spaces left out
    double ascent = 0;
    double descent = 0;
    double leading = 0;
    bool firstOfParagraph = true;
};
struct FieldLayout {
    std::vector<FieldLine> lines;
    double textWidth = 0; // twips: the widest line
    double textHeight = 0; // twips: all lines with the leading between them
};
// Measures one character of a format in twips.
using CharMeasure = std::function<double(char16_t, const CharFormat&)>;
// Line metrics of a format in twips (ascent, descent).
using LineMetrics = std::function<std::pair<double, double>(const CharFormat&)>;
FieldLayout LayoutField(const EditField& field, const CharMeasure& advance, const LineMetrics& metrics);

// Measures with the device font: advances and line metrics of a format's size, bold and italic. Each measurer
// has a scratch context of its own, released with it (no font stays referenced between measurements).
class DeviceMeasure
{
public:
    DeviceMeasure();
    ~DeviceMeasure();
    DeviceMeasure(const DeviceMeasure&) = delete;
    DeviceMeasure& operator=(const DeviceMeasure&) = delete;
    double advance(char16_t c, const CharFormat& format);
    std::pair<double, double> metrics(const CharFormat& format);

private:
    void select(const CharFormat& format);
    cairo_surface_t* m_Surface = nullptr;
    cairo_t* m_Context = nullptr;
};

// The inner gap between a field's bounds and its text, in twips.
inline constexpr double kFieldGap = 40.0;
// A list item's text stands this many pixels right of its margins; its bullet this many.
inline constexpr double kBulletIndent = 36.0;
inline constexpr double kBulletGap = 10.0;
inline constexpr char16_t kBullet = 0x2022;
// How far apart the tab stops of a format that sets none are, in pixels.
double DefaultTabStop(const CharFormat& format);

} // namespace reelfinch::plugin
