#include "FactoryFamilies.h"
#include "HeaderItems.h"

CSWFObject* NewRecordObject(int classID, CSWFObject* owner, unsigned char style)
{
    switch (classID) {
    case kClassID_CColorItem:
        return new CColorItem(owner, style);
    default:
        return nullptr;
    }
}
