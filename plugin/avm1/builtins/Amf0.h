// AMF0, the binary form script values take in stored objects (.sol files) and in remote calls. One writer and
// one reader serve both; they differ only in how arrays are written.
//
// What is written of an object: its own enumerable properties in the order they were made, then the enumerable
// ones its prototypes add (those not hidden by one of its own, enumerable or not). Functions are left out, clips
// are written as undefined, and so is a property read through a getter (the getter never run). An object whose
// constructor (its own `constructor`, else its own `__constructor__`) was given a class name by
// Object.registerClass is written as a typed object under the name registered last for that constructor.
#pragma once

#include "avm1/Machine.h"

#include <string>
#include <string_view>
#include <vector>

namespace reelfinch::avm1::amf0 {

enum Marker : uint8_t {
    kNumber = 0,
    kBoolean = 1,
    kString = 2,
    kObject = 3,
    kMovieClip = 4,
    kNull = 5,
    kUndefined = 6,
    kReference = 7,
    kEcmaArray = 8,
    kObjectEnd = 9,
    kStrictArray = 10,
    kDate = 11,
    kLongString = 12,
    kUnsupported = 13,
    kXml = 15,
    kTypedObject = 16,
};

// How arrays are written. Stored objects write every array as an associative one (its elements by index, then
// its other properties); remote calls write an array with nothing but elements as a strict one (holes as
// undefined) and only an array with other properties as an associative one.
enum class ArrayForm : uint8_t { Associative, StrictWhenDense };

class Writer
{
public:
    // With `cyclesOnly`, an object met again is written in full unless it contains itself (only a cycle is
    // written as a reference), as the local connections between movies write their arguments.
    Writer(Machine& m, ArrayForm arrays, bool cyclesOnly = false)
        : m_Machine(m)
        , m_Arrays(arrays)
        , m_CyclesOnly(cyclesOnly)
    {
    }
    void u8(uint8_t v) { m_Out += char(v); }
    void u16(uint32_t v);
    void u32(uint32_t v);
    void f64(double d);
    // A 16-bit-length string without a marker (property names, packet fields); longer text is cut.
    void name(std::string_view s);
    void value(const Value& v);
    // Whether a property value is written at all (functions and clips are not).
    static bool Writable(const Value& v);
    // The properties `o` writes, in order, with the values written for them.
    std::vector<std::pair<std::string, Value>> storedProperties(Object* o);
    const std::string& bytes() const { return m_Out; }
    std::string take() { return std::move(m_Out); }

private:
    void string(const std::string& s);
    void properties(Object* o, int depth);
    void value(const Value& v, int depth);
    void write(Object* o, int depth);
    std::string typedName(Object* o);

    Machine& m_Machine;
    ArrayForm m_Arrays;
    std::string m_Out;
    bool m_CyclesOnly = false;
    std::vector<Object*> m_Seen; // objects written, for references
    std::vector<Object*> m_Path; // the objects being written now, outermost first
};

class Reader
{
public:
    Reader(Machine& m, std::string_view in)
        : m_Machine(m)
        , m_In(in)
    {
    }
    uint32_t u8();
    uint32_t u16();
    uint32_t u32();
    double f64();
    std::string text(size_t n);
    // One value; on damaged input failed() turns true and the value is undefined.
    Value value() { return value(0); }
    bool failed() const { return m_Failed; }
    bool atEnd() const { return m_At >= m_In.size(); }
    size_t position() const { return m_At; }

private:
    bool need(size_t n);
    void properties(Object* o, int depth);
    Value value(int depth);
    Object* typedObject(const std::string& className);
    Value numbered(const Value& v);

    Machine& m_Machine;
    std::string_view m_In;
    size_t m_At = 0;
    bool m_Failed = false;
    std::vector<Object*> m_Objects;
};

// Whether a stored name is the prototype link (in any case): such names are never set from stored data.
bool IsProtoName(std::string_view key);

} // namespace reelfinch::avm1::amf0
