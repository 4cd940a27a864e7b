#include "timeline/Placement.h"

#include "Records.h"
#include "Tags.h"
#include "TagsModern.h"

namespace reelfinch::plugin {

Placement PlacementFrom(const CPlaceObject2Tag& tag)
{
    Placement out;
    out.depth = tag.m_Depth;
    out.move = tag.m_Move;
    if (tag.m_HasCharacter)
        out.characterId = tag.m_ID;
    if (const CMatrixItem* m = tag.m_pMatrix.get()) {
        cairo_matrix_t matrix;
        cairo_matrix_init(
            &matrix, m->m_ScaleX, m->m_RotateSkew0, m->m_RotateSkew1, m->m_ScaleY, m->m_TranslateX, m->m_TranslateY);
        out.matrix = matrix;
    }
    if (tag.m_pColorTransform)
        out.colorTransform = ColorTransform::fromItem(tag.m_pColorTransform.get());
    if (tag.m_HasRatio)
        out.ratio = tag.m_Ratio;
    if (tag.m_HasClipDepth)
        out.clipDepth = tag.m_ClipDepth;
    if (tag.m_pName)
        out.name = tag.m_pName->GetStr();
    out.clipActions = tag.m_pClipActions.get();
    auto* place3 = dynamic_cast<const CPlaceObject3Tag*>(&tag);
    // Of a body that could not be read whole, what follows the fault is not known: a filter list of unknown kind
    // hides the blend mode and visibility after it.
    if (!place3 || place3->m_KeptWhole)
        return out;
    if (place3->m_HasClassName)
        out.className = place3->m_ClassName;
    if (place3->m_pFilterList)
        out.filters = FiltersFrom(place3->m_pFilterList.get());
    if (place3->m_HasBlendMode)
        out.blendMode = place3->m_BlendMode;
    if (place3->m_HasCacheAsBitmap)
        out.cacheAsBitmap = place3->m_BitmapCache != 0;
    if (place3->m_OpaqueBackground) {
        const tRGBARec& c = place3->m_BackgroundColor;
        out.opaqueBackground = uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
    }
    if (place3->m_HasVisible)
        out.visible = place3->m_Visible != 0;
    return out;
}

} // namespace reelfinch::plugin
