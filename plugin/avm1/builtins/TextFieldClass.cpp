// TextField: text fields as script objects (placed DefineEditText characters and createTextField's), their
// properties and methods, the variables they show, TextFormat applied to ranges of their text, Selection's focus
// and selection, and keys typed into the field that has the focus.
#include "avm1/builtins/NativeData.h"
#include "avm1/builtins/TextEditing.h"

#include "avm1/Clip.h"
#include "avm1/MatrixParts.h"
#include "render/EditText.h"
#include "render/KernedLayout.h"
#include "timeline/MoviePlayer.h"

#include "TagCodes.h"
#include "Tags.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

namespace reelfinch::avm1 {

// Buttons the mouse rolled over give that up to the keyboard's focus moving on: they roll out.
void RollOutHovered(Machine& m);

using plugin::AutoSize;
using plugin::CharFormat;
using plugin::DisplayObject;
using plugin::EditField;
using plugin::FormatChange;
using plugin::SpriteInstance;
using plugin::TextAlign;

namespace {

constexpr double kTwips = 20.0;
constexpr int kDepthOffset = 16384;
constexpr char16_t kParagraph = u'\r';

// ---- the field behind a script object ----

class FieldData final : public NativeData
{
public:
    std::shared_ptr<FieldLink> link;
};

FieldLink* LinkOf(const Value& self)
{
    FieldData* d = NativeOf<FieldData>(self);
    return d && d->link ? d->link.get() : nullptr;
}

EditField* FieldOf(const Value& self)
{
    FieldLink* link = LinkOf(self);
    return link ? link->field : nullptr;
}

DisplayObject* DisplayOf(FieldLink* link)
{
    if (!link || !link->field || !link->parent())
        return nullptr;
    for (auto& [depth, object] : link->parent()->displayList)
        if (object.field.get() == link->field)
            return &object;
    return nullptr;
}

std::u16string U16(Machine& m, const Value& v)
{
    return plugin::ToUtf16(m.toString(v));
}

Value StringValue(Machine& m, const std::u16string& s)
{
    return Value(m.str(plugin::ToUtf8(s)));
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string FieldPath(Machine& m, FieldLink* link)
{
    DisplayObject* d = DisplayOf(link);
    if (!d)
        return std::string();
    std::string path = m.targetPath(*link->parent(), false);
    return path + "." + d->name;
}

// ---- variables shown by fields ----

// The timeline a field's variable is found from: the clip holding it, or for a field shown by a button (which is
// no timeline) the clip holding that button.
SpriteInstance* VariableTimeline(SpriteInstance* sprite)
{
    for (int n = 0; sprite && sprite->buttonContent && n < 64; ++n)
        sprite = sprite->parent;
    return sprite && !sprite->buttonContent ? sprite : nullptr;
}

// The object and property name a field's variable names, from the timeline that holds the field ("a.b.name",
// "/a/b:name" and "name" forms).
bool VariableHome(Machine& m, FieldLink* link, Value& holder, std::string& name)
{
    const std::string variable = link->field->variable; // a copy: finding the target may run scripts
    SpriteInstance* timeline = VariableTimeline(link->parent());
    if (variable.empty() || !timeline)
        return false;
    const size_t split = variable.find_last_of(".:");
    Object* base = m.clipObject(*timeline);
    if (split == std::string::npos) {
        holder = Value(base);
        name = variable;
        return !name.empty();
    }
    Object* target = m.resolveTarget(base, std::string_view(variable).substr(0, split));
    if (!target)
        return false;
    holder = Value(target);
    name = variable.substr(split + 1);
    return !name.empty();
}

// The field takes its variable's value when the variable is set; an unset variable takes the field's text when
// the field has any. Variables of clips are followed as they change; one of another object is read when the field
// binds to it (`binding`).
void PullVariable(Machine& m, FieldLink* link, bool binding = false)
{
    EditField* field = link ? link->field : nullptr;
    if (!field || field->variable.empty())
        return;
    Value holder;
    std::string name;
    if (!VariableHome(m, link, holder, name))
        return;
    if (!binding && field->variableSynced && holder.asObject()->kind() != ObjectKind::Clip)
        return;
    Value v = m.getMember(holder, name);
    if (!(field = link->field))
        return;
    if (v.isUndefined()) {
        if (!field->variableSynced && !field->text.empty()) {
            field->variableSynced = true;
            m.setMember(holder, name, StringValue(m, field->text));
        }
        return;
    }
    field->variableSynced = true;
    const std::u16string text = U16(m, v);
    if (!(field = link->field) || text == field->variableText)
        return;
    field->variableText = text;
    if (text != field->text) {
        if (field->html)
            field->setHtml(text, m.version());
        else
            field->setText(text);
    }
}

void PushVariable(Machine& m, FieldLink* link)
{
    EditField* field = link ? link->field : nullptr;
    if (!field || field->variable.empty())
        return;
    Value holder;
    std::string name;
    if (!VariableHome(m, link, holder, name))
        return;
    const std::u16string text = field->text;
    field->variableText = text;
    field->variableSynced = true;
    m.setMember(holder, name, StringValue(m, text));
}

std::shared_ptr<FieldLink> LinkFor(Machine& m, SpriteInstance& parent, DisplayObject& display)
{
    EditField* field = m.fieldOf(parent, display);
    if (!field)
        return nullptr;
    if (!field->script) {
        field->script = std::make_shared<FieldLink>();
        field->script->field = field;
    }
    // The children of a button's state are no clip of their own: they only need a link to find their field by.
    if (!parent.buttonContent)
        m.clipObject(parent);
    else if (!parent.script.m_Link) {
        parent.script.m_Link = std::make_shared<ClipLink>();
        parent.script.m_Link->sprite = &parent;
    }
    field->script->holder = parent.script.m_Link;
    return field->script;
}

// ---- layout figures ----

// How a field's characters are measured: fields with embedded fonts measure with the movie's font of each
// character's format (and its kerning), others with the device font.
class FieldMeasures
{
public:
    FieldMeasures(Machine& m, const EditField& field)
        : m_Machine(m)
        , m_Field(field)
    {
    }
    plugin::CharMeasure advance()
    {
        return [this](char16_t c, const CharFormat& f) {
            if (!m_Field.embedFonts)
                return m_Device.advance(c, f);
            const plugin::Font* e = fontFor(f);
            return e ? plugin::EmbeddedAdvance(*e, c, f.size) : 0.0;
        };
    }
    plugin::LineMetrics metrics()
    {
        return [this](const CharFormat& f) {
            // Text in an embedded font the movie lacks shows nothing and takes no room, across or down.
            const plugin::Font* e = fontFor(f);
            return e ? plugin::EmbeddedMetrics(*e, f.size)
                : m_Field.embedFonts ? std::pair(0.0, 0.0)
                                     : m_Device.metrics(f);
        };
    }
    plugin::PairKerning kerning()
    {
        return [this](char16_t a, char16_t b, const CharFormat& f) {
            const plugin::Font* e = fontFor(f);
            return e ? plugin::EmbeddedKerning(*e, a, b, f.size) : 0.0;
        };
    }

private:
    const plugin::Font* fontFor(const CharFormat& f)
    {
        if (!m_Field.embedFonts)
            return nullptr;
        if (!m_Last || m_Last->font != f.font || m_Last->bold != f.bold || m_Last->italic != f.italic) {
            m_Font = m_Machine.embeddedFont(f.font, f.bold, f.italic);
            m_Last = &f;
        }
        return m_Font;
    }
    Machine& m_Machine;
    const EditField& m_Field;
    plugin::DeviceMeasure m_Device;
    const CharFormat* m_Last = nullptr;
    const plugin::Font* m_Font = nullptr;
};

plugin::FieldLayout Layout(Machine& m, const EditField& field)
{
    FieldMeasures measures(m, field);
    return plugin::LayoutField(field, measures.advance(), measures.metrics(), measures.kerning());
}

// Lines that fit in the field's height from `first` (from 0), at least one.
int VisibleLines(const EditField& field, const plugin::FieldLayout& layout, int first)
{
    const double height = field.bottom - field.top - 2 * plugin::kFieldGap;
    double y = 0;
    int count = 0;
    for (size_t i = size_t(std::max(0, first)); i < layout.lines.size(); ++i) {
        const plugin::FieldLine& l = layout.lines[i];
        y += l.ascent + l.descent;
        if (y > height + 0.01 && count > 0)
            break;
        ++count;
        y += l.leading;
    }
    return std::max(1, count);
}

int MaxScroll(const EditField& field, const plugin::FieldLayout& layout)
{
    const int lines = int(layout.lines.size());
    // The last scroll position shows the last line at the bottom.
    double height = field.bottom - field.top - 2 * plugin::kFieldGap;
    int first = lines;
    double y = 0;
    while (first > 0) {
        const plugin::FieldLine& l = layout.lines[size_t(first - 1)];
        const double add = l.ascent + l.descent + (first < lines ? l.leading : 0);
        if (y + add > height + 0.01 && first < lines)
            break;
        y += add;
        --first;
    }
    return std::max(1, first + 1);
}

// Grows or moves the field to its text as autoSize says.
void ApplyAutoSize(Machine& m, EditField& field)
{
    if (field.autoSize == AutoSize::None)
        return;
    const plugin::FieldLayout layout = Layout(m, field);
    const double width = std::ceil(layout.textWidth) + 2 * plugin::kFieldGap;
    const double height = std::ceil(layout.textHeight) + 2 * plugin::kFieldGap;
    if (!field.wordWrap) {
        const double old = field.right - field.left;
        double shift = 0;
        if (field.autoSize == AutoSize::Center)
            shift = std::floor((old - width) / 2); // whole twips
        else if (field.autoSize == AutoSize::Right)
            shift = old - width;
        // The box moves inside the field, its matrix stays: a copy made by duplicateMovieClip stands where the
        // field was placed, while _x reads where the box now begins.
        field.left += shift;
        field.right = field.left + width;
    }
    field.bottom = field.top + height;
}

// ---- TextFormat ----

Value FormatConstructor(Machine& m)
{
    return m.getMember(Value(m.m_Global), "TextFormat");
}

const char* AlignText(TextAlign a)
{
    switch (a) {
    case TextAlign::Right:
        return "right";
    case TextAlign::Center:
        return "center";
    case TextAlign::Justify:
        return "justify";
    default:
        return "left";
    }
}

// Which fields of a format a range shares; the rest read null.
struct Shared {
    bool font = true, size = true, color = true, bold = true, italic = true, underline = true, url = true,
         target = true, align = true, leftMargin = true, rightMargin = true, indent = true, leading = true,
         blockIndent = true, tabStops = true, bullet = true, kerning = true, letterSpacing = true;
};

Value MakeFormat(Machine& m, const CharFormat* f, const Shared& shared)
{
    Value format = m.construct(FormatConstructor(m), nullptr, 0);
    if (!f || !format.isObject())
        return format;
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(format);
    const auto set = [&](bool same, const char* name, const Value& v) {
        if (same)
            m.setMember(format, name, v);
    };
    set(shared.font, "font", Value(m.str(f->font)));
    set(shared.size, "size", Value(f->size));
    set(shared.color, "color", Value(double(f->color)));
    set(shared.bold, "bold", Value(f->bold));
    set(shared.italic, "italic", Value(f->italic));
    set(shared.underline, "underline", Value(f->underline));
    set(shared.url, "url", Value(m.str(f->url)));
    set(shared.target, "target", Value(m.str(f->target)));
    set(shared.align, "align", Value(m.str(AlignText(f->align))));
    set(shared.leftMargin, "leftMargin", Value(f->leftMargin));
    set(shared.rightMargin, "rightMargin", Value(f->rightMargin));
    set(shared.indent, "indent", Value(f->indent));
    set(shared.leading, "leading", Value(f->leading));
    set(shared.blockIndent, "blockIndent", Value(f->blockIndent));
    if (shared.tabStops) {
        ArrayObject* stops = m.newArray();
        for (double s : f->tabStops)
            stops->m_Items.push_back(Value(s));
        m.setMember(format, "tabStops", Value(static_cast<Object*>(stops)));
    }
    set(shared.bullet, "bullet", Value(f->bullet));
    set(shared.kerning, "kerning", Value(f->kerning));
    set(shared.letterSpacing, "letterSpacing", Value(f->letterSpacing));
    m.m_Temporaries.resize(mark);
    return format;
}

FormatChange ReadFormat(Machine& m, const Value& format)
{
    FormatChange c;
    if (!format.isObject())
        return c;
    const auto get = [&](const char* name, Value& out) {
        out = m.getMember(format, name);
        return !out.isNullish();
    };
    Value v;
    if (get("font", v))
        c.font = m.toString(v);
    if (get("url", v))
        c.url = m.toString(v);
    if (get("target", v))
        c.target = m.toString(v);
    if (get("size", v))
        c.size = m.toNumber(v);
    if (get("color", v))
        c.color = ToUint32(m.toNumber(v)) & 0xFFFFFF;
    if (get("bold", v))
        c.bold = m.toBoolean(v);
    if (get("italic", v))
        c.italic = m.toBoolean(v);
    if (get("underline", v))
        c.underline = m.toBoolean(v);
    if (get("kerning", v))
        c.kerning = m.toBoolean(v);
    if (get("bullet", v))
        c.bullet = m.toBoolean(v);
    if (get("letterSpacing", v))
        c.letterSpacing = m.toNumber(v);
    if (get("align", v)) {
        const std::string a = Lower(m.toString(v));
        if (a == "left")
            c.align = TextAlign::Left;
        else if (a == "right")
            c.align = TextAlign::Right;
        else if (a == "center")
            c.align = TextAlign::Center;
        else if (a == "justify")
            c.align = TextAlign::Justify;
    }
    if (get("leftMargin", v))
        c.leftMargin = m.toNumber(v);
    if (get("rightMargin", v))
        c.rightMargin = m.toNumber(v);
    if (get("indent", v))
        c.indent = m.toNumber(v);
    if (get("leading", v))
        c.leading = m.toNumber(v);
    if (get("blockIndent", v))
        c.blockIndent = m.toNumber(v);
    if (get("tabStops", v) && v.isObject()) {
        std::vector<double> stops;
        const double length = m.toNumber(m.getMember(v, "length"));
        for (int i = 0; i < length && i < 1000; ++i)
            stops.push_back(m.toNumber(m.getMember(v, std::to_string(i))));
        c.tabStops = std::move(stops);
    }
    return c;
}

// The indices a getTextFormat or setTextFormat call gives as its leading arguments, as numbers (converted before
// the field is looked at: a conversion may run a script).
struct Indices {
    int count = 0;
    double first = 0;
    double second = 0;
};

Indices ReadIndices(Machine& m, const Value* args, int count)
{
    Indices i;
    i.count = count;
    if (count >= 1)
        i.first = m.toNumber(args[0]);
    if (count >= 2)
        i.second = m.toNumber(args[1]);
    return i;
}

// The range [begin, end) of the field's text the indices name; false when they name none.
bool Range(const EditField& field, const Indices& i, size_t& begin, size_t& end)
{
    const double length = double(field.text.size());
    if (i.count <= 0) {
        begin = 0;
        end = field.text.size();
        return true;
    }
    const double b = i.first;
    double e = i.count >= 2 ? i.second : b + 1;
    if (std::isnan(b) || b < 0)
        return false;
    if (i.count >= 2 && (std::isnan(e) || e > length))
        e = length;
    if (e > length)
        return false;
    if (!(b < e))
        return false;
    begin = size_t(b);
    end = size_t(e);
    return true;
}

// Keeps a field's state alive while a native works on it: a script run meanwhile (a conversion, a setter, a
// watcher) may take the field off the stage, and the native then finishes on the detached state.
std::shared_ptr<EditField> Hold(const Value& self)
{
    FieldLink* link = LinkOf(self);
    return link && link->field ? link->field->shared_from_this() : nullptr;
}

// ---- properties ----

using Getter = Value (*)(Machine&, EditField&, FieldLink*);
using Setter = void (*)(Machine&, EditField&, FieldLink*, const Value&);

// The style sheet a script set on the field, or undefined.
Value StyleSheetOf(Machine& m, FieldLink* link)
{
    if (!link || !link->object || !m.hasOwnProperty(link->object, "\x01styleSheet"))
        return Value();
    return m.getMember(Value(link->object), "\x01styleSheet");
}

// The styles of a style sheet as the HTML reader applies them: the text formats the sheet made of its styles
// (kept in its `_styles` table), by their names in lower case.
plugin::TextStyleSheet StylesOf(Machine& m, const Value& sheet)
{
    plugin::TextStyleSheet styles;
    const Value table = m.getMember(sheet, "_styles");
    if (!table.isObject())
        return styles;
    // Names that differ only in case select the same elements: the one set last wins (the table enumerates its
    // newest name first).
    const std::vector<std::string> names = m.enumerate(table.asObject());
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        const Value format = m.getMember(table, *it);
        if (format.isObject())
            styles[Lower(*it)] = ReadFormat(m, format);
    }
    return styles;
}

// With a style sheet, text of either kind is read as HTML, styled by the sheet, and its source kept for htmlText.
bool SetStyledText(Machine& m, EditField& f, FieldLink* link, const std::u16string& text)
{
    const Value sheet = StyleSheetOf(m, link);
    if (!sheet.isObject())
        return false;
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(sheet);
    const plugin::TextStyleSheet styles = StylesOf(m, sheet);
    m.m_Temporaries.resize(mark);
    const std::u16string source = text; // `text` may be the source kept so far
    f.setHtml(source, plugin::kNewestMovieVersion, &styles);
    f.styledSource = source;
    f.hasStyledSource = true;
    return true;
}

Value GetText(Machine& m, EditField& f, FieldLink* link)
{
    PullVariable(m, link);
    return StringValue(m, link->field ? link->field->text : f.text);
}

void Changed(Machine& m, EditField& f, FieldLink* link)
{
    ApplyAutoSize(m, f);
    PushVariable(m, link);
}

void SetText(Machine& m, EditField& f, FieldLink* link, const Value& v)
{
    const std::u16string text = U16(m, v);
    if (!SetStyledText(m, f, link, text))
        f.setText(text);
    Changed(m, f, link);
}

Value GetHtmlText(Machine& m, EditField& f, FieldLink* link)
{
    PullVariable(m, link);
    if (!link->field)
        return Value();
    if (StyleSheetOf(m, link).isObject())
        return StringValue(m, f.hasStyledSource ? f.styledSource : f.htmlText());
    return StringValue(m, f.html ? f.htmlText() : f.text);
}

void SetHtmlText(Machine& m, EditField& f, FieldLink* link, const Value& v)
{
    const std::u16string text = U16(m, v);
    if (!SetStyledText(m, f, link, text)) {
        if (f.html)
            f.setHtml(text, m.version());
        else
            f.setText(text);
    }
    Changed(m, f, link);
}

template <bool EditField::*Member> Value GetFlag(Machine&, EditField& f, FieldLink*)
{
    return Value(f.*Member);
}

template <bool EditField::*Member> void SetFlag(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    f.*Member = m.toBoolean(v);
    ApplyAutoSize(m, f);
}

template <uint32_t EditField::*Member> Value GetColor(Machine&, EditField& f, FieldLink*)
{
    return Value(double(f.*Member));
}

template <uint32_t EditField::*Member> void SetColor(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    f.*Member = ToUint32(m.toNumber(v)) & 0xFFFFFF;
}

Value GetTextColor(Machine&, EditField& f, FieldLink*)
{
    return Value(double(f.newFormat.color));
}

void SetTextColor(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    const uint32_t c = ToUint32(m.toNumber(v)) & 0xFFFFFF;
    f.newFormat.color = c;
    for (CharFormat& format : f.formats)
        format.color = c;
}

Value GetType(Machine& m, EditField& f, FieldLink*)
{
    return Value(m.str(f.input ? "input" : "dynamic"));
}

void SetType(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    const std::string t = Lower(m.toString(v));
    if (t == "input")
        f.input = true;
    else if (t == "dynamic")
        f.input = false;
}

Value GetLength(Machine&, EditField& f, FieldLink*)
{
    return Value(double(f.text.size()));
}

Value GetMaxChars(Machine&, EditField& f, FieldLink*)
{
    return f.maxChars > 0 ? Value(double(f.maxChars)) : Value::null();
}

void SetMaxChars(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    const int32_t n = m.toInt32(v);
    f.maxChars = n > 0 ? n : 0;
}

Value GetRestrict(Machine& m, EditField& f, FieldLink*)
{
    return f.hasRestrict ? StringValue(m, f.restrict) : Value::null();
}

void SetRestrict(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    f.hasRestrict = !v.isNullish();
    f.restrict = f.hasRestrict ? U16(m, v) : std::u16string();
}

Value GetVariable(Machine& m, EditField& f, FieldLink*)
{
    return f.variable.empty() ? Value::null() : Value(m.str(f.variable));
}

void SetVariable(Machine& m, EditField& f, FieldLink* link, const Value& v)
{
    f.variable = v.isNullish() ? std::string() : m.toString(v);
    f.variableSynced = false;
    f.variableText.clear();
    // A variable not set yet starts from the field's own first text.
    if (f.characterId && f.text != f.initialText) {
        Value holder;
        std::string name;
        if (VariableHome(m, link, holder, name) && m.getMember(holder, name).isUndefined() && link->field)
            link->field->setText(link->field->initialText);
    }
    PullVariable(m, link, true);
}

Value GetAutoSize(Machine& m, EditField& f, FieldLink*)
{
    switch (f.autoSize) {
    case AutoSize::Left:
        return Value(m.str("left"));
    case AutoSize::Center:
        return Value(m.str("center"));
    case AutoSize::Right:
        return Value(m.str("right"));
    default:
        return Value(m.str("none"));
    }
}

void SetAutoSize(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    if (v.isBool()) {
        f.autoSize = v.asBool() ? AutoSize::Left : AutoSize::None;
    } else {
        const std::string a = Lower(m.toString(v));
        f.autoSize = a == "left" ? AutoSize::Left
            : a == "center"      ? AutoSize::Center
            : a == "right"       ? AutoSize::Right
                                 : AutoSize::None;
    }
    ApplyAutoSize(m, f);
}

Value GetTextWidth(Machine& m, EditField& f, FieldLink*)
{
    return Value(std::floor(Layout(m, f).textWidth / kTwips));
}

Value GetTextHeight(Machine& m, EditField& f, FieldLink*)
{
    return Value(std::floor(Layout(m, f).textHeight / kTwips));
}

Value GetScroll(Machine& m, EditField& f, FieldLink*)
{
    return Value(double(std::clamp(f.scroll, 1, MaxScroll(f, Layout(m, f)))));
}

// The line is a 32-bit integer counted from 1; the player keeps it counted from 0, so the lowest integer wraps
// round to the highest and scrolls to the end.
void SetScroll(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    const int32_t fromZero = int32_t(uint32_t(m.toInt32(v)) - 1u);
    f.scroll = std::clamp(fromZero, 0, MaxScroll(f, Layout(m, f)) - 1) + 1;
}

Value GetMaxScroll(Machine& m, EditField& f, FieldLink*)
{
    return Value(double(MaxScroll(f, Layout(m, f))));
}

Value GetBottomScroll(Machine& m, EditField& f, FieldLink*)
{
    const plugin::FieldLayout layout = Layout(m, f);
    const int first = std::clamp(f.scroll, 1, MaxScroll(f, layout));
    return Value(double(first + VisibleLines(f, layout, first - 1) - 1));
}

int MaxHScroll(Machine& m, const EditField& f)
{
    if (f.wordWrap)
        return 0;
    const double inner = f.right - f.left - 2 * plugin::kFieldGap;
    const double over = Layout(m, f).textWidth - inner;
    return over > 0 ? int(std::ceil(over / kTwips)) : 0;
}

Value GetHScroll(Machine& m, EditField& f, FieldLink*)
{
    return Value(double(std::clamp(f.hscroll, 0, MaxHScroll(m, f))));
}

// The position is a 32-bit integer (2^31 wraps to a negative one), kept within the text's extent.
void SetHScroll(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    f.hscroll = std::clamp(int(m.toInt32(v)), 0, MaxHScroll(m, f));
}

Value GetMaxHScroll(Machine& m, EditField& f, FieldLink*)
{
    return Value(double(MaxHScroll(m, f)));
}

Value GetAntiAlias(Machine& m, EditField& f, FieldLink*)
{
    return Value(m.str(f.antiAliasType));
}

void SetAntiAlias(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    const std::string t = m.toString(v);
    if (t == "normal" || t == "advanced")
        f.antiAliasType = t;
}

Value GetGridFit(Machine& m, EditField& f, FieldLink*)
{
    return Value(m.str(f.gridFitType));
}

void SetGridFit(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    const std::string t = m.toString(v);
    if (t == "none" || t == "pixel" || t == "subpixel")
        f.gridFitType = t;
}

template <double EditField::*Member> Value GetNumber(Machine&, EditField& f, FieldLink*)
{
    return Value(f.*Member);
}

// Kept as converted, NaN and infinities included.
template <double EditField::*Member> void SetNumber(Machine& m, EditField& f, FieldLink*, const Value& v)
{
    f.*Member = m.toNumber(v);
}

// Properties whose values live on the script object (tabIndex, styleSheet): kept in a hidden slot.
Value GetStored(Machine& m, const Value& self, const char* slot)
{
    Value v;
    if (self.isObject() && m.hasOwnProperty(self.asObject(), slot))
        v = m.getMember(self, slot);
    return v;
}

struct PropertyEntry {
    const char* name;
    Getter get;
    Setter set;
    bool swf8 = false; // SWF 8 and later; before, a plain property of the prototype
};

// In the reverse of the order a for-in loop lists them.
const PropertyEntry kProperties[] = {
    { "gridFitType", GetGridFit, SetGridFit, true },
    { "antiAliasType", GetAntiAlias, SetAntiAlias, true },
    { "thickness", GetNumber<&EditField::thickness>, SetNumber<&EditField::thickness>, true },
    { "sharpness", GetNumber<&EditField::sharpness>, SetNumber<&EditField::sharpness>, true },
    { "filters", nullptr, nullptr, true },
    { "scroll", GetScroll, SetScroll },
    { "maxscroll", GetMaxScroll, nullptr },
    { "borderColor", GetColor<&EditField::borderColor>, SetColor<&EditField::borderColor> },
    { "backgroundColor", GetColor<&EditField::backgroundColor>, SetColor<&EditField::backgroundColor> },
    { "textColor", GetTextColor, SetTextColor },
    { "tabIndex", nullptr, nullptr },
    { "autoSize", GetAutoSize, SetAutoSize },
    { "text", GetText, SetText },
    { "type", GetType, SetType },
    { "htmlText", GetHtmlText, SetHtmlText },
    { "variable", GetVariable, SetVariable },
    { "hscroll", GetHScroll, SetHScroll },
    { "maxhscroll", GetMaxHScroll, nullptr },
    { "maxChars", GetMaxChars, SetMaxChars },
    { "embedFonts", GetFlag<&EditField::embedFonts>, SetFlag<&EditField::embedFonts> },
    { "html", GetFlag<&EditField::html>, SetFlag<&EditField::html> },
    { "border", GetFlag<&EditField::border>, SetFlag<&EditField::border> },
    { "background", GetFlag<&EditField::background>, SetFlag<&EditField::background> },
    { "wordWrap", GetFlag<&EditField::wordWrap>, SetFlag<&EditField::wordWrap> },
    { "password", GetFlag<&EditField::password>, SetFlag<&EditField::password> },
    { "multiline", GetFlag<&EditField::multiline>, SetFlag<&EditField::multiline> },
    { "selectable", GetFlag<&EditField::selectable>, SetFlag<&EditField::selectable> },
    { "length", GetLength, nullptr },
    { "bottomScroll", GetBottomScroll, nullptr },
    { "textWidth", GetTextWidth, nullptr },
    { "textHeight", GetTextHeight, nullptr },
    { "restrict", GetRestrict, SetRestrict },
    { "condenseWhite", GetFlag<&EditField::condenseWhite>, SetFlag<&EditField::condenseWhite> },
    { "mouseWheelEnabled", GetFlag<&EditField::mouseWheelEnabled>, SetFlag<&EditField::mouseWheelEnabled> },
    { "styleSheet", nullptr, nullptr },
};

template <size_t I> Value PropertyGet(Machine& m, const Value& self, const Value*, int)
{
    const auto hold = Hold(self);
    const PropertyEntry& p = kProperties[I];
    FieldLink* link = LinkOf(self);
    if (!link || !link->field)
        return Value();
    if (!p.get)
        return GetStored(m, self, (std::string("\x01") + p.name).c_str());
    return p.get(m, *link->field, link);
}

template <size_t I> Value PropertySet(Machine& m, const Value& self, const Value* args, int argc)
{
    const auto hold = Hold(self);
    const PropertyEntry& p = kProperties[I];
    FieldLink* link = LinkOf(self);
    if (!link || !link->field)
        return Value();
    if (!p.get) {
        Value v = Arg(args, argc, 0);
        // Tab indices are kept as unsigned 32-bit integers.
        if (std::strcmp(p.name, "tabIndex") == 0 && !v.isUndefined())
            v = Value(double(ToUint32(m.toNumber(v))));
        // A style sheet is any object but a clip; anything else takes it away, and the field forgets the
        // source it was given.
        if (std::strcmp(p.name, "styleSheet") == 0) {
            if (!v.isObject() || m.spriteOf(v))
                v = Value();
            if (!v.isObject())
                link->field->hasStyledSource = false;
        }
        m.define(self.asObject(), std::string("\x01") + p.name, v, kDontEnum);
        // A new sheet styles the source the field was last given afresh.
        if (std::strcmp(p.name, "styleSheet") == 0 && v.isObject() && link->field && link->field->hasStyledSource) {
            EditField& f = *link->field;
            SetStyledText(m, f, link, f.styledSource);
            ApplyAutoSize(m, f);
        }
        return Value();
    }
    if (p.set)
        p.set(m, *link->field, link, Arg(args, argc, 0));
    return Value();
}

template <size_t... I> void DefineProperties(Machine& m, Object* proto, std::index_sequence<I...>)
{
    const auto one = [&](size_t i, NativeFunction get, NativeFunction set) {
        const PropertyEntry& p = kProperties[i];
        if (p.swf8 && m.version() < 8)
            m.define(proto, p.name, Value(), 0);
        else if (std::strcmp(p.name, "filters") == 0)
            DefineAccessor(m, proto, p.name, FiltersGet, FiltersSet, 0); // the display object's, as clips have
        else
            DefineAccessor(m, proto, p.name, get, set, 0);
    };
    (one(I, PropertyGet<I>, PropertySet<I>), ...);
}

// ---- display properties ----

enum class Display { X, Y, XScale, YScale, Alpha, Visible, Width, Height, Rotation, Name, Target, Parent,
    XMouse, YMouse, Quality, HighQuality, FocusRect, SoundBufTime, Url };

double Twentieths(double v)
{
    return std::round(v * kTwips) / kTwips;
}

template <Display D> Value DisplayGet(Machine& m, const Value& self, const Value*, int)
{
    const auto hold = Hold(self);
    FieldLink* link = LinkOf(self);
    DisplayObject* d = DisplayOf(link);
    if (!d)
        return Value();
    EditField& f = *link->field;
    const cairo_matrix_t& mx = d->matrix;
    switch (D) {
    case Display::X:
        return Value(Twentieths((mx.x0 + mx.xx * f.left + mx.xy * f.top) / kTwips));
    case Display::Y:
        return Value(Twentieths((mx.y0 + mx.yx * f.left + mx.yy * f.top) / kTwips));
    case Display::XScale:
        return Value(MatrixScaleX(mx) * 100.0);
    case Display::YScale:
        return Value(MatrixScaleY(mx) * 100.0);
    case Display::Alpha:
        return Value(d->colorTransform.ma * 100.0);
    case Display::Visible:
        return Value(d->visible);
    case Display::Width:
    case Display::Height: {
        // The extent of the box's corners in the parent's space, rotation and skew included.
        double lo = 1e300, hi = -1e300;
        for (const double x : { f.left, f.right })
            for (const double y : { f.top, f.bottom }) {
                const double p = D == Display::Width ? mx.xx * x + mx.xy * y : mx.yx * x + mx.yy * y;
                lo = std::min(lo, p);
                hi = std::max(hi, p);
            }
        return Value(Twentieths((hi - lo) / kTwips));
    }
    case Display::Rotation:
        return Value(MatrixRotation(mx));
    case Display::Name:
        return Value(m.str(d->name));
    case Display::Target: {
        std::string path = m.targetPath(*link->parent(), true);
        if (path != "/")
            path += "/";
        return Value(m.str(path + d->name));
    }
    case Display::Parent:
        return Value(m.clipObject(*link->parent()));
    case Display::Quality:
    case Display::HighQuality:
    case Display::FocusRect:
    case Display::SoundBufTime:
        return m.getMember(Value(m.rootClip()), D == Display::Quality ? "_quality"
                : D == Display::HighQuality                        ? "_highquality"
                : D == Display::FocusRect                          ? "_focusrect"
                                                                   : "_soundbuftime");
    case Display::Url:
        return m.getMember(Value(m.rootClip()), "_url");
    default:
        return Value(0.0);
    }
}

template <Display D> Value DisplaySet(Machine& m, const Value& self, const Value* args, int argc)
{
    // The value is converted first: a conversion may run a script that changes the display list.
    const Value v = Arg(args, argc, 0);
    const double n = D == Display::Name || D == Display::Visible ? 0.0 : m.toNumber(v);
    const std::string name = D == Display::Name ? m.toString(v) : std::string();
    const auto hold = Hold(self);
    FieldLink* link = LinkOf(self);
    DisplayObject* d = DisplayOf(link);
    if (!d)
        return Value();
    EditField& f = *link->field;
    cairo_matrix_t& mx = d->matrix;
    switch (D) {
    case Display::X:
        // The box's place is what _x reads: the matrix takes the rest.
        if (std::isfinite(n))
            mx.x0 = std::trunc(n * kTwips) - (mx.xx * f.left + mx.xy * f.top);
        break;
    case Display::Y:
        if (std::isfinite(n))
            mx.y0 = std::trunc(n * kTwips) - (mx.yx * f.left + mx.yy * f.top);
        break;
    case Display::XScale:
        if (std::isfinite(n))
            SetMatrix(mx, n / 100.0, MatrixScaleY(mx), MatrixRotation(mx));
        break;
    case Display::YScale:
        if (std::isfinite(n))
            SetMatrix(mx, MatrixScaleX(mx), n / 100.0, MatrixRotation(mx));
        break;
    case Display::Alpha:
        // Kept in 256ths, as a colour transform holds it.
        if (std::isfinite(n))
            d->colorTransform.ma = std::trunc(n * 256.0 / 100.0) / 256.0;
        break;
    case Display::Visible:
        d->visible = m.toBoolean(v) || (v.isNumber() && v.asNumber() != 0);
        break;
    case Display::Width:
        // A field's width and height change its box, not its scale.
        if (std::isfinite(n) && n >= 0) {
            const double sx = MatrixScaleX(mx);
            f.right = f.left + (sx > 0 ? std::trunc(n * kTwips / sx) : 0);
            // A field that sizes itself fits its text again, from the new box's edges.
            ApplyAutoSize(m, f);
        }
        break;
    case Display::Height:
        if (std::isfinite(n) && n >= 0) {
            const double sy = MatrixScaleY(mx);
            f.bottom = f.top + (sy > 0 ? std::trunc(n * kTwips / sy) : 0);
            ApplyAutoSize(m, f);
        }
        break;
    case Display::Rotation:
        if (std::isfinite(n))
            SetMatrix(mx, MatrixScaleX(mx), MatrixScaleY(mx), n);
        break;
    case Display::Name:
        d->name = name;
        break;
    case Display::Quality:
    case Display::HighQuality:
    case Display::FocusRect:
    case Display::SoundBufTime:
        m.setMember(Value(m.rootClip()), D == Display::Quality ? "_quality"
                : D == Display::HighQuality                    ? "_highquality"
                : D == Display::FocusRect                      ? "_focusrect"
                                                               : "_soundbuftime",
            v);
        break;
    default:
        break;
    }
    return Value();
}

void DefineDisplayProperties(Machine& m, Object* proto)
{
    const auto both = [&](const char* name, NativeFunction get, NativeFunction set) {
        DefineAccessor(m, proto, name, get, set, kDontEnum | kDontDelete);
    };
    both("_x", DisplayGet<Display::X>, DisplaySet<Display::X>);
    both("_y", DisplayGet<Display::Y>, DisplaySet<Display::Y>);
    both("_xscale", DisplayGet<Display::XScale>, DisplaySet<Display::XScale>);
    both("_yscale", DisplayGet<Display::YScale>, DisplaySet<Display::YScale>);
    both("_alpha", DisplayGet<Display::Alpha>, DisplaySet<Display::Alpha>);
    both("_visible", DisplayGet<Display::Visible>, DisplaySet<Display::Visible>);
    both("_width", DisplayGet<Display::Width>, DisplaySet<Display::Width>);
    both("_height", DisplayGet<Display::Height>, DisplaySet<Display::Height>);
    both("_rotation", DisplayGet<Display::Rotation>, DisplaySet<Display::Rotation>);
    both("_name", DisplayGet<Display::Name>, DisplaySet<Display::Name>);
    both("_target", DisplayGet<Display::Target>, nullptr);
    both("_parent", DisplayGet<Display::Parent>, nullptr);
    both("_xmouse", DisplayGet<Display::XMouse>, nullptr);
    both("_ymouse", DisplayGet<Display::YMouse>, nullptr);
    both("_quality", DisplayGet<Display::Quality>, DisplaySet<Display::Quality>);
    both("_highquality", DisplayGet<Display::HighQuality>, DisplaySet<Display::HighQuality>);
    both("_focusrect", DisplayGet<Display::FocusRect>, DisplaySet<Display::FocusRect>);
    both("_soundbuftime", DisplayGet<Display::SoundBufTime>, DisplaySet<Display::SoundBufTime>);
    both("_url", DisplayGet<Display::Url>, nullptr);
}

// ---- methods ----

Value ToStringMethod(Machine& m, const Value& self, const Value*, int)
{
    FieldLink* link = LinkOf(self);
    if (link && link->field && link->parent())
        return Value(m.str(FieldPath(m, link)));
    // A field that has left the stage keeps the name it last had.
    if (link && !link->lastPath.empty())
        return Value(m.str(link->lastPath));
    return Value(m.str("[object Object]"));
}

Value GetTextFormat(Machine& m, const Value& self, const Value* args, int argc)
{
    const auto hold = Hold(self);
    EditField* f = FieldOf(self);
    if (!f)
        return Value();
    const Indices indices = ReadIndices(m, args, std::min(argc, 2));
    size_t begin = 0;
    size_t end = 0;
    if (!Range(*f, indices, begin, end) || begin >= end)
        return MakeFormat(m, nullptr, Shared {});
    Shared shared;
    const CharFormat& first = f->formats[begin];
    for (size_t i = begin + 1; i < end; ++i) {
        const CharFormat& g = f->formats[i];
        shared.font &= g.font == first.font;
        shared.size &= g.size == first.size;
        shared.color &= g.color == first.color;
        shared.bold &= g.bold == first.bold;
        shared.italic &= g.italic == first.italic;
        shared.underline &= g.underline == first.underline;
        shared.url &= g.url == first.url;
        shared.target &= g.target == first.target;
        shared.align &= g.align == first.align;
        shared.leftMargin &= g.leftMargin == first.leftMargin;
        shared.rightMargin &= g.rightMargin == first.rightMargin;
        shared.indent &= g.indent == first.indent;
        shared.leading &= g.leading == first.leading;
        shared.blockIndent &= g.blockIndent == first.blockIndent;
        shared.tabStops &= g.tabStops == first.tabStops;
        shared.bullet &= g.bullet == first.bullet;
        shared.kerning &= g.kerning == first.kerning;
        shared.letterSpacing &= g.letterSpacing == first.letterSpacing;
    }
    const CharFormat copy = first;
    return MakeFormat(m, &copy, shared);
}

Value SetTextFormat(Machine& m, const Value& self, const Value* args, int argc)
{
    const auto hold = Hold(self);
    if (argc < 1 || !FieldOf(self))
        return Value();
    const Value format = args[argc > 3 ? 2 : argc - 1];
    if (!format.isObject())
        return Value();
    const FormatChange change = ReadFormat(m, format);
    const Indices indices = ReadIndices(m, args, std::min(argc - 1, 2));
    EditField* f = FieldOf(self);
    if (!f)
        return Value();
    size_t begin = 0;
    size_t end = 0;
    if (!Range(*f, indices, begin, end))
        return Value();
    for (size_t i = begin; i < end; ++i)
        change.applyCharacter(f->formats[i]);
    if (change.paragraph() && begin < end) {
        // Paragraph figures belong to whole paragraphs.
        size_t p = begin;
        while (p > 0 && f->text[p - 1] != kParagraph)
            --p;
        size_t q = end;
        while (q < f->text.size() && f->text[q - 1] != kParagraph)
            ++q;
        for (size_t i = p; i < q; ++i)
            change.applyParagraph(f->formats[i]);
    }
    ApplyAutoSize(m, *f);
    return Value();
}

Value GetNewTextFormat(Machine& m, const Value& self, const Value*, int)
{
    const auto hold = Hold(self);
    EditField* f = FieldOf(self);
    if (!f)
        return Value();
    const CharFormat copy = f->newFormat;
    return MakeFormat(m, &copy, Shared {});
}

Value SetNewTextFormat(Machine& m, const Value& self, const Value* args, int argc)
{
    const auto hold = Hold(self);
    if (argc < 1 || !args[0].isObject() || !FieldOf(self))
        return Value();
    const FormatChange change = ReadFormat(m, args[0]);
    if (EditField* f = FieldOf(self)) {
        change.applyCharacter(f->newFormat);
        change.applyParagraph(f->newFormat);
    }
    return Value();
}

Value ReplaceSel(Machine& m, const Value& self, const Value* args, int argc)
{
    const auto hold = Hold(self);
    if (argc < 1 || !FieldOf(self))
        return Value();
    const std::u16string text = U16(m, args[0]);
    FieldLink* link = LinkOf(self);
    EditField* f = FieldOf(self);
    if (!f)
        return Value();
    const size_t a = size_t(std::clamp(std::min(f->selectionBegin, f->selectionEnd), 0, int(f->text.size())));
    const size_t b = size_t(std::clamp(std::max(f->selectionBegin, f->selectionEnd), 0, int(f->text.size())));
    const CharFormat format = a < f->formats.size() ? f->formats[a]
        : a > 0                                     ? f->formats[a - 1]
                                                    : f->newFormat;
    f->replace(a, b, text, format);
    Changed(m, *f, link);
    return Value();
}

Value ReplaceText(Machine& m, const Value& self, const Value* args, int argc)
{
    const auto hold = Hold(self);
    if (argc < 3 || !FieldOf(self))
        return Value();
    const double b = m.toNumber(args[0]);
    const double e = m.toNumber(args[1]);
    const std::u16string text = U16(m, args[2]);
    FieldLink* link = LinkOf(self);
    EditField* f = FieldOf(self);
    if (!f || !(b >= 0) || !(e >= b))
        return Value();
    const size_t begin = size_t(std::min(b, double(f->text.size())));
    const size_t end = size_t(std::min(e, double(f->text.size())));
    const CharFormat format = begin < f->formats.size() ? f->formats[begin]
        : begin > 0                                     ? f->formats[begin - 1]
                                                        : f->newFormat;
    f->replace(begin, end, text, format);
    Changed(m, *f, link);
    return Value();
}

Value GetDepth(Machine&, const Value& self, const Value*, int)
{
    DisplayObject* d = DisplayOf(LinkOf(self));
    return d ? Value(double(int(d->depth) - kDepthOffset)) : Value();
}

Value RemoveTextField(Machine&, const Value& self, const Value*, int)
{
    const auto hold = Hold(self);
    FieldLink* link = LinkOf(self);
    DisplayObject* d = DisplayOf(link);
    // Fields a script made (at depths from 0 up) can be removed; those the timeline placed stay.
    if (!d || int(d->depth) < kDepthOffset)
        return Value();
    link->parent()->displayList.erase(d->depth);
    return Value();
}

// createTextField(name, depth, x, y, width, height)
Value CreateTextField(Machine& m, const Value& self, const Value* args, int argc)
{
    SpriteInstance* sprite = m.spriteOf(self);
    if (!sprite || argc < 6)
        return Value();
    const std::string name = m.toString(args[0]);
    const double depth = double(m.toInt32(args[1])) + kDepthOffset;
    if (depth < 0 || depth > 65535)
        return Value();
    const int32_t x = m.toInt32(args[2]);
    const int32_t y = m.toInt32(args[3]);
    const int32_t width = m.toInt32(args[4]);
    const int32_t height = m.toInt32(args[5]);
    if (!(sprite = m.spriteOf(self)))
        return Value();
    // A clip at that depth is taken off as by removeMovieClip: it lives on until the step's actions have run,
    // which may still be its own.
    if (auto it = sprite->displayList.find(int32_t(depth)); it != sprite->displayList.end() && it->second.sprite)
        m.player().removeSprite(*it->second.sprite);
    DisplayObject& d = sprite->displayList[int32_t(depth)];
    d = DisplayObject {};
    d.depth = uint16_t(depth);
    d.name = name;
    d.matrix.x0 = x * kTwips;
    d.matrix.y0 = y * kTwips;
    d.field = std::make_shared<EditField>();
    EditField& f = *d.field;
    // A negative size is kept: the box then extends to the left of or above the origin.
    f.right = width * kTwips;
    f.bottom = height * kTwips;
    f.selectable = true;
    f.input = false;
    f.alignedTrailingSpaces = m.version() <= 7;
    return Value(m.fieldObject(*sprite, d));
}

Value GetNextHighestDepth(Machine& m, const Value& self, const Value*, int)
{
    SpriteInstance* sprite = m.spriteOf(self);
    if (!sprite)
        return Value();
    int next = 0;
    for (const auto& [depth, object] : sprite->displayList)
        next = std::max(next, int(depth) - kDepthOffset + 1);
    return Value(double(next));
}

Value GetFontList(Machine& m, const Value&, const Value*, int)
{
    ArrayObject* list = m.newArray();
    for (const char* name : { "_sans", "_serif", "_typewriter" })
        list->m_Items.push_back(Value(m.str(name)));
    return Value(static_cast<Object*>(list));
}

// TextFormat.getTextExtent(text, width): the measures of `text` in this format, wrapped at `width` when given.
Value GetTextExtent(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value();
    const FormatChange change = ReadFormat(m, self);
    const std::u16string text = U16(m, Arg(args, argc, 0));
    const Value wrapAt = Arg(args, argc, 1);
    EditField field;
    change.applyCharacter(field.newFormat);
    change.applyParagraph(field.newFormat);
    field.multiline = true;
    field.embedFonts = m.embeddedFont(field.newFormat.font, field.newFormat.bold, field.newFormat.italic) != nullptr;
    const double gutter = 2 * plugin::kFieldGap;
    double wrapWidth = 0;
    if (!wrapAt.isUndefined()) {
        wrapWidth = std::max(0.0, m.toNumber(wrapAt));
        field.wordWrap = true;
        field.right = wrapWidth * kTwips;
    } else {
        field.right = 1e9;
    }
    field.setText(text);
    const plugin::FieldLayout layout = Layout(m, field);
    CharFormat metricsFormat = field.newFormat;
    const auto [ascentTwips, descentTwips] = field.embedFonts
        ? plugin::EmbeddedMetrics(*m.embeddedFont(metricsFormat.font, metricsFormat.bold, metricsFormat.italic),
              metricsFormat.size)
        : plugin::DeviceMeasure().metrics(metricsFormat);
    const double ascent = std::round(ascentTwips / kTwips);
    const double descent = std::round(descentTwips / kTwips);
    const double lines = double(std::max<size_t>(1, layout.lines.size()));
    const double width = std::round(layout.textWidth / kTwips);
    const double height = (ascent + descent) * lines + metricsFormat.leading * (lines - 1);
    Object* out = m.newObject();
    m.setMember(Value(out), "ascent", Value(ascent));
    m.setMember(Value(out), "descent", Value(descent));
    m.setMember(Value(out), "width", Value(width));
    m.setMember(Value(out), "height", Value(height));
    m.setMember(Value(out), "textFieldHeight", Value(height + gutter / kTwips));
    m.setMember(Value(out), "textFieldWidth", Value(wrapAt.isUndefined() ? width + gutter / kTwips : wrapWidth));
    out->setProto(Value());
    return Value(out);
}

// ---- focus and selection ----

class FocusState final : public NativeData
{
public:
    bool makesNativeKind() const override { return false; }
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        heap.mark(focus);
    }
    Value focus; // the focused field's script object, or undefined
};

FocusState* Focus(Machine& m)
{
    return NativeOf<FocusState>(m.getMember(Value(m.m_Global), "Selection"));
}

// Whether a clip and every clip holding it are still on their parents' lists (a removed clip lives on until its
// unload events have run).
bool OnStage(const SpriteInstance* s)
{
    for (int n = 0; s && n < 1000; s = s->parent, ++n)
        if (s->removed)
            return false;
    return s == nullptr;
}

// Whether the focused object is still on the stage: a field that lives, or a clip that does.
bool Alive(Machine& m, const Value& v)
{
    if (FieldLink* link = LinkOf(v))
        return link->field && link->parent() && OnStage(link->parent());
    if (IsButtonObject(v)) {
        SpriteInstance* parent = nullptr;
        return ButtonDisplay(v, &parent) && OnStage(parent);
    }
    SpriteInstance* sprite = m.spriteOf(v);
    return sprite && OnStage(sprite);
}

std::string FocusPath(Machine& m, const Value& v)
{
    if (FieldLink* link = LinkOf(v))
        return FieldPath(m, link);
    if (SpriteInstance* s = m.spriteOf(v))
        return m.targetPath(*s, false);
    if (IsButtonObject(v))
        return m.toString(v);
    return std::string();
}

void ChangeFocus(Machine& m, FocusState* s, const Value& now);

// The focused object, while it lives; one that has left the stage loses the focus, which listeners hear of.
Value Focused(Machine& m)
{
    FocusState* s = Focus(m);
    if (!s || !s->focus.isObject())
        return Value::null();
    if (!Alive(m, s->focus)) {
        ChangeFocus(m, s, Value::null());
        return Value::null();
    }
    if (FieldLink* link = LinkOf(s->focus))
        link->lastPath = FieldPath(m, link);
    return s->focus;
}

} // namespace

