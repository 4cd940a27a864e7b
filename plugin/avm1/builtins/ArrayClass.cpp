// Array: the constructor's length rules and every method, sort and sortOn with their option flags.
#include "avm1/builtins/Builtins.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace reelfinch::avm1 {

// Text in lower case by the player's own letter mapping (StringClass.cpp, as String.toLowerCase does it).
std::string PlayerLowerCase(std::string_view text);

namespace {

// Array.sort and sortOn options.
constexpr int kCaseInsensitive = 1;
constexpr int kDescending = 2;
constexpr int kUniqueSort = 4;
constexpr int kReturnIndexedArray = 8;
constexpr int kNumeric = 16;
// Elements an array may hold; larger requests are refused.

ArrayObject* Self(const Value& self)
{
    if (self.isObject() && self.asObject()->kind() == ObjectKind::Array)
        return static_cast<ArrayObject*>(self.asObject());
    return nullptr;
}

Value Make(Machine& m, std::vector<Value> items)
{
    ArrayObject* a = m.newArray();
    a->m_Items = std::move(items);
    return Value(static_cast<Object*>(a));
}

Value ArrayConstruct(Machine& m, const Value&, const Value* args, int argc)
{
    ArrayObject* a = m.newArray();
    if (argc == 1 && args[0].isNumber()) {
        a->setLength(ToInt32(args[0].asNumber()));
    } else {
        a->m_Items.assign(args, args + argc);
    }
    return Value(static_cast<Object*>(a));
}

Value Push(Machine&, const Value& self, const Value* args, int argc)
{
    ArrayObject* a = Self(self);
    if (!a)
        return Value();
    a->m_Items.insert(a->m_Items.end(), args, args + argc);
    return Value(double(a->m_Items.size()));
}

Value Pop(Machine&, const Value& self, const Value*, int)
{
    ArrayObject* a = Self(self);
    if (!a || a->m_Items.empty())
        return Value();
    Value v = a->m_Items.back();
    a->resize(a->m_Items.size() - 1);
    return v;
}

// shift and unshift move elements one by one, each as `delete` and then an assignment would: a moved element
// is made anew (newest for for-in, without attributes), unless kDontDelete keeps the old one, whose value then
// changes only without kReadOnly. Holes moved become undefined elements.
Value Shift(Machine&, const Value& self, const Value*, int)
{
    ArrayObject* a = Self(self);
    if (!a || a->m_Items.empty())
        return Value();
    Value v = a->m_Items.front();
    const size_t n = a->m_Items.size();
    const size_t named = a->props().size();
    for (size_t i = 1; i < n; ++i) {
        a->deleteItem(i - 1);
        const Value moved = a->m_Items[i];
        a->writeItem(i - 1, moved, named);
    }
    if (!a->deleteItem(n - 1) && !a->hole(n - 1)) {
        // The last element outlives the shorter length as a named property, as old as the array (a property
        // of that name, which the element hid, takes its value).
        const std::string name = std::to_string(n - 1);
        Property* kept = a->props().find(name, true);
        if (!kept) {
            kept = &a->props().addFirst(name);
            if (a->m_Born.size() < n)
                a->m_Born.resize(n, 0);
            for (uint64_t& key : a->m_Born)
                key += uint64_t(1) << 32;
        }
        kept->value = a->m_Items[n - 1];
        kept->setter = Value();
        kept->flags = a->itemFlags(n - 1);
    }
    a->resize(n - 1);
    return v;
}

Value Unshift(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* a = Self(self);
    if (!a)
        return Value();
    if (argc <= 0)
        return Value(double(a->m_Items.size()));
    const size_t n = a->m_Items.size();
    const size_t k = size_t(argc);
    // Attributes kept as named properties under an element's index go.
    std::vector<std::string> attributed;
    for (const Property& p : a->props().entries())
        if (!p.removed && !(p.flags & kAccessor) && !p.name.empty()
            && std::all_of(p.name.begin(), p.name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            attributed.push_back(p.name);
    for (const std::string& name : attributed)
        a->props().remove(name, m.caseSensitive());
    const size_t named = a->props().size();
    // The moved elements from the top down, then the new ones from the first.
    for (size_t i = n; i-- > 0;) {
        a->deleteItem(i + k);
        const Value moved = a->m_Items[i];
        a->writeItem(i + k, moved, named);
    }
    for (size_t j = 0; j < k; ++j) {
        a->deleteItem(j);
        a->writeItem(j, args[j], named);
    }
    return Value(double(a->m_Items.size()));
}

long Clamp(Machine& m, const Value& v, long length, long fallback)
{
    if (v.isUndefined())
        return fallback;
    double n = m.toNumber(v);
    if (std::isnan(n))
        n = 0;
    n = std::trunc(n);
    if (n < 0)
        n = std::max(0.0, double(length) + n);
    return long(std::min(n, double(length)));
}

Value Slice(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* a = Self(self);
    if (!a)
        return Value();
    const long length = long(a->m_Items.size());
    const long from = Clamp(m, Arg(args, argc, 0), length, 0);
    const long to = Clamp(m, Arg(args, argc, 1), length, length);
    std::vector<Value> items;
    if (to > from)
        items.assign(a->m_Items.begin() + from, a->m_Items.begin() + to);
    return Make(m, std::move(items));
}

Value Splice(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* a = Self(self);
    if (!a || argc < 1)
        return Value();
    const long length = long(a->m_Items.size());
    const long from = Clamp(m, args[0], length, 0);
    long count = length - from;
    if (argc > 1) {
        const double n = m.toNumber(args[1]);
        count = std::isnan(n) || n < 0 ? 0 : long(std::min(n, double(length - from)));
    }
    std::vector<Value> removed(a->m_Items.begin() + from, a->m_Items.begin() + from + count);
    a->m_Items.erase(a->m_Items.begin() + from, a->m_Items.begin() + from + count);
    if (argc > 2)
        a->m_Items.insert(a->m_Items.begin() + from, args + 2, args + argc);
    a->clearHoles();
    return Make(m, std::move(removed));
}

Value Concat(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* a = Self(self);
    std::vector<Value> items;
    if (a)
        items = a->m_Items;
    for (int i = 0; i < argc; ++i) {
        if (ArrayObject* other = Self(args[i]))
            items.insert(items.end(), other->m_Items.begin(), other->m_Items.end());
        else
            items.push_back(args[i]);
    }
    return Make(m, std::move(items));
}

Value Join(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* a = Self(self);
    if (!a && !self.isObject())
        return Value(m.emptyString());
    const std::string separator = argc > 0 && !args[0].isUndefined() ? m.toString(args[0]) : ",";
    std::string out;
    // On another object the method reads only its length: the object keeps no elements, so each is undefined.
    const std::vector<Value> items = a ? a->m_Items // a callee may change the array
        : std::vector<Value>(size_t(std::clamp(m.toInt32(m.getMember(self, "length")), 0, ArrayObject::kMaxDenseLength)));
    for (size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += separator;
        out += m.toString(items[i]);
    }
    return Value(m.str(std::move(out)));
}

Value ArrayToString(Machine& m, const Value& self, const Value*, int)
{
    return Join(m, self, nullptr, 0);
}

Value Reverse(Machine&, const Value& self, const Value*, int)
{
    ArrayObject* a = Self(self);
    if (a)
    {
        std::reverse(a->m_Items.begin(), a->m_Items.end());
        a->clearHoles();
    }
    return self;
}

// Compares two values as sort does by default: as strings, or as numbers with NUMERIC.
int CompareValues(Machine& m, const Value& a, const Value& b, int options)
{
    if (options & kNumeric) {
        if (a.isNumber() && b.isNumber()) {
            // NaN sorts after every number.
            const double x = a.asNumber(), y = b.asNumber();
            if (std::isnan(x) || std::isnan(y))
                return std::isnan(x) == std::isnan(y) ? 0 : std::isnan(x) ? 1 : -1;
            return x < y ? -1 : x > y ? 1 : 0;
        }
    }
    if (a.isUndefined() != b.isUndefined())
        return a.isUndefined() ? 1 : -1;
    const std::string x = m.toString(a);
    const std::string y = m.toString(b);
    // Case is folded by the same mapping toLowerCase uses, accented and non-Latin letters included.
    const int c = (options & kCaseInsensitive) ? PlayerLowerCase(x).compare(PlayerLowerCase(y)) : x.compare(y);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// A shell sort of positions, halving the gap from half the length: the order the player leaves equal elements
// in (not a stable one). A script's comparison function may answer anything (at random, or a < b and b < a at
// once); this only compares positions within its bounds and always ends, whatever it is told. `greater(x, y)`
// says whether the element at x goes after the one at y.
template <class Greater>
void ShellSort(std::vector<size_t>& order, Greater greater)
{
    for (size_t gap = order.size() / 2; gap > 0; gap /= 2)
        for (size_t i = gap; i < order.size(); ++i) {
            const size_t moving = order[i];
            size_t j = i;
            for (; j >= gap && greater(order[j - gap], moving); j -= gap)
                order[j] = order[j - gap];
            order[j] = moving;
        }
}

Value SortWith(Machine& m, ArrayObject* a, const std::function<int(const Value&, const Value&)>& compare, int options)
{
    std::vector<size_t> order(a->m_Items.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const std::vector<Value> items = a->m_Items;
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.insert(m.m_Temporaries.end(), items.begin(), items.end());
    bool equal = false;
    ShellSort(order, [&](size_t x, size_t y) {
        int c = compare(items[x], items[y]);
        if (c == 0)
            equal = true;
        if (options & kDescending)
            c = -c;
        return c > 0;
    });
    m.m_Temporaries.resize(mark);
    if ((options & kUniqueSort) && equal)
        return Value(0.0);
    if (options & kReturnIndexedArray) {
        std::vector<Value> indexes;
        for (size_t i : order)
            indexes.push_back(Value(double(i)));
        return Make(m, std::move(indexes));
    }
    for (size_t i = 0; i < order.size() && i < a->m_Items.size(); ++i)
        a->m_Items[i] = items[order[i]];
    a->clearHoles();
    return Value(static_cast<Object*>(a));
}

Value Sort(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* a = Self(self);
    if (!a)
        return Value();
    Value comparator;
    int options = 0;
    int next = 0;
    if (argc > 0 && args[0].isObject() && args[0].asObject()->isFunction()) {
        comparator = args[0];
        next = 1;
    } else if (argc > 0 && !args[0].isNumber() && !args[0].isObject()) {
        return Value(); // neither a comparator nor options: nothing is sorted
    }
    if (argc > next)
        options = m.toInt32(args[next]);
    // Without a comparator, options given twice: the second, unless undefined, is the one used.
    if (!comparator.isObject() && argc > 1 && !args[1].isUndefined())
        options = m.toInt32(args[1]);
    if (comparator.isObject()) {
        return SortWith(
            m, a,
            [&](const Value& x, const Value& y) {
                Value pair[2] = { x, y };
                const double r = m.toNumber(m.call(comparator, Value(), pair, 2));
                return r < 0 ? -1 : r > 0 ? 1 : 0;
            },
            options);
    }
    return SortWith(m, a, [&](const Value& x, const Value& y) { return CompareValues(m, x, y, options); }, options);
}

// The value sortOn compares for one element: a plain object's own stored field (neither its prototypes nor a
// getter are asked), a built-in object's field as scripts read it, and a primitive element itself.
Value SortField(Machine& m, const Value& element, const std::string& field)
{
    if (!element.isObject())
        return element;
    Object* o = element.asObject();
    if (o->kind() != ObjectKind::Plain)
        return m.getMember(element, field);
    const Property* p = o->props().find(field, m.caseSensitive());
    return p && !(p->flags & kAccessor) && PropertyVisible(p->flags, m.version()) ? p->value : Value();
}

Value SortOn(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* a = Self(self);
    if (!a || argc < 1)
        return Value();
    std::vector<std::string> fields;
    std::vector<int> fieldOptions;
    if (ArrayObject* names = Self(args[0])) {
        for (const Value& v : names->m_Items)
            fields.push_back(m.toString(v));
    } else {
        fields.push_back(m.toString(args[0]));
    }
    int options = 0;
    if (argc > 1) {
        if (ArrayObject* list = Self(args[1])) {
            // A list of options counts only when it has one for each field; otherwise none apply.
            if (list->m_Items.size() == fields.size())
                for (const Value& v : list->m_Items)
                    fieldOptions.push_back(m.toInt32(v));
        } else {
            options = m.toInt32(args[1]);
        }
    }
    fieldOptions.resize(fields.size(), options);
    return SortWith(
        m, a,
        [&](const Value& x, const Value& y) {
            for (size_t i = 0; i < fields.size(); ++i) {
                const Value fx = SortField(m, x, fields[i]);
                const Value fy = SortField(m, y, fields[i]);
                int c = CompareValues(m, fx, fy, fieldOptions[i]);
                if (i > 0 && (fieldOptions[i] & kDescending))
                    c = -c;
                if (c != 0)
                    return c;
            }
            return 0;
        },
        fieldOptions.empty() ? options : fieldOptions[0]);
}

} // namespace

void InstallArrayClass(Machine& m)
{
    Object* proto = m.m_ArrayProto;
    FunctionObject* ctor = DefineClass(m, "Array", ArrayConstruct, ArrayConstruct, proto);
    DefineMethods(m, proto,
        {
            { "push", Push },
            { "pop", Pop },
            { "shift", Shift },
            { "unshift", Unshift },
            { "slice", Slice },
            { "splice", Splice },
            { "concat", Concat },
            { "join", Join },
            { "toString", ArrayToString },
            { "reverse", Reverse },
            { "sort", Sort },
            { "sortOn", SortOn },
        });
    const uint16_t constant = kDontEnum | kDontDelete | kReadOnly;
    m.define(ctor, "CASEINSENSITIVE", Value(double(kCaseInsensitive)), constant);
    m.define(ctor, "DESCENDING", Value(double(kDescending)), constant);
    m.define(ctor, "UNIQUESORT", Value(double(kUniqueSort)), constant);
    m.define(ctor, "RETURNINDEXEDARRAY", Value(double(kReturnIndexedArray)), constant);
    m.define(ctor, "NUMERIC", Value(double(kNumeric)), constant);
}

} // namespace reelfinch::avm1
