#include "HeaderItems.h"
#include "SWFObject.h"
#include "TagCodes.h"
#include "Tags.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

using namespace testsupport;

TEST(ObjectCore, NamesTableAnchorsAndUniqueness)
{
    const std::pair<int, const char*> anchors[] = {
        { 0, "Unknown Object" },
        { 1, "CLowCoreObject" },
        { 4, "CSWFClass" },
        { 9, "CAction" },
        { 10, "CTagsItem" },
        { 22, "CDumpItem" },
        { 23, "CAdd2Action" },
        { 108, "CTypeOfAction" },
        { 109, "CDefineFunctionAction" },
        { 121, "CUnknownAction" },
        { 124, "CWithAction" },
        { 125, "CRegisterParamS" },
        { 129, "CPopX" },
        { 151, "CPopWthIt" },
        { 152, "CPONull" },
        { 161, "CPOFloat" },
        { 162, "CPushArrayItems" },
        { 163, "CAssetTag" },
        { 204, "CSetBackGroundColorTag" },
        { 213, "CUnKnownTag" },
        { 214, "CVideoFrameTag" },
        { 215, "CAssetItem" },
        { 233, "CColorItem" },
        { 281, "CClipActionsItem" },
        { 282, "CSWFTable" },
        { 283, "CFreeCharacterTag" },
        { 284, "CDropShadowFilterItem" },
        { 293, "CFilterListItem" },
        { 300, "CPlaceObject3Tag" },
        { 309, "CDefineShape4Tag" },
        { 320, "CScriptLimitsTag" },
        { 321, "CMorphLineStyle2Item" },
        { 322, "CMorphFocalGradientItem" },
    };
    for (auto [id, name] : anchors)
        EXPECT_STREQ(ClassNameOf(id), name) << id;
    std::set<std::string> names;
    for (int id = 0; id < kClassNamesCount; ++id)
        EXPECT_TRUE(names.insert(g_ClassNames[id]).second) << "duplicate name at " << id;
    EXPECT_EQ(kClassNamesCount, 323);
    EXPECT_STREQ(ClassNameOf(-1), "Unknown Object");
    EXPECT_STREQ(ClassNameOf(323), "Unknown Object");

    CSWFStream stream;
    EXPECT_STREQ(stream.GetClassName(), "CSWFStream");
    EXPECT_STREQ(SWFDebugger.GetClassName(), "CLowCoreObject");
}

TEST(ObjectCore, FactoryCreatesEachClassWithItsIdOwnerAndStyle)
{
    CSWFItem owner;
    int created = 0;
    for (int id = -2; id <= kClassNamesCount + 20; ++id) {
        CSWFObject* dest = nullptr;
        if (!NewInstance(id, dest, &owner, 1)) {
            EXPECT_EQ(dest, nullptr) << id;
            continue;
        }
        std::unique_ptr<CSWFObject> object(dest);
        ++created;
        EXPECT_EQ(object->GetClassID(), id);
        EXPECT_STREQ(object->GetClassName(), g_ClassNames[id]);
        EXPECT_EQ(object->m_pOwner, &owner) << id;
        if (auto* tag = dynamic_cast<CTag*>(object.get())) {
            EXPECT_TRUE(tag->IsEmpty()) << id; // a new tag has no code yet
        }
    }
    EXPECT_GE(created, 8);

    // IDs without a creatable class leave the destination as it was.
    CSWFItem sentinel;
    for (int id : { -1, 0, 1, 3, 282, 323, 400 }) {
        CSWFObject* dest = &sentinel;
        EXPECT_EQ(NewInstance(id, dest, nullptr, 0), 0) << id;
        EXPECT_EQ(dest, &sentinel);
    }

    // Classes whose layout variant is fixed ignore the style they are given.
    const std::pair<int, unsigned char> fixedStyles[] = {
        { kClassID_CDefineShapeTag, 1 },
        { kClassID_CDefineShape2Tag, 2 },
        { kClassID_CDefineShape3Tag, 3 },
        { kClassID_CDefineTextTag, 2 },
        { kClassID_CDefineText2Tag, 3 },
        { kClassID_CDefineBitsLossLessTag, 1 },
        { kClassID_CDefineBitsLossLess2Tag, 3 },
        { kClassID_CGlyphShapeTableItem, 3 },
        { kClassID_CMorphFillStylesItem, 3 },
        { kClassID_CMorphLineStylesItem, 3 },
        { kClassID_CDefineShape4Tag, kStyleShape4 },
    };
    for (auto [id, style] : fixedStyles) {
        CSWFObject* dest = nullptr;
        if (NewInstance(id, dest, nullptr, 0)) {
            EXPECT_EQ(dest->m_Style, style) << id;
            delete dest;
        }
    }

    // Owned parts are created with the class: the colour of a background tag is an RGB record.
    CSWFObject* dest = nullptr;
    ASSERT_EQ(NewInstance(kClassID_CSetBackGroundColorTag, dest, &owner, 0), 1);
    std::unique_ptr<CSWFObject> tag(dest);
    auto* background = dynamic_cast<CSetBackGroundColorTag*>(tag.get());
    ASSERT_NE(background, nullptr);
    ASSERT_NE(background->m_pColor, nullptr);
    EXPECT_EQ(background->m_pColor->m_Style, kStyleNone);
    EXPECT_FALSE(background->m_pColor->m_HasAlpha);
}

