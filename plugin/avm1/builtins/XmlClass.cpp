// XMLNode and XML: a tree of script objects, each carrying its node state (type, name, value, parent, children,
// attributes). The tree's properties are accessors on XMLNode.prototype, as in the player. The parser follows the
// player's lenient rules and reports the first fault in `status`.
#include "avm1/builtins/NativeData.h"
#include "avm1/builtins/XmlText.h"

#include <optional>

namespace reelfinch::avm1 {

namespace {

enum : int { kElementNode = 1, kTextNode = 3 };

// XML.status values.
enum : int {
    kXmlOk = 0,
    kCdataOpen = -2,
    kDeclOpen = -3,
    kDoctypeOpen = -4,
    kCommentOpen = -5,
    kMalformedElement = -6,
    kAttributeOpen = -8,
    kStartTagUnmatched = -9,
    kEndTagUnmatched = -10,
};

class XmlNode final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        heap.mark(static_cast<Cell*>(parent));
        heap.mark(static_cast<Cell*>(attributes));
        for (Object* c : children)
            heap.mark(static_cast<Cell*>(c));
    }
    size_t extraBytes() const override { return children.capacity() * sizeof(Object*); }
    int type = kElementNode;
    std::optional<std::string> name;
    std::optional<std::string> value;
    Object* parent = nullptr;
    Object* attributes = nullptr;
    std::vector<Object*> children;
};

XmlNode* Node(const Value& v)
{
    return NativeOf<XmlNode>(v);
}

XmlNode* MakeNodeState(Machine& m, Object* object, int type)
{
    XmlNode* n = AttachNative<XmlNode>(m, object);
    n->type = type;
    n->attributes = m.newObject();
    return n;
}

Object* NewNode(Machine& m, int type, std::optional<std::string> text)
{
    Object* o = m.newObject(CurrentPrototype(m, "XMLNode"));
    XmlNode* n = MakeNodeState(m, o, type);
    if (type == kElementNode)
        n->name = std::move(text);
    else
        n->value = std::move(text);
    return o;
}

Value OptionalString(Machine& m, const std::optional<std::string>& s)
{
    return s ? Value(m.str(*s)) : Value::null();
}

// ---- tree edits ----

void Detach(Object* child)
{
    XmlNode* c = Node(Value(child));
    if (!c || !c->parent)
        return;
    XmlNode* p = Node(Value(c->parent));
    if (p)
        std::erase(p->children, child);
    c->parent = nullptr;
}

// True when `node` is `ancestor` or lies under it (inserting it there would make a cycle).
bool Within(Object* node, Object* ancestor)
{
    for (int guard = 0; node && guard < 100000; ++guard) {
        if (node == ancestor)
            return true;
        XmlNode* n = Node(Value(node));
        node = n ? n->parent : nullptr;
    }
    return false;
}

void InsertChild(Object* parent, Object* child, size_t index)
{
    XmlNode* p = Node(Value(parent));
    XmlNode* c = Node(Value(child));
    // A node already in a tree stays where it is: the player moves nodes only after removeNode().
    if (!p || !c || c->parent || Within(parent, child))
        return;
    index = std::min(index, p->children.size());
    p->children.insert(p->children.begin() + long(index), child);
    c->parent = parent;
}

// ---- text ----

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The five named entities and numeric references; anything else stays as written.
std::string Unescape(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (s[i] != '&') {
            out += s[i++];
            continue;
        }
        const size_t semi = s.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += s[i++];
            continue;
        }
        const std::string_view e = s.substr(i + 1, semi - i - 1);
        bool known = true;
        if (e == "lt")
            out += '<';
        else if (e == "gt")
            out += '>';
        else if (e == "amp")
            out += '&';
        else if (e == "quot")
            out += '"';
        else if (e == "apos")
            out += '\'';
        else if (e.size() > 1 && e[0] == '#') {
            const bool hex = e[1] == 'x' || e[1] == 'X';
            const std::string_view digits = e.substr(hex ? 2 : 1);
            uint32_t cp = 0;
            known = !digits.empty();
            for (char c : digits) {
                int d = -1;
                if (c >= '0' && c <= '9')
                    d = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    d = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    d = c - 'A' + 10;
                if (d < 0 || cp > 0x10FFFF) {
                    known = false;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + uint32_t(d);
            }
            if (known)
                AppendUtf8(out, cp);
        } else {
            known = false;
        }
        if (known) {
            i = semi + 1;
        } else {
            out += s[i++];
        }
    }
    return out;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool AllWhite(std::string_view s)
{
    for (char c : s)
        if (!IsSpace(c))
            return false;
    return true;
}