Value FocusedObject(Machine& m)
{
    return Focused(m);
}

namespace {

// The focused field, while it lives.
FieldLink* FocusedLink(Machine& m)
{
    return LinkOf(Focused(m));
}

void EditedByUser(Machine& m, EditField& f, FieldLink* link);

void ChangeFocus(Machine& m, FocusState* s, const Value& now)
{
    const Value old = s->focus.isObject() ? s->focus : Value::null();
    s->focus = now.isObject() ? now : Value();
    if (EditField* f = FieldOf(now)) {
        f->selectionBegin = 0;
        f->selectionEnd = int(f->text.size());
    }
    if (FieldLink* link = LinkOf(now))
        link->lastPath = FieldPath(m, link);
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(old);
    m.m_Temporaries.push_back(now);
    // The field giving up the focus keeps what an input method was composing in it as typed text (heard as one
    // change), and has no selection left: its caret goes back to its start.
    if (EditField* f = FieldOf(old); f && !m.strictEquals(old, now)) {
        const auto hold = f->shared_from_this();
        const bool composed = f->composingBegin < f->composingEnd;
        f->composingBegin = f->composingEnd = 0;
        f->selectionBegin = f->selectionEnd = 0;
        if (composed && Alive(m, old))
            EditedByUser(m, *f, LinkOf(old));
    }
    if (old.isObject() && Alive(m, old)) {
        Value arg = now;
        m.callMethod(old, "onKillFocus", &arg, 1);
    }
    if (now.isObject()) {
        Value arg = old;
        m.callMethod(now, "onSetFocus", &arg, 1);
    }
    Value message[3] = { Value(m.str("onSetFocus")), old, now };
    m.callMethod(m.getMember(Value(m.m_Global), "Selection"), "broadcastMessage", message, 3);
    m.m_Temporaries.resize(mark);
}

Value SelectionGetFocus(Machine& m, const Value&, const Value*, int)
{
    const Value focus = Focused(m);
    if (!focus.isObject())
        return Value::null();
    return Value(m.str(FocusPath(m, focus)));
}

// The handlers that make a clip a button.
constexpr const char* kButtonHandlers[] = { "onPress", "onRelease", "onReleaseOutside", "onRollOver", "onRollOut",
    "onDragOver", "onDragOut" };

// A clip takes the focus from a script when its focusEnabled is true or it acts as a button.
bool ClipTakesFocus(Machine& m, SpriteInstance& sprite, const Value& clip)
{
    if (m.toBoolean(m.getMember(clip, "focusEnabled")) || m.actsAsButton(sprite))
        return true;
    return std::any_of(std::begin(kButtonHandlers), std::end(kButtonHandlers),
        [&](const char* name) { return m.hasProperty(clip.asObject(), name); });
}

Value SelectionSetFocus(Machine& m, const Value&, const Value* args, int argc)
{
    FocusState* s = Focus(m);
    if (!s)
        return Value(false);
    Value target = Arg(args, argc, 0);
    if (target.isString())
        target = Value(m.resolveTarget(m.rootClip(), target.str()));
    // Text fields, clips and buttons take the focus; a movie's root does not.
    if (target.isObject() && !LinkOf(target) && !m.spriteOf(target) && !IsButtonObject(target))
        return Value(false);
    if (SpriteInstance* sprite = m.spriteOf(target); sprite && (!sprite->parent || !ClipTakesFocus(m, *sprite, target)))
        return Value(false);
    const Value old = Focused(m);
    const Value now = target.isObject() && Alive(m, target) ? target : Value::null();
    if (m.strictEquals(old, now))
        return Value(now.isObject());
    ChangeFocus(m, s, now);
    return Value(now.isObject());
}

Value SelectionBegin(Machine& m, const Value&, const Value*, int)
{
    FieldLink* link = FocusedLink(m);
    if (!link)
        return Value(-1);
    return Value(double(std::min(link->field->selectionBegin, link->field->selectionEnd)));
}

Value SelectionEnd(Machine& m, const Value&, const Value*, int)
{
    FieldLink* link = FocusedLink(m);
    if (!link)
        return Value(-1);
    return Value(double(std::max(link->field->selectionBegin, link->field->selectionEnd)));
}

Value SelectionCaret(Machine& m, const Value&, const Value*, int)
{
    FieldLink* link = FocusedLink(m);
    if (!link)
        return Value(-1);
    return Value(double(link->field->selectionEnd));
}

Value SelectionSet(Machine& m, const Value&, const Value* args, int argc)
{
    const int32_t b = m.toInt32(Arg(args, argc, 0));
    const int32_t e = m.toInt32(Arg(args, argc, 1));
    FieldLink* link = FocusedLink(m);
    if (!link)
        return Value();
    const int length = int(link->field->text.size());
    link->field->selectionBegin = std::clamp(b, 0, length);
    link->field->selectionEnd = std::clamp(e, 0, length);
    return Value();
}

// Whether `restrict` lets `c` be typed: ranges "a-z", "^" excluding what follows, "\\" escaping.
bool Allowed(const std::u16string& restrict, char16_t c, bool* named = nullptr)
{
    if (named)
        *named = false;
    if (restrict.empty())
        return false;
    // A list that starts by excluding lets everything else through.
    bool allowed = restrict[0] == u'^';
    bool excluding = false;
    for (size_t i = 0; i < restrict.size(); ++i) {
        char16_t a = restrict[i];
        if (a == u'^') {
            excluding = !excluding;
            continue;
        }
        if (a == u'\\' && i + 1 < restrict.size())
            a = restrict[++i];
        char16_t b = a;
        if (i + 2 < restrict.size() && restrict[i + 1] == u'-') {
            i += 2;
            b = restrict[i];
            if (b == u'\\' && i + 1 < restrict.size())
                b = restrict[++i];
        }
        if (c >= a && c <= b) {
            allowed = !excluding;
            if (named)
                *named = true;
        }
    }
    return allowed;
}

} // namespace