namespace {

// An object whose class has no place in the factory.
class CUncreatable : public CSWFObject
{
public:
    int GetClassID() const override { return kClassID_CSWFTable; }
};

} // namespace

TEST(ObjectCore, MakeCopyIsDeepAndTakesTheGivenOwner)
{
    CSWFItem owner;
    CSetBackGroundColorTag source(nullptr, 0);
    source.m_TagCode = kTagSetBackgroundColor;
    source.m_LongHeader = true;
    source.m_pColor->SetColor(0x00996633);

    CSWFObject* dest = new CSWFItem; // whatever was there is deleted first
    ASSERT_EQ(source.MakeCopy(&owner, 0, dest), 1);
    std::unique_ptr<CSWFObject> holder(dest);
    auto* copy = dynamic_cast<CSetBackGroundColorTag*>(dest);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->m_pOwner, &owner);
    EXPECT_EQ(copy->m_TagCode, kTagSetBackgroundColor);
    EXPECT_TRUE(copy->m_LongHeader);
    EXPECT_FALSE(copy->IsEmpty());
    ASSERT_NE(copy->m_pColor.get(), source.m_pColor.get());
    EXPECT_EQ(copy->m_pColor->GetColor(), 0x00996633);
    source.m_pColor->SetColor(0);
    EXPECT_EQ(copy->m_pColor->GetColor(), 0x00996633);

    CSWFObject* self = &source;
    EXPECT_EQ(source.MakeCopy(nullptr, 0, self), 1);
    EXPECT_EQ(self, &source);

    CHeaderItem header;
    header.m_Version = 9;
    header.m_Compressed = false;
    header.m_FrameRate = 30.0f;
    header.m_pFrameRect->m_XMax = 640;
    CSWFObject* headerCopy = nullptr;
    ASSERT_EQ(header.MakeCopy(&owner, 255, headerCopy), 1);
    std::unique_ptr<CSWFObject> headerHolder(headerCopy);
    auto* h = dynamic_cast<CHeaderItem*>(headerCopy);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->m_Version, 9);
    EXPECT_FALSE(h->m_Compressed);
    EXPECT_EQ(h->m_FrameRate, 30.0f);
    ASSERT_NE(h->m_pFrameRect.get(), header.m_pFrameRect.get());
    EXPECT_EQ(h->m_pFrameRect->m_XMax, 640);
    EXPECT_EQ(h->m_pFrameRect->m_pOwner, &owner);

    LogMark mark;
    CUncreatable uncreatable;
    CSWFObject* nothing = new CSWFItem;
    EXPECT_EQ(uncreatable.MakeCopy(nullptr, 0, nothing), 0);
    EXPECT_EQ(nothing, nullptr);
    ASSERT_EQ(mark.Count(), 1u);
    EXPECT_EQ(mark.Lines()[0], "Error: Can't create instance of class CSWFTable");
}

TEST(ObjectCore, TagCodesMapToTheirClasses)
{
    EXPECT_EQ(TagClassForCode(3, false), kClassID_CFreeCharacterTag);
    EXPECT_EQ(TagClassForCode(59, false), kClassID_CDoInitActionsTag);
    EXPECT_EQ(TagClassForCode(63, false), kClassID_CDebugIDTag);
    EXPECT_EQ(TagClassForCode(70, false), kClassID_CPlaceObject3Tag);
    EXPECT_EQ(TagClassForCode(83, false), kClassID_CDefineShape4Tag);
    EXPECT_EQ(TagClassForCode(93, false), kClassID_CEnableTelemetryTag);
    // Codes no version of the format defines.
    for (uint16_t code : {16, 40, 67, 72, 79, 92, 94, 1023})
        EXPECT_EQ(TagClassForCode(code, false), kClassID_CUnKnownTag) << code;

    // Inside a sprite exactly these codes keep their classes.
    const std::set<uint16_t> spriteCodes = { 0, 1, 4, 5, 12, 15, 18, 19, 26, 28, 43, 45, 61, 66, 70, 89 };
    for (uint16_t code = 0; code < 100; ++code) {
        const int top = TagClassForCode(code, false);
        const int inner = TagClassForCode(code, true);
        EXPECT_EQ(inner, spriteCodes.count(code) ? top : int(kClassID_CUnKnownTag)) << code;
    }
}
