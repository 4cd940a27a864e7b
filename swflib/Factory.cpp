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
    // Each family knows the classes it implements, whatever part of the ID range they lie in.
    using Creator = CSWFObject* (*)(int, CSWFObject*, unsigned char);
    static constexpr Creator kFamilies[] = {NewCoreObject, NewCollectionObject, NewActionObject, NewRecordObject,
        NewTagObject, NewMovieObject, NewFilterObject, NewModernTagObject};
    for (Creator create : kFamilies) {
        if (CSWFObject* created = create(classID, owner, style)) {
            dest = created;
            return 1;
        }
    }
    return 0;
}