namespace {

// Before SWF 6 the class's prototype is hidden from scripts; objects still take it, from this slot of _global.
constexpr const char* kHiddenPrototype = "\x01TextField.prototype";

Object* FieldPrototype(Machine& m)
{
    if (m.version() >= 6)
        return CurrentPrototype(m, "TextField");
    const Value proto = m.getMember(Value(m.m_Global), kHiddenPrototype);
    return proto.isObject() ? proto.asObject() : m.m_ObjectProto;
}

Value FieldConstruct(Machine& m, const Value& self, const Value*, int)
{
    if (!self.isObject())
        return Value();
    if (m.version() < 6)
        self.asObject()->setProto(Value(FieldPrototype(m)));
    // An object made by `new TextField()` shows no field, but is of the field's native kind all the same.
    AttachNative<NativeMark>(m, self.asObject());
    return Value();
}

} // namespace

DisplayObject* FieldDisplay(const Value& field, SpriteInstance** parent)
{
    FieldLink* link = LinkOf(field);
    DisplayObject* d = DisplayOf(link);
    if (d && parent)
        *parent = link->parent();
    return d;
}

bool IsFieldObject(const Value& v)
{
    return NativeOf<FieldData>(v) != nullptr;
}

Object* MakeFieldObject(Machine& m, const std::shared_ptr<FieldLink>& link)
{
    Object* o = m.newObject(FieldPrototype(m));
    AttachNative<FieldData>(m, o)->link = link;
    link->object = o;
    // Each field broadcasts its own events and listens to itself first.
    Value target(o);
    m.callMethod(Value(m.m_Broadcaster), "initialize", &target, 1);
    m.callMethod(target, "addListener", &target, 1);
    return o;
}

