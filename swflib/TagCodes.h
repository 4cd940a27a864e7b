// SWF tag codes and the table that maps each code to the library class that reads it.
#pragma once

#include <cstdint>

enum SWFTagCode : uint16_t {
    kTagEnd = 0,
    kTagShowFrame = 1,
    kTagDefineShape = 2,
    kTagFreeCharacter = 3,
    kTagPlaceObject = 4,
    kTagRemoveObject = 5,
    kTagDefineBits = 6,
    kTagDefineButton = 7,
    kTagJPEGTables = 8,
    kTagSetBackgroundColor = 9,
    kTagDefineFont = 10,
    kTagDefineText = 11,
    kTagDoAction = 12,
    kTagDefineFontInfo = 13,
    kTagDefineSound = 14,
    kTagStartSound = 15,
    kTagDefineButtonSound = 17,
    kTagSoundStreamHead = 18,
    kTagSoundStreamBlock = 19,
    kTagDefineBitsLossless = 20,
    kTagDefineBitsJPEG2 = 21,
    kTagDefineShape2 = 22,
    kTagDefineButtonCxform = 23,
    kTagProtect = 24,
    kTagPlaceObject2 = 26,
    kTagRemoveObject2 = 28,
    kTagDefineShape3 = 32,
    kTagDefineText2 = 33,
    kTagDefineButton2 = 34,
    kTagDefineBitsJPEG3 = 35,
    kTagDefineBitsLossless2 = 36,
    kTagDefineEditText = 37,
    kTagDefineSprite = 39,
    kTagFrameLabel = 43,
    kTagSoundStreamHead2 = 45,
    kTagDefineMorphShape = 46,
    kTagDefineFont2 = 48,
    kTagExportAssets = 56,
    kTagImportAssets = 57,
    kTagEnableDebugger = 58,
    kTagDoInitAction = 59,
    kTagDefineVideoStream = 60,
    kTagVideoFrame = 61,
    kTagDefineFontInfo2 = 62,
    kTagEnableDebugger2 = 64,
    kTagSetTabIndex = 66,
};

// Class ID of the class that reads a tag code: the top-level table, or inside a sprite only the codes a sprite
// may hold. Codes without a class give CUnKnownTag.
int TagClassForCode(uint16_t code, bool inSprite);
