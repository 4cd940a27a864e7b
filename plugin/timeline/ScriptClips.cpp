// The display list as scripts change it: clips attached from exported symbols, duplicated, removed and moved
// between depths; their bounds, hit tests and place on the stage.
#include "timeline/MoviePlayer.h"
#include "timeline/ScriptMasks.h"

#include "avm1/Clip.h"
#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"
#include "render/BitmapPixels.h"
#include "render/Drawing.h"
#include "render/Fonts.h"
#include "render/Renderer.h"
#include "render/TextRecords.h"

#include "Records.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"
#include "TagsModern.h"
#include "HeaderItems.h"
#include "Movie.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <strings.h>

namespace reelfinch::plugin {

namespace {

// Curves are followed as this many straight pieces when a point is tested against an outline.
constexpr int kCurvePieces = 8;
// Bounds of an empty clip: the player reports this corner for both ends.
constexpr double kNoBounds = 6710886.35 * 20;

void AddPoint(double box[4], const cairo_matrix_t& m, double x, double y)
{
    cairo_matrix_transform_point(&m, &x, &y);
    box[0] = std::min(box[0], x);
    box[1] = std::min(box[1], y);
    box[2] = std::max(box[2], x);
    box[3] = std::max(box[3], y);
}

void AddRect(double box[4], const cairo_matrix_t& m, double x0, double y0, double x1, double y1)
{
    AddPoint(box, m, x0, y0);
    AddPoint(box, m, x1, y0);
    AddPoint(box, m, x0, y1);
    AddPoint(box, m, x1, y1);
}

// Script masks being tested for a hit, at most one deep.
int g_MaskHits = 0;

bool RectOf(const CRectItem* r, double rect[4])
{
    if (!r)
        return false;
    rect[0] = r->m_XMin;
    rect[1] = r->m_YMin;
    rect[2] = r->m_XMax;
    rect[3] = r->m_YMax;
    return true;
}

// Whether the point lies on a stroke: within half the line's width of its edge. A line is at least `minWidth`
// wide: a pixel of the stage, in the shape's own units.
bool OnStroke(const ShapeLayer& layer, const ShapeLayer::StyledEdge& styled, double x, double y, double minWidth)
{
    if (!styled.line || styled.line > layer.lines.size())
        return false;
    const double half = std::max(layer.lines[styled.line - 1].width, minWidth) / 2;
    const Edge& e = styled.edge;
    double px = e.x0, py = e.y0;
    const int pieces = e.curved ? kCurvePieces : 1;
    for (int i = 1; i <= pieces; ++i) {
        const double t = double(i) / pieces;
        const double u = 1 - t;
        const double qx = e.curved ? u * u * e.x0 + 2 * u * t * e.cx + t * t * e.x1 : e.x1;
        const double qy = e.curved ? u * u * e.y0 + 2 * u * t * e.cy + t * t * e.y1 : e.y1;
        if (SegmentDistance(x, y, px, py, qx, qy) <= half)
            return true;
        px = qx;
        py = qy;
    }
    return false;
}

bool LayersHit(const std::vector<ShapeLayer>& layers, double x, double y, double minWidth = kTwipsPerPixel)
{
    for (const ShapeLayer& layer : layers)
        for (const auto& styled : layer.edges)
            if (OnStroke(layer, styled, x, y, minWidth))
                return true;
    for (const ShapeLayer& layer : layers) {
        // Per fill style: the winding count of its outline around the point.
        std::map<uint32_t, int> winding;
        for (const auto& styled : layer.edges) {
            const Edge& e = styled.edge;
            int w = 0;
            if (!e.curved) {
                w = Winding(x, y, e.x0, e.y0, e.x1, e.y1);
            } else {
                double px = e.x0, py = e.y0;
                for (int i = 1; i <= kCurvePieces; ++i) {
                    const double t = double(i) / kCurvePieces;
                    const double u = 1 - t;
                    const double qx = u * u * e.x0 + 2 * u * t * e.cx + t * t * e.x1;
                    const double qy = u * u * e.y0 + 2 * u * t * e.cy + t * t * e.y1;
                    w += Winding(x, y, px, py, qx, qy);
                    px = qx;
                    py = qy;
                }
            }
            if (w == 0)
                continue;
            if (styled.fill1)
                winding[styled.fill1] += w;
            if (styled.fill0)
                winding[styled.fill0] -= w;
        }
        for (const auto& [fill, count] : winding)
            if (layer.nonZero ? count != 0 : (count % 2) != 0)
                return true;
    }
    return false;
}

// Grows `own` by the content of a clip placed with `m`, shape by shape.
bool ContentBounds(const MoviePlayer& player, const SpriteInstance& sprite, const cairo_matrix_t& m, double own[4],
    int nesting)
{
    bool any = false;
    if (sprite.drawing && sprite.drawing->bounds(m, own))
        any = true;
    for (const auto& [depth, object] : sprite.displayList) {
        double rect[4] = { kNoBounds, kNoBounds, -kNoBounds, -kNoBounds };
        bool have = false;
        cairo_matrix_t placed;
        cairo_matrix_multiply(&placed, &object.matrix, &m);
        if (object.sprite) {
            if (nesting < kMaxSpriteNesting && ContentBounds(player, *object.sprite, placed, own, nesting + 1))
                any = true;
            continue;
        } else if (object.field) {
            // A field's box as scripts and autoSize left it.
            const EditField& f = *object.field;
            rect[0] = std::min(f.left, f.right);
            rect[1] = std::min(f.top, f.bottom);
            rect[2] = std::max(f.left, f.right);
            rect[3] = std::max(f.top, f.bottom);
            have = true;
        } else if (object.bitmap) {
            rect[0] = rect[1] = 0;
            rect[2] = object.bitmap->width() * kTwipsPerPixel;
            rect[3] = object.bitmap->height() * kTwipsPerPixel;
            have = true;
        } else if (const CTag* tag = player.character(sprite, object.characterId)) {
            if (auto* shape = dynamic_cast<const CShapeTag*>(tag))
                have = RectOf(shape->m_pBounds.get(), rect);
            else if (auto* text = dynamic_cast<const CTextTag*>(tag))
                have = RectOf(text->m_pBounds.get(), rect);
            else if (auto* edit = dynamic_cast<const CDefineEditTextTag*>(tag))
                have = RectOf(edit->m_pBounds.get(), rect);
            else if (auto* morph = dynamic_cast<const CDefineMorphShapeTag*>(tag))
                have = RectOf(morph->m_pStartBounds.get(), rect); // the player keeps the start's, whatever the ratio
        }
        if (!have)
            continue;
        AddRect(own, placed, rect[0], rect[1], rect[2], rect[3]);
        any = true;
    }
    return any;
}

} // namespace

// A clip kept in a hidden property of `sprite`'s script object (those setMask writes), when it is still on the
// stage.
static const SpriteInstance* ClipProperty(const SpriteInstance& sprite, std::string_view name)
{
    const auto& link = sprite.script.m_Link;
    if (!link || !link->object)
        return nullptr;
    for (const avm1::Property& property : link->object->props().entries()) {
        if (property.removed || property.name != name)
            continue;
        if (!property.value.isObject() || property.value.asObject()->kind() != avm1::ObjectKind::Clip)
            return nullptr;
        const SpriteInstance* clip = static_cast<const avm1::ClipObject*>(property.value.asObject())->sprite();
        return clip && !clip->removed ? clip : nullptr;
    }
    return nullptr;
}

const SpriteInstance* ScriptMask(const SpriteInstance& sprite)
{
    if (!sprite.display || sprite.display->clipDepth != 0)
        return nullptr;
    const SpriteInstance* mask = ClipProperty(sprite, "__mask");
    return mask && mask != &sprite && mask->display && mask->display->clipDepth == 0
            && ClipProperty(*mask, "__maskOwner") == &sprite
        ? mask
        : nullptr;
}

bool IsScriptMask(const SpriteInstance& sprite)
{
    const SpriteInstance* owner = ClipProperty(sprite, "__maskOwner");
    return owner && ScriptMask(*owner) == &sprite;
}

uint16_t MoviePlayer::exportedCharacter(const std::string& name, bool caseSensitive) const
{
    if (auto found = m_ExportNames.find(name); found != m_ExportNames.end())
        return found->second;
    if (caseSensitive)
        return 0;
    for (const auto& [known, id] : m_ExportNames)
        if (known.size() == name.size() && strncasecmp(known.data(), name.data(), name.size()) == 0)
            return id;
    return 0;
}

std::string MoviePlayer::exportName(uint16_t characterId) const
{
    for (const auto& [name, id] : m_ExportNames)
        if (id == characterId)
            return name;
    return {};
}

SpriteInstance* MoviePlayer::attachSprite(
    SpriteInstance& parent, uint16_t characterId, const std::string& name, int32_t depth)
{
    const MovieLibrary* from = nullptr;
    uint16_t fromId = 0;
    if (characterId && !spriteTimeline(parent.library, characterId, from, fromId))
        return nullptr;
    if (parent.nesting >= kMaxSpriteNesting || parent.removed)
        return nullptr;
    if (auto it = parent.displayList.find(depth); it != parent.displayList.end())
        removeAt(parent, it);
    DisplayObject& object = parent.displayList[depth];
    object.depth = depth;
    object.characterId = characterId;
    object.name = name;
    object.placedFrame = -1;
    startSprite(parent, object);
    if (!object.sprite) {
        parent.displayList.erase(depth);
        return nullptr;
    }
    SpriteInstance* sprite = object.sprite.get();
    sprite->loaded = true;
    if (!sprite->timeline->frames.empty())
        enterFrame(*sprite, 0, true);
    else
        sprite->currentFrame = 0;
    queueEvent(*sprite, ClipEvent::Load);
    return sprite;
}

DisplayObject* MoviePlayer::attachButton(
    SpriteInstance& parent, uint16_t characterId, const std::string& name, int32_t depth)
{
    const CTag* tag = character(parent, characterId);
    if (!tag || (tag->m_TagCode != kTagDefineButton && tag->m_TagCode != kTagDefineButton2) || parent.removed
        || parent.nesting >= kMaxSpriteNesting)
        return nullptr;
    if (auto it = parent.displayList.find(depth); it != parent.displayList.end())
        removeAt(parent, it);
    DisplayObject& object = parent.displayList[depth];
    object.depth = depth;
    object.characterId = characterId;
    object.name = name;
    object.placedFrame = -1;
    object.buttonState = kButtonUp;
    object.fresh = m_HaveMouse;
    syncButtonContent(parent, object, true);
    return &object;
}

SpriteInstance* MoviePlayer::duplicateSprite(SpriteInstance& sprite, const std::string& name, int32_t depth)
{
    if (!sprite.parent || !sprite.display || sprite.removed)
        return nullptr;
    DisplayObject original; // what the copy takes, read before a clip at the new depth is removed
    original.characterId = sprite.display->characterId;
    original.matrix = sprite.display->matrix;
    original.colorTransform = sprite.display->colorTransform;
    original.ratio = sprite.display->ratio;
    original.clipDepth = sprite.display->clipDepth;
    original.blendMode = sprite.display->blendMode;
    original.visible = sprite.display->visible;
    original.filters = sprite.display->filters;
    original.clipActions = sprite.display->clipActions;
    const bool cached = sprite.display->cacheAsBitmap;
    const std::optional<uint32_t> background = sprite.display->opaqueBackground;
    SpriteInstance& parent = *sprite.parent;
    if (&sprite == &parent)
        return nullptr;
    if (auto it = parent.displayList.find(depth); it != parent.displayList.end()) {
        if (it->second.sprite.get() == &sprite)
            return nullptr;
        removeAt(parent, it);
    }
    DisplayObject& object = parent.displayList[depth];
    object.characterId = original.characterId;
    object.depth = depth;
    object.matrix = original.matrix;
    object.colorTransform = original.colorTransform;
    object.ratio = original.ratio;
    object.clipDepth = original.clipDepth;
    object.blendMode = original.blendMode;
    object.visible = original.visible;
    object.filters = original.filters;
    object.cacheAsBitmap = cached;
    object.opaqueBackground = background;
    object.clipActions = original.clipActions;
    object.name = name;
    object.placedFrame = -1;
    object.scriptMoved = true;
    startSprite(parent, object);
    if (!object.sprite) {
        parent.displayList.erase(depth);
        return nullptr;
    }
    SpriteInstance* copy = object.sprite.get();
    // The copy starts with what was drawn into the original; the two are drawn into apart from then on.
    if (sprite.drawing)
        copy->drawing = std::make_shared<Drawing>(*sprite.drawing);
    beginSprite(*copy, true);
    copy->loaded = true;
    return copy;
}

DisplayObject* MoviePlayer::duplicateObject(
    SpriteInstance& parent, int32_t from, const std::string& name, int32_t depth)
{
    auto it = parent.displayList.find(from);
    if (parent.removed || from == depth || it == parent.displayList.end() || it->second.sprite)
        return nullptr;
    const DisplayObject& original = it->second;
    const CTag* tag = character(parent, original.characterId);
    const uint16_t code = tag ? tag->m_TagCode : 0;
    const bool button = code == kTagDefineButton || code == kTagDefineButton2;
    const bool madeField = !tag && original.field; // createTextField's: no character to start again from
    if (!button && !madeField && code != kTagDefineEditText && code != kTagDefineVideoStream)
        return nullptr;
    // A text field's copy is a new instance of its character placed where the original is: it takes the
    // placement (transform, colour, ratio, clip depth) but none of what scripts set on the instance, its
    // visibility and filters included.
    const bool field = madeField || code == kTagDefineEditText;
    DisplayObject copy;
    copy.characterId = original.characterId;
    copy.matrix = original.matrix;
    copy.colorTransform = original.colorTransform;
    copy.ratio = original.ratio;
    copy.clipDepth = original.clipDepth;
    copy.blendMode = original.blendMode;
    copy.visible = field || original.visible;
    if (!field)
        copy.filters = original.filters;
    copy.cacheAsBitmap = original.cacheAsBitmap;
    copy.opaqueBackground = original.opaqueBackground;
    if (madeField) {
        // createTextField's character is a blank field without a box (the box is the instance's); of what
        // scripts set on the original only its type, input or dynamic, carries over.
        copy.field = std::make_shared<EditField>();
        copy.field->selectable = true;
        copy.field->input = original.field->input;
        copy.field->alignedTrailingSpaces = original.field->alignedTrailingSpaces;
    }
    if (auto old = parent.displayList.find(depth); old != parent.displayList.end())
        removeAt(parent, old);
    DisplayObject& object = parent.displayList[depth];
    object = std::move(copy);
    object.depth = depth;
    object.name = name;
    object.placedFrame = -1;
    object.scriptMoved = true;
    if (button) {
        object.buttonState = kButtonUp;
        syncButtonContent(parent, object, true);
    }
    return &object;
}

void MoviePlayer::attachBitmap(SpriteInstance& parent, std::shared_ptr<BitmapPixels> bitmap, int32_t depth, bool smooth)
{
    if (parent.removed || !bitmap)
        return;
    if (auto it = parent.displayList.find(depth); it != parent.displayList.end())
        removeAt(parent, it);
    DisplayObject& object = parent.displayList[depth];
    object.depth = depth;
    object.placedFrame = -1;
    object.bitmap = std::move(bitmap);
    object.smoothBitmap = smooth;
}

void MoviePlayer::removeSprite(SpriteInstance& sprite)
{
    if (!sprite.parent || !sprite.display || sprite.removed)
        return;
    // A focused clip loses the focus while it is still itself: focus listeners hear it by its path.
    if (m_Machine && m_Machine->spriteOf(avm1::FocusedObject(*m_Machine)) == &sprite)
        avm1::DropFocus(*m_Machine);
    auto it = sprite.parent->displayList.find(sprite.display->depth);
    if (it != sprite.parent->displayList.end() && it->second.sprite.get() == &sprite)
        removeAt(*sprite.parent, it);
}

void MoviePlayer::swapDepth(SpriteInstance& sprite, int32_t depth)
{
    if (!sprite.parent || !sprite.display || sprite.removed)
        return;
    auto& list = sprite.parent->displayList;
    const int32_t from = sprite.display->depth;
    if (from == depth)
        return;
    auto mine = list.extract(from);
    if (mine.empty())
        return;
    auto other = list.extract(depth);
    mine.key() = depth;
    mine.mapped().depth = depth;
    mine.mapped().placedFrame = -1;
    list.insert(std::move(mine));
    if (!other.empty()) {
        other.key() = from;
        other.mapped().depth = from;
        other.mapped().placedFrame = -1;
        list.insert(std::move(other));
    }
}

cairo_matrix_t MoviePlayer::stageMatrix(const SpriteInstance& sprite) const
{
    cairo_matrix_t m;
    cairo_matrix_init_identity(&m);
    // Up to and with the root's (or level's) own transform. Each product keeps its translation in whole twips,
    // as every matrix of a movie holds it.
    for (const SpriteInstance* s = &sprite; s && s->display; s = s->parent) {
        cairo_matrix_multiply(&m, &m, &s->display->matrix);
        m.x0 = std::round(m.x0);
        m.y0 = std::round(m.y0);
    }
    return m;
}

bool MoviePlayer::spriteBounds(const SpriteInstance& sprite, const cairo_matrix_t& m, double box[4])
{
    // A clip's own rectangle holds the rectangles of the shapes inside it, each placed by all the matrices down
    // to it; that rectangle is then placed by `m` as a rectangle (a rotation widens it).
    double own[4] = { kNoBounds, kNoBounds, -kNoBounds, -kNoBounds };
    if (!localBounds(sprite, own, 0))
        return false;
    AddRect(box, m, own[0], own[1], own[2], own[3]);
    return true;
}

bool MoviePlayer::localBounds(const SpriteInstance& sprite, double own[4], int nesting)
{
    return ContentBounds(*this, sprite, { 1, 0, 0, 1, 0, 0 }, own, nesting);
}

bool MoviePlayer::textHit(const SpriteInstance& sprite, const CTextTag& text, double x, double y)
{
    if (!text.m_pTextRecords)
        return false;
    // Into the space of the text's records.
    cairo_matrix_t toRecords;
    if (text.m_pMatrix) {
        const CMatrixItem& m = *text.m_pMatrix;
        cairo_matrix_init(&toRecords, m.m_ScaleX, m.m_RotateSkew0, m.m_RotateSkew1, m.m_ScaleY, m.m_TranslateX,
            m.m_TranslateY);
        if (cairo_matrix_invert(&toRecords) != CAIRO_STATUS_SUCCESS)
            return false;
        cairo_matrix_transform_point(&toRecords, &x, &y);
    }
    const Font* font = nullptr;
    std::optional<uint16_t> fontId;
    return !ForEachGlyph(text, [&](const TextGlyph& g) {
        if (g.hasFont && fontId != g.fontId) {
            fontId = g.fontId;
            font = nullptr;
            if (const CTag* tag = character(sprite, g.fontId)) {
                auto cached = m_FontCache.find(tag);
                if (cached == m_FontCache.end()) {
                    Font made;
                    if (FontFromTag(tag, made))
                        cached = m_FontCache.emplace(tag, std::move(made)).first;
                }
                if (cached != m_FontCache.end())
                    font = &cached->second;
            }
        }
        // The point in the glyph's own units; a hit ends the walk.
        const double scale = font ? g.height / font->emUnits : 0;
        return !(scale > 0 && g.index < font->glyphs.size()
            && LayersHit(font->glyphs[g.index], (x - g.x) / scale, (y - g.y) / scale));
    });
}

// The scaling grid a sprite's definition was given in `movie` (whose dictionary is `characters`), if any: the
// first grid of the character holds.
bool GridOf(const CSWF* movie, const std::map<uint16_t, const CTag*>& characters, uint16_t id, ScalingGrid& grid)
{
    const CTagsItem* tags = movie ? movie->GetTags() : nullptr;
    auto defined = characters.find(id);
    if (!tags || defined == characters.end() || defined->second->m_TagCode != kTagDefineSprite)
        return false;
    for (int i = 0; i < tags->GetItemCount(); ++i) {
        const auto* tag = dynamic_cast<const CDefineScalingGridTag*>(tags->GetTag(i));
        if (!tag || !tag->m_pSplitter || tag->m_CharacterID != id)
            continue;
        const CRectItem& r = *tag->m_pSplitter;
        grid = { double(r.m_XMin), double(r.m_YMin), double(r.m_XMax), double(r.m_YMax) };
        return true;
    }
    return false;
}

bool MoviePlayer::spriteHit(const SpriteInstance& sprite, double x, double y, bool shape)
{
    if (!shape) {
        double box[4] = { kNoBounds, kNoBounds, -kNoBounds, -kNoBounds };
        if (!spriteBounds(sprite, stageMatrix(sprite), box))
            return false;
        return x >= box[0] && x <= box[2] && y >= box[1] && y <= box[3];
    }
    // A clip a script masked is hit only where its mask has shape. A mask's own mask is not followed (a clip may
    // name its parent, whose test would come back to it).
    if (g_MaskHits == 0)
        if (const SpriteInstance* mask = ScriptMask(sprite)) {
            ++g_MaskHits;
            const bool inMask = mask->nesting < kMaxSpriteNesting && spriteHit(*mask, x, y, true);
            --g_MaskHits;
            if (!inMask)
                return false;
        }
    // A sprite with a scaling grid warps its own shapes and drawing: the point is taken back through the warp
    // into the space they are defined in (the clips inside it scale plainly and test the point as it is).
    const cairo_matrix_t toStage = stageMatrix(sprite);
    GridWarp warp;
    bool warped = false;
    if (sprite.display && sprite.parent) {
        ScalingGrid grid;
        const MovieLibrary* library = sprite.parent->library;
        constexpr double kFar = std::numeric_limits<double>::max();
        double bounds[4] = { kFar, kFar, -kFar, -kFar };
        warped = GridOf(library ? library->movie.get() : m_Movie.get(), charactersOf(library),
                     sprite.display->characterId, grid)
            && localBounds(sprite, bounds, 0) && warp.set(grid, bounds, toStage, 1, 1);
    }
    // The point in the sprite's own space, before the warp: false when the sprite is flattened to nothing.
    const auto local = [&](double& lx, double& ly) {
        cairo_matrix_t toLocal = toStage;
        if (cairo_matrix_invert(&toLocal) != CAIRO_STATUS_SUCCESS)
            return false;
        lx = x;
        ly = y;
        cairo_matrix_transform_point(&toLocal, &lx, &ly);
        if (warped)
            warp.unwarpLocal(lx, ly);
        return true;
    };
    if (sprite.drawing) {
        double lx = 0, ly = 0;
        if (local(lx, ly) && sprite.drawing->hit(lx, ly))
            return true;
    }
    // Whether one object of the list falls on the point, by its outlines.
    const auto objectHit = [&](const DisplayObject& object) -> bool {
        if (object.sprite)
            return object.sprite->nesting < kMaxSpriteNesting && spriteHit(*object.sprite, x, y, true);
        const CTag* tag = character(sprite, object.characterId);
        if (!tag && !object.field)
            return false;
        cairo_matrix_t m = object.matrix;
        double lx = 0, ly = 0;
        if (!local(lx, ly) || cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS)
            return false;
        cairo_matrix_transform_point(&m, &lx, &ly);
        // A stage pixel in the object's own units: the least width a stroke is hit at, however it is scaled.
        const auto minWidth = [&] {
            cairo_matrix_t full;
            cairo_matrix_multiply(&full, &object.matrix, &toStage);
            const double scale = std::sqrt(std::fabs(full.xx * full.yy - full.xy * full.yx));
            return scale > 0 && std::isfinite(scale) ? kTwipsPerPixel / scale : kTwipsPerPixel;
        };
        if (object.field) {
            // A text field by its box as scripts and autoSize left it.
            const EditField& f = *object.field;
            return lx >= std::min(f.left, f.right) && lx <= std::max(f.left, f.right)
                && ly >= std::min(f.top, f.bottom) && ly <= std::max(f.top, f.bottom);
        }
        const std::vector<ShapeLayer>* layers = nullptr;
        if (auto cached = m_ShapeCache.find(tag); cached != m_ShapeCache.end()) {
            layers = &cached->second;
        } else if (auto* s = dynamic_cast<const CShapeTag*>(tag); s && s->m_pShapes) {
            const CShapeWithStyleItem* w = s->m_pShapes.get();
            std::vector<ShapeLayer> walked = WalkShape(w->m_pShape.get(), w->m_pFillStyles.get(), w->m_pLineStyles.get());
            if (auto* shape4 = dynamic_cast<const CDefineShape4Tag*>(tag))
                for (ShapeLayer& layer : walked)
                    layer.nonZero = shape4->m_UsesFillWindingRule;
            layers = &m_ShapeCache.emplace(tag, std::move(walked)).first->second;
        } else if (dynamic_cast<const CDefineMorphShapeTag*>(tag)) {
            // A morph by its shape at the object's ratio.
            return LayersHit(MorphShapeLayers(tag, object.ratio), lx, ly, minWidth());
        } else if (auto* text = dynamic_cast<const CTextTag*>(tag)) {
            // Static text by the outlines of its glyphs; turned or skewed on the stage, by the upright box round
            // its bounds there.
            cairo_matrix_t full;
            cairo_matrix_multiply(&full, &object.matrix, &toStage);
            double rect[4];
            if ((full.xy != 0 || full.yx != 0) && RectOf(text->m_pBounds.get(), rect)) {
                double box[4] = { kNoBounds, kNoBounds, -kNoBounds, -kNoBounds };
                AddRect(box, full, rect[0], rect[1], rect[2], rect[3]);
                return x >= box[0] && x <= box[2] && y >= box[1] && y <= box[3];
            }
            return textHit(sprite, *text, lx, ly);
        } else {
            // Text fields and other characters: their rectangle.
            double rect[4];
            bool have = false;
            if (auto* edit = dynamic_cast<const CDefineEditTextTag*>(tag))
                have = RectOf(edit->m_pBounds.get(), rect);
            return have && lx >= rect[0] && lx <= rect[2] && ly >= rect[1] && ly <= rect[3];
        }
        return layers && LayersHit(*layers, lx, ly, minWidth());
    };
    // The layers a mask layer of the timeline covers are hit only where that mask has shape; the mask itself is
    // never hit.
    std::vector<std::pair<int32_t, bool>> masks; // the last depth each mask covers, and whether the point is in it
    for (const auto& [depth, object] : sprite.displayList) {
        std::erase_if(masks, [d = depth](const auto& mask) { return mask.first < d; });
        const bool masked = std::any_of(masks.begin(), masks.end(), [](const auto& mask) { return !mask.second; });
        if (object.clipDepth) {
            masks.emplace_back(object.clipDepth, !masked && objectHit(object));
            continue;
        }
        if (!masked && (!object.sprite || object.visible) && objectHit(object))
            return true;
    }
    return false;
}

} // namespace reelfinch::plugin