void SyncTextFields(Machine& m, SpriteInstance& sprite, bool deep)
{
    // The fields are all found first: reading a variable may run a script that changes the display lists.
    std::vector<SpriteInstance*> todo { &sprite };
    std::vector<std::shared_ptr<FieldLink>> bound;
    for (size_t n = 0; n < todo.size() && n < 100000; ++n) {
        SpriteInstance* s = todo[n];
        for (auto& [depth, object] : s->displayList) {
            if (object.sprite) {
                if (deep)
                    todo.push_back(object.sprite.get());
                continue;
            }
            // The fields a button shows are those of the state it shows now.
            if (object.buttonContent) {
                if (deep)
                    todo.push_back(object.buttonContent.get());
                continue;
            }
            EditField* f = m.fieldOf(*s, object);
            if (f && !f->variable.empty())
                bound.push_back(LinkFor(m, *s, object));
        }
    }
    for (const auto& link : bound)
        PullVariable(m, link.get());
}

namespace {

// An object the Tab key can reach, with where it shows on the stage (twips) and its tab index if it has one.
struct Tabbable {
    Value object;
    double x = 0;
    double y = 0;
    std::optional<double> index;
};

// Text fields that take input and clips whose tabEnabled is true, in display order; children of clips whose
// tabChildren is false are passed over.
void CollectTabbable(Machine& m, SpriteInstance& sprite, const cairo_matrix_t& parent, std::vector<Tabbable>& out,
    int nesting)
{
    if (nesting > 64)
        return;
    for (auto& [depth, object] : sprite.displayList) {
        // Hidden objects, and everything inside hidden clips, are passed over.
        if (!object.visible)
            continue;
        cairo_matrix_t placed;
        cairo_matrix_multiply(&placed, &object.matrix, &parent);
        Value v;
        if (object.sprite)
            v = Value(m.clipObject(*object.sprite));
        else if (Object* field = m.fieldObject(sprite, object))
            v = Value(field);
        else if (Object* button = m.version() >= 6 ? ButtonObject(m, sprite, object) : nullptr)
            v = Value(button);
        else
            continue;
        const Value enabled = m.getMember(v, "tabEnabled");
        const Value index = m.getMember(v, "tabIndex");
        bool take = false;
        if (EditField* f = FieldOf(v))
            take = f->input && !(enabled.isBool() && !enabled.asBool());
        else if (IsButtonObject(v))
            take = enabled.isUndefined() ? object.visible && ButtonEnabled(m, object) : m.toBoolean(enabled);
        else
            // A clip with button handlers (a handler property set, even to undefined) or a tab index is reached
            // unless it says otherwise.
            take = enabled.isUndefined() ? m.actsAsButton(*object.sprite) || !index.isNullish()
                    || std::any_of(std::begin(kButtonHandlers), std::end(kButtonHandlers),
                        [&](const char* name) { return m.hasProperty(v.asObject(), name); })
                                         : m.toBoolean(enabled);
        if (take) {
            // Placed by the top left corner of what it shows: a clip's content, a field's box.
            Tabbable t { v, placed.x0, placed.y0, std::nullopt };
            double box[4] = { 1e300, 1e300, -1e300, -1e300 };
            if (object.sprite && m.player().spriteBounds(*object.sprite, placed, box)) {
                t.x = box[0];
                t.y = box[1];
            } else if (EditField* f = FieldOf(v)) {
                t.x = f->left;
                t.y = f->top;
                cairo_matrix_transform_point(&placed, &t.x, &t.y);
            }
            // Indices order as signed 32-bit integers (a field keeps its index unsigned).
            if (!index.isNullish())
                t.index = double(ToInt32(m.toNumber(index)));
            out.push_back(t);
        }
        if (object.sprite) {
            const Value children = m.getMember(v, "tabChildren");
            if (!(children.isBool() && !children.asBool()))
                CollectTabbable(m, *object.sprite, placed, out, nesting + 1);
        }
    }
}

// The Tab key moves the focus on (back with Shift): through the objects with tab indices in their order when
// any has one, otherwise through all by their place on the stage, top to bottom and left to right.
void MoveFocusByTab(Machine& m, bool back)
{
    FocusState* s = Focus(m);
    if (!s)
        return;
    std::vector<Tabbable> all;
    const cairo_matrix_t identity { 1, 0, 0, 1, 0, 0 };
    // The root's own tabChildren false keeps the Tab key from every object of the movie.
    const Value rootChildren = m.getMember(Value(m.rootClip()), "tabChildren");
    if (!(rootChildren.isBool() && !rootChildren.asBool()))
        CollectTabbable(m, *m.spriteOf(Value(m.rootClip())), identity, all, 0);
    const bool custom = std::any_of(all.begin(), all.end(), [](const Tabbable& t) { return t.index.has_value(); });
    if (custom) {
        all.erase(std::remove_if(all.begin(), all.end(), [](const Tabbable& t) { return !t.index; }), all.end());
        std::stable_sort(all.begin(), all.end(), [](const Tabbable& a, const Tabbable& b) { return *a.index < *b.index; });
    } else {
        std::stable_sort(all.begin(), all.end(),
            [](const Tabbable& a, const Tabbable& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    }
    if (all.empty())
        return;
    const Value current = Focused(m);
    size_t at = all.size();
    for (size_t i = 0; i < all.size(); ++i)
        if (m.strictEquals(all[i].object, current))
            at = i;
    size_t next = 0;
    if (at == all.size())
        next = back ? all.size() - 1 : 0;
    else
        next = back ? (at + all.size() - 1) % all.size() : (at + 1) % all.size();
    if (!m.strictEquals(all[next].object, current)) {
        // Buttons and clips acting as buttons show the keyboard's focus as the mouse over them; the ones the
        // mouse is over give that up first.
        RollOutHovered(m);
        FocusRoll(m, current, false);
        FocusRoll(m, all[next].object, true);
        ChangeFocus(m, s, all[next].object);
    } else if (EditField* f = FieldOf(current)) {
        // Tab coming round to the field that has the focus selects its text again.
        f->selectionBegin = 0;
        f->selectionEnd = int(f->text.size());
    }
}

} // namespace

namespace {

// The character a field takes for `c` typed or pasted: itself, else (under `restrict`) its other letter case
// where the list does not name `c` itself but allows that case ("abc" takes "B" as "b"; "^a" refuses "a").
char16_t RestrictedCharacter(const EditField& f, char16_t c)
{
    bool named = false;
    if (!f.hasRestrict || c == kParagraph || Allowed(f.restrict, c, &named))
        return c;
    if (named)
        return 0;
    char16_t other = c;
    if (c >= u'a' && c <= u'z')
        other = char16_t(c - u'a' + u'A');
    else if (c >= u'A' && c <= u'Z')
        other = char16_t(c - u'A' + u'a');
    return other != c && Allowed(f.restrict, other) ? other : 0;
}

// `text` as typing would put it into the field beside `kept` units of its own: line ends only where the field
// has lines, no other control characters but tabs, the restricted set with its letter case changed where only
// the other case is allowed, and no more than maxChars leaves room for.
std::u16string TypedText(const EditField& f, const std::u16string& text, size_t kept)
{
    std::u16string taken;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            if (!f.multiline)
                continue;
            c = kParagraph;
        }
        if (c != kParagraph && c < 32 && c != u'\t')
            continue;
        if ((c = RestrictedCharacter(f, c)))
            taken.push_back(c);
    }
    if (f.maxChars > 0)
        taken.resize(std::min(taken.size(), size_t(f.maxChars) - std::min(size_t(f.maxChars), kept)));
    return taken;
}

// The user changed the focused field's text: its variable and size follow, and its listeners hear onChanged.
void EditedByUser(Machine& m, EditField& f, FieldLink* link)
{
    Changed(m, f, link);
    Object* o = link->object;
    if (!o)
        return;
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(Value(o));
    Value message[2] = { Value(m.str("onChanged")), Value(o) };
    m.callMethod(Value(o), "broadcastMessage", message, 2);
    m.m_Temporaries.resize(mark);
}

} // namespace