void Serialize(Machine& m, Object* object, std::string& out, int depth)
{
    XmlNode* n = Node(Value(object));
    if (!n || depth > 4096)
        return;
    if (n->type != kElementNode) {
        out += EscapeXmlText(n->value.value_or(""));
        return;
    }
    if (n->name) {
        out += '<';
        out += *n->name;
        for (const Property& p : n->attributes->props().entries()) {
            if (p.removed || (p.flags & (kDontEnum | kAccessor)))
                continue;
            out += ' ';
            out += p.name;
            out += "=\"";
            out += EscapeXmlText(m.toString(p.value));
            out += '"';
        }
        if (n->children.empty()) {
            out += " />";
            return;
        }
        out += '>';
    }
    // Children may be edited by a toString a script installed; walk a copy.
    const std::vector<Object*> children = n->children;
    for (Object* c : children)
        Serialize(m, c, out, depth + 1);
    if (n->name) {
        out += "</";
        out += *n->name;
        out += '>';
    }
}

// ---- the parser ----

struct Parser {
    Parser(Machine& machine, Object* doc, std::string_view text, bool ignore)
        : m(machine)
        , document(doc)
        , s(text)
        , ignoreWhite(ignore)
    {
    }
    Machine& m;
    Object* document;
    std::string_view s;
    bool ignoreWhite;
    size_t i = 0;
    std::string xmlDecl, docType;
    bool hasXmlDecl = false, hasDocType = false;

    void addText(Object* parent, std::string text, bool cdata)
    {
        if (!cdata && ignoreWhite && AllWhite(text))
            return;
        if (text.empty() && !cdata)
            return;
        Object* t = NewNode(m, kTextNode, cdata ? std::move(text) : Unescape(text));
        InsertChild(parent, t, SIZE_MAX);
    }

    // Parses the whole text into `document`; the status.
    int run()
    {
        std::vector<Object*> open { document };
        while (i < s.size()) {
            Object* parent = open.back();
            if (s[i] != '<') {
                const size_t lt = s.find('<', i);
                const size_t end = lt == std::string_view::npos ? s.size() : lt;
                addText(parent, std::string(s.substr(i, end - i)), false);
                i = end;
                continue;
            }
            if (s.substr(i, 4) == "<!--") {
                const size_t e = s.find("-->", i + 4);
                if (e == std::string_view::npos)
                    return kCommentOpen;
                i = e + 3;
            } else if (s.substr(i, 9) == "<![CDATA[") {
                const size_t e = s.find("]]>", i + 9);
                if (e == std::string_view::npos)
                    return kCdataOpen;
                addText(parent, std::string(s.substr(i + 9, e - i - 9)), true);
                i = e + 3;
            } else if (s.substr(i, 2) == "<?") {
                const size_t e = s.find("?>", i + 2);
                if (e == std::string_view::npos)
                    return kDeclOpen;
                xmlDecl += s.substr(i, e + 2 - i);
                hasXmlDecl = true;
                i = e + 2;
            } else if (s.substr(i, 2) == "<!") {
                const size_t e = s.find('>', i + 2);
                if (e == std::string_view::npos)
                    return kDoctypeOpen;
                docType = std::string(s.substr(i, e + 1 - i));
                hasDocType = true;
                i = e + 1;
            } else if (s.substr(i, 2) == "</") {
                const size_t e = s.find('>', i + 2);
                if (e == std::string_view::npos)
                    return kMalformedElement;
                std::string name(s.substr(i + 2, e - i - 2));
                while (!name.empty() && IsSpace(name.back()))
                    name.pop_back();
                i = e + 1;
                if (open.size() < 2)
                    return kEndTagUnmatched;
                XmlNode* top = Node(Value(open.back()));
                if (!top || top->name != name)
                    return kStartTagUnmatched;
                open.pop_back();
            } else {
                const int r = element(open);
                if (r != kXmlOk)
                    return r;
            }
        }
        return open.size() > 1 ? kStartTagUnmatched : kXmlOk;
    }

