// The object model's core: every tag, action, record and collection is a CSWFObject with an owner (a back
// reference, through which the movie's version is reached) and a style byte that selects a layout variant.
#pragma once

#include "LowCoreObject.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CSWFStream;
class CSWFObject;

// Receives the fields and owned sub-objects of an object, in declaration order; the dump of a movie tree is
// built on it. Integers and flags go to Int, floating values to Real, text to Text, raw bytes to Bytes, and
// every owned sub-object (or collection item) to Child, which may be given null for an absent optional part.
class CSWFFieldVisitor
{
public:
    virtual ~CSWFFieldVisitor() = default;
    virtual void Int(const char* name, long long value) = 0;
    virtual void Real(const char* name, double value) = 0;
    virtual void Text(const char* name, const std::string& value) = 0;
    virtual void Bytes(const char* name, const uint8_t* data, size_t size) = 0;
    virtual void Child(const char* name, const CSWFObject* child) = 0;
};

// Style bytes with a fixed meaning; 1 to 3 follow the versions of shape, text and bitmap tags.
inline constexpr unsigned char kStyleDefault = 0;
inline constexpr unsigned char kStyleRGBA = 3;
// DefineShape4 and its records: RGBA colours, LINESTYLE2 line styles, focal gradients.
inline constexpr unsigned char kStyleShape4 = 4;
inline constexpr unsigned char kStyleNone = 255;

class CSWFObject : public CLowCoreObject
{
public:
    explicit CSWFObject(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault)
        : m_pOwner(owner), m_Style(style)
    {
    }
    CSWFObject(const CSWFObject&) = delete;
    CSWFObject& operator=(const CSWFObject&) = delete;

    int GetClassID() const override { return kClassID_CSWFObject; }
    virtual int ReadSWF(CSWFStream* stream);
    virtual int WriteSWF(CSWFStream* stream);
    virtual void SetItemStyle(unsigned char style) { m_Style = style; }
    // Deep copy into dest (an object already there is deleted first) with the given owner and style.
    virtual int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const;
    // Hands every field and owned sub-object to the visitor; overrides call their base class first.
    virtual void DescribeFields(CSWFFieldVisitor& visitor) const;

    CSWFObject* GetOwner() const { return m_pOwner; }
    unsigned char GetStyle() const { return m_Style; }

    CSWFObject* m_pOwner;
    unsigned char m_Style;
};

class CSWFItem : public CSWFObject
{
public:
    using CSWFObject::CSWFObject;
    int GetClassID() const override { return kClassID_CSWFItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    virtual bool IsEmpty() const { return false; }
    virtual void SetEmpty() {}
};

class CTag : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return m_TagCode == 0; }
    void SetEmpty() override { m_TagCode = 0; }

    bool m_LongHeader = false;
    uint16_t m_TagCode = 0;
};

class CAction : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CAction; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return m_ActionCode == 0; }
    void SetEmpty() override { m_ActionCode = 0; }

    uint8_t m_ActionCode = 0;
};

// Creates a blank object of the class with that ID, owned by the caller. Returns 0 and leaves dest alone for
// IDs without a creatable class.
int NewInstance(int classID, CSWFObject*& dest, CSWFObject* owner, unsigned char style);

// Copies `src` (which may be null) into an owned field of the same class; the field ends null when src is.
template <class T>
int CopyOwned(const T* src, CSWFObject* owner, unsigned char style, std::unique_ptr<T>& dest)
{
    if (!src) {
        dest.reset();
        return 1;
    }
    CSWFObject* copy = nullptr;
    const int ok = src->MakeCopy(owner, style, copy);
    dest.reset(dynamic_cast<T*>(copy));
    if (copy && !dest)
        delete copy;
    return ok && dest ? 1 : 0;
}

// The typed first step of every MakeCopy override: the base class makes the blank copy, this names its type.
template <class T>
T* CopyTarget(CSWFObject* dest)
{
    return dynamic_cast<T*>(dest);
}
