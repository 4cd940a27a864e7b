// Item collections: the sequences of like records the SWF format is made of (tags, actions, styles, glyphs,
// strings), which differ only in how a sequence ends (a terminating record, or a count before it), plus the tag
// list, the raw data records and the string records.
#pragma once

#include "SWFObject.h"
#include "SWFStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Writing reserves this much room ahead whenever fewer than kCollectionGrowMargin bytes are free, so that a large
// movie is not reallocated for every small record.
inline constexpr uint32_t kCollectionGrowStep = 31744;
inline constexpr uint32_t kCollectionGrowMargin = 5;

// An ordered array of objects; when it owns them it deletes an object as it leaves the list.
class CObjectList
{
public:
    explicit CObjectList(bool ownsObjects = true)
        : m_OwnsObjects(ownsObjects)
    { }
    CObjectList(const CObjectList&) = delete;
    CObjectList& operator=(const CObjectList&) = delete;
    virtual ~CObjectList();

    int AddObject(CSWFObject* object);
    int IndexOf(const CSWFObject* object) const;
    int DeleteObject(CSWFObject* object);
    int DeleteObject(int index);
    void ClearList();
    void SetItemsStyle(unsigned char style);
    CSWFObject* GetItem(int index) const;
    int SetItem(int index, CSWFObject* object);
    int GetSize() const { return static_cast<int>(m_Objects.size()); }
    // Shrinks without deleting (the caller takes over what falls off) or grows with null entries.
    int SetSize(int size);
    int InsertObject(int index, CSWFObject* object);
    int MoveItem(int from, int to);

    bool m_OwnsObjects;

private:
    void Release(CSWFObject* object);
    std::vector<CSWFObject*> m_Objects;
};

// The base of every collection: an owned list of items of m_ItemClassID.
class CSWFItems : public CSWFItem
{
public:
    CSWFItems(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CSWFItems() override;
    int GetClassID() const override { return kClassID_CSWFItems; }
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return m_pList->GetSize() == 0; }
    void SetEmpty() override { m_pList->ClearList(); }

    virtual int CreateItem(CSWFItem*& item, int classID);
    virtual int DestroyItem(CSWFItem*& item);
    virtual int ItemReadSWF(CSWFStream* stream, CSWFItem* item);
    virtual int ItemWriteSWF(CSWFStream* stream, CSWFItem* item);
    virtual int GetSWFItem(CSWFStream* stream, CSWFItem*& item, int classID);
    virtual int PostSWFItem(CSWFStream* stream, CSWFItem* item);
    // Creates one item of m_ItemClassID and appends it; the new index, or 0 when nothing was created.
    virtual int Add(int param);

    // Typed access to the list; the collection keeps ownership.
    int GetItemCount() const { return m_pList->GetSize(); }
    CSWFItem* GetItem(int index) const { return static_cast<CSWFItem*>(m_pList->GetItem(index)); }
    // Appends an item the collection takes over; returns its index.
    int AppendItem(std::unique_ptr<CSWFItem> item) { return m_pList->AddObject(item.release()); }

    std::unique_ptr<CObjectList> m_pList;
    int m_ItemClassID = kClassID_CSWFItem;

protected:
    // Writes every item in order, reserving room ahead; stops at the first failure.
    int WriteItems(CSWFStream* stream);
    // The blank terminator of uncounted collections and the growth rule of writing share this.
    static void ReserveAhead(CSWFStream* stream);
};

