#include "FactoryFamilies.h"
#include "HeaderItems.h"
#include "SWFObject.h"

CSWFObject* NewCoreObject(int classID, CSWFObject* owner, unsigned char style)
{
    switch (classID) {
    case kClassID_CSWFObject:
        return new CSWFObject(owner, style);
    case kClassID_CSWFItem:
        return new CSWFItem(owner, style);
    case kClassID_CHeaderItem:
        return new CHeaderItem(owner, style);
    case kClassID_CRectItem:
        return new CRectItem(owner, style);
    case kClassID_CTag:
        return new CTag(owner, style);
    case kClassID_CAction:
        return new CAction(owner, style);
    default:
        return nullptr;
    }
}

int NewInstance(int classID, CSWFObject*& dest, CSWFObject* owner, unsigned char style)
{
    CSWFObject* created = nullptr;
    if (classID == kClassID_CSWF)
        created = NewMovieObject(classID, owner, style);
    else if (classID >= kClassID_CSWFObject && classID <= kClassID_CAction)
        created = NewCoreObject(classID, owner, style);
    else if (classID >= kClassID_CTagsItem && classID <= kClassID_CDumpItem)
        created = NewCollectionObject(classID, owner, style);
    else if (classID >= kClassID_CAdd2Action && classID <= kClassID_CPushArrayItems)
        created = NewActionObject(classID, owner, style);
    else if ((classID >= kClassID_CAssetTag && classID <= kClassID_CVideoFrameTag) ||
             classID == kClassID_CFreeCharacterTag)
        created = NewTagObject(classID, owner, style);
    else if (classID >= kClassID_CAssetItem && classID <= kClassID_CClipActionsItem)
        created = NewRecordObject(classID, owner, style);
    if (!created)
        return 0;
    dest = created;
    return 1;
}