void TypeIntoFocus(Machine& m, int code, int ascii)
{
    if (code == 9) {
        Value key = m.getMember(Value(m.m_Global), "Key");
        Value shift(16.0);
        MoveFocusByTab(m, m.toBoolean(m.callMethod(key, "isDown", &shift, 1)));
        return;
    }
    FieldLink* link = FocusedLink(m);
    if (!link || !link->field->input)
        return;
    const auto hold = link->field->shared_from_this();
    EditField& f = *link->field;
    const int length = int(f.text.size());
    int a = std::clamp(std::min(f.selectionBegin, f.selectionEnd), 0, length);
    int b = std::clamp(std::max(f.selectionBegin, f.selectionEnd), 0, length);
    const CharFormat format = a < length ? f.formats[size_t(a)] : a > 0 ? f.formats[size_t(a - 1)] : f.newFormat;
    bool changed = false;
    if (code == 37 || code == 39) { // left, right
        const int caret = std::clamp(f.selectionEnd + (code == 37 ? -1 : 1), 0, length);
        f.selectionBegin = f.selectionEnd = a == b ? caret : (code == 37 ? a : b);
        return;
    }
    if (code == 36 || code == 35) { // home, end
        f.selectionBegin = f.selectionEnd = code == 36 ? 0 : length;
        return;
    }
    if (code == 8 || code == 46) { // backspace, delete
        if (a == b) {
            if (code == 8 && a > 0)
                --a;
            else if (code == 46 && b < length)
                ++b;
        }
        if (a < b) {
            f.replace(size_t(a), size_t(b), std::u16string(), format);
            changed = true;
        }
    } else {
        char16_t c = 0;
        if (code == 13)
            c = f.multiline ? kParagraph : 0;
        else if (ascii >= 32 && ascii != 127)
            c = char16_t(ascii);
        if (!c)
            return;
        c = RestrictedCharacter(f, c);
        if (!c)
            return;
        if (f.maxChars > 0 && int(f.text.size()) - (b - a) >= f.maxChars)
            return;
        f.replace(size_t(a), size_t(b), std::u16string(1, c), format);
        changed = true;
    }
    if (changed)
        EditedByUser(m, f, link);
}