// A sequence that ends with a terminating record, kept apart from the list so that it is written back as read.
class CSWFItemsUnCountable : public CSWFItems
{
public:
    using CSWFItems::CSWFItems;
    int GetClassID() const override { return kClassID_CSWFItemsUnCountable; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    virtual CSWFItem* GetLastItem() const { return m_pLastItem.get(); }
    virtual void SetLastItem(CSWFItem* item);
    virtual bool IsLastItem(CSWFItem* item);
    virtual int PostLastItem(CSWFStream* stream);

    std::unique_ptr<CSWFItem> m_pLastItem;
    // The data ended before a terminating record: m_pLastItem is a blank one, and writing leaves it out so that
    // the sequence is written back the way it was read.
    bool m_TerminatorMissing = false;

protected:
    // A new terminating record marked empty (by default of m_ItemClassID), to end a sequence that had none.
    virtual std::unique_ptr<CSWFItem> MakeBlankTerminator();
};

// A sequence preceded by its item count.
class CSWFItemsCountable : public CSWFItems
{
public:
    using CSWFItems::CSWFItems;
    int GetClassID() const override { return kClassID_CSWFItemsCountable; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;

    virtual int GetSWFItemsCount(CSWFStream* stream, unsigned long& count);
    virtual int SetSWFItemsCount(CSWFStream* stream, unsigned long count);
};

// A counted sequence whose count the enclosing record keeps elsewhere and hands over with SetCount.
class CSWFItemsDefineCountable : public CSWFItemsCountable
{
public:
    using CSWFItemsCountable::CSWFItemsCountable;
    int GetClassID() const override { return kClassID_CSWFItemsDefineCountable; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int GetSWFItemsCount(CSWFStream* stream, unsigned long& count) override;
    int SetSWFItemsCount(CSWFStream* stream, unsigned long count) override;

    virtual unsigned long GetCount() const { return static_cast<unsigned long>(GetItemCount()); }
    virtual void SetCount(unsigned long count) { m_DefinedCount = static_cast<uint32_t>(count); }

    uint32_t m_DefinedCount = 0;
};

// A counted sequence that reads and writes its own count in front of the items.
class CSWFItemsAutoCountable : public CSWFItemsCountable
{
public:
    using CSWFItemsCountable::CSWFItemsCountable;
    int GetClassID() const override { return kClassID_CSWFItemsAutoCountable; }
    int GetSWFItemsCount(CSWFStream* stream, unsigned long& count) override;
    int SetSWFItemsCount(CSWFStream* stream, unsigned long count) override;

    virtual int ReadSWFItemsCount(CSWFStream* stream, unsigned long& count);
    virtual int WriteSWFItemsCount(CSWFStream* stream, unsigned long count);
};

class CSWFItemsByteCount : public CSWFItemsAutoCountable
{
public:
    using CSWFItemsAutoCountable::CSWFItemsAutoCountable;
    int GetClassID() const override { return kClassID_CSWFItemsByteCount; }
    int ReadSWFItemsCount(CSWFStream* stream, unsigned long& count) override;
    int WriteSWFItemsCount(CSWFStream* stream, unsigned long count) override;
};

class CSWFItemsWordCount : public CSWFItemsAutoCountable
{
public:
    using CSWFItemsAutoCountable::CSWFItemsAutoCountable;
    int GetClassID() const override { return kClassID_CSWFItemsWordCount; }
    int ReadSWFItemsCount(CSWFStream* stream, unsigned long& count) override;
    int WriteSWFItemsCount(CSWFStream* stream, unsigned long count) override;
};

// One count byte; 0xFF escapes to a 16-bit count except under style 1 (the first shape format).
class CSWFItemsByteWordCount : public CSWFItemsAutoCountable
{
public:
    using CSWFItemsAutoCountable::CSWFItemsAutoCountable;
    int GetClassID() const override { return kClassID_CSWFItemsByteWordCount; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int ReadSWFItemsCount(CSWFStream* stream, unsigned long& count) override;
    int WriteSWFItemsCount(CSWFStream* stream, unsigned long count) override;

    // The count was read in the escaped form although it fits a byte; written back the same way.
    bool m_WideCount = false;
};

// The tags of a movie or a sprite, preceded by the frame count and ended by the End tag.
class CTagsItem : public CSWFItemsUnCountable
{
public:
    CTagsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CTagsItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int ItemReadSWF(CSWFStream* body, CSWFItem* item) override;
    int GetSWFItem(CSWFStream* stream, CSWFItem*& item, int classID) override;
    int PostSWFItem(CSWFStream* stream, CSWFItem* item) override;
    bool IsLastItem(CSWFItem* item) override;
    // Creates the tag of the class for `code`, sets its code and appends it; the new index, or 0.
    int Add(int code) override;

