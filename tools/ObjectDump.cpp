#include "ObjectDump.h"

#include "JsonWriter.h"
#include "SWFObject.h"

#include <cinttypes>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr size_t kBytesShown = 32;
constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;
constexpr const char* kCodeField = "code";

std::string FormatReal(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// Gathers one object's fields as printable values and its children, in declaration order.
class FieldCollector : public CSWFFieldVisitor
{
public:
    explicit FieldCollector(bool json)
        : m_Json(json)
    { }

    void Int(const char* name, long long value) override { Add(name, std::to_string(value)); }
    void Real(const char* name, double value) override { Add(name, FormatReal(value)); }
    void Text(const char* name, const std::string& value) override { Add(name, JsonString(value)); }
    void Bytes(const char* name, const uint8_t* data, size_t size) override
    {
        const std::string text = DescribeBytes(data, size);
        Add(name, m_Json ? JsonString(text) : text);
    }
    void Child(const char* name, const CSWFObject* child) override { children.emplace_back(name, child); }

    std::string code;
    std::vector<std::pair<std::string, std::string>> fields;
    std::vector<std::pair<std::string, const CSWFObject*>> children;

private:
    void Add(const char* name, std::string value)
    {
        if (code.empty() && std::string(name) == kCodeField)
            code = value;
        else
            fields.emplace_back(name, std::move(value));
    }
    bool m_Json;
};

void AppendText(const CSWFObject* object, const std::string& fieldName, int depth, std::string& out)
{
    out.append(static_cast<size_t>(depth) * 2, ' ');
    if (!fieldName.empty())
        out += fieldName + ": ";
    if (!object) {
        out += "null\n";
        return;
    }
    FieldCollector collector(false);
    object->DescribeFields(collector);
    out += object->GetClassName();
    if (!collector.code.empty())
        out += " " + collector.code;
    for (const auto& [name, value] : collector.fields)
        out += " " + name + "=" + value;
    out += "\n";
    for (const auto& [name, child] : collector.children)
        AppendText(child, name, depth + 1, out);
}

void AppendJson(const CSWFObject* object, std::string& out)
{
    if (!object) {
        out += "null";
        return;
    }
    FieldCollector collector(true);
    object->DescribeFields(collector);
    out += "{\"class\": " + JsonString(object->GetClassName());
    if (!collector.code.empty())
        out += ", \"code\": " + collector.code;
    out += ", \"fields\": {";
    for (size_t i = 0; i < collector.fields.size(); ++i)
        out += (i ? ", " : "") + JsonString(collector.fields[i].first) + ": " + collector.fields[i].second;
    out += "}, \"children\": [";
    for (size_t i = 0; i < collector.children.size(); ++i) {
        out += (i ? ", " : "");
        out += "{\"field\": " + JsonString(collector.children[i].first) + ", \"object\": ";
        AppendJson(collector.children[i].second, out);
        out += "}";
    }
    out += "]}";
}

} // namespace

std::string DescribeBytes(const unsigned char* data, size_t size)
{
    uint64_t digest = kFnvOffset;
    for (size_t i = 0; i < size; ++i)
        digest = (digest ^ data[i]) * kFnvPrime;
    char head[24];
    std::string text = "<" + std::to_string(size) + " bytes";
    if (size > 0) {
        std::snprintf(head, sizeof head, "%016" PRIx64, digest);
        text += " fnv=" + std::string(head) + " ";
        for (size_t i = 0; i < size && i < kBytesShown; ++i) {
            std::snprintf(head, sizeof head, "%02x", data[i]);
            text += head;
        }
        if (size > kBytesShown)
            text += "...";
    }
    return text + ">";
}

std::string DumpText(const CSWFObject* root)
{
    std::string out;
    AppendText(root, "", 0, out);
    return out;
}

std::string DumpJson(const CSWFObject* root)
{
    std::string out;
    AppendJson(root, out);
    return out;
}