bool TextIntoFocus(Machine& m, char32_t codePoint)
{
    FieldLink* link = FocusedLink(m);
    if (!link || !link->field->input)
        return false;
    const std::u16string before = link->field->text;
    // A line end is the Enter key's; other control characters type nothing.
    if (codePoint == U'\r' || codePoint == U'\n')
        TypeIntoFocus(m, 13, 13);
    else if (codePoint >= 32 && codePoint != 127 && codePoint < 0x10000)
        TypeIntoFocus(m, 0, int(codePoint));
    link = FocusedLink(m);
    return link && link->field->text != before;
}

bool PasteIntoFocus(Machine& m, const std::u16string& text)
{
    FieldLink* link = FocusedLink(m);
    if (!link || !link->field->input)
        return false;
    const auto hold = link->field->shared_from_this();
    EditField& f = *link->field;
    const int length = int(f.text.size());
    const int a = std::clamp(std::min(f.selectionBegin, f.selectionEnd), 0, length);
    const int b = std::clamp(std::max(f.selectionBegin, f.selectionEnd), 0, length);
    const std::u16string taken = TypedText(f, text, size_t(length - (b - a)));
    // Nothing to paste leaves the selection as it was.
    if (taken.empty())
        return false;
    const CharFormat format = a < length ? f.formats[size_t(a)] : a > 0 ? f.formats[size_t(a - 1)] : f.newFormat;
    f.replace(size_t(a), size_t(b), taken, format);
    EditedByUser(m, f, link);
    return true;
}