    int GetTagClass(unsigned short code) const;
    CTag* GetTag(int index) const { return static_cast<CTag*>(GetItem(index)); }
    int CountShowFrames() const;

    uint16_t m_FrameCount = 0;
    bool m_SpriteTags = false;
    // The frame count the file declared and the ShowFrame tags it held. A list whose frames are unchanged writes
    // the declared count back, so that a movie with a wrong count still saves to the bytes it was read from.
    uint16_t m_DeclaredFrameCount = 0;
    int m_ReadShowFrames = -1;

protected:
    std::unique_ptr<CSWFItem> MakeBlankTerminator() override;
};

// Raw bytes kept verbatim; the enclosing record says how many to read.
class CDumpItem : public CSWFItem
{
public:
    CDumpItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDumpItem() override;
    int GetClassID() const override { return kClassID_CDumpItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return m_pData->GetSize() == 0; }
    void SetEmpty() override;

    virtual unsigned long GetReadingSize() const { return m_ReadingSize; }
    virtual void SetReadingSize(unsigned long size) { m_ReadingSize = static_cast<uint32_t>(size); }
    virtual CSWFStream* GetData() { return m_pData.get(); }
    virtual void SetData(const CSWFStream* data);

    uint32_t m_ReadingSize = 0;
    std::unique_ptr<CSWFStream> m_pData;
};

// Raw bytes stored zlib-compressed in the file; decompressed on demand when the plain size is known.
class CZDumpItem : public CDumpItem
{
public:
    using CDumpItem::CDumpItem;
    int GetClassID() const override { return kClassID_CZDumpItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    CSWFStream* GetData() override;
    void SetData(const CSWFStream* data) override;

    int SetCompressed(bool compressed);
    bool IsCompressed() const { return m_Compressed; }

    static constexpr uint32_t kNoEstimate = 0xFFFFFFFF;
    bool m_Compressed = true;
    uint32_t m_OutEstimate = kNoEstimate;
    bool m_AutoDecompress = true;
    // The compressed bytes as read: until the plain data is changed, writing gives them back unchanged, whatever
    // compressor made them.
    std::unique_ptr<CSWFStream> m_pOriginal;
};

// A string kept as its bytes (no terminator); the subclasses differ only in how the file frames it.
class CStringMainItem : public CSWFItem
{
public:
    CStringMainItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CStringMainItem() override;
    int GetClassID() const override { return kClassID_CStringMainItem; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::string GetStr() const;
    void SetStr(const std::string& text);
    void SetData(const CSWFStream* data);

    std::unique_ptr<CSWFStream> m_pData;
};

// A string ended by a zero byte.
class C0TrmStringItem : public CStringMainItem
{
public:
    using CStringMainItem::CStringMainItem;
    int GetClassID() const override { return kClassID_C0TrmStringItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
};

// A string preceded by its length byte (at most 255 bytes).
class CPascalStringItem : public CStringMainItem
{
public:
    using CStringMainItem::CStringMainItem;
    int GetClassID() const override { return kClassID_CPascalStringItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
};

// A 16-bit count of zero-terminated strings (the constant pool and function parameter names).
class C0TrmStringsItem : public CSWFItemsWordCount
{
public:
    C0TrmStringsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_C0TrmStringsItem; }
    C0TrmStringItem* GetString(int index) const { return static_cast<C0TrmStringItem*>(GetItem(index)); }
    // Appends a string; its index.
    int AddString(const std::string& text);
};
