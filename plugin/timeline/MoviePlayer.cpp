#include "timeline/MoviePlayer.h"

#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"
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

namespace reelfinch::plugin {

namespace {

// Action codes of the simple frame actions this player runs.
constexpr uint8_t kActionNextFrame = 0x04;
constexpr uint8_t kActionPreviousFrame = 0x05;
constexpr uint8_t kActionPlay = 0x06;
constexpr uint8_t kActionStop = 0x07;
constexpr uint8_t kActionGotoFrame = 0x81;
constexpr uint8_t kActionGetURL = 0x83;
constexpr uint8_t kActionGotoLabel = 0x8C;
constexpr uint8_t kActionGotoFrame2 = 0x9F;
constexpr uint8_t kActionPush = 0x96;
// GotoFrame2 flag: play after going.
constexpr uint8_t kGotoFrame2Play = 0x01;
// Actions that start other actions (a goto entering a frame with actions) nest at most this deep.
constexpr int kMaxActionDepth = 8;
// The work that actions may cause in one step, counted in action records run and frame tags applied: gotos that
// enter frames whose actions go to other frames again could otherwise multiply without end.
constexpr long kActionBudget = 200000;
// Pan modes: by pixels, or by percent of the shown rectangle.
constexpr int kPanPixels = 0;
// A zoom rectangle is never narrower than this many twips.
constexpr int32_t kMinZoomSide = 20;
// Sprites nest at most this deep; deeper ones (a sprite holding itself) stay empty.
constexpr int kMaxSpriteNesting = 32;

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
    return 0;
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

MoviePlayer::MoviePlayer()
    : m_Bitmaps(std::make_unique<BitmapCache>())
    , m_ActionBudget(kActionBudget)
    , m_Sound(std::make_unique<sound::MovieSound>())
{
    m_Root.timeline = &m_RootTimeline;
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
    m_InitActionsRun.clear();
    m_Root = SpriteInstance {};
    m_Root.timeline = &m_RootTimeline;
    m_RootTimeline = Timeline {};
    m_SpriteTimelines.clear();
    m_Characters.clear();
    m_JPEGTables = nullptr;
    m_ShapeCache.clear();
    m_Renderer.reset();
    m_Bitmaps = std::make_unique<BitmapCache>();
    m_BackgroundColor = kDefaultBackground;
    m_Movie.reset();
    if (!data || size < kSWFHeaderSize || size > UINT32_MAX)
        return false;
    // Only the three movie signatures: "FWS", "CWS" (zlib) and "ZWS" (LZMA).
    const bool signature = (data[0] == kSignatureUncompressed || data[0] == kSignatureZlib || data[0] == kSignatureLzma)
        && (data[1] | (data[2] << 8)) == kSignatureWS;
    if (!signature)
        return false;
    CSWFStream stream;
    if (!stream.WriteBuf(data, static_cast<unsigned long>(size)))
        return false;
    stream.SetPosition(0);
    auto movie = std::make_unique<CSWF>();
    // A movie whose body breaks off part-way still plays what was read; only an unreadable header is refused.
    const bool complete = movie->ReadSWF(&stream) != 0;
    CHeaderItem* header = movie->GetHeader();
    if (!header || !header->m_pFrameRect || !movie->GetTags() || (!complete && movie->GetTags()->GetItemCount() == 0))
        return false;
    m_Movie = std::move(movie);
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
    m_Root.timeline = &m_RootTimeline;
    m_Version = header->m_Version;
    m_Machine = std::make_unique<avm1::Machine>(*this, m_Version);
    avm1::SetSharedObjectLocation(*m_Machine, movieUrl);
    m_Machine->onTrace = [this](const std::string& line) {
        if (onTrace)
            onTrace(line);
    };
    m_Machine->onGetURL = [this](const std::string& url, const std::string& target, int) {
        if (onGetURL)
            onGetURL(url, target);
    };
    if (onMachineCreated)
        onMachineCreated(*m_Machine);
    if (totalFrames() > 0) {
        enterFrame(m_Root, 0, true);
        runPendingActions();
    }
    return true;
}

void MoviePlayer::buildTimeline(Timeline& timeline, const CTagsItem* tags, bool root)
{
    timeline.frames.assign(1, {});
    bool haveBackground = false;
    for (int i = 0; tags && i < tags->GetItemCount(); ++i) {
        const CTag* tag = tags->GetTag(i);
        if (!tag)
            continue;
        const uint16_t code = tag->m_TagCode;
        if (code == kTagShowFrame) {
            timeline.frames.emplace_back();
            continue;
        }
        if (code == kTagEnd)
            break;
        if (root && code == kTagSetBackgroundColor) {
            // The first background colour holds for the whole movie; later ones are ignored.
            if (auto* bg = dynamic_cast<const CSetBackGroundColorTag*>(tag); bg && bg->m_pColor && !haveBackground) {
                haveBackground = true;
                const tRGBRec c = bg->m_pColor->GetRGB();
                m_BackgroundColor = 0xFF000000u | (uint32_t(c.red) << 16) | (uint32_t(c.green) << 8) | c.blue;
            }
            continue;
        }
        if (root && code == kTagJPEGTables) {
            m_JPEGTables = tag;
            continue;
        }
        if (root && IsDefinition(code)) {
            registerCharacter(tag);
            continue;
        }
        if (root && (code == kTagDefineSound || code == kTagDefineButtonSound || code == kTagSymbolClass
                || code == kTagExportAssets)) {
            m_Sound->defineTag(tag);
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
    // The tags after the last ShowFrame belong to no shown frame.
    if (timeline.frames.size() > 1)
        timeline.frames.pop_back();
    const int declared = tags ? tags->m_DeclaredFrameCount : 0;
    // A timeline without ShowFrame tags shows nothing; an empty movie has no frames at all.
    if (tags && tags->CountShowFrames() == 0 && declared == 0)
        timeline.frames.clear();
}

void MoviePlayer::registerCharacter(const CTag* tag)
{
    const uint16_t id = CharacterIdOf(tag);
    // The first definition of an ID holds; a later one with the same ID is a malformed movie's.
    if (!m_Characters.emplace(id, tag).second)
        return;
    if (auto* sprite = dynamic_cast<const CDefineSpriteTag*>(tag)) {
        auto timeline = std::make_unique<Timeline>();
        buildTimeline(*timeline, sprite->m_pTags.get(), false);
        m_SpriteTimelines[id] = std::move(timeline);
    }
}

int MoviePlayer::totalFrames() const
{
    return isLoaded() ? int(m_RootTimeline.frames.size()) : 0;
}

int MoviePlayer::currentFrame() const
{
    return std::max(0, m_Root.currentFrame);
}

void MoviePlayer::applyControlTag(SpriteInstance& sprite, const CTag* tag)
{
    switch (tag->m_TagCode) {
    case kTagPlaceObject: {
        auto* place = dynamic_cast<const CPlaceObjectTag*>(tag);
        if (!place)
            return;
        DisplayObject& object = sprite.displayList[place->m_Depth];
        object = DisplayObject {};
        object.characterId = place->m_ID;
        object.depth = place->m_Depth;
        object.matrix = MatrixFromItem(place->m_pMatrix.get());
        object.colorTransform = ColorTransform::fromItem(place->m_pColorTransform.get());
        break;
    }
    case kTagPlaceObject2:
    case kTagPlaceObject3:
        if (auto* place = dynamic_cast<const CPlaceObject2Tag*>(tag))
            applyPlacement(sprite, PlacementFrom(*place));
        break;
    case kTagRemoveObject:
        if (auto* remove = dynamic_cast<const CReMoveObjectTag*>(tag))
            sprite.displayList.erase(remove->m_Depth);
        break;
    case kTagRemoveObject2:
        if (auto* remove = dynamic_cast<const CReMoveObject2Tag*>(tag))
            sprite.displayList.erase(remove->m_Depth);
        break;
    default:
        break;
    }
}

void MoviePlayer::applyPlacement(SpriteInstance& sprite, const Placement& place)
{
    auto existing = sprite.displayList.find(place.depth);
    if (!place.move || existing == sprite.displayList.end()) {
        // A new object; a move of an empty depth without a character places nothing.
        if (!place.characterId)
            return;
        DisplayObject& object = sprite.displayList[place.depth];
        object = DisplayObject {};
        object.depth = place.depth;
        existing = sprite.displayList.find(place.depth);
    }
    DisplayObject& object = existing->second;
    if (place.characterId && object.characterId != *place.characterId) {
        object.characterId = *place.characterId;
        object.sprite.reset();
        object.buttonState = kButtonUp;
    }
    if (place.matrix)
        object.matrix = *place.matrix;
    if (place.colorTransform)
        object.colorTransform = *place.colorTransform;
    if (place.ratio)
        object.ratio = *place.ratio;
    if (place.clipDepth)
        object.clipDepth = *place.clipDepth;
    if (place.name)
        object.name = *place.name;
    if (place.blendMode)
        object.blendMode = *place.blendMode;
    if (place.visible)
        object.visible = *place.visible;
    if (place.filters)
        object.filters = *place.filters;
}

void MoviePlayer::applyFrame(SpriteInstance& sprite, int frame)
{
    m_ActionBudget -= long(sprite.timeline->frames[size_t(frame)].size()) + 1;
    for (const CTag* tag : sprite.timeline->frames[size_t(frame)])
        if (tag->m_TagCode != kTagDoAction && tag->m_TagCode != kTagDoInitAction)
            applyControlTag(sprite, tag);
    // Sprites that have just appeared enter their first frame.
    for (auto& [depth, object] : sprite.displayList) {
        if (object.sprite || sprite.nesting >= kMaxSpriteNesting)
            continue;
        auto timeline = m_SpriteTimelines.find(object.characterId);
        if (timeline == m_SpriteTimelines.end())
            continue;
        object.sprite = std::make_unique<SpriteInstance>();
        object.sprite->timeline = timeline->second.get();
        object.sprite->nesting = sprite.nesting + 1;
        object.sprite->serial = m_NextSerial++;
        object.sprite->parent = &sprite;
        object.sprite->display = &object;
        if (object.name.empty())
            object.name = "instance" + std::to_string(++m_InstanceNames);
    }
}

void MoviePlayer::enterFrame(SpriteInstance& sprite, int frame, bool actions)
{
    applyFrame(sprite, frame);
    sprite.currentFrame = frame;
    m_FrameEntered = true;
    // A symbol's init actions run once, the first time a frame holding them is entered, before frame actions.
    if (actions)
        for (const CTag* tag : sprite.timeline->frames[size_t(frame)])
            if (auto* init = dynamic_cast<const CDoInitActionsTag*>(tag);
                init && init->m_pActions && m_InitActionsRun.insert(tag).second)
                queueActions(m_Root, init->m_pActions.get());
    soundFrameEntered(sprite, frame);
    if (actions)
        for (const CTag* tag : sprite.timeline->frames[size_t(frame)])
            if (auto* doAction = dynamic_cast<const CDoActionTag*>(tag); doAction && doAction->m_pActions)
                queueActions(sprite, doAction->m_pActions.get());
    // New sprites show their first frame at once.
    for (auto& [depth, object] : sprite.displayList)
        if (object.sprite && object.sprite->currentFrame < 0 && !object.sprite->timeline->frames.empty())
            enterFrame(*object.sprite, 0, actions);
}

bool MoviePlayer::seek(SpriteInstance& sprite, int frame)
{
    const int count = int(sprite.timeline->frames.size());
    if (frame < 0 || frame >= count)
        return false;
    if (frame == sprite.currentFrame)
        return true;
    // Going back rebuilds the display list from the first frame; objects that stay keep their sprites.
    if (frame < sprite.currentFrame) {
        sprite.displayList.clear();
        sprite.currentFrame = -1;
    }
    for (int f = sprite.currentFrame + 1; f < frame; ++f) {
        applyFrame(sprite, f);
        sprite.currentFrame = f;
    }
    enterFrame(sprite, frame, true);
    return true;
}

void MoviePlayer::stepChildren(SpriteInstance& sprite)
{
    for (auto& [depth, object] : sprite.displayList)
        if (object.sprite)
            stepSprite(*object.sprite, false);
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
    const int next = sprite.currentFrame + 1 >= count ? 0 : sprite.currentFrame + 1;
    seek(sprite, next);
}

bool MoviePlayer::step(bool force)
{
    if (totalFrames() == 0)
        return false;
    // Only a timeline that entered a frame changes the picture: a stopped movie costs no redraw.
    m_FrameEntered = false;
    m_Sound->frameTime(m_FrameRate, m_Root.serial);
    stepSprite(m_Root, force);
    runPendingActions();
    if (m_Machine)
        avm1::DispatchSoundEvents(*m_Machine);
    keepPlayingStreams();
    return m_FrameEntered;
}

void MoviePlayer::runPendingActions()
{
    // Actions may enter frames whose actions queue again; the nesting limit ends any cycle.
    for (int round = 0; !m_PendingActions.empty() && round < kMaxActionDepth; ++round) {
        auto pending = std::move(m_PendingActions);
        m_PendingActions.clear();
        for (const PendingActions& entry : pending)
            if (isLive(m_Root, entry.sprite, entry.serial))
                runActions(*entry.sprite, entry.actions);
    }
    m_PendingActions.clear();
    m_ActionBudget = kActionBudget;
    if (m_Machine)
        m_Machine->idle();
}

void MoviePlayer::queueActions(SpriteInstance& sprite, const CActionsItem* actions)
{
    if (m_ActionBudget <= 0)
        return;
    m_PendingActions.push_back(PendingActions { &sprite, sprite.serial, actions });
}

bool MoviePlayer::isLive(const SpriteInstance& from, const SpriteInstance* sprite, uint64_t serial) const
{
    // Only pointers reached from the root are followed; the one asked about is compared, never read, until found.
    if (&from == sprite)
        return from.serial == serial;
    for (const auto& [depth, object] : from.displayList)
        if (object.sprite && isLive(*object.sprite, sprite, serial))
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

cairo_matrix_t MoviePlayer::viewMatrix(int viewWidth, int viewHeight) const
{
    const double w = double(m_Zoom[2]) - m_Zoom[0];
    const double h = double(m_Zoom[3]) - m_Zoom[1];
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

bool MoviePlayer::updateButtons(
    SpriteInstance& sprite, const cairo_matrix_t& parent, double x, double y, bool down, bool& changed, bool& found)
{
    // Front to back: the topmost button under the mouse takes it.
    for (auto it = sprite.displayList.rbegin(); it != sprite.displayList.rend(); ++it) {
        DisplayObject& object = it->second;
        cairo_matrix_t m;
        cairo_matrix_multiply(&m, &object.matrix, &parent);
        if (object.sprite) {
            updateButtons(*object.sprite, m, x, y, down, changed, found);
            continue;
        }
        auto character = m_Characters.find(object.characterId);
        if (character == m_Characters.end())
            continue;
        const CTag* tag = character->second;
        if (tag->m_TagCode != kTagDefineButton && tag->m_TagCode != kTagDefineButton2)
            continue;
        Renderer renderer(*this, *m_Bitmaps);
        const bool hit = !found && renderer.buttonHit(tag, m, x, y);
        found = found || hit;
        const int state = hit ? (down ? kButtonDown : kButtonOver) : kButtonUp;
        if (state == object.buttonState)
            continue;
        const int previous = object.buttonState;
        object.buttonState = state;
        changed = true;
        m_Sound->buttonChanged(object.characterId, previous, state);
        // Release inside the button: the button's press actions run (DefineButton's actions, DefineButton2's
        // OverDownToOverUp condition).
        if (previous == kButtonDown && state == kButtonOver) {
            if (auto* button = dynamic_cast<const CDefineButtonTag*>(tag); button && button->m_pActions)
                queueActions(sprite, button->m_pActions.get());
            constexpr uint16_t kCondOverDownToOverUp = 0x0008;
            if (auto* button = dynamic_cast<const CDefineButton2Tag*>(tag); button && button->m_pActions)
                for (int i = 0; i < button->m_pActions->GetItemCount(); ++i)
                    if (auto* cond = dynamic_cast<const CButtonCondActionItem*>(button->m_pActions->GetItem(i));
                        cond && (cond->m_Conditions & kCondOverDownToOverUp) && cond->m_pActions)
                        queueActions(sprite, cond->m_pActions.get());
        }
    }
    return changed;
}

bool MoviePlayer::mouseEvent(double x, double y, bool down, int viewWidth, int viewHeight)
{
    if (totalFrames() == 0)
        return false;
    m_MouseDown = down;
    bool changed = false;
    bool found = false;
    updateButtons(m_Root, viewMatrix(viewWidth, viewHeight), x, y, down, changed, found);
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
    avm1::DeliverKeyEvent(*m_Machine, down, key.code, key.ascii);
    runPendingActions();
    return true;
}

} // namespace reelfinch::plugin
