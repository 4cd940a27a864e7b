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
    if (classID <= kClassID_CLowCoreObject || classID >= kClassNamesCount || classID == kClassID_CSWFStream ||
        classID == kClassID_CSWFTable)
        return 0;
    // Each family knows the classes it implements, whatever part of the ID range they lie in. The family whose
    // range holds the ID is asked first (objects are made by the million when movies are read and copied), then
    // the others.
    using Creator = CSWFObject* (*)(int, CSWFObject*, unsigned char);
    static constexpr Creator kFamilies[] = {NewCoreObject, NewCollectionObject, NewActionObject, NewRecordObject,
        NewTagObject, NewMovieObject, NewFilterObject, NewModernTagObject};
    const Creator first = classID <= kClassID_CAction ? NewCoreObject
        : classID <= kClassID_CDumpItem                ? NewCollectionObject
        : classID <= kClassID_CPushArrayItems          ? NewActionObject
        : classID <= kClassID_CVideoFrameTag           ? NewTagObject
        : classID <= kClassID_CClipActionsItem         ? NewRecordObject
        : classID == kClassID_CFreeCharacterTag        ? NewTagObject
        : classID <= kClassID_CFilterListItem          ? NewFilterObject
        : classID <= kClassID_CFocalGradientItem       ? NewRecordObject
        : classID <= kClassID_CScriptLimitsTag         ? NewModernTagObject
                                                       : NewRecordObject;
    if (CSWFObject* created = first(classID, owner, style)) {
        dest = created;
        return 1;
    }
    for (Creator create : kFamilies) {
        if (create == first)
            continue;
        if (CSWFObject* created = create(classID, owner, style)) {
            dest = created;
            return 1;
        }
    }
    return 0;
}