    int element(std::vector<Object*>& open)
    {
        ++i; // '<'
        const size_t nameStart = i;
        while (i < s.size() && !IsSpace(s[i]) && s[i] != '>' && s[i] != '/')
            ++i;
        if (i >= s.size() || i == nameStart)
            return kMalformedElement;
        Object* e = NewNode(m, kElementNode, std::string(s.substr(nameStart, i - nameStart)));
        XmlNode* en = Node(Value(e));
        InsertChild(open.back(), e, SIZE_MAX);
        for (;;) {
            while (i < s.size() && IsSpace(s[i]))
                ++i;
            if (i >= s.size())
                return kMalformedElement;
            if (s[i] == '>') {
                ++i;
                open.push_back(e);
                return kXmlOk;
            }
            if (s[i] == '/') {
                if (i + 1 < s.size() && s[i + 1] == '>') {
                    i += 2;
                    return kXmlOk;
                }
                return kMalformedElement;
            }
            const size_t a = i;
            while (i < s.size() && !IsSpace(s[i]) && s[i] != '=' && s[i] != '>' && s[i] != '/')
                ++i;
            const std::string attr(s.substr(a, i - a));
            while (i < s.size() && IsSpace(s[i]))
                ++i;
            if (attr.empty() || i >= s.size() || s[i] != '=')
                return kMalformedElement;
            ++i;
            while (i < s.size() && IsSpace(s[i]))
                ++i;
            if (i >= s.size() || (s[i] != '"' && s[i] != '\''))
                return kMalformedElement;
            const char quote = s[i++];
            const size_t close = s.find(quote, i);
            if (close == std::string_view::npos)
                return kAttributeOpen;
            const std::string value = Unescape(s.substr(i, close - i));
            i = close + 1;
            // The first of two same-named attributes wins.
            if (!en->attributes->props().find(attr, m.caseSensitive()))
                en->attributes->setOwn(attr, Value(m.str(value)), m.caseSensitive());
        }
    }
};

void RegisterIds(Machine& m, Object* node, Object* idMap, int depth)
{
    XmlNode* n = Node(Value(node));
    if (!n || depth > 4096)
        return;
    if (n->type == kElementNode && n->name) {
        if (const Property* id = n->attributes->props().find("id", m.caseSensitive()); id && !id->removed)
            m.setProperty(idMap, m.toString(id->value), Value(node));
    }
    for (Object* c : n->children)
        RegisterIds(m, c, idMap, depth + 1);
}

void ParseInto(Machine& m, Object* doc, const std::string& text)
{
    XmlNode* d = Node(Value(doc));
    if (!d)
        return;
    for (Object* c : std::vector<Object*>(d->children))
        Detach(c);
    Parser p(m, doc, text, m.toBoolean(m.getMember(Value(doc), "ignoreWhite")));
    const int status = p.run();
    m.setMember(Value(doc), "status", Value(status));
    m.setMember(Value(doc), "xmlDecl", p.hasXmlDecl ? Value(m.str(p.xmlDecl)) : Value());
    m.setMember(Value(doc), "docTypeDecl", p.hasDocType ? Value(m.str(p.docType)) : Value());
    if (m.version() >= 8) {
        Value idMap = m.getMember(Value(doc), "idMap");
        if (!idMap.isObject()) {
            idMap = Value(m.newObject());
            m.setMember(Value(doc), "idMap", idMap);
        }
        RegisterIds(m, doc, idMap.asObject(), 0);
    }
}

// ---- XMLNode ----

