// What a PlaceObject2 or PlaceObject3 tag says about one depth of a display list, taken from swflib's tag.
#pragma once

#include "render/ColorTransform.h"
#include "render/Filters.h"

#include "TagCodes.h"

#include <cairo.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CClipActionsItem;
class CPlaceObject2Tag;

namespace reelfinch::plugin {

// Blend modes of PlaceObject3 (0 and 1 both draw normally).
enum BlendMode : uint8_t {
    kBlendNormal = 1,
    kBlendLayer = 2,
    kBlendMultiply = 3,
    kBlendScreen = 4,
    kBlendLighten = 5,
    kBlendDarken = 6,
    kBlendDifference = 7,
    kBlendAdd = 8,
    kBlendSubtract = 9,
    kBlendInvert = 10,
    kBlendAlpha = 11,
    kBlendErase = 12,
    kBlendOverlay = 13,
    kBlendHardLight = 14,
};

struct Placement {
    uint16_t depth = 0;
    bool move = false; // changes the object at the depth rather than placing a new one
    std::optional<uint16_t> characterId;
    std::optional<cairo_matrix_t> matrix;
    std::optional<ColorTransform> colorTransform;
    std::optional<uint16_t> ratio;
    std::optional<uint16_t> clipDepth;
    std::optional<std::string> name;
    std::optional<uint8_t> blendMode;
    std::optional<bool> visible;
    std::optional<std::vector<Filter>> filters;
    std::optional<std::string> className;
    std::optional<bool> cacheAsBitmap;
    std::optional<uint32_t> opaqueBackground; // 0xRRGGBB
    const CClipActionsItem* clipActions = nullptr; // the tag's clip event handlers, when it has them
};

// The placement of a PlaceObject2 or PlaceObject3 tag.
Placement PlacementFrom(const CPlaceObject2Tag& tag);

} // namespace reelfinch::plugin
