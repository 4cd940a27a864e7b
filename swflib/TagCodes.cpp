#include "TagCodes.h"

#include "ClassIds.h"

#include <array>

namespace {

constexpr uint16_t kHighestMappedCode = kTagEnableTelemetry;

constexpr std::array<int, kHighestMappedCode + 1> BuildTable()
{
    std::array<int, kHighestMappedCode + 1> table{};
    for (auto& id : table)
        id = kClassID_CUnKnownTag;
    table[kTagEnd] = kClassID_CEndTag;
    table[kTagShowFrame] = kClassID_CShowFrameTag;
    table[kTagDefineShape] = kClassID_CDefineShapeTag;
    table[kTagFreeCharacter] = kClassID_CFreeCharacterTag;
    table[kTagPlaceObject] = kClassID_CPlaceObjectTag;
    table[kTagRemoveObject] = kClassID_CReMoveObjectTag;
    table[kTagDefineBits] = kClassID_CDefineBitsTag;
    table[kTagDefineButton] = kClassID_CDefineButtonTag;
    table[kTagJPEGTables] = kClassID_CJPEGTablesTag;
    table[kTagSetBackgroundColor] = kClassID_CSetBackGroundColorTag;
    table[kTagDefineFont] = kClassID_CDefineFontTag;
    table[kTagDefineText] = kClassID_CDefineTextTag;
    table[kTagDoAction] = kClassID_CDoActionTag;
    table[kTagDefineFontInfo] = kClassID_CDefineFontInfoTag;
    table[kTagDefineSound] = kClassID_CDefineSoundTag;
    table[kTagStartSound] = kClassID_CStartSoundTag;
    table[kTagDefineButtonSound] = kClassID_CDefineButtonSoundTag;
    table[kTagSoundStreamHead] = kClassID_CSoundStreamHeadTag;
    table[kTagSoundStreamBlock] = kClassID_CSoundStreamBlockTag;
    table[kTagDefineBitsLossless] = kClassID_CDefineBitsLossLessTag;
    table[kTagDefineBitsJPEG2] = kClassID_CDefineBitsJPEG2Tag;
    table[kTagDefineShape2] = kClassID_CDefineShape2Tag;
    table[kTagDefineButtonCxform] = kClassID_CDefineButtonCXFormTag;
    table[kTagProtect] = kClassID_CProtectTag;
    table[kTagPlaceObject2] = kClassID_CPlaceObject2Tag;
    table[kTagRemoveObject2] = kClassID_CReMoveObject2Tag;
    table[kTagDefineShape3] = kClassID_CDefineShape3Tag;
    table[kTagDefineText2] = kClassID_CDefineText2Tag;
    table[kTagDefineButton2] = kClassID_CDefineButton2Tag;
    table[kTagDefineBitsJPEG3] = kClassID_CDefineBitsJPEG3Tag;
    table[kTagDefineBitsLossless2] = kClassID_CDefineBitsLossLess2Tag;
    table[kTagDefineEditText] = kClassID_CDefineEditTextTag;
    table[kTagDefineSprite] = kClassID_CDefineSpriteTag;
    table[kTagFrameLabel] = kClassID_CFrameLabelTag;
    table[kTagSoundStreamHead2] = kClassID_CSoundStreamHead2Tag;
    table[kTagDefineMorphShape] = kClassID_CDefineMorphShapeTag;
    table[kTagDefineFont2] = kClassID_CDefineFont2Tag;
    table[kTagExportAssets] = kClassID_CExportAssetsTag;
    table[kTagImportAssets] = kClassID_CImportAssetsTag;
    table[kTagEnableDebugger] = kClassID_CEnableDebuggerTag;
    table[kTagDoInitAction] = kClassID_CDoInitActionsTag;
    table[kTagDefineVideoStream] = kClassID_CDefineVideoStreamTag;
    table[kTagVideoFrame] = kClassID_CVideoFrameTag;
    table[kTagDefineFontInfo2] = kClassID_CDefineFontInfo2Tag;
    table[kTagEnableDebugger2] = kClassID_CEnableDebugger2Tag;
    table[kTagSetTabIndex] = kClassID_CSetTabIndex;
    table[kTagProductInfo] = kClassID_CProductInfoTag;
    table[kTagDebugID] = kClassID_CDebugIDTag;
    table[kTagScriptLimits] = kClassID_CScriptLimitsTag;
    table[kTagFileAttributes] = kClassID_CFileAttributesTag;
    table[kTagPlaceObject3] = kClassID_CPlaceObject3Tag;
    table[kTagImportAssets2] = kClassID_CImportAssets2Tag;
    table[kTagDefineFontAlignZones] = kClassID_CDefineFontAlignZonesTag;
    table[kTagCSMTextSettings] = kClassID_CCSMTextSettingsTag;
    table[kTagDefineFont3] = kClassID_CDefineFont3Tag;
    table[kTagSymbolClass] = kClassID_CSymbolClassTag;
    table[kTagMetadata] = kClassID_CMetadataTag;
    table[kTagDefineScalingGrid] = kClassID_CDefineScalingGridTag;
    table[kTagDoABC] = kClassID_CDoABCTag;
    table[kTagDefineShape4] = kClassID_CDefineShape4Tag;
    table[kTagDefineMorphShape2] = kClassID_CDefineMorphShape2Tag;
    table[kTagDefineSceneAndFrameLabelData] = kClassID_CDefineSceneAndFrameLabelDataTag;
    table[kTagDefineBinaryData] = kClassID_CDefineBinaryDataTag;
    table[kTagDefineFontName] = kClassID_CDefineFontNameTag;
    table[kTagStartSound2] = kClassID_CStartSound2Tag;
    table[kTagDefineBitsJPEG4] = kClassID_CDefineBitsJPEG4Tag;
    table[kTagDefineFont4] = kClassID_CDefineFont4Tag;
    table[kTagEnableTelemetry] = kClassID_CEnableTelemetryTag;
    return table;
}

constexpr auto kTagClasses = BuildTable();

bool AllowedInSprite(uint16_t code)
{
    switch (code) {
    case kTagEnd:
    case kTagShowFrame:
    case kTagPlaceObject:
    case kTagRemoveObject:
    case kTagDoAction:
    case kTagStartSound:
    case kTagSoundStreamHead:
    case kTagSoundStreamBlock:
    case kTagPlaceObject2:
    case kTagRemoveObject2:
    case kTagFrameLabel:
    case kTagSoundStreamHead2:
    case kTagVideoFrame:
    case kTagSetTabIndex:
    case kTagPlaceObject3:
    case kTagStartSound2:
        return true;
    default:
        return false;
    }
}

} // namespace

int TagClassForCode(uint16_t code, bool inSprite)
{
    if (code > kHighestMappedCode || (inSprite && !AllowedInSprite(code)))
        return kClassID_CUnKnownTag;
    return kTagClasses[code];
}
