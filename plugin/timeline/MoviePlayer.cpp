#include "timeline/MoviePlayer.h"

#include "avm1/Loading.h"
#include "avm1/Machine.h"
#include "avm1/TextCodec.h"
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/TextEditing.h"
#include "render/Bitmaps.h"
#include "render/Renderer.h"
#include "sound/MovieSound.h"

#include "Actions.h"
#include "Movie.h"
#include "Records.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"
#include "TagsModern.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace reelfinch::avm1 {
// Whether a button on the stage holds the keyboard's focus (the mouse then rolls no button over or out).
bool ButtonHoldsKeyboardFocus(Machine& m);
// Whether taking a clip off runs any script: an unload record or handler of it or of a clip it holds.
bool HearsUnload(Machine& m, plugin::SpriteInstance& sprite);
} // namespace reelfinch::avm1

namespace reelfinch::plugin {

namespace {

// Every sprite in the tree under `sprite` (itself included), by address with its serial.
void CollectSprites(const SpriteInstance& sprite, std::unordered_map<const SpriteInstance*, uint64_t>& out)
{
    out.emplace(&sprite, sprite.serial);
    for (const auto& [depth, object] : sprite.displayList)
        if (SpriteInstance* content = ContentOf(object))
            CollectSprites(*content, out);
}

// Actions that start other actions (a goto entering a frame with actions) nest at most this deep.
constexpr int kMaxActionDepth = 8;
// The work that actions may cause in one step, counted in action records run and frame tags applied: gotos that
// enter frames whose actions go to other frames again could otherwise multiply without end.
constexpr long kActionBudget = 200000;
// Pan modes: by pixels, or by percent of the shown rectangle.
constexpr int kPanPixels = 0;
// A zoom rectangle is never narrower than this many twips.
constexpr int32_t kMinZoomSide = 20;

// Fixed point of colour transform multipliers: 8.8.
constexpr double kCXFormUnit = 256.0;
constexpr double kColorUnit = 255.0;

cairo_matrix_t MatrixFromItem(const CMatrixItem* item)
{
    cairo_matrix_t m;
    cairo_matrix_init_identity(&m);
    if (item)
        cairo_matrix_init(&m, item->m_ScaleX, item->m_RotateSkew0, item->m_RotateSkew1, item->m_ScaleY,
            item->m_TranslateX, item->m_TranslateY);
    return m;
}

bool IsDefinition(uint16_t code)
{
    switch (code) {
    case kTagDefineShape:
    case kTagDefineShape2:
    case kTagDefineShape3:
    case kTagDefineShape4:
    case kTagDefineMorphShape:
    case kTagDefineMorphShape2:
    case kTagDefineBits:
    case kTagDefineBitsJPEG2:
    case kTagDefineBitsJPEG3:
    case kTagDefineBitsJPEG4:
    case kTagDefineBitsLossless:
    case kTagDefineBitsLossless2:
    case kTagDefineFont:
    case kTagDefineFont2:
    case kTagDefineFont3:
    case kTagDefineText:
    case kTagDefineText2:
    case kTagDefineButton:
    case kTagDefineButton2:
    case kTagDefineSprite:
    case kTagDefineEditText:
    case kTagDefineVideoStream:
        return true;
    default:
        return false;
    }
}

uint16_t CharacterIdOf(const CTag* tag)
{
    if (auto* t = dynamic_cast<const CShapeTag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineMorphShapeTag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineBitsTag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineBitsJPEG2Tag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineBitsJPEG3Tag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CBitsLossLessTag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineFontTag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineFont2Tag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CTextTag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineButtonTag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineButton2Tag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineSpriteTag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineEditTextTag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineBitsJPEG4Tag*>(tag))
        return t->m_ID;
    if (auto* t = dynamic_cast<const CDefineVideoStreamTag*>(tag))
        return t->m_ID;
    return 0;
}

// The key code a button's record names for a key: the special keys 1-19, or the character typed.
int ButtonKeyCode(int code, int ascii)
{
    switch (code) {
    case 37: return 1; // left
    case 39: return 2; // right
    case 36: return 3; // home
    case 35: return 4; // end
    case 45: return 5; // insert
    case 46: return 6; // delete
    case 8: return 8; // backspace
    case 13: return 13; // enter
    case 38: return 14; // up
    case 40: return 15; // down
    case 33: return 16; // page up
    case 34: return 17; // page down
    case 9: return 18; // tab
    case 27: return 19; // escape
    default:
        return ascii >= 32 && ascii < 127 ? ascii : 0;
    }
}

} // namespace

ColorTransform ColorTransform::fromItem(const CCXFormItem* item)
{
    ColorTransform t;
    if (!item)
        return t;
    if (item->m_MultTermsRead) {
        t.mr = item->m_RedMultTerm / kCXFormUnit;
        t.mg = item->m_GreenMultTerm / kCXFormUnit;
        t.mb = item->m_BlueMultTerm / kCXFormUnit;
        t.ma = item->m_HasAlpha ? item->m_AlphaMultTerm / kCXFormUnit : 1.0;
    }
    if (item->m_AddTermsRead) {
        t.ar = item->m_RedAddTerm / kColorUnit;
        t.ag = item->m_GreenAddTerm / kColorUnit;
        t.ab = item->m_BlueAddTerm / kColorUnit;
        t.aa = item->m_HasAlpha ? item->m_AlphaAddTerm / kColorUnit : 0.0;
    }
    return t;
}

cairo_surface_t* MoviePlayer::bitmapSurface(uint16_t id)
{
    const CTag* tag = character(id);
    return tag ? m_Bitmaps->get(tag, m_JPEGTables) : nullptr;
}

MoviePlayer::MoviePlayer()
    : m_Bitmaps(std::make_unique<BitmapCache>())
    , m_ActionBudget(kActionBudget)
    , m_Sound(std::make_unique<sound::MovieSound>())
{
    m_Root.timeline = &m_RootTimeline;
    MakeTop(m_Root);
}

MoviePlayer::~MoviePlayer()
{
    // The last frame's sound is heard (or written) to its end before the sounds go.
    if (isLoaded())
        m_Sound->finish(m_FrameRate, m_Root.serial);
    m_Sound.reset();
}

bool MoviePlayer::load(const uint8_t* data, size_t size)
{
    // Everything taken from an earlier movie goes with it: its characters, timelines and caches point into it.
    m_Machine.reset();
    m_Sound->reset();
    m_PendingActions.clear();
    m_Removed.clear();
    m_InitActionsRun.clear();
    m_ExportNames.clear();
    m_Imported.clear();
    m_Imports.clear();
    m_Root = SpriteInstance {};
    MakeTop(m_Root);
    m_Levels.clear();
    m_Libraries.clear();
    m_Root.timeline = &m_RootTimeline;
    m_RootTimeline = Timeline {};
    m_SpriteTimelines.clear();
    m_Characters.clear();
    m_JPEGTables = nullptr;
    m_ShapeCache.clear();
    // Fonts are found by their tags too: a new movie's tag may stand where a freed one's stood.
    m_FontCache.clear();
    m_Renderer.reset();
    m_Bitmaps = std::make_unique<BitmapCache>();
    m_BackgroundColor = kDefaultBackground;
    m_Movie.reset();
    auto movie = readMovie(data, size);
    if (!movie)
        return false;
    CHeaderItem* header = movie->GetHeader();
    m_Movie = std::move(movie);
    m_MovieBytes = size;
    const CRectItem* frame = header->m_pFrameRect.get();
    m_Frame[0] = frame->m_XMin;
    m_Frame[1] = frame->m_YMin;
    m_Frame[2] = frame->m_XMax;
    m_Frame[3] = frame->m_YMax;
    std::copy(m_Frame, m_Frame + 4, m_Zoom);
    m_FrameRate
        = header->m_FrameRate > 0 && std::isfinite(header->m_FrameRate) ? header->m_FrameRate : kDefaultFrameRate;
    buildTimeline(m_RootTimeline, m_Movie->GetTags(), true);
    m_Root = SpriteInstance {};
    MakeTop(m_Root);
    m_Root.timeline = &m_RootTimeline;
    m_Version = header->m_Version;
    m_Machine = std::make_unique<avm1::Machine>(*this, m_Version);
    avm1::SetSharedObjectLocation(*m_Machine, movieUrl);
    m_Machine->onTrace = [this](const std::string& line) {
        if (onTrace)
            onTrace(avm1::externalUtf8(line));
    };
    m_Machine->onGetURL = [this](const std::string& url, const std::string& target, int) {
        if (onGetURL)
            onGetURL(avm1::externalUtf8(url), avm1::externalUtf8(target));
    };
    if (onMachineCreated)
        onMachineCreated(*m_Machine);
    startImports(m_Root, nullptr);
    if (totalFrames() > 0) {
        enterFrame(m_Root, 0, true);
        // The root hears its load event after its first frame's actions, as any clip does.
        queueEvent(m_Root, ClipEvent::Load);
        runPendingActions();
    }
    return true;
}

void MoviePlayer::buildTimeline(Timeline& timeline, const CTagsItem* tags, bool root)
{
    timeline.frames.assign(1, {});
    bool haveBackground = false;
    bool ended = false;
    for (int i = 0; tags && i < tags->GetItemCount(); ++i) {
        const CTag* tag = tags->GetTag(i);
        if (!tag)
            continue;
        const uint16_t code = tag->m_TagCode;
        if (code == kTagShowFrame) {
            timeline.frames.emplace_back();
            continue;
        }
        if (code == kTagEnd) {
            ended = true;
            break;
        }
        if (root && code == kTagSetBackgroundColor && !m_Building) {
            // The first background colour holds for the whole movie; later ones are ignored.
            if (auto* bg = dynamic_cast<const CSetBackGroundColorTag*>(tag); bg && bg->m_pColor && !haveBackground) {
                haveBackground = true;
                const tRGBRec c = bg->m_pColor->GetRGB();
                m_BackgroundColor = 0xFF000000u | (uint32_t(c.red) << 16) | (uint32_t(c.green) << 8) | c.blue;
            }
            continue;
        }
        if (root && code == kTagJPEGTables) {
            (m_Building ? m_Building->jpegTables : m_JPEGTables) = tag;
            continue;
        }
        if (root && IsDefinition(code)) {
            registerCharacter(tag);
            continue;
        }
        if (root && (code == kTagDefineSound || code == kTagDefineButtonSound || code == kTagSymbolClass
                || code == kTagExportAssets)) {
            // The sound side knows the main movie's sounds only: a loaded movie's IDs would clash with them.
            if (!m_Building)
                m_Sound->defineTag(tag);
            if (auto* exports = dynamic_cast<const CExportAssetsTag*>(tag); exports && exports->m_pAssets)
                for (int i = 0; i < exports->m_pAssets->GetItemCount(); ++i)
                    if (auto* asset = dynamic_cast<const CAssetItem*>(exports->m_pAssets->GetItem(i));
                        asset && asset->m_pName)
                        // A name exported again names the later symbol.
                        (m_Building ? m_Building->exportNames : m_ExportNames)
                            .insert_or_assign(asset->m_pName->GetStr(), asset->m_ID);
            continue;
        }
        if (root && (code == kTagImportAssets || code == kTagImportAssets2)) {
            (m_Building ? m_Building->imports : m_Imports).push_back(tag);
            continue;
        }
        if (code == kTagSoundStreamHead || code == kTagSoundStreamHead2) {
            if (!timeline.streamHead)
                timeline.streamHead = tag;
            continue;
        }
        if (sound::IsFrameSoundTag(code)) {
            timeline.frames.back().push_back(tag);
            continue;
        }
        if (code == kTagFrameLabel) {
            if (auto* label = dynamic_cast<const CFrameLabelTag*>(tag); label && label->m_pLabel)
                timeline.labels.emplace(label->m_pLabel->GetStr(), int(timeline.frames.size()) - 1);
            continue;
        }
        if (code == kTagPlaceObject || code == kTagPlaceObject2 || code == kTagPlaceObject3 || code == kTagRemoveObject
            || code == kTagRemoveObject2 || code == kTagDoAction || code == kTagDoInitAction)
            timeline.frames.back().push_back(tag);
    }
    // The tags after the last ShowFrame belong to no shown frame. A sprite still plays them as a last frame
    // (its actions run), but then stays there; so does a sprite whose tags stop without an End tag, which the
    // player takes as not wholly loaded.
    // The End tag is kept apart from the list (and made up when the data had none).
    ended = ended || (tags && !tags->m_TerminatorMissing);
    if (!root && (!ended || !timeline.frames.back().empty()) && timeline.frames.size() > 1)
        timeline.loops = false;
    if (timeline.frames.size() > 1 && (root || timeline.frames.back().empty()))
        timeline.frames.pop_back();
    const int declared = tags ? tags->m_DeclaredFrameCount : 0;
    // A movie without ShowFrame tags shows nothing and has no frames at all; a sprite without them still has
    // its one frame, whose actions run.
    if (root && tags && tags->CountShowFrames() == 0 && declared == 0)
        timeline.frames.clear();
}

void MoviePlayer::registerCharacter(const CTag* tag)
{
    const uint16_t id = CharacterIdOf(tag);
    // The first definition of an ID holds; a later one with the same ID is a malformed movie's.
    if (!(m_Building ? m_Building->characters : m_Characters).emplace(id, tag).second)
        return;
    if (auto* sprite = dynamic_cast<const CDefineSpriteTag*>(tag)) {
        auto timeline = std::make_unique<Timeline>();
        buildTimeline(*timeline, sprite->m_pTags.get(), false);
        (m_Building ? m_Building->spriteTimelines : m_SpriteTimelines)[id] = std::move(timeline);
    }
}

int MoviePlayer::totalFrames() const
{
    return isLoaded() ? int(m_Root.timeline->frames.size()) : 0;
}

int MoviePlayer::currentFrame() const
{
    return std::max(0, m_Root.currentFrame);
}

bool MoviePlayer::placementOf(const CTag* tag, Placement& placement, const CClipActionsItem*& clipActions) const
{
    clipActions = nullptr;
    switch (tag->m_TagCode) {
    case kTagPlaceObject: {
        auto* place = dynamic_cast<const CPlaceObjectTag*>(tag);
        if (!place)
            return false;
        // The first form always places a new object with its whole transform.
        placement.depth = place->m_Depth;
        placement.move = false;
        placement.characterId = place->m_ID;
        placement.matrix = MatrixFromItem(place->m_pMatrix.get());
        placement.colorTransform = ColorTransform::fromItem(place->m_pColorTransform.get());
        return true;
    }
    case kTagPlaceObject2:
    case kTagPlaceObject3: {
        auto* place = dynamic_cast<const CPlaceObject2Tag*>(tag);
        if (!place)
            return false;
        placement = PlacementFrom(*place);
        clipActions = placement.clipActions;
        return true;
    }
    default:
        return false;
    }
}

void MoviePlayer::applyControlTag(SpriteInstance& sprite, const CTag* tag, int frame)
{
    switch (tag->m_TagCode) {
    case kTagPlaceObject:
    case kTagPlaceObject2:
    case kTagPlaceObject3: {
        Placement placement;
        const CClipActionsItem* clipActions = nullptr;
        if (!placementOf(tag, placement, clipActions))
            return;
        applyPlacement(sprite, placement, frame);
        if (clipActions && !placement.move)
            if (auto it = sprite.displayList.find(placement.depth); it != sprite.displayList.end())
                it->second.clipActions = clipActions;
        break;
    }
    case kTagRemoveObject:
        if (auto* remove = dynamic_cast<const CReMoveObjectTag*>(tag))
            if (auto it = sprite.displayList.find(remove->m_Depth); it != sprite.displayList.end())
                removeByTimeline(sprite, it);
        break;
    case kTagRemoveObject2:
        if (auto* remove = dynamic_cast<const CReMoveObject2Tag*>(tag))
            if (auto it = sprite.displayList.find(remove->m_Depth); it != sprite.displayList.end())
                removeByTimeline(sprite, it);
        break;
    default:
        break;
    }
}

void MoviePlayer::applyPlacement(SpriteInstance& sprite, const Placement& place, int frame)
{
    auto existing = sprite.displayList.find(place.depth);
    bool made = false;
    if (!place.move || existing == sprite.displayList.end()) {
        // A new object; a move of an empty depth without a character places nothing.
        if (!place.characterId)
            return;
        // A new object cannot take a depth that holds one: the player refuses it and says so.
        if (existing != sprite.displayList.end()) {
            if (onTrace)
                onTrace("Warning: Failed to place object at depth " + std::to_string(place.depth) + ".");
            return;
        }
        DisplayObject& object = sprite.displayList[place.depth];
        object.depth = place.depth;
        object.placedFrame = frame;
        object.fresh = m_HaveMouse;
        existing = sprite.displayList.find(place.depth);
        made = true;
    }
    DisplayObject& object = existing->second;
    if (place.characterId && object.characterId != *place.characterId) {
        if (object.sprite) {
            // Another character at the depth: the sprite that was there goes (its unload events follow).
            auto kept = std::make_unique<DisplayObject>();
            kept->depth = object.depth;
            kept->name = object.name;
            kept->matrix = object.matrix;
            kept->clipActions = object.clipActions;
            kept->sprite = std::move(object.sprite);
            kept->sprite->display = kept.get();
            kept->sprite->removed = true;
            queueUnload(*kept->sprite);
            m_Removed.push_back(std::move(kept));
        }
        if (object.buttonContent) {
            // A button's children go as a sprite does, kept until the step's actions have run.
            auto kept = std::make_unique<DisplayObject>();
            kept->depth = object.depth;
            kept->name = object.name;
            kept->buttonContent = std::move(object.buttonContent);
            kept->buttonContent->display = kept.get();
            kept->buttonContent->removed = true;
            queueUnload(*kept->buttonContent);
            m_Removed.push_back(std::move(kept));
        }
        object.characterId = *place.characterId;
        object.buttonState = kButtonUp;
        object.placedFrame = frame;
        object.fresh = m_HaveMouse;
        // A button the timeline took off during this step and now places again (the same character at the same
        // depth, as a goto back does) is the same button to the mouse: it keeps the state the mouse gave it, a
        // press held on it included.
        if (made)
            for (const auto& gone : m_Removed)
                if (gone->buttonContent && gone->buttonContent->parent == &sprite && gone->depth == object.depth
                    && gone->characterId == object.characterId) {
                    object.buttonState = gone->buttonState;
                    object.buttonHeld = gone->buttonHeld;
                    object.fresh = false;
                }
    }
    // The timeline no longer moves an object a script has moved.
    if (!object.scriptMoved || !place.move) {
        if (place.matrix)
            object.matrix = *place.matrix;
        if (place.colorTransform)
            object.colorTransform = *place.colorTransform;
    }
    if (place.ratio)
        object.ratio = *place.ratio;
    if (place.clipDepth)
        object.clipDepth = *place.clipDepth;
    if (place.name)
        object.name = *place.name;
    // Every object the mouse and keyboard can reach (clips, buttons, text fields) that the timeline places
    // without a name is given one; shapes, static text and videos are not counted.
    if (object.name.empty()) {
        const CTag* tag = character(sprite, object.characterId);
        const uint16_t code = tag ? tag->m_TagCode : 0;
        if (code == kTagDefineSprite || code == kTagDefineButton || code == kTagDefineButton2
            || code == kTagDefineEditText)
            object.name = "instance" + std::to_string(++m_InstanceNames);
    }
    if (place.blendMode)
        object.blendMode = *place.blendMode;
    if (place.visible)
        object.visible = *place.visible;
    if (place.filters)
        object.filters = *place.filters;
    if (place.cacheAsBitmap)
        object.cacheAsBitmap = *place.cacheAsBitmap;
    if (place.opaqueBackground)
        object.opaqueBackground = place.opaqueBackground;
}

void MoviePlayer::startSprite(SpriteInstance& parent, DisplayObject& object)
{
    if (object.sprite || object.bitmap || parent.nesting >= kMaxSpriteNesting)
        return;
    static const Timeline kEmptyTimeline {};
    const Timeline* timeline = &kEmptyTimeline;
    const MovieLibrary* library = parent.library;
    uint16_t symbol = object.characterId;
    if (symbol) {
        timeline = spriteTimeline(parent.library, object.characterId, library, symbol);
        if (!timeline)
            return;
    }
    object.sprite = std::make_unique<SpriteInstance>();
    object.sprite->library = library;
    object.sprite->timeline = timeline;
    object.sprite->nesting = parent.nesting + 1;
    object.sprite->serial = m_NextSerial++;
    object.sprite->parent = &parent;
    object.sprite->display = &object;
    object.sprite->symbolId = symbol;
    if (object.name.empty())
        object.name = "instance" + std::to_string(++m_InstanceNames);
}

void MoviePlayer::removeAt(SpriteInstance& sprite, std::map<int32_t, DisplayObject>::iterator it)
{
    DisplayObject& object = it->second;
    if (SpriteInstance* content = ContentOf(object)) {
        // The sprite (or a button's children) lives on apart until the actions of this step have run: its
        // unload events see it, and a script running in it is not pulled from under itself.
        auto kept = std::make_unique<DisplayObject>(std::move(object));
        content->display = kept.get();
        content->removed = true;
        queueUnload(*content);
        m_Removed.push_back(std::move(kept));
    }
    sprite.displayList.erase(it);
}

void MoviePlayer::removeByTimeline(SpriteInstance& sprite, std::map<int32_t, DisplayObject>::iterator it)
{
    SpriteInstance* content = it->second.sprite.get();
    // The depth it waits at mirrors its own below zero, so that clips taken off different depths never meet.
    const int32_t waiting = -1 - it->first;
    if (!content || it->first < 0 || !m_Machine || sprite.displayList.count(waiting)
        || !avm1::HearsUnload(*m_Machine, *content)) {
        removeAt(sprite, it);
        return;
    }
    // The map node moves with its object in place: the clip's pointer to its entry stays good.
    auto node = sprite.displayList.extract(it);
    node.key() = waiting;
    node.mapped().depth = waiting;
    sprite.displayList.insert(std::move(node));
    queueUnload(*content);
}

void MoviePlayer::dropUnloaded(SpriteInstance& sprite)
{
    for (auto it = sprite.displayList.begin(); it != sprite.displayList.end();) {
        DisplayObject& object = it->second;
        if (it->first < 0 && object.sprite) {
            // Its unload events have run: it goes as removeAt takes an object, kept until this step's actions end.
            auto kept = std::make_unique<DisplayObject>(std::move(object));
            kept->sprite->display = kept.get();
            kept->sprite->removed = true;
            m_Removed.push_back(std::move(kept));
            it = sprite.displayList.erase(it);
            continue;
        }
        if (SpriteInstance* content = ContentOf(object))
            dropUnloaded(*content);
        ++it;
    }
}

void MoviePlayer::queueUnload(SpriteInstance& sprite)
{
    if (m_Machine && sprite.script.m_Link && sprite.script.m_Link->path.empty())
        sprite.script.m_Link->path = m_Machine->targetPath(sprite, false);
    queueEvent(sprite, ClipEvent::Unload);
    for (auto& [depth, object] : sprite.displayList)
        if (SpriteInstance* content = ContentOf(object))
            queueUnload(*content);
}

void MoviePlayer::applyFrame(SpriteInstance& sprite, int frame)
{
    m_ActionBudget -= long(sprite.timeline->frames[size_t(frame)].size()) + 1;
    for (const CTag* tag : sprite.timeline->frames[size_t(frame)])
        if (tag->m_TagCode != kTagDoAction && tag->m_TagCode != kTagDoInitAction)
            applyControlTag(sprite, tag, frame);
    // Sprites that have just appeared are made; they enter their first frame when this one is entered.
    for (auto& [depth, object] : sprite.displayList) {
        if (!object.sprite)
            startSprite(sprite, object);
        if (!object.sprite && !object.bitmap)
            syncButtonContent(sprite, object, false);
    }
}

namespace {
// A queued entry that constructs a clip: its initialize event or its class's constructor.
const auto IsConstruction = [](const auto& entry) {
    return !entry.actions && !entry.button
        && (entry.event == ClipEvent::Initialize || entry.event == ClipEvent::Construct);
};

bool FirstFrameHasScript(const Timeline& timeline)
{
    if (timeline.frames.empty())
        return false;
    for (const CTag* tag : timeline.frames.front())
        if (tag->m_TagCode == kTagDoAction)
            return true;
    return false;
}
} // namespace

void MoviePlayer::enterFrame(SpriteInstance& sprite, int frame, bool actions, bool apply, bool jump)
{
    if (apply)
        applyFrame(sprite, frame);
    // A script's goto makes the clips it places first: their first frames run before the frame's own actions.
    if (jump)
        for (auto& [depth, object] : sprite.displayList)
            if (object.sprite && object.sprite->currentFrame < 0)
                beginSprite(*object.sprite, actions);
    sprite.currentFrame = frame;
    m_FrameEntered = true;
    // A symbol's init actions run once, the first time a frame holding them is entered, before frame actions,
    // on the root of the movie they belong to: a loaded movie's run on the clip it was loaded into.
    if (actions) {
        SpriteInstance* owner = &m_Root;
        if (sprite.library) {
            owner = &sprite;
            while (owner->parent && owner->parent->library == sprite.library)
                owner = owner->parent;
        }
        for (const CTag* tag : sprite.timeline->frames[size_t(frame)])
            if (auto* init = dynamic_cast<const CDoInitActionsTag*>(tag);
                init && init->m_pActions && m_InitActionsRun.insert(tag).second)
                queueActions(*owner, init->m_pActions.get());
    }
    // The sound side knows the main movie's sounds only (a loaded movie's sound IDs would name other sounds).
    if (!sprite.library)
        soundFrameEntered(sprite, frame);
    // The clips this frame makes are constructed (initialize events and class constructors, a parent before
    // what it holds) after the frame's init actions and before any of its actions.
    const size_t constructions = m_PendingActions.size();
    if (actions) {
        // The frame's tags act in order: a sprite with a script in its first frame placed before an action tag
        // enters that frame (its actions queued) before the tag's actions.
        std::vector<int32_t> placedBefore;
        for (const CTag* tag : sprite.timeline->frames[size_t(frame)]) {
            Placement place;
            const CClipActionsItem* clipActions = nullptr;
            if (tag->m_TagCode != kTagDoAction && placementOf(tag, place, clipActions) && place.characterId)
                placedBefore.push_back(place.depth);
            auto* doAction = dynamic_cast<const CDoActionTag*>(tag);
            if (!doAction || !doAction->m_pActions)
                continue;
            for (int32_t depth : placedBefore)
                if (auto it = sprite.displayList.find(depth); it != sprite.displayList.end() && it->second.sprite
                    && it->second.sprite->currentFrame < 0 && FirstFrameHasScript(*it->second.sprite->timeline))
                    beginSprite(*it->second.sprite, actions);
            placedBefore.clear();
            queueActions(sprite, doAction->m_pActions.get());
        }
    }
    // New sprites show their first frame at once: made (initialize and construct), their first frame's
    // actions, then their load event.
    for (auto& [depth, object] : sprite.displayList) {
        if (object.sprite && object.sprite->currentFrame < 0)
            beginSprite(*object.sprite, actions);
        // A button's state children that have just been made enter theirs with it.
        if (object.buttonContent)
            for (auto& [childDepth, child] : object.buttonContent->displayList)
                if (child.sprite && child.sprite->currentFrame < 0)
                    beginSprite(*child.sprite, actions);
    }
    if (constructions < m_PendingActions.size())
        std::stable_partition(m_PendingActions.begin() + std::ptrdiff_t(constructions), m_PendingActions.end(),
            IsConstruction);
}

void MoviePlayer::beginSprite(SpriteInstance& sprite, bool actions)
{
    if (actions) {
        queueEvent(sprite, ClipEvent::Initialize);
        queueEvent(sprite, ClipEvent::Construct);
    }
    if (!sprite.timeline->frames.empty())
        enterFrame(sprite, 0, actions);
    else
        sprite.currentFrame = 0;
    if (actions) {
        queueEvent(sprite, ClipEvent::Load);
        // From the next frame on it hears enterFrame, as clips made by scripts do.
        sprite.loaded = true;
    }
}

void MoviePlayer::rebuildTo(SpriteInstance& sprite, int frame)
{
    // What the timeline alone shows at `frame`: for each depth the frame that placed its object and the
    // placement accumulated since.
    struct Planned {
        Placement place;
        int placedFrame = 0;
        const CClipActionsItem* clipActions = nullptr;
    };
    std::map<int32_t, Planned> plan;
    for (int f = 0; f <= frame; ++f) {
        m_ActionBudget -= long(sprite.timeline->frames[size_t(f)].size()) + 1;
        for (const CTag* tag : sprite.timeline->frames[size_t(f)]) {
            const uint16_t code = tag->m_TagCode;
            if (code == kTagRemoveObject || code == kTagRemoveObject2) {
                if (auto* remove = dynamic_cast<const CReMoveObjectTag*>(tag))
                    plan.erase(remove->m_Depth);
                else if (auto* remove2 = dynamic_cast<const CReMoveObject2Tag*>(tag))
                    plan.erase(remove2->m_Depth);
                continue;
            }
            Placement p;
            const CClipActionsItem* clipActions = nullptr;
            if (!placementOf(tag, p, clipActions))
                continue;
            auto it = plan.find(p.depth);
            if (!p.move || it == plan.end()) {
                if (!p.characterId || it != plan.end())
                    continue;
                plan[p.depth] = Planned { p, f, clipActions };
                continue;
            }
            Placement& q = it->second.place;
            if (p.characterId && *p.characterId != q.characterId) {
                q.characterId = p.characterId;
                it->second.placedFrame = f;
            }
            if (p.matrix)
                q.matrix = p.matrix;
            if (p.colorTransform)
                q.colorTransform = p.colorTransform;
            if (p.ratio)
                q.ratio = p.ratio;
            if (p.clipDepth)
                q.clipDepth = p.clipDepth;
            if (p.name)
                q.name = p.name;
            if (p.blendMode)
                q.blendMode = p.blendMode;
            if (p.visible)
                q.visible = p.visible;
            if (p.filters)
                q.filters = p.filters;
            if (p.cacheAsBitmap)
                q.cacheAsBitmap = p.cacheAsBitmap;
            if (p.opaqueBackground)
                q.opaqueBackground = p.opaqueBackground;
        }
    }
    // Objects the timeline placed that are not there at that frame go; those that are stay as they are (their
    // sprites keep playing), with the timeline's transform unless a script moved them. Objects that scripts
    // made or moved stay in the depths of scripts; in the timeline's depths they go like the timeline's own.
    for (auto it = sprite.displayList.begin(); it != sprite.displayList.end();) {
        DisplayObject& object = it->second;
        // Clips waiting for their unload events go with the next frame whatever the timeline does.
        if (it->first < 0 || (object.placedFrame < 0 && it->first >= kScriptDepthOffset)) {
            ++it;
            continue;
        }
        auto planned = plan.find(it->first);
        const bool keep = planned != plan.end() && planned->second.placedFrame == object.placedFrame
            && planned->second.place.characterId == object.characterId;
        if (!keep) {
            auto next = std::next(it);
            removeByTimeline(sprite, it);
            it = next;
            continue;
        }
        const Placement& p = planned->second.place;
        if (!object.scriptMoved) {
            if (p.matrix)
                object.matrix = *p.matrix;
            if (p.colorTransform)
                object.colorTransform = *p.colorTransform;
        }
        if (p.ratio)
            object.ratio = *p.ratio;
        plan.erase(planned);
        ++it;
    }
    for (auto& [depth, planned] : plan) {
        if (sprite.displayList.count(depth))
            continue; // a script's object holds the depth
        Placement p = planned.place;
        p.move = false;
        applyPlacement(sprite, p, planned.placedFrame);
        if (auto it = sprite.displayList.find(depth); it != sprite.displayList.end()) {
            it->second.clipActions = planned.clipActions;
            startSprite(sprite, it->second);
            // A button shows its state's characters at once, as one a frame places does.
            if (!it->second.sprite && !it->second.bitmap)
                syncButtonContent(sprite, it->second, false);
        }
    }
}

bool MoviePlayer::seek(SpriteInstance& sprite, int frame, bool jump)
{
    const int count = int(sprite.timeline->frames.size());
    // A script's goto past the end passes every frame up to the last and stays there: it never reaches its
    // frame, so no frame's actions run, only those of the clips it makes on the way.
    const bool pastEnd = jump && frame >= count && count > 0;
    if (pastEnd)
        frame = count;
    else if (frame < 0 || frame >= count)
        return false;
    if (frame == sprite.currentFrame)
        return true;
    // Going back rebuilds the display list as the timeline has it at that frame; objects that stay keep their
    // sprites and script state.
    if (frame < sprite.currentFrame) {
        rebuildTo(sprite, frame);
        enterFrame(sprite, frame, true, false, jump);
        return true;
    }
    for (int f = sprite.currentFrame + 1; f < frame; ++f) {
        applyFrame(sprite, f);
        sprite.currentFrame = f;
        // A script's goto makes the clips of the frames it passes at once.
        if (jump)
            for (auto& [depth, object] : sprite.displayList)
                if (object.sprite && object.sprite->currentFrame < 0)
                    beginSprite(*object.sprite, true);
    }
    if (pastEnd) {
        m_FrameEntered = true;
        return true;
    }
    if (jump) {
        // The frame a goto lands on: its tags in order, so that actions before a placement run before the new
        // clip's first frame and those after it after.
        m_ActionBudget -= long(sprite.timeline->frames[size_t(frame)].size()) + 1;
        for (const CTag* tag : sprite.timeline->frames[size_t(frame)]) {
            if (tag->m_TagCode == kTagDoAction || tag->m_TagCode == kTagDoInitAction)
                continue;
            applyControlTag(sprite, tag, frame);
            for (auto& [depth, object] : sprite.displayList)
                if (!object.sprite)
                    startSprite(sprite, object);
        }
        enterFrame(sprite, frame, true, false, false);
        return true;
    }
    enterFrame(sprite, frame, true);
    return true;
}

void MoviePlayer::stepChildren(SpriteInstance& sprite)
{
    // The topmost child first, as clips placed last run first.
    for (auto it = sprite.displayList.rbegin(); it != sprite.displayList.rend(); ++it) {
        if (it->second.sprite)
            stepSprite(*it->second.sprite, false);
        else if (it->second.buttonContent)
            stepChildren(*it->second.buttonContent);
    }
}

void MoviePlayer::stepSprite(SpriteInstance& sprite, bool force)
{
    const int count = int(sprite.timeline->frames.size());
    if (count == 0)
        return;
    // Children move first, with the frame they already show; new children have just entered their first frame.
    stepChildren(sprite);
    if (!sprite.playing && !force)
        return;
    if (count == 1 && sprite.currentFrame == 0)
        return;
    // A clip's stream sound paces the clip as the root's paces the movie: while it plays on a clock of its own,
    // the clip waits on a frame its sound has not reached (unless the sound runs dry) and steps through the
    // frames its sound has passed.
    int heard = 0;
    bool hungry = false;
    if (sprite.parent && sprite.playing && m_Sound->streamClock(sprite.serial, m_FrameRate, heard, hungry)) {
        if (sprite.currentFrame >= heard && !hungry)
            return;
        for (int steps = 1; sprite.currentFrame + 1 < heard && steps < count; ++steps) {
            const int before = sprite.currentFrame;
            if (before + 1 >= count)
                break; // the loop back restarts the stream: one step at a time from there
            seek(sprite, before + 1);
            if (sprite.currentFrame != before + 1 || !sprite.playing)
                return;
        }
    }
    if (sprite.currentFrame + 1 >= count && !sprite.timeline->loops)
        return;
    const int next = sprite.currentFrame + 1 >= count ? 0 : sprite.currentFrame + 1;
    seek(sprite, next);
}

namespace {
// Set while buttons are checked against a mouse that did not act (a frame passed under it).
thread_local bool t_MouseStill = false;
} // namespace

bool MoviePlayer::step(bool force)
{
    if (totalFrames() == 0)
        return false;
    // Only a timeline that entered a frame changes the picture: a stopped movie costs no redraw.
    m_FrameEntered = false;
    m_Sound->frameTime(m_FrameRate, m_Root.serial);
    // Clips the timeline took off in the last frame have heard their unload events: they go now.
    dropUnloaded(m_Root);
    for (auto& [number, level] : m_Levels)
        dropUnloaded(*level);
    // Clips whose movies scripts unloaded since the last frame are emptied now.
    if (m_Machine)
        avm1::ApplyUnloads(*m_Machine);
    // Clips that were there before this frame hear its enterFrame event first, then the timelines move on.
    queueEnterFrames(m_Root);
    for (auto& [number, level] : m_Levels)
        queueEnterFrames(*level);
    stepSprite(m_Root, force);
    for (auto& [number, level] : m_Levels)
        stepSprite(*level, false);
    runPendingActions();
    // Buttons that came or went under a mouse that stayed put; not while a button shows the keyboard's focus as
    // the mouse over it.
    if (m_HaveMouse && !(m_Machine && avm1::ButtonHoldsKeyboardFocus(*m_Machine))) {
        bool found = false;
        t_MouseStill = true;
        updateButtons(m_Root, underRoot(viewMatrix(m_ViewWidth, m_ViewHeight)), m_MousePixelX, m_MousePixelY, m_MouseDown,
            m_FrameEntered, found);
        t_MouseStill = false;
        // Clips with button handlers that came, went or moved under it roll over and out the same way.
        if (m_Machine)
            updateClipButtons(false, false);
        runPendingActions();
    }
    if (m_Machine) {
        avm1::DispatchSoundEvents(*m_Machine);
        avm1::DispatchNetStreamEvents(*m_Machine);
    }
    keepPlayingStreams();
    return m_FrameEntered;
}

void MoviePlayer::runPendingActions()
{
    // The sprites an entry may name: those reached from the root, the levels and the removed objects (alive until the
    // step ends), by address with their serials. Sprites are freed only when the removed objects go, at the end
    // (a new movie is loaded only from outside any script), so the set changes only when new sprites start or
    // more are removed: it is gathered again when the serial counter or the removed list has moved.
    std::unordered_map<const SpriteInstance*, uint64_t> live;
    uint64_t liveStamp = 0;
    auto isLiveNow = [&](const SpriteInstance* sprite, uint64_t serial) {
        const uint64_t stamp = m_NextSerial + (uint64_t(m_Removed.size()) << 32) + (uint64_t(m_Levels.size()) << 48);
        if (stamp != liveStamp) {
            live.clear();
            CollectSprites(m_Root, live);
            for (const auto& [number, level] : m_Levels)
                CollectSprites(*level, live);
            for (const auto& removed : m_Removed)
                if (SpriteInstance* content = ContentOf(*removed))
                    CollectSprites(*content, live);
            liveStamp = stamp;
        }
        auto found = live.find(sprite);
        return found != live.end() && found->second == serial;
    };
    const auto run = [&](const PendingActions& entry) {
        if (!isLiveNow(entry.sprite, entry.serial))
            return;
        // A clip taken away before its load event ran never hears it; nor do its frames' actions run.
        if (!entry.actions && !entry.button && entry.event == ClipEvent::Load
            && (entry.sprite->removed || AwaitsUnload(*entry.sprite)))
            return;
        if (entry.actions) {
            for (const SpriteInstance* s = entry.sprite; s; s = s->removed ? nullptr : s->parent)
                if (s->removed)
                    return;
            runActions(*entry.sprite, entry.actions);
        } else if (m_Machine && m_ActionDepth < kMaxActionDepth) {
            ++m_ActionDepth;
            if (entry.button)
                avm1::ButtonEvent(*m_Machine, entry.button, entry.event);
            else
                m_Machine->clipEvent(*entry.sprite, entry.event);
            --m_ActionDepth;
        }
    };
    // Actions may enter frames whose actions queue again; the nesting limit ends any cycle.
    for (int round = 0; !m_PendingActions.empty() && round < kMaxActionDepth; ++round) {
        auto pending = std::move(m_PendingActions);
        m_PendingActions.clear();
        for (const PendingActions& entry : pending) {
            run(entry);
            // Clips that entry made (attached, or placed by a goto) are constructed before any frame action that
            // waits runs.
            for (int nested = 0; nested < kMaxActionDepth
                 && std::any_of(m_PendingActions.begin(), m_PendingActions.end(), IsConstruction);
                 ++nested) {
                auto split = std::stable_partition(m_PendingActions.begin(), m_PendingActions.end(), IsConstruction);
                std::vector<PendingActions> first(std::make_move_iterator(m_PendingActions.begin()),
                    std::make_move_iterator(split));
                m_PendingActions.erase(m_PendingActions.begin(), split);
                for (const PendingActions& made : first)
                    run(made);
            }
        }
    }
    m_PendingActions.clear();
    m_ActionBudget = kActionBudget;
    if (m_ActionDepth == 0)
        m_Removed.clear();
    if (m_Machine)
        m_Machine->idle();
}

void MoviePlayer::queueActions(SpriteInstance& sprite, const CActionsItem* actions)
{
    if (m_ActionBudget <= 0 || !actions)
        return;
    m_PendingActions.push_back(PendingActions { &sprite, sprite.serial, actions });
}

void MoviePlayer::queueEvent(SpriteInstance& sprite, ClipEvent event)
{
    if (m_ActionBudget <= 0 || !m_Machine || !m_Machine->hearsEvent(sprite, event))
        return;
    --m_ActionBudget;
    m_PendingActions.push_back(PendingActions { &sprite, sprite.serial, nullptr, event });
}

void MoviePlayer::queueEnterFrames(SpriteInstance& sprite)
{
    // Topmost first, children before their parent.
    for (auto it = sprite.displayList.rbegin(); it != sprite.displayList.rend(); ++it)
        if (SpriteInstance* content = ContentOf(it->second))
            queueEnterFrames(*content);
    if (sprite.loaded || !sprite.parent)
        queueEvent(sprite, ClipEvent::EnterFrame);
}

bool MoviePlayer::isLive(const SpriteInstance& from, const SpriteInstance* sprite, uint64_t serial) const
{
    // Only pointers reached from the root are followed; the one asked about is compared, never read, until found.
    if (&from == sprite)
        return from.serial == serial;
    for (const auto& [depth, object] : from.displayList)
        if (const SpriteInstance* content = ContentOf(object); content && isLive(*content, sprite, serial))
            return true;
    return false;
}

bool MoviePlayer::isLiveAnywhere(const SpriteInstance* sprite, uint64_t serial) const
{
    if (isLive(m_Root, sprite, serial))
        return true;
    for (const auto& [number, level] : m_Levels)
        if (isLive(*level, sprite, serial))
            return true;
    for (const auto& removed : m_Removed)
        if (const SpriteInstance* content = ContentOf(*removed); content && isLive(*content, sprite, serial))
            return true;
    return false;
}

void MoviePlayer::runActions(SpriteInstance& sprite, const CActionsItem* actions)
{
    if (m_Machine && m_ActionDepth < kMaxActionDepth) {
        ++m_ActionDepth;
        m_Machine->runFrameActions(sprite, actions);
        --m_ActionDepth;
    }
}

bool MoviePlayer::advanceTo(uint32_t ticks)
{
    if (totalFrames() == 0)
        return false;
    const double ticksPerFrame = kTicksPerSecond / m_FrameRate;
    if (!m_HaveTime) {
        m_HaveTime = true;
        m_FrameClock = ticks + ticksPerFrame;
        return false;
    }
    bool changed = false;
    if (followStreamSound(ticks, changed))
        return changed;
    int frames = 0;
    if (m_Machine) {
        m_Machine->advanceTime(double(ticks) * 1000.0 / kTicksPerSecond);
        runPendingActions();
    }
    while (double(ticks) >= m_FrameClock && frames < kMaxCatchUpFrames) {
        changed = step() || changed;
        m_FrameClock += ticksPerFrame;
        ++frames;
    }
    // Far behind (a stalled host, a clock that jumped): start counting afresh from now.
    if (double(ticks) >= m_FrameClock || m_FrameClock - double(ticks) > 2 * ticksPerFrame + kTicksPerSecond)
        m_FrameClock = ticks + ticksPerFrame;
    return changed;
}

void MoviePlayer::play()
{
    m_Root.playing = true;
    m_HostPaused = false;
    m_Sound->setPaused(false);
}

void MoviePlayer::stop()
{
    m_Root.playing = false;
    m_HostPaused = true;
    m_Sound->setPaused(true);
}

bool MoviePlayer::gotoFrame(int frame)
{
    if (frame < 0 || frame >= totalFrames())
        return false;
    seek(m_Root, frame);
    runPendingActions();
    keepPlayingStreams();
    return true;
}

bool MoviePlayer::rewind()
{
    m_Root.playing = false;
    return gotoFrame(0);
}

bool MoviePlayer::forward()
{
    if (totalFrames() == 0)
        return false;
    m_Root.playing = false;
    if (m_Root.currentFrame + 1 >= totalFrames())
        return true;
    return step(true);
}

bool MoviePlayer::back()
{
    m_Root.playing = false;
    return m_Root.currentFrame > 0 ? gotoFrame(m_Root.currentFrame - 1) : totalFrames() > 0;
}

bool MoviePlayer::setZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!isLoaded() || int64_t(right) - left < kMinZoomSide || int64_t(bottom) - top < kMinZoomSide)
        return false;
    m_Zoom[0] = left;
    m_Zoom[1] = top;
    m_Zoom[2] = right;
    m_Zoom[3] = bottom;
    return true;
}

