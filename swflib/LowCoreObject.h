// The root of every SWF library class: a class ID and the printable name that goes with it.
#pragma once

#include "ClassIds.h"

// The names table, indexed by class ID (kClassNamesCount entries).
extern const char* const g_ClassNames[kClassNamesCount];

// Name of a class ID; "Unknown Object" for IDs outside the table.
const char* ClassNameOf(int classID);

class CLowCoreObject
{
public:
    virtual ~CLowCoreObject() = default;
    virtual int GetClassID() const { return kClassID_CLowCoreObject; }
    // Reads the names table at GetClassID(); subclasses override only the ID.
    virtual const char* GetClassName() const { return ClassNameOf(GetClassID()); }
};