Value NodeConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject() || argc < 1)
        return Value();
    const int type = m.toInt32(args[0]);
    Object* o = self.asObject();
    XmlNode* n = MakeNodeState(m, o, type == kTextNode ? kTextNode : kElementNode);
    if (argc > 1 && !args[1].isNullish()) {
        if (n->type == kElementNode)
            n->name = m.toString(args[1]);
        else
            n->value = m.toString(args[1]);
    }
    return Value();
}

#define NODE_GETTER(fname, body)                                                                                 \
    Value fname(Machine& m, const Value& self, const Value*, int)                                                \
    {                                                                                                            \
        XmlNode* n = Node(self);                                                                                 \
        if (!n)                                                                                                  \
            return Value();                                                                                      \
        (void)m;                                                                                                 \
        body                                                                                                     \
    }

NODE_GETTER(GetNodeType, return Value(n->type);)
NODE_GETTER(GetNodeName, return OptionalString(m, n->name);)
NODE_GETTER(GetNodeValue, return OptionalString(m, n->value);)
NODE_GETTER(GetParent, return Value(n->parent);)
NODE_GETTER(GetAttributes, return Value(n->attributes);)
NODE_GETTER(GetFirstChild, return n->children.empty() ? Value::null() : Value(n->children.front());)
NODE_GETTER(GetLastChild, return n->children.empty() ? Value::null() : Value(n->children.back());)
NODE_GETTER(GetChildNodes, {
    ArrayObject* a = m.newArray();
    for (Object* c : n->children)
        a->m_Items.push_back(Value(c));
    return Value(static_cast<Object*>(a));
})

Value Sibling(const Value& self, int step)
{
    XmlNode* n = Node(self);
    if (!n)
        return Value();
    XmlNode* p = n->parent ? Node(Value(n->parent)) : nullptr;
    if (!p)
        return Value::null();
    auto it = std::find(p->children.begin(), p->children.end(), self.asObject());
    if (it == p->children.end())
        return Value::null();
    const long index = long(it - p->children.begin()) + step;
    if (index < 0 || index >= long(p->children.size()))
        return Value::null();
    return Value(p->children[size_t(index)]);
}

Value GetNext(Machine&, const Value& self, const Value*, int)
{
    return Sibling(self, 1);
}

Value GetPrevious(Machine&, const Value& self, const Value*, int)
{
    return Sibling(self, -1);
}

Value SetNodeName(Machine& m, const Value& self, const Value* args, int argc)
{
    // Writing undefined leaves the name as it is; null clears it.
    XmlNode* n = Node(self);
    if (n && argc > 0 && !args[0].isUndefined())
        n->name = args[0].isNull() ? std::nullopt : std::optional(m.toString(args[0]));
    return Value();
}

Value SetNodeValue(Machine& m, const Value& self, const Value* args, int argc)
{
    if (XmlNode* n = Node(self))
        n->value = (argc < 1 || args[0].isNullish()) ? std::nullopt : std::optional(m.toString(args[0]));
    return Value();
}

Value GetPrefix(Machine& m, const Value& self, const Value*, int)
{
    XmlNode* n = Node(self);
    if (!n || !n->name)
        return Value::null();
    const size_t colon = n->name->find(':');
    return Value(m.str(colon == std::string::npos ? std::string() : n->name->substr(0, colon)));
}

Value GetLocalName(Machine& m, const Value& self, const Value*, int)
{
    XmlNode* n = Node(self);
    if (!n || !n->name)
        return Value::null();
    const size_t colon = n->name->find(':');
    return Value(m.str(colon == std::string::npos ? *n->name : n->name->substr(colon + 1)));
}

// The prefix an attribute declares a namespace for, or nothing when it declares none. Like the player, any
// name that starts with "xmlns" and has no prefix after a colon declares the default namespace.
std::optional<std::string> DeclaredPrefix(const std::string& name)
{
    if (!name.starts_with("xmlns"))
        return std::nullopt;
    if (name.size() > 6 && name[5] == ':')
        return name.substr(6);
    return std::string();
}

// The namespace declared for `prefix` ("" for the default one) on the node or its ancestors.
std::optional<std::string> LookupNamespace(Machine& m, Object* node, const std::string& prefix)
{
    for (int guard = 0; node && guard < 100000; ++guard) {
        XmlNode* n = Node(Value(node));
        if (!n)
            break;
        for (const Property& p : n->attributes->props().entries())
            if (!p.removed && DeclaredPrefix(p.name) == prefix)
                return m.toString(p.value);
        node = n->parent;
    }
    return std::nullopt;
}

