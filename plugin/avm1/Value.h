// The script value: a 16-byte tagged union of undefined, null, boolean, number, string and object (movie clips
// are objects of their own kind), and the strings and cells the garbage collector manages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace reelfinch::avm1 {

class Object;
class Machine;

// Everything the collector manages derives from Cell: it lives in the heap's list and carries its mark.
class Cell
{
public:
    Cell() = default;
    Cell(const Cell&) = delete;
    Cell& operator=(const Cell&) = delete;
    virtual ~Cell() = default;
    // Marks the cells this one refers to (the collector has marked this one already).
    virtual void trace(class Heap&) { }
    // Bytes held outside the object itself, counted towards the next collection.
    virtual size_t extraBytes() const { return 0; }

    Cell* m_Next = nullptr;
    bool m_Marked = false;
    bool m_Permanent = false; // never collected (decoded literals, the built-in tables)
};

class String final : public Cell
{
public:
    explicit String(std::string text)
        : m_Text(std::move(text))
    {
    }
    size_t extraBytes() const override { return m_Text.capacity(); }
    const std::string& text() const { return m_Text; }

private:
    std::string m_Text; // UTF-8
};

enum class Type : uint8_t { Undefined, Null, Boolean, Number, String, Object };

class Value
{
public:
    Value()
        : m_Type(Type::Undefined)
        , m_Number(0)
    {
    }
    static Value undefined() { return Value(); }
    static Value null()
    {
        Value v;
        v.m_Type = Type::Null;
        return v;
    }
    Value(bool b)
        : m_Type(Type::Boolean)
        , m_Bool(b)
    {
    }
    Value(double n)
        : m_Type(Type::Number)
        , m_Number(n)
    {
    }
    Value(int n)
        : Value(double(n))
    {
    }
    Value(String* s)
        : m_Type(Type::String)
        , m_String(s)
    {
    }
    Value(Object* o)
        : m_Type(o ? Type::Object : Type::Null)
        , m_Object(o)
    {
    }

    Type type() const { return m_Type; }
    bool isUndefined() const { return m_Type == Type::Undefined; }
    bool isNull() const { return m_Type == Type::Null; }
    bool isNullish() const { return m_Type <= Type::Null; }
    bool isBool() const { return m_Type == Type::Boolean; }
    bool isNumber() const { return m_Type == Type::Number; }
    bool isString() const { return m_Type == Type::String; }
    bool isObject() const { return m_Type == Type::Object; }

    bool asBool() const { return m_Bool; }
    double asNumber() const { return m_Number; }
    String* asString() const { return m_String; }
    const std::string& str() const { return m_String->text(); }
    Object* asObject() const { return m_Object; }

private:
    Type m_Type;
    union {
        bool m_Bool;
        double m_Number;
        String* m_String;
        Object* m_Object;
    };
};
static_assert(sizeof(Value) == 16);

// Conversions that need no object calls. The ones that may call valueOf/toString are Machine's.
bool ToBooleanPrimitive(const Value& v, int swfVersion);
std::string NumberText(double n);
double ToInt32Double(double n);
int32_t ToInt32(double n);
uint32_t ToUint32(double n);

// UTF-8 text and its UTF-16 units (the unit strings of SWF 6 and later).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
size_t Utf16Length(std::string_view text);

} // namespace reelfinch::avm1