void MoviePlayer::setViewSize(int width, int height)
{
    if (width == m_ViewWidth && height == m_ViewHeight)
        return;
    m_ViewWidth = width;
    m_ViewHeight = height;
    if (m_Machine)
        avm1::StageViewResized(*m_Machine);
}

size_t MoviePlayer::movieLength() const
{
    return m_Movie ? m_Movie->GetHeader()->m_FileLength : 0;
}

void MoviePlayer::zoomRect(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const
{
    left = m_Zoom[0];
    top = m_Zoom[1];
    right = m_Zoom[2];
    bottom = m_Zoom[3];
}

bool MoviePlayer::zoom(int percent)
{
    if (!isLoaded() || percent < 0)
        return false;
    if (percent == 0) {
        std::copy(m_Frame, m_Frame + 4, m_Zoom);
        return true;
    }
    const int64_t cx = (int64_t(m_Zoom[0]) + m_Zoom[2]) / 2;
    const int64_t cy = (int64_t(m_Zoom[1]) + m_Zoom[3]) / 2;
    const int64_t halfW
        = std::clamp<int64_t>((int64_t(m_Zoom[2]) - m_Zoom[0]) * percent / 200, kMinZoomSide, INT32_MAX / 4);
    const int64_t halfH
        = std::clamp<int64_t>((int64_t(m_Zoom[3]) - m_Zoom[1]) * percent / 200, kMinZoomSide, INT32_MAX / 4);
    return setZoomRect(int32_t(std::clamp<int64_t>(cx - halfW, INT32_MIN, INT32_MAX)),
        int32_t(std::clamp<int64_t>(cy - halfH, INT32_MIN, INT32_MAX)),
        int32_t(std::clamp<int64_t>(cx + halfW, INT32_MIN, INT32_MAX)),
        int32_t(std::clamp<int64_t>(cy + halfH, INT32_MIN, INT32_MAX)));
}

bool MoviePlayer::pan(int32_t x, int32_t y, int mode, int viewWidth, int viewHeight)
{
    if (!isLoaded())
        return false;
    int64_t dx = 0;
    int64_t dy = 0;
    const int64_t w = int64_t(m_Zoom[2]) - m_Zoom[0];
    const int64_t h = int64_t(m_Zoom[3]) - m_Zoom[1];
    if (mode == kPanPixels) {
        const cairo_matrix_t view = viewMatrix(viewWidth, viewHeight);
        const double scale = view.xx > 0 ? view.xx : 1.0 / kTwipsPerPixel;
        dx = int64_t(std::llround(x / scale));
        dy = int64_t(std::llround(y / scale));
    } else {
        dx = w * x / 100;
        dy = h * y / 100;
    }
    auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    return setZoomRect(clamp(m_Zoom[0] + dx), clamp(m_Zoom[1] + dy), clamp(m_Zoom[2] + dx), clamp(m_Zoom[3] + dy));
}

cairo_matrix_t MoviePlayer::underRoot(const cairo_matrix_t& view) const
{
    cairo_matrix_t m = view;
    if (m_Root.display)
        cairo_matrix_multiply(&m, &m_Root.display->matrix, &view);
    return m;
}

cairo_matrix_t MoviePlayer::viewMatrix(int viewWidth, int viewHeight) const
{
    double w = double(m_Zoom[2]) - m_Zoom[0];
    double h = double(m_Zoom[3]) - m_Zoom[1];
    // The stage's size counts whole pixels: a frame a fraction of a pixel larger or smaller than the view (101.3
    // pixels wide in a view of 101) shows at its own scale, not shrunk or grown by that fraction.
    if (std::equal(m_Zoom, m_Zoom + 4, m_Frame) && std::abs(w / kTwipsPerPixel - viewWidth) < 1
        && std::abs(h / kTwipsPerPixel - viewHeight) < 1) {
        w = viewWidth * kTwipsPerPixel;
        h = viewHeight * kTwipsPerPixel;
    }
    cairo_matrix_t m;
    cairo_matrix_init_identity(&m);
    if (w <= 0 || h <= 0 || viewWidth <= 0 || viewHeight <= 0) {
        cairo_matrix_init_scale(&m, 1 / kTwipsPerPixel, 1 / kTwipsPerPixel);
        return m;
    }
    // The shown rectangle scaled uniformly to fit the window and centred in it.
    const double scale = std::min(viewWidth / w, viewHeight / h);
    const double offsetX = (viewWidth - w * scale) / 2;
    const double offsetY = (viewHeight - h * scale) / 2;
    cairo_matrix_init(&m, scale, 0, 0, scale, offsetX - m_Zoom[0] * scale, offsetY - m_Zoom[1] * scale);
    return m;
}

void MoviePlayer::draw(const DrawTarget& target)
{
    if (!target.pixels || target.width <= 0 || target.height <= 0 || target.area.empty())
        return;
    if (!m_Renderer)
        m_Renderer = std::make_unique<Renderer>(*this, *m_Bitmaps);
    m_Renderer->draw(target, viewMatrix(target.area.right - target.area.left, target.area.bottom - target.area.top),
        isLoaded() ? m_BackgroundColor : 0xFF000000u);
}

namespace {

// DefineButton2 action conditions: the state change each answers.
constexpr uint16_t kCondIdleToOverUp = 0x0001;
constexpr uint16_t kCondOverUpToIdle = 0x0002;
constexpr uint16_t kCondOverUpToOverDown = 0x0004;
constexpr uint16_t kCondOverDownToOverUp = 0x0008;
constexpr uint16_t kCondOverDownToOutDown = 0x0010;
constexpr uint16_t kCondOutDownToOverDown = 0x0020;
constexpr uint16_t kCondOutDownToIdle = 0x0040;
constexpr uint16_t kCondIdleToOverDown = 0x0080;
constexpr uint16_t kCondOverDownToIdle = 0x0100;
constexpr int kCondKeyShift = 9;
constexpr uint16_t kCondKeyMask = 0x7F;

} // namespace

bool MoviePlayer::queueButtonActions(SpriteInstance& sprite, const CTag* tag, uint16_t condition, int key, bool run)
{
    if (auto* button = dynamic_cast<const CDefineButtonTag*>(tag); button && button->m_pActions) {
        // The first form's actions answer a release inside the button.
        if (condition & kCondOverDownToOverUp)
            queueActions(sprite, button->m_pActions.get());
        return false;
    }
    auto* button = dynamic_cast<const CDefineButton2Tag*>(tag);
    if (!button || !button->m_pActions)
        return false;
    bool any = false;
    for (int i = 0; i < button->m_pActions->GetItemCount(); ++i) {
        auto* cond = dynamic_cast<const CButtonCondActionItem*>(button->m_pActions->GetItem(i));
        if (!cond || !cond->m_pActions)
            continue;
        const int condKey = (cond->m_Conditions >> kCondKeyShift) & kCondKeyMask;
        if (key ? condKey == key : (cond->m_Conditions & condition) != 0) {
            if (run)
                queueActions(sprite, cond->m_pActions.get());
            any = true;
        }
    }
    return any;
}

namespace {

// A button's state as the mouse leaves it: idle, over with the mouse up, over with it held, and pressed with the
// mouse held outside it.
enum class Track { Idle, OverUp, OverDown, OutDown };

Track TrackOf(const DisplayObject& object)
{
    if (object.buttonHeld)
        return Track::OutDown;
    return object.buttonState == kButtonDown ? Track::OverDown
        : object.buttonState == kButtonOver  ? Track::OverUp
                                             : Track::Idle;
}

struct ButtonStep {
    uint16_t condition;
    ClipEvent event;
};

// The state changes, each with its record condition and handler event, that take a button from one state to
// another; `pressed` tells a press on the button from a held mouse coming over it.
std::vector<ButtonStep> ButtonSteps(Track from, Track to, bool pressed)
{
    using E = ClipEvent;
    switch (from) {
    case Track::Idle:
        if (to == Track::OverUp)
            return { { kCondIdleToOverUp, E::RollOver } };
        if (to == Track::OverDown && pressed)
            return { { kCondIdleToOverUp, E::RollOver }, { kCondOverUpToOverDown, E::Press } };
        if (to == Track::OverDown)
            return { { kCondIdleToOverDown, E::DragOver } };
        break;
    case Track::OverUp:
        if (to == Track::Idle)
            return { { kCondOverUpToIdle, E::RollOut } };
        if (to == Track::OverDown)
            return { { kCondOverUpToOverDown, E::Press } };
        break;
    case Track::OverDown:
        if (to == Track::OverUp)
            return { { kCondOverDownToOverUp, E::Release } };
        if (to == Track::OutDown)
            return { { kCondOverDownToOutDown, E::DragOut } };
        if (to == Track::Idle && pressed)
            return { { kCondOverDownToIdle, E::DragOut } };
        if (to == Track::Idle)
            return { { kCondOverDownToOutDown, E::DragOut }, { kCondOutDownToIdle, E::ReleaseOutside } };
        break;
    case Track::OutDown:
        if (to == Track::OverDown)
            return { { kCondOutDownToOverDown, E::DragOver } };
        if (to == Track::Idle)
            return { { kCondOutDownToIdle, E::ReleaseOutside } };
        if (to == Track::OverUp)
            return { { kCondOutDownToOverDown, E::DragOver }, { kCondOverDownToOverUp, E::Release } };
        break;
    }
    return {};
}

} // namespace

bool MoviePlayer::updateButtons(
    SpriteInstance& sprite, const cairo_matrix_t& parent, double x, double y, bool down, bool& changed, bool& found)
{
    const bool still = t_MouseStill;
    // Front to back: the topmost button under the mouse takes it.
    for (auto it = sprite.displayList.rbegin(); it != sprite.displayList.rend(); ++it) {
        DisplayObject& object = it->second;
        cairo_matrix_t m;
        cairo_matrix_multiply(&m, &object.matrix, &parent);
        if (object.sprite) {
            updateButtons(*object.sprite, m, x, y, down, changed, found);
            continue;
        }
        // Buttons among a button's children take the mouse before it.
        if (object.buttonContent)
            updateButtons(*object.buttonContent, m, x, y, down, changed, found);
        const CTag* tag = character(sprite, object.characterId);
        if (!tag || (tag->m_TagCode != kTagDefineButton && tag->m_TagCode != kTagDefineButton2))
            continue;
        // A disabled button neither takes the mouse nor hears it: it drops to idle silently when the mouse acts,
        // and keeps its state while the mouse stays still (enabled again, it has no roll to tell). A hidden one
        // takes no mouse either, but hears the mouse leave it as if it had moved away.
        const bool enabled = !m_Machine || avm1::ButtonEnabled(*m_Machine, object);
        if (still && !enabled && !object.fresh)
            continue;
        Renderer renderer(*this, *m_Bitmaps);
        renderer.useLibrary(sprite.library);
        const bool hit = enabled && object.visible && !found && renderer.buttonHit(tag, m, x, y);
        found = found || hit;
        if (hit && (!m_Machine || avm1::ButtonShowsHand(*m_Machine, object)))
            m_HandCursor = true;
        if (object.fresh) {
            // A button that appears under the mouse shows the state the mouse gives it without its events.
            object.fresh = false;
            object.buttonState = hit ? kButtonOver : kButtonUp;
            syncButtonContent(sprite, object, true);
            changed = changed || hit;
            continue;
        }
        const Track from = TrackOf(object);
        const bool pressed = down && !m_MouseWasDown;
        if (still && !hit && from == Track::OverUp && object.button && object.button->object && m_Machine) {
            // Rolled over by the keyboard's focus, not by the mouse: a frame passing does not roll it out.
            const avm1::Value focus = avm1::FocusedObject(*m_Machine);
            if (focus.isObject() && focus.asObject() == object.button->object)
                continue;
        }
        if (!object.visible && from == Track::OverDown && down) {
            // Hidden under the held mouse: the press stays its own, to end as a release outside, without a drag.
            object.buttonState = kButtonUp;
            object.buttonHeld = true;
            syncButtonContent(sprite, object, true);
            changed = true;
            continue;
        }
        const bool menu = m_Machine && (from == Track::Idle || from == Track::OverDown)
            && avm1::ButtonTracksAsMenu(*m_Machine, object);
        Track to = Track::Idle;
        if (!enabled)
            to = Track::Idle;
        else if (hit && !down)
            to = Track::OverUp;
        else if (hit)
            // A held mouse coming over a button presses it only when it was pressed there or the button is a menu's.
            to = pressed || from == Track::OverDown || from == Track::OutDown || menu ? Track::OverDown
                : from == Track::OverUp                                                ? Track::OverUp
                                                                                       : Track::Idle;
        else if (down && (from == Track::OverDown || from == Track::OutDown))
            to = menu ? Track::Idle : Track::OutDown;
        if (to == from)
            continue;
        const int previous = object.buttonState;
        object.buttonState = to == Track::OverUp ? kButtonOver : to == Track::OverDown ? kButtonDown : kButtonUp;
        object.buttonHeld = to == Track::OutDown;
        changed = true;
        if (previous != object.buttonState)
            m_Sound->buttonChanged(object.characterId, previous, object.buttonState);
        if (enabled)
            for (const ButtonStep& step : ButtonSteps(from, to, pressed || (from == Track::OverDown && down))) {
                queueButtonActions(sprite, tag, step.condition, 0);
                queueButtonEvent(sprite, object, step.event);
            }
        syncButtonContent(sprite, object, true);
    }
    return changed;
}

void MoviePlayer::queueButtonEvent(SpriteInstance& parent, DisplayObject& button, ClipEvent event)
{
    if (!m_Machine || !button.button || m_ActionBudget <= 0 || !avm1::ButtonHears(*m_Machine, button, event))
        return;
    --m_ActionBudget;
    m_PendingActions.push_back(PendingActions { &parent, parent.serial, nullptr, event, button.button });
}

void MoviePlayer::collectMouseListeners(SpriteInstance& sprite, std::vector<std::pair<SpriteInstance*, uint64_t>>& out)
{
    // Topmost first, children before their parent.
    for (auto it = sprite.displayList.rbegin(); it != sprite.displayList.rend(); ++it)
        if (it->second.sprite)
            collectMouseListeners(*it->second.sprite, out);
    out.emplace_back(&sprite, sprite.serial);
}

void MoviePlayer::dispatchMouse(ClipEvent event)
{
    std::vector<std::pair<SpriteInstance*, uint64_t>> clips;
    collectMouseListeners(m_Root, clips);
    for (auto& [sprite, serial] : clips)
        queueEvent(*sprite, event);
    if (m_Machine)
        m_Machine->mouseListeners(event);
}

SpriteInstance* MoviePlayer::clipUnderMouse(SpriteInstance& sprite)
{
    // The topmost clip with button handlers whose content lies under the mouse.
    for (auto it = sprite.displayList.rbegin(); it != sprite.displayList.rend(); ++it) {
        DisplayObject& object = it->second;
        if (!object.sprite || !object.visible)
            continue;
        if (SpriteInstance* inner = clipUnderMouse(*object.sprite))
            return inner;
        if (m_Machine && m_Machine->actsAsButton(*object.sprite) && spriteHit(*object.sprite, m_MouseX, m_MouseY, true))
            return object.sprite.get();
    }
    return nullptr;
}

void MoviePlayer::updateClipButtons(bool pressed, bool released)
{
    SpriteInstance* over = clipUnderMouse(m_Root);
    const uint64_t overSerial = over ? over->serial : 0;
    SpriteInstance* hovered = isLiveAnywhere(m_Hovered, m_HoveredSerial) ? m_Hovered : nullptr;
    SpriteInstance* held = isLiveAnywhere(m_Pressed, m_PressedSerial) ? m_Pressed : nullptr;
    if (!m_Pressed || held) {
        if (held) {
            // While pressed, the pressed clip hears the mouse leave and come back.
            const bool inside = over == held;
            const bool wasInside = hovered == held;
            if (inside != wasInside)
                queueEvent(*held, inside ? ClipEvent::DragOver : ClipEvent::DragOut);
            // A clip tracked as a menu takes the held mouse over from the one pressed: the release is its own.
            if (over && !inside && over != hovered && m_Machine->tracksAsMenu(*over)) {
                queueEvent(*over, ClipEvent::DragOver);
                held = over;
                m_Pressed = over;
                m_PressedSerial = overSerial;
            }
        } else if (over != hovered && over && m_MouseDown && !pressed && m_Machine->tracksAsMenu(*over)) {
            // The mouse held down outside any clip drags over a clip tracked as a menu, which takes the press.
            if (hovered)
                queueEvent(*hovered, ClipEvent::RollOut);
            queueEvent(*over, ClipEvent::DragOver);
            m_Pressed = over;
            m_PressedSerial = overSerial;
        } else if (over != hovered) {
            if (hovered)
                queueEvent(*hovered, ClipEvent::RollOut);
            if (over)
                queueEvent(*over, ClipEvent::RollOver);
        }
    }
    m_Hovered = over;
    m_HoveredSerial = overSerial;
    if (pressed && over) {
        queueEvent(*over, ClipEvent::Press);
        m_Pressed = over;
        m_PressedSerial = overSerial;
    }
    if (released) {
        if (held) {
            if (over == held) {
                queueEvent(*held, ClipEvent::Release);
            } else {
                queueEvent(*held, ClipEvent::ReleaseOutside);
                if (over)
                    queueEvent(*over, ClipEvent::RollOver);
            }
        }
        m_Pressed = nullptr;
        m_PressedSerial = 0;
    }
}

namespace {

// The script object of the topmost shown text field under a stage point (twips) that a click puts the caret in:
// one that is selectable or takes input. Null when there is none.
avm1::Object* FieldUnderPoint(avm1::Machine& m, MoviePlayer& player, SpriteInstance& sprite, double x, double y,
    int nesting)
{
    if (nesting > kMaxSpriteNesting)
        return nullptr;
    for (auto it = sprite.displayList.rbegin(); it != sprite.displayList.rend(); ++it) {
        DisplayObject& object = it->second;
        if (!object.visible)
            continue;
        if (object.sprite) {
            if (avm1::Object* inner = FieldUnderPoint(m, player, *object.sprite, x, y, nesting + 1))
                return inner;
            continue;
        }
        const EditField* field = m.fieldOf(sprite, object);
        if (!field || !(field->selectable || field->input))
            continue;
        cairo_matrix_t toField;
        const cairo_matrix_t stage = player.stageMatrix(sprite);
        cairo_matrix_multiply(&toField, &object.matrix, &stage);
        if (cairo_matrix_invert(&toField) != CAIRO_STATUS_SUCCESS)
            continue;
        double fx = x;
        double fy = y;
        cairo_matrix_transform_point(&toField, &fx, &fy);
        if (fx >= field->left && fx <= field->right && fy >= field->top && fy <= field->bottom)
            return m.fieldObject(sprite, object);
    }
    return nullptr;
}

} // namespace

bool MoviePlayer::mouseEvent(double x, double y, bool down, int viewWidth, int viewHeight, bool moveEvent)
{
    if (totalFrames() == 0)
        return false;
    cairo_matrix_t toStage = viewMatrix(viewWidth, viewHeight);
    double sx = x;
    double sy = y;
    if (cairo_matrix_invert(&toStage) == CAIRO_STATUS_SUCCESS)
        cairo_matrix_transform_point(&toStage, &sx, &sy);
    const bool samePoint = m_HaveMouse && sx == m_MouseX && sy == m_MouseY;
    const bool moved = moveEvent || !samePoint;
    const bool pressed = down && !m_MouseDown;
    const bool released = !down && m_MouseDown;
    m_HaveMouse = true;
    m_MousePixelX = x;
    m_MousePixelY = y;
    m_ViewWidth = viewWidth;
    m_ViewHeight = viewHeight;
    m_MouseX = sx;
    m_MouseY = sy;
    m_MouseWasDown = m_MouseDown;
    m_MouseDown = down;
    if (moved)
        dispatchMouse(ClipEvent::MouseMove);
    if ((moved || pressed) && m_Machine)
        avm1::HideFocusHighlight(*m_Machine);
    if (pressed)
        dispatchMouse(ClipEvent::MouseDown);
    if (pressed && m_Machine) {
        // A press on a text field focuses it; a press elsewhere takes the focus from the field that has it. The
        // change follows the handlers of the press itself.
        avm1::Machine& m = *m_Machine;
        const auto changes = [&](avm1::Object*& field) {
            const avm1::Value focus = avm1::FocusedObject(m);
            const bool fieldFocused = focus.isObject() && !m.spriteOf(focus) && !avm1::IsButtonObject(focus);
            field = FieldUnderPoint(m, *this, m_Root, m_MouseX, m_MouseY, 0);
            return field ? !m.strictEquals(focus, avm1::Value(field)) : fieldFocused;
        };
        avm1::Object* field = nullptr;
        if (changes(field)) {
            runPendingActions();
            // The handlers may have moved or removed the field: it is looked for again.
            if (changes(field)) {
                avm1::Value target = field ? avm1::Value(field) : avm1::Value::null();
                m.callMethod(m.getMember(avm1::Value(m.m_Global), "Selection"), "setFocus", &target, 1);
            }
        }
        avm1::PressOnField(m, m_Root, m_MouseX, m_MouseY);
    }
    if (released)
        dispatchMouse(ClipEvent::MouseUp);
    bool changed = false;
    bool found = false;
    // A move to where the mouse already was leaves the buttons as they are (one the keyboard rolled over stays so).
    if (!samePoint || pressed || released) {
        m_HandCursor = false;
        updateButtons(m_Root, underRoot(viewMatrix(viewWidth, viewHeight)), x, y, down, changed, found);
    }
    if (m_Machine && (!samePoint || pressed || released)) {
        if (m_Machine->dragging())
            m_Machine->dragTo(m_MouseX, m_MouseY);
        changed = m_Machine->dragging() || changed;
        updateClipButtons(pressed, released);
    }
    if (m_Machine && m_Hovered && isLiveAnywhere(m_Hovered, m_HoveredSerial) && m_Machine->showsHand(*m_Hovered))
        m_HandCursor = true;
    // Scripts that answered the mouse may have changed the picture.
    changed = !m_PendingActions.empty() || changed;
    runPendingActions();
    return changed;
}

// ---- Sound hooks ----

void MoviePlayer::openSoundOutput(const std::string& streamName)
{
    m_Sound->openDefaultOutput(streamName);
}

void MoviePlayer::soundFrameEntered(const SpriteInstance& sprite, int frame)
{
    if (!m_Sound->enabled())
        return;
    std::vector<const CTag*> tags;
    for (const CTag* tag : sprite.timeline->frames[size_t(frame)])
        if (sound::IsFrameSoundTag(tag->m_TagCode))
            tags.push_back(tag);
    // A clip's sounds follow the levels scripts give the clips holding it.
    if (!tags.empty())
        for (const SpriteInstance* at = &sprite; at->parent; at = at->parent)
            m_Sound->mixer().setOwnerParent(at->serial, at->parent->serial);
    m_Sound->frameEntered(sprite.serial, frame, sprite.timeline->streamHead, tags);
}

void MoviePlayer::keepPlayingStreams()
{
    if (!m_Sound->hasStreams())
        return;
    // Stream sound plays while its timeline plays; a movie the host paused keeps its place.
    std::vector<uint64_t> playing;
    std::function<void(const SpriteInstance&)> collect = [&](const SpriteInstance& sprite) {
        if (sprite.playing || (&sprite == &m_Root && m_HostPaused))
            playing.push_back(sprite.serial);
        for (const auto& [depth, object] : sprite.displayList)
            if (object.sprite)
                collect(*object.sprite);
    };
    collect(m_Root);
    m_Sound->keepStreams(playing);
}

bool MoviePlayer::followStreamSound(uint32_t ticks, bool& changed)
{
    // While the root's stream sound plays, the sound sets the pace: the frame its audio has reached is shown,
    // frames in between are stepped without being drawn, the movie moves on when the sound is about to run dry,
    // and it waits when it is ahead.
    int heard = 0;
    bool hungry = false;
    if (!m_Root.playing || !m_Sound->streamClock(m_Root.serial, m_FrameRate, heard, hungry))
        return false;
    const int limit = std::max(1, totalFrames());
    for (int steps = 0; (m_Root.currentFrame < heard || hungry) && steps < limit; ++steps) {
        const int before = m_Root.currentFrame;
        changed = step() || changed;
        if (m_Root.currentFrame <= before || !m_Sound->streamClock(m_Root.serial, m_FrameRate, heard, hungry))
            break; // a loop, a goto (the stream restarted), or the stream ended
    }
    m_FrameClock = ticks + kTicksPerSecond / m_FrameRate;
    return true;
}

bool MoviePlayer::keyEvent(bool down, uint8_t macKey, uint8_t charCode)
{
    if (!m_Machine)
        return false;
    const avm1::ScriptKey key = avm1::ScriptKeyFromMac(macKey, charCode);
    if (key.code == 0)
        return false;
    // A key that a button's record names is that button's: it neither moves the focus nor presses what has it.
    const int buttonKey = ButtonKeyCode(key.code, key.ascii);
    const bool taken = down && pressButtonKeys(m_Root, buttonKey, false);
    avm1::DeliverKeyEvent(*m_Machine, down, key.code, key.ascii, taken);
    // Clips with key handlers hear it, and buttons whose records name the key answer a press.
    std::vector<std::pair<SpriteInstance*, uint64_t>> clips;
    collectMouseListeners(m_Root, clips);
    for (auto& [sprite, serial] : clips)
        queueEvent(*sprite, down ? ClipEvent::KeyDown : ClipEvent::KeyUp);
    if (taken)
        pressButtonKeys(m_Root, buttonKey, true);
    else if (down)
        pressFocused(avm1::KeyPressTarget(*m_Machine, key.code));
    runPendingActions();
    return true;
}

void MoviePlayer::rollButton(SpriteInstance& parent, DisplayObject& button, bool over)
{
    const CTag* tag = character(parent, button.characterId);
    const Track from = TrackOf(button);
    const Track to = over ? Track::OverUp : Track::Idle;
    if (!tag || from == to || from == Track::OverDown || from == Track::OutDown)
        return;
    const int previous = button.buttonState;
    button.buttonState = over ? kButtonOver : kButtonUp;
    m_Sound->buttonChanged(button.characterId, previous, button.buttonState);
    syncButtonContent(parent, button, true);
    // The scripts run at once, before the focus is given: they may take the button away, so its state is kept.
    const std::shared_ptr<avm1::ButtonLink> link = button.button;
    for (const ButtonStep& step : ButtonSteps(from, to, false)) {
        const size_t mark = m_PendingActions.size();
        queueButtonActions(parent, tag, step.condition, 0);
        std::vector<PendingActions> now(m_PendingActions.begin() + std::ptrdiff_t(mark), m_PendingActions.end());
        m_PendingActions.erase(m_PendingActions.begin() + std::ptrdiff_t(mark), m_PendingActions.end());
        for (const PendingActions& entry : now)
            if (isLiveAnywhere(entry.sprite, entry.serial))
                runActions(*entry.sprite, entry.actions);
        if (link && m_Machine)
            avm1::ButtonEvent(*m_Machine, link, step.event);
    }
}

bool MoviePlayer::focusRectangle(double box[4])
{
    return m_Machine && avm1::FocusHighlight(*m_Machine, box);
}

void MoviePlayer::pressFocused(const avm1::Value& target)
{
    // A press and a release, as a click on the object would give.
    if (SpriteInstance* sprite = m_Machine->spriteOf(target)) {
        queueEvent(*sprite, ClipEvent::Press);
        queueEvent(*sprite, ClipEvent::Release);
        return;
    }
    SpriteInstance* parent = nullptr;
    DisplayObject* button = avm1::ButtonDisplay(target, &parent);
    const CTag* tag = button ? character(*parent, button->characterId) : nullptr;
    if (!tag)
        return;
    for (const ButtonStep step : { ButtonStep { kCondOverUpToOverDown, ClipEvent::Press },
             ButtonStep { kCondOverDownToOverUp, ClipEvent::Release } }) {
        queueButtonActions(*parent, tag, step.condition, 0);
        queueButtonEvent(*parent, *button, step.event);
    }
}

void MoviePlayer::focusLost()
{
    if (!m_Machine)
        return;
    avm1::DropFocus(*m_Machine);
    runPendingActions();
}

bool MoviePlayer::wheelEvent(int lines)
{
    if (!m_Machine || lines == 0 || totalFrames() == 0)
        return false;
    m_Machine->mouseWheel(lines);
    runPendingActions();
    return true;
}

bool MoviePlayer::pressButtonKeys(SpriteInstance& sprite, int key, bool run)
{
    if (key == 0)
        return false;
    bool answered = false;
    for (auto& [depth, object] : sprite.displayList) {
        if (object.sprite) {
            answered = pressButtonKeys(*object.sprite, key, run) || answered;
            continue;
        }
        // Hidden and disabled buttons take no keys.
        const CTag* tag = character(sprite, object.characterId);
        if (tag && tag->m_TagCode == kTagDefineButton2 && object.visible
            && (!m_Machine || avm1::ButtonEnabled(*m_Machine, object)))
            answered = queueButtonActions(sprite, tag, 0, key, run) || answered;
    }
    return answered;
}

} // namespace reelfinch::plugin