Value GetNamespaceURI(Machine& m, const Value& self, const Value*, int)
{
    XmlNode* n = Node(self);
    if (!n || !n->name)
        return Value::null();
    const size_t colon = n->name->find(':');
    auto ns = LookupNamespace(m, self.asObject(), colon == std::string::npos ? "" : n->name->substr(0, colon));
    return ns ? Value(m.str(*ns)) : Value::null();
}

Value GetNamespaceForPrefix(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!Node(self))
        return Value();
    auto ns = LookupNamespace(m, self.asObject(), argc > 0 ? m.toString(args[0]) : std::string());
    return ns ? Value(m.str(*ns)) : Value::null();
}

Value GetPrefixForNamespace(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!Node(self) || argc < 1)
        return Value();
    const std::string uri = m.toString(args[0]);
    Object* node = self.asObject();
    for (int guard = 0; node && guard < 100000; ++guard) {
        XmlNode* n = Node(Value(node));
        if (!n)
            break;
        for (const Property& p : n->attributes->props().entries()) {
            if (p.removed || m.toString(p.value) != uri)
                continue;
            if (auto prefix = DeclaredPrefix(p.name))
                return Value(m.str(*prefix));
        }
        node = n->parent;
    }
    return Value::null();
}

Value AppendChild(Machine&, const Value& self, const Value* args, int argc)
{
    if (Node(self) && argc > 0 && Node(args[0]))
        InsertChild(self.asObject(), args[0].asObject(), SIZE_MAX);
    return Value();
}

Value InsertBefore(Machine&, const Value& self, const Value* args, int argc)
{
    XmlNode* n = Node(self);
    if (!n || argc < 2 || !Node(args[0]) || !Node(args[1]))
        return Value();
    Object* child = args[0].asObject();
    Object* before = args[1].asObject();
    if (child == before)
        return Value();
    auto it = std::find(n->children.begin(), n->children.end(), before);
    if (it == n->children.end())
        return Value();
    InsertChild(self.asObject(), child, size_t(it - n->children.begin()));
    return Value();
}

Value RemoveNode(Machine&, const Value& self, const Value*, int)
{
    if (Node(self))
        Detach(self.asObject());
    return Value();
}

Value HasChildNodes(Machine&, const Value& self, const Value*, int)
{
    XmlNode* n = Node(self);
    return n ? Value(!n->children.empty()) : Value();
}

Object* Clone(Machine& m, Object* source, bool deep, int depth)
{
    XmlNode* s = Node(Value(source));
    Object* copy = m.newObject(source->proto());
    XmlNode* c = MakeNodeState(m, copy, s->type);
    c->name = s->name;
    c->value = s->value;
    for (const Property& p : s->attributes->props().entries())
        if (!p.removed)
            c->attributes->setOwn(p.name, p.value, m.caseSensitive(), p.flags);
    if (deep && depth < 4096)
        for (Object* child : s->children)
            InsertChild(copy, Clone(m, child, true, depth + 1), SIZE_MAX);
    return copy;
}

Value CloneNode(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!Node(self))
        return Value();
    return Value(Clone(m, self.asObject(), argc > 0 && m.toBoolean(args[0]), 0));
}

Value NodeToString(Machine& m, const Value& self, const Value*, int)
{
    XmlNode* n = Node(self);
    if (!n)
        return Value(m.str(""));
    std::string out;
    // The document prints its declarations first.
    if (n->type == kElementNode && !n->name) {
        Value decl = m.getMember(self, "xmlDecl");
        if (!decl.isNullish())
            out += m.toString(decl);
        Value doctype = m.getMember(self, "docTypeDecl");
        if (!doctype.isNullish())
            out += m.toString(doctype);
    }
    Serialize(m, self.asObject(), out, 0);
    return Value(m.str(std::move(out)));
}

// ---- XML ----