bool ComposeInFocus(Machine& m, const std::u16string& text, std::optional<size_t> caret)
{
    FieldLink* link = FocusedLink(m);
    if (!link || !link->field->input)
        return false;
    const auto hold = link->field->shared_from_this();
    EditField& f = *link->field;
    const size_t length = f.text.size();
    // The text composed before gives way; a new composing starts in place of the selection.
    const bool composing = f.composingBegin < f.composingEnd && f.composingEnd <= length;
    const int length32 = int(length);
    const size_t a
        = composing ? f.composingBegin : size_t(std::clamp(std::min(f.selectionBegin, f.selectionEnd), 0, length32));
    const size_t b
        = composing ? f.composingEnd : size_t(std::clamp(std::max(f.selectionBegin, f.selectionEnd), 0, length32));
    const std::u16string taken = TypedText(f, text, length - (b - a));
    if (taken.empty() && !composing)
        return false;
    const CharFormat format = a < length ? f.formats[a] : a > 0 ? f.formats[a - 1] : f.newFormat;
    f.replace(a, b, taken, format);
    f.composingBegin = a;
    f.composingEnd = a + taken.size();
    f.selectionBegin = f.selectionEnd = int(a + std::min(caret.value_or(taken.size()), taken.size()));
    Changed(m, f, link);
    return true;
}

