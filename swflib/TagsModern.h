// Tag classes of the format's versions 8 to 10 (and the few informational tags of authoring tools): file
// attributes, PlaceObject3, DefineShape4, DefineMorphShape2, DefineFont3 and 4 with their alignment zones, text
// settings and names, DefineBitsJPEG4, DoABC, symbol classes, scenes and labels, binary data and the rest.
#pragma once

#include "Filters.h"
#include "Tags.h"

#include <array>
#include <string>

// A variable-length unsigned 32-bit value (EncodedU32): its value and how many bytes it took, so that a
// longer-than-needed encoding is written back as it was.
struct SEncodedU32 {
    uint32_t m_Value = 0;
    uint8_t m_Size = 0; // 0: made here, written in the fewest bytes
};

// FileAttributes: a 32-bit flag word; the named bits and everything else kept apart.
class CFileAttributesTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CFileAttributesTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    bool m_UseDirectBlit = false;
    bool m_UseGPU = false;
    bool m_HasMetadata = false;
    bool m_ActionScript3 = false;
    bool m_UseNetwork = false;
    // The other bits of the word, in their places (bits 7, 2 and 1 of the first byte, the three other bytes).
    uint32_t m_ReservedBits = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// PlaceObject3: the PlaceObject2 fields and a second flag byte for a class name, a filter list, a blend mode,