Value XmlConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value();
    MakeNodeState(m, self.asObject(), kElementNode);
    if (argc > 0 && !args[0].isNullish())
        ParseInto(m, self.asObject(), m.toString(args[0]));
    return Value();
}

Value ParseXml(Machine& m, const Value& self, const Value* args, int argc)
{
    if (Node(self) && argc > 0)
        ParseInto(m, self.asObject(), m.toString(args[0]));
    return Value();
}

Value CreateElement(Machine& m, const Value&, const Value* args, int argc)
{
    return Value(NewNode(m, kElementNode, argc > 0 ? std::optional(m.toString(args[0])) : std::nullopt));
}

Value CreateTextNode(Machine& m, const Value&, const Value* args, int argc)
{
    return Value(NewNode(m, kTextNode, argc > 0 ? std::optional(m.toString(args[0])) : std::nullopt));
}

// The default onData: parse what arrived and report it, or report the failure.
Value XmlOnData(Machine& m, const Value& self, const Value* args, int argc)
{
    return DeliverLoadedData(m, self, args, argc, ParseXml);
}



Value GetBytesZero(Machine&, const Value& self, const Value*, int)
{
    return Node(self) ? Value(0) : Value();
}

} // namespace

void InstallXmlClasses(Machine& m)
{
    Object* nodeProto = m.newObject();
    FunctionObject* nodeCtor = DefineClass(m, "XMLNode", NodeConstruct, nullptr, nodeProto);
    (void)nodeCtor;
    DefineAccessor(m, nodeProto, "nodeType", GetNodeType, nullptr);
    DefineAccessor(m, nodeProto, "nodeName", GetNodeName, SetNodeName);
    DefineAccessor(m, nodeProto, "nodeValue", GetNodeValue, SetNodeValue);
    DefineAccessor(m, nodeProto, "parentNode", GetParent, nullptr);
    DefineAccessor(m, nodeProto, "attributes", GetAttributes, nullptr);
    DefineAccessor(m, nodeProto, "childNodes", GetChildNodes, nullptr);
    DefineAccessor(m, nodeProto, "firstChild", GetFirstChild, nullptr);
    DefineAccessor(m, nodeProto, "lastChild", GetLastChild, nullptr);
    DefineAccessor(m, nodeProto, "nextSibling", GetNext, nullptr);
    DefineAccessor(m, nodeProto, "previousSibling", GetPrevious, nullptr);
    DefineAccessor(m, nodeProto, "prefix", GetPrefix, nullptr);
    DefineAccessor(m, nodeProto, "localName", GetLocalName, nullptr);
    DefineAccessor(m, nodeProto, "namespaceURI", GetNamespaceURI, nullptr);
    DefineMethods(m, nodeProto,
        {
            { "appendChild", AppendChild },
            { "insertBefore", InsertBefore },
            { "removeNode", RemoveNode },
            { "hasChildNodes", HasChildNodes },
            { "cloneNode", CloneNode },
            { "toString", NodeToString },
            { "getNamespaceForPrefix", GetNamespaceForPrefix },
            { "getPrefixForNamespace", GetPrefixForNamespace },
        });

    Object* xmlProto = m.newObject(nodeProto);
    DefineClass(m, "XML", XmlConstruct, nullptr, xmlProto);
    DefineMethods(m, xmlProto,
        {
            { "parseXML", ParseXml },
            { "createElement", CreateElement },
            { "createTextNode", CreateTextNode },
            { "onData", XmlOnData },
            { "onLoad", Nothing },
            { "load", NotLoaded },
            { "sendAndLoad", Nothing },
            { "send", Nothing },
            { "addRequestHeader", Nothing },
            { "getBytesLoaded", GetBytesZero },
            { "getBytesTotal", GetBytesZero },
        });
    m.define(xmlProto, "ignoreWhite", Value(false), kDontEnum);
    m.define(xmlProto, "contentType", Value(m.str("application/x-www-form-urlencoded")), kDontEnum);
    m.define(xmlProto, "loaded", Value(), kDontEnum);
    m.define(xmlProto, "status", Value(0), kDontEnum);
}

std::string EscapeXmlText(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace reelfinch::avm1
