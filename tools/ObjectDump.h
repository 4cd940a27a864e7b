// Text and JSON dumps of an object tree, built on each object's DescribeFields.
#pragma once

#include <string>

class CSWFObject;

// One line per object, indented two spaces a level: the field name it hangs from (for children), the class
// name, the tag or action code, then every field as name=value; owned sub-objects follow one level deeper.
std::string DumpText(const CSWFObject* root);
// The same tree as one JSON value: {"class": ..., "code": ..., "fields": {...}, "children": [...]}.
std::string DumpJson(const CSWFObject* root);
// Raw bytes are shown by size, a 64-bit FNV-1a digest of the whole block and the first bytes in hex, so dumps of
// large movies stay readable while any changed byte still changes the dump.
std::string DescribeBytes(const unsigned char* data, size_t size);
