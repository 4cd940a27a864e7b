// Families whose classes are not part of the library yet: the factory creates nothing for their IDs.
#include "FactoryFamilies.h"

CSWFObject* NewActionObject(int, CSWFObject*, unsigned char)
{
    return nullptr;
}