// bitmap caching, visibility and an opaque background colour.
class CPlaceObject3Tag : public CPlaceObject2Tag
{
public:
    CPlaceObject3Tag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CPlaceObject3Tag() override;
    int GetClassID() const override { return kClassID_CPlaceObject3Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetHasFilterList(bool has);

    bool m_ReservedFlag = false;     // the highest bit of the second flag byte
    bool m_OpaqueBackground = false; // the background colour follows the visibility byte
    bool m_HasVisible = false;
    bool m_HasImage = false;
    bool m_HasClassName = false;
    bool m_HasCacheAsBitmap = false;
    bool m_HasBlendMode = false;
    std::string m_ClassName; // with m_HasClassName
    std::unique_ptr<CFilterListItem> m_pFilterList;
    uint8_t m_BlendMode = 0;   // 0 and 1 normal, 2 layer, 3 multiply, ... 14 hard light
    uint8_t m_BitmapCache = 0; // with m_HasCacheAsBitmap
    uint8_t m_Visible = 1;     // with m_HasVisible
    tRGBARec m_BackgroundColor; // with m_OpaqueBackground

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ImportAssets2: the URL, two reserved bytes (1 and 0) and the assets.
class CImportAssets2Tag : public CImportAssetsTag
{
public:
    using CImportAssetsTag::CImportAssetsTag;
    int GetClassID() const override { return kClassID_CImportAssets2Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint8_t m_Reserved1 = 1;
    uint8_t m_Reserved2 = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// SymbolClass: character IDs and the class names bound to them (the layout of the asset list).
class CSymbolClassTag : public CAssetTag
{
public:
    using CAssetTag::CAssetTag;
    int GetClassID() const override { return kClassID_CSymbolClassTag; }
};

// DoABC: flags, a name and the bytecode as one block.
class CDoABCTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CDoABCTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    static constexpr uint32_t kLazyInitialize = 1;
    uint32_t m_Flags = 0;
    std::string m_Name;
    std::vector<uint8_t> m_ABCData;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ZONERECORD: the alignment zones of one glyph (coordinates and ranges as 16-bit floats, kept as their bits).
class CZoneRecordItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CZoneRecordItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    struct Zone {
        uint16_t m_AlignmentCoordinate = 0; // half-precision float
        uint16_t m_Range = 0;               // half-precision float
    };
    std::vector<Zone> m_Zones; // two in every file written to the format
    uint8_t m_Reserved = 0;    // 6 bits
    bool m_ZoneMaskY = false;
    bool m_ZoneMaskX = false;
};

// A half-precision float as a double.
double HalfToDouble(uint16_t half);

// DefineFontAlignZones: the font, the hint for the text renderer and one zone record per glyph.
class CDefineFontAlignZonesTag : public CParsedTag
{
public:
    CDefineFontAlignZonesTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineFontAlignZonesTag() override;
    int GetClassID() const override { return kClassID_CDefineFontAlignZonesTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_FontID = 0;
    uint8_t m_CSMTableHint = 0; // 2 bits: thin, medium, thick
    uint8_t m_Reserved = 0;     // 6 bits
    std::unique_ptr<CSWFItems> m_pZoneTable; // CZoneRecordItem, up to the body's end

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// CSMTextSettings: how a text field's glyphs are anti-aliased and fitted to the pixel grid.
class CCSMTextSettingsTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CCSMTextSettingsTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_TextID = 0;
    uint8_t m_UseFlashType = 0; // 2 bits
    uint8_t m_GridFit = 0;      // 3 bits
    uint8_t m_Reserved = 0;     // 3 bits
    float m_Thickness = 0;
    float m_Sharpness = 0;
    uint8_t m_Reserved2 = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// DefineFont3: the layout of DefineFont2, glyph coordinates at twenty times the resolution.
class CDefineFont3Tag : public CDefineFont2Tag
{
public:
    using CDefineFont2Tag::CDefineFont2Tag;
    int GetClassID() const override { return kClassID_CDefineFont3Tag; }
};

// DefineFont4: a font given as OpenType data (CFF outlines).
class CDefineFont4Tag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CDefineFont4Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_FontID = 0;
    uint8_t m_Reserved = 0; // 5 bits
    bool m_HasFontData = false;
    bool m_Italic = false;
    bool m_Bold = false;
    std::string m_FontName;
    std::vector<uint8_t> m_FontData;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// DefineFontName: a font's full name and copyright line.
class CDefineFontNameTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CDefineFontNameTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_FontID = 0;
    std::string m_FontName;
    std::string m_FontCopyright;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// A tag that holds one string: Metadata (an RDF description of the movie).
class CMetadataTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CMetadataTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::string m_Metadata;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// DefineScalingGrid: the nine-slice grid of a sprite or button.
class CDefineScalingGridTag : public CParsedTag
{
public:
    CDefineScalingGridTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineScalingGridTag() override;
    int GetClassID() const override { return kClassID_CDefineScalingGridTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_CharacterID = 0;
    std::unique_ptr<CRectItem> m_pSplitter;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// DefineShape4: DefineShape3 with the bounds of the edges alone, stroke flags, LINESTYLE2 line styles and focal
// gradients.
class CDefineShape4Tag : public CShapeTag
{
public:
    CDefineShape4Tag(CSWFObject* owner = nullptr, unsigned char = kStyleDefault);
    ~CDefineShape4Tag() override;
    int GetClassID() const override { return kClassID_CDefineShape4Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<CRectItem> m_pEdgeBounds;
    uint8_t m_Reserved = 0; // 5 bits
    bool m_UsesFillWindingRule = false;
    bool m_UsesNonScalingStrokes = false;
    bool m_UsesScalingStrokes = false;

protected:
    int ReadAfterBounds(CSWFStream* body) override;
    int WriteAfterBounds(CSWFStream* body) override;
};

// DefineMorphShape2: DefineMorphShape with edge bounds, stroke flags and MORPHLINESTYLE2 line styles.
class CDefineMorphShape2Tag : public CDefineMorphShapeTag
{
public:
    CDefineMorphShape2Tag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineMorphShape2Tag() override;
    int GetClassID() const override { return kClassID_CDefineMorphShape2Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<CRectItem> m_pStartEdgeBounds;
    std::unique_ptr<CRectItem> m_pEndEdgeBounds;
    uint8_t m_Reserved = 0; // 6 bits
    bool m_UsesNonScalingStrokes = false;
    bool m_UsesScalingStrokes = false;

protected:
    int ReadAfterBounds(CSWFStream* body) override;
    int WriteAfterBounds(CSWFStream* body) override;
};

// The scenes of DefineSceneAndFrameLabelData: each scene's first frame and name.
class CSceneTableItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CSceneTableItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    struct Entry {
        SEncodedU32 m_Frame; // a scene's frame offset, a label's frame number
        std::string m_Name;
    };
    SEncodedU32 m_Count;
    std::vector<Entry> m_Entries;
};

// The frame labels of DefineSceneAndFrameLabelData: the layout of the scene table.
class CFrameLabelTableItem : public CSceneTableItem
{
public:
    using CSceneTableItem::CSceneTableItem;
    int GetClassID() const override { return kClassID_CFrameLabelTableItem; }
};

class CDefineSceneAndFrameLabelDataTag : public CParsedTag
{
public:
    CDefineSceneAndFrameLabelDataTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineSceneAndFrameLabelDataTag() override;
    int GetClassID() const override { return kClassID_CDefineSceneAndFrameLabelDataTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<CSceneTableItem> m_pScenes;
    std::unique_ptr<CFrameLabelTableItem> m_pFrameLabels;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// DefineBinaryData: a character of arbitrary bytes.
class CDefineBinaryDataTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CDefineBinaryDataTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_CharacterID = 0;
    uint32_t m_Reserved = 0;
    std::vector<uint8_t> m_Data;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// StartSound2: a sound named by its class rather than its character ID.
class CStartSound2Tag : public CParsedTag
{
public:
    CStartSound2Tag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CStartSound2Tag() override;
    int GetClassID() const override { return kClassID_CStartSound2Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::string m_SoundClassName;
    std::unique_ptr<CSoundInfoItem> m_pSoundInfo;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// DefineBitsJPEG4: DefineBitsJPEG3 with a deblocking strength.
class CDefineBitsJPEG4Tag : public CParsedTag
{
public:
    CDefineBitsJPEG4Tag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineBitsJPEG4Tag() override;
    int GetClassID() const override { return kClassID_CDefineBitsJPEG4Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    uint16_t m_DeblockParam = 0; // 8.8 fixed point
    // The image data's length as a damaged file stated it, past the body's end (0 otherwise): written back in
    // place of the data's own length while it is the larger, so that such a tag saves as it came.
    uint32_t m_StatedDataSize = 0;
    std::unique_ptr<CJPEGDataWithTableItem> m_pJPEGData;
    std::unique_ptr<CZDumpItem> m_pAlphaData;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// EnableTelemetry: a reserved word and, optionally, the SHA-256 of a password.
class CEnableTelemetryTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CEnableTelemetryTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_Reserved = 0;
    std::vector<uint8_t> m_PasswordHash; // empty or 32 bytes

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ProductInfo: the authoring tool's product, edition, version, build and compilation date.
class CProductInfoTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CProductInfoTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint32_t m_ProductID = 0;
    uint32_t m_Edition = 0;
    uint8_t m_MajorVersion = 0;
    uint8_t m_MinorVersion = 0;
    uint64_t m_Build = 0;
    uint64_t m_CompilationDate = 0; // milliseconds since 1970

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// DebugID: the 16-byte identifier that ties a movie to its debugging information.
class CDebugIDTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CDebugIDTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::array<uint8_t, 16> m_UUID {};

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ScriptLimits: the deepest recursion and the longest time a script may run.
class CScriptLimitsTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CScriptLimitsTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_MaxRecursionDepth = 0;
    uint16_t m_ScriptTimeoutSeconds = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// Creates the object for a class ID of the tags and records of versions 8 to 10; null for other IDs.
CSWFObject* NewModernTagObject(int classID, CSWFObject* owner, unsigned char style);