void SelectAllInFocus(Machine& m)
{
    if (FieldLink* link = FocusedLink(m); link && link->field) {
        link->field->selectionBegin = 0;
        link->field->selectionEnd = int(link->field->text.size());
    }
}

namespace {

// Where a point of the field's own space (twips) falls in its text, as the field draws it: the character whose
// advance holds it (none beside or below the text) and the caret position nearest it (before the character
// when the point is in its first half). Lines are taken from the first shown one; a point above them is on it,
// one below them on the last.
struct TextPoint {
    std::optional<size_t> character;
    size_t caret = 0;
};
TextPoint PointInText(Machine& m, const EditField& field, double x, double y)
{
    TextPoint at;
    at.caret = field.text.size();
    FieldMeasures measures(m, field);
    const plugin::CharMeasure advance = measures.advance();
    const plugin::PairKerning kerning = measures.kerning();
    const plugin::FieldLayout layout = plugin::LayoutField(field, advance, measures.metrics(), kerning);
    const double left = std::min(field.left, field.right);
    const double top = std::min(field.top, field.bottom);
    const size_t first = size_t(std::max(0, field.scroll - 1));
    if (first >= layout.lines.size())
        return at;
    double lineTop = top + plugin::kFieldGap;
    size_t n = first;
    bool inside = y >= lineTop;
    for (; n + 1 < layout.lines.size(); ++n) {
        const plugin::FieldLine& line = layout.lines[n];
        const double lineBottom = lineTop + line.ascent + line.descent + line.leading;
        if (y < lineBottom)
            break;
        lineTop = lineBottom;
    }
    const plugin::FieldLine& line = layout.lines[n];
    inside = inside && y < lineTop + line.ascent + line.descent + line.leading;
    // The characters stand where drawing puts them.
    const plugin::PlacedLine placed = plugin::PlaceLine(field, line, advance, kerning);
    at.caret = std::min(line.end, field.text.size());
    bool found = false;
    for (size_t k = 0; k + 1 < placed.x.size(); ++k) {
        const double cx = left + placed.x[k];
        const double w = placed.x[k + 1] - placed.x[k];
        if (!found && x < cx + w / 2) {
            at.caret = line.begin + k;
            found = true;
        }
        if (inside && x >= cx && x < cx + w)
            at.character = line.begin + k;
    }
    return at;
}

// The topmost shown text field under a stage point (twips), with the point in the field's own space.
struct FieldHit {
    SpriteInstance* parent = nullptr;
    DisplayObject* display = nullptr;
    double x = 0;
    double y = 0;
};
std::optional<FieldHit> FieldAt(Machine& m, SpriteInstance& sprite, double x, double y, int nesting)
{
    if (nesting > plugin::kMaxSpriteNesting)
        return std::nullopt;
    for (auto it = sprite.displayList.rbegin(); it != sprite.displayList.rend(); ++it) {
        DisplayObject& object = it->second;
        if (!object.visible)
            continue;
        if (object.sprite) {
            if (auto inner = FieldAt(m, *object.sprite, x, y, nesting + 1))
                return inner;
            continue;
        }
        const EditField* field = m.fieldOf(sprite, object);
        if (!field)
            continue;
        cairo_matrix_t toField;
        const cairo_matrix_t stage = m.player().stageMatrix(sprite);
        cairo_matrix_multiply(&toField, &object.matrix, &stage);
        if (cairo_matrix_invert(&toField) != CAIRO_STATUS_SUCCESS)
            continue;
        double fx = x;
        double fy = y;
        cairo_matrix_transform_point(&toField, &fx, &fy);
        if (fx >= std::min(field->left, field->right) && fx <= std::max(field->left, field->right)
            && fy >= std::min(field->top, field->bottom) && fy <= std::max(field->top, field->bottom))
            return FieldHit { &sprite, &object, fx, fy };
    }
    return std::nullopt;
}

// Calls the function an "asfunction:" link names, from the clip holding the field: "name" or "path.to.name",
// then after the first comma the one text argument (none without a comma). A name without a path is looked for
// on the clip, then in _global; the function runs with the object it was found on as `this`.
void CallLinkFunction(Machine& m, SpriteInstance& parent, const std::string& call)
{
    const size_t comma = call.find(',');
    const std::string path = call.substr(0, comma);
    if (path.empty())
        return;
    Value holder(m.clipObject(parent));
    std::string name = path;
    if (const size_t dot = path.rfind('.'); dot != std::string::npos) {
        size_t p = 0;
        while (p < dot) {
            size_t q = path.find('.', p);
            if (q == std::string::npos || q > dot)
                q = dot;
            holder = m.getMember(holder, path.substr(p, q - p));
            if (!holder.isObject() || m.unwinding())
                return;
            p = q + 1;
        }
        name = path.substr(dot + 1);
    }
    Value function = m.getMember(holder, name);
    if (!function.isObject() && path.find('.') == std::string::npos) {
        holder = Value(m.m_Global);
        function = m.getMember(holder, name);
    }
    if (!function.isObject() || !function.asObject()->isFunction() || m.unwinding())
        return;
    Value argument = comma == std::string::npos ? Value() : Value(m.str(call.substr(comma + 1)));
    m.call(function, holder, &argument, comma == std::string::npos ? 0 : 1);
}

} // namespace

bool PressOnField(Machine& m, SpriteInstance& root, double x, double y)
{
    const auto hit = FieldAt(m, root, x, y, 0);
    if (!hit)
        return false;
    EditField* field = m.fieldOf(*hit->parent, *hit->display);
    if (!field)
        return false;
    const TextPoint at = PointInText(m, *field, hit->x, hit->y);
    // The press puts the caret of the focused field where it was (the focus itself selected the whole text).
    if (FieldLink* focused = FocusedLink(m); focused && focused->field == field)
        field->selectionBegin = field->selectionEnd = int(at.caret);
    const std::optional<size_t> index = at.character;
    if (!index || *index >= field->formats.size())
        return false;
    const std::string url = field->formats[*index].url;
    const std::string target = field->formats[*index].target;
    if (url.empty())
        return false;
    constexpr std::string_view kScheme = "asfunction:";
    if (url.size() >= kScheme.size()
        && std::equal(kScheme.begin(), kScheme.end(), url.begin(),
            [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
        CallLinkFunction(m, *hit->parent, url.substr(kScheme.size()));
    } else if (m.onGetURL) {
        m.onGetURL(url, target, 0);
    }
    return true;
}

void InstallTextFieldClass(Machine& m)
{
    Object* proto = m.newObject();
    FunctionObject* ctor = DefineClass(m, "TextField", nullptr, FieldConstruct, proto);
    if (m.version() < 6) {
        // Text fields are script objects from SWF 6 on: before, the class shows no prototype and its objects
        // inherit nothing (not even toString), though they list the field properties.
        m.define(ctor, "prototype", Value(proto), kDontEnum | kDontDelete | kOnlySwf6);
        m.define(m.m_Global, kHiddenPrototype, Value(proto), kDontEnum | kDontDelete);
        proto->setProto(Value());
    }
    DefineProperties(m, proto, std::make_index_sequence<std::size(kProperties)>());
    DefineDisplayProperties(m, proto);
    DefineMethods(m, proto,
        {
            { "replaceSel", ReplaceSel, uint16_t(kDontEnum | kOnlySwf6) },
            { "getTextFormat", GetTextFormat, uint16_t(kDontEnum | kOnlySwf6) },
            { "setTextFormat", SetTextFormat, uint16_t(kDontEnum | kOnlySwf6) },
            { "removeTextField", RemoveTextField, uint16_t(kDontEnum | kOnlySwf6) },
            { "getNewTextFormat", GetNewTextFormat, uint16_t(kDontEnum | kOnlySwf6) },
            { "setNewTextFormat", SetNewTextFormat, uint16_t(kDontEnum | kOnlySwf6) },
            { "getDepth", GetDepth, uint16_t(kDontEnum | kOnlySwf6) },
            { "replaceText", ReplaceText, uint16_t(kDontEnum | kOnlySwf7) },
            { "toString", ToStringMethod, uint16_t(kDontEnum | kOnlySwf6) },
        });
    DefineMethods(m, ctor, { { "getFontList", GetFontList } });
    DefineMethods(m, CurrentPrototype(m, "TextFormat"), { { "getTextExtent", GetTextExtent } });

    // Clips make fields; getNextHighestDepth is given here only where clips do not have it yet.
    DefineMethods(m, m.m_ClipProto, { { "createTextField", CreateTextField } });
    if (!m.hasOwnProperty(m.m_ClipProto, "getNextHighestDepth"))
        DefineMethods(m, m.m_ClipProto, { { "getNextHighestDepth", GetNextHighestDepth } });

    Value selection = m.getMember(Value(m.m_Global), "Selection");
    if (selection.isObject()) {
        AttachNative<FocusState>(m, selection.asObject());
        DefineMethods(m, selection.asObject(),
            {
                { "getFocus", SelectionGetFocus },
                { "setFocus", SelectionSetFocus },
                { "getBeginIndex", SelectionBegin },
                { "getEndIndex", SelectionEnd },
                { "getCaretIndex", SelectionCaret },
                { "setSelection", SelectionSet },
            });
    }
}

} // namespace reelfinch::avm1
