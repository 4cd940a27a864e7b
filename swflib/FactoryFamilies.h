// The class factory asks each family in turn for a class ID. Each returns a new object owned by the caller, or
// null for an ID it has no class for. The comments give the ranges most of a family's classes lie in.
#pragma once

class CSWFObject;

CSWFObject* NewCoreObject(int classID, CSWFObject* owner, unsigned char style);       // 2 to 9
CSWFObject* NewCollectionObject(int classID, CSWFObject* owner, unsigned char style); // 10 to 22
CSWFObject* NewActionObject(int classID, CSWFObject* owner, unsigned char style);     // 23 to 162
CSWFObject* NewTagObject(int classID, CSWFObject* owner, unsigned char style);        // 163 to 214, 283
CSWFObject* NewRecordObject(int classID, CSWFObject* owner, unsigned char style);     // 215 to 281
CSWFObject* NewMovieObject(int classID, CSWFObject* owner, unsigned char style);      // 4
CSWFObject* NewFilterObject(int classID, CSWFObject* owner, unsigned char style);     // 284 to 293
CSWFObject* NewModernTagObject(int classID, CSWFObject* owner, unsigned char style);  // 296 to 320
