// The movie side of the plug-in: a movie read with swflib, its character dictionary, the root and sprite
// timelines with their display lists, frame actions of the simple kind, and the shown rectangle. It knows
// nothing of NPAPI; the plug-in's entry points drive it and hand it pixels to draw into.
#pragma once

#include "avm1/Clip.h"
#include "render/ColorTransform.h"
#include "render/EditText.h"
#include "render/Fonts.h"
#include "timeline/Placement.h"
#include "render/Shapes.h"

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

class CSWF;
class CTag;
class CTextTag;
class CActionsItem;
class CSWFItem;
class CTagsItem;
class CClipActionsItem;

namespace reelfinch::avm1 {
class Machine;
class Value;
}

namespace reelfinch::plugin {

class BitmapCache;
class BitmapPixels;
class Drawing;
class Renderer;
namespace sound {
class MovieSound;
}
namespace video {
struct VideoLink;
}

// Drawing quality: LOW draws without anti-aliasing, MEDIUM with it, HIGH also smooths bitmaps.
enum class Quality { Low = 0, Medium = 1, High = 2 };

// Frames per second used when a movie states a rate of 0.
inline constexpr double kDefaultFrameRate = 12.0;
// Movies without a SetBackgroundColor tag show white.
inline constexpr uint32_t kDefaultBackground = 0xFFFFFFFF;
// Ticks of the host clock per second.
inline constexpr double kTicksPerSecond = 60.0;
// At most this many frames are caught up on one time step.
inline constexpr int kMaxCatchUpFrames = 3;
// Sprites nest at most this deep; deeper ones (a sprite holding itself) stay empty.
inline constexpr int kMaxSpriteNesting = 32;
// Twips per pixel.
inline constexpr double kTwipsPerPixel = 20.0;

// The frames of one timeline (the movie's or a sprite's): each frame's control tags, and the frame labels.
struct Timeline {
    std::vector<std::vector<const CTag*>> frames;
    std::map<std::string, int> labels;
    const CTag* streamHead = nullptr; // SoundStreamHead or SoundStreamHead2: the format of the frames' blocks
    bool loops = true; // playing goes from the last frame back to the first
};

struct SpriteInstance;
struct MovieLibrary;

// A character another movie exported and this one imports by name (ImportAssets): it plays from that movie's
// library.
struct ImportedCharacter {
    const MovieLibrary* library = nullptr;
    uint16_t id = 0;
};

// A movie loaded into a clip or level: the file with its own character dictionary, sprite timelines, exports and
// SWF version. Characters of different movies may share IDs; a sprite looks its characters up in its own.
struct MovieLibrary {
    std::unique_ptr<CSWF> movie;
    std::map<uint16_t, const CTag*> characters;
    std::map<uint16_t, std::unique_ptr<Timeline>> spriteTimelines;
    std::map<std::string, uint16_t> exportNames;
    std::map<uint16_t, ImportedCharacter> imported; // by the ID this movie gives it
    std::vector<const CTag*> imports; // its ImportAssets tags
    Timeline rootTimeline;
    const CTag* jpegTables = nullptr;
    int version = 0;
    std::string url;
    std::string source; // the address it was fetched by, which its imports are taken against
    size_t bytes = 0;
    // A file fetched for another's ImportAssets tag: that movie (null: the main movie). Null for movies loaded
    // into clips and levels.
    const MovieLibrary* importedBy = nullptr;
    bool fetchedForImport = false;
};

// Depths of a display list: the timeline places objects at 1..65535; scripts count depths from -16384 (their
// depth 0 is this offset), up to 1048575 for objects they make.
inline constexpr int32_t kScriptDepthOffset = 16384;
inline constexpr int32_t kMaxScriptDepth = 2130690045;

// What clips hear besides their frames: the events of onClipEvent handlers and of handler properties.
enum class ClipEvent : uint8_t {
    Load,
    EnterFrame,
    Unload,
    MouseMove,
    MouseDown,
    MouseUp,
    KeyDown,
    KeyUp,
    Data,
    Initialize,
    Press,
    Release,
    ReleaseOutside,
    RollOver,
    RollOut,
    DragOver,
    DragOut,
    KeyPress,
    Construct,
};

// One entry of a display list.
struct DisplayObject {
    uint16_t characterId = 0;
    int32_t depth = 0;
    cairo_matrix_t matrix { 1, 0, 0, 1, 0, 0 };
    ColorTransform colorTransform;
    uint16_t ratio = 0;
    uint16_t clipDepth = 0;
    std::string name;
    std::unique_ptr<SpriteInstance> sprite; // the character is a sprite
    int buttonState = 0; // the character is a button: ButtonState
    uint8_t blendMode = 0; // how the object mixes with what lies below it: BlendMode of Placement.h
    bool visible = true;
    std::vector<Filter> filters; // applied to the object's picture, in order
    std::shared_ptr<EditField> field; // a text field's state, once scripts or typing have used it
    const CClipActionsItem* clipActions = nullptr; // the placing tag's onClipEvent handlers
    int placedFrame = -1; // the frame of its timeline that placed it; -1 when a script made it
    bool scriptMoved = false; // a script changed its transform: the timeline no longer moves it
    bool fresh = false; // a button placed under a known mouse, not yet matched with it: takes its state silently
    bool buttonHeld = false; // a button pressed while the mouse is held outside it
    std::shared_ptr<avm1::ButtonLink> button {}; // a button's script state, once a script has used it
    std::shared_ptr<BitmapPixels> bitmap {}; // a script's bitmap shown at this depth (attachBitmap)
    bool smoothBitmap = false;
    bool cacheAsBitmap = false; // drawn as a picture of its own, its bounds' corner on a whole pixel
    std::optional<uint32_t> opaqueBackground; // 0xRRGGBB filling its bounds under it
    std::optional<std::array<double, 4>> scrollRect; // x, y, width, height (twips): the part of it shown at its origin
    std::shared_ptr<video::VideoLink> video {}; // a video's script state, once a script has used it
    // A button: the characters of the state it shows, as its children (sprites among them play and run scripts).
    std::unique_ptr<SpriteInstance> buttonContent;
    int contentState = -1; // the state `buttonContent` was made for
};

// A running timeline with its display list.
struct SpriteInstance {
    const Timeline* timeline = nullptr;
    int currentFrame = -1; // no frame entered yet
    bool playing = true;
    std::map<int32_t, DisplayObject> displayList; // by depth
    int nesting = 0; // how many sprites hold this one: 0 for the root
    uint64_t serial = 0; // unique among the instances of a movie: tells a live instance from one at a reused address
    SpriteInstance* parent = nullptr; // null for the root
    DisplayObject* display = nullptr; // its entry in the parent's display list
    avm1::ClipHandle script; // its script object, when a script has used it
    bool loaded = false; // its load event was sent
    bool removed = false; // taken off its parent's list; lives until its unload events have run
    uint16_t symbolId = 0; // the character it is an instance of (0: an empty clip made by a script)
    const MovieLibrary* library = nullptr; // the loaded movie whose characters it shows; null: the main movie's
    std::string failedUrl; // a load into it found no file: it keeps its content, but its `_url` reads this
    bool unloaded = false; // its movie was unloaded: it reports no frame and no bytes until another loads
    std::shared_ptr<Drawing> drawing; // what scripts drew into it, under its children
    // A root or level has no parent's list: its own transform, colour and visibility are kept here, and
    // `display` points to it.
    std::unique_ptr<DisplayObject> topDisplay;
    bool buttonContent = false; // the children of a button's state: `display` is the button
};

// A clip the timeline took off that waits in its parent's list, below every depth in use, for its unload events
// to run (see MoviePlayer::removeByTimeline): scripts still reach it, its unload handlers run as a removed clip's.
inline bool AwaitsUnload(const SpriteInstance& sprite)
{
    return sprite.parent && !sprite.buttonContent && sprite.display && sprite.display->depth < 0;
}

// The list an object shows as its content: a clip's own, or the children of a button's state (null for others).
inline SpriteInstance* ContentOf(const DisplayObject& object)
{
    return object.sprite ? object.sprite.get() : object.buttonContent.get();
}

// Makes a sprite a root or level: its own transform starts as the identity.
inline void MakeTop(SpriteInstance& top)
{
    top.topDisplay = std::make_unique<DisplayObject>();
    top.display = top.topDisplay.get();
}

enum ButtonState { kButtonUp = 0, kButtonOver = 1, kButtonDown = 2 };

// A rectangle of pixels, right and bottom exclusive.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
};

// Where the movie draws: a 32-bit ARGB pixel map, the plug-in's area in it, and the parts that may change.
struct DrawTarget {
    uint32_t* pixels = nullptr;
    int width = 0; // of the pixel map
    int height = 0;
    int stride = 0; // bytes per row
    PixelRect area; // the plug-in's area in pixel map coordinates
    std::vector<PixelRect> clip; // pixel map coordinates; drawing stays inside their union
};

class MoviePlayer
{
public:
    MoviePlayer();
    ~MoviePlayer();
    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    // Reads a whole movie file. A movie that cannot be read leaves the player blank (0 frames, black).
    bool load(const uint8_t* data, size_t size);
    bool isLoaded() const { return m_Movie != nullptr; }

    // Frame rate and frame count of the root timeline.
    double frameRate() const { return m_FrameRate; }
    int totalFrames() const;
    int currentFrame() const;
    bool isPlaying() const { return m_Root.playing; }

    // Time passes: `ticks` is the host clock (1/60 s). Returns true when the picture may have changed.
    bool advanceTo(uint32_t ticks);
    // One frame of the movie as it plays: the root moves on (when playing, or always with `force`) and every
    // sprite with it. Returns true when anything changed.
    bool step(bool force = false);

    void play();
    void stop();
    // Goes to a frame (from 0) of the root timeline, keeping whether it plays; false outside the movie.
    bool gotoFrame(int frame);
    bool rewind();
    bool forward();
    bool back();

    // The shown rectangle in twips (left, top, right, bottom); initially the frame.
    bool setZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool zoom(int percent);
    bool pan(int32_t x, int32_t y, int mode, int viewWidth, int viewHeight);
    void zoomRect(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const;
    // The size in pixels of the view the host shows the movie in (0 until it says); scripts hear of a change.
    void setViewSize(int width, int height);
    void viewSize(int& width, int& height) const
    {
        width = m_ViewWidth;
        height = m_ViewHeight;
    }

    Quality quality() const { return m_Quality; }
    void setQuality(Quality quality) { m_Quality = quality; }

    // Draws the current frame.
    void draw(const DrawTarget& target);

    // Mouse at a point of the plug-in area in pixels; `down` is the button state. Returns true when a button
    // changed its state (the picture changed).
    // `moveEvent`: the host reported a move, which scripts hear even when the point is the same.
    bool mouseEvent(double x, double y, bool down, int viewWidth, int viewHeight, bool moveEvent = false);
    // A key of the host's keyboard (Mac virtual key code and character code) went down or up; scripts hear of
    // it. Returns true when scripts ran (the picture may have changed).
    bool keyEvent(bool down, uint8_t macKey, uint8_t charCode);
    // The mouse wheel turned by `lines` (positive away from the user): Mouse listeners hear onMouseWheel. Returns
    // true when scripts ran.
    bool wheelEvent(int lines);
    // The host's keyboard focus left the movie: the object holding the movie's focus loses it.
    void focusLost();
    // Whether the mouse is over an enabled button or a clip with button handlers that shows the hand cursor.
    bool handCursor() const { return m_HandCursor; }
    // The box (stage twips) of the focus rectangle to draw around the object the keyboard focused; false when none.
    bool focusRectangle(double box[4]);
    // The keyboard's focus arriving at a button (or leaving it) rolls it over (or out) as the mouse would; its
    // records and handlers run at once.
    void rollButton(SpriteInstance& parent, DisplayObject& button, bool over);

    // Sound: plays nothing until an output is opened (the plug-in's choice: a capture file, the sound server, or
    // a silent clock). The movie's sound side, for what scripts will do with sounds.
    void openSoundOutput(const std::string& streamName);
    sound::MovieSound& sound() { return *m_Sound; }

    // Where the next movie loaded comes from (its URL): scripts' stored objects are kept per location.
    std::string movieUrl;
    // Requests from GetURL actions: url and target.
    std::function<void(const std::string&, const std::string&)> onGetURL;
    // Lines the movie's trace() prints.
    std::function<void(const std::string&)> onTrace;
    // The movie's script machine was made (before its first frame runs): the host side connects to it.
    std::function<void(avm1::Machine&)> onMachineCreated;
    int swfVersion() const { return m_Version; }

    // ---- for scripts: clips made, moved and removed at run time ----
    // The character an exported symbol name stands for (0 when none).
    uint16_t exportedCharacter(const std::string& name, bool caseSensitive) const;
    // The export name of a character ("" when it has none).
    std::string exportName(uint16_t characterId) const;
    // Places a new instance of a sprite character (0: an empty clip) at a display depth of `parent`, replacing
    // what is there; its first frame is entered and its initialize event queued. Null when it cannot be made.
    SpriteInstance* attachSprite(SpriteInstance& parent, uint16_t characterId, const std::string& name, int32_t depth);
    // Places a new instance of a button character at a display depth of `parent`, replacing what is there; it
    // shows its up state. Null when the character is no button.
    DisplayObject* attachButton(SpriteInstance& parent, uint16_t characterId, const std::string& name, int32_t depth);
    // A copy of a clip beside it (same character, transform, clip events) at another depth.
    SpriteInstance* duplicateSprite(SpriteInstance& sprite, const std::string& name, int32_t depth);
    // The same for a button, text field or video of `parent` at depth `from`: the copy is a new instance of its
    // character (a field a script made copies its box). Null when that depth holds no such object.
    DisplayObject* duplicateObject(SpriteInstance& parent, int32_t from, const std::string& name, int32_t depth);
    // Shows a script's bitmap at a display depth of `parent`, replacing what is there.
    void attachBitmap(SpriteInstance& parent, std::shared_ptr<BitmapPixels> bitmap, int32_t depth, bool smooth);
    // Takes a clip off its parent's list (its unload events follow).
    void removeSprite(SpriteInstance& sprite);
    // Moves a clip to another depth of its parent's list, exchanging places with what is there.
    void swapDepth(SpriteInstance& sprite, int32_t depth);
    // Clip events from scripts' point of view: run now for this clip (with the frame's actions).
    void queueEvent(SpriteInstance& sprite, ClipEvent event);
    // Bounds of a clip's content in its own coordinates (twips); false when it holds nothing.
    bool spriteBounds(const SpriteInstance& sprite, const cairo_matrix_t& m, double box[4]);
    // The same in the clip's own space, grown into `own`.
    bool localBounds(const SpriteInstance& sprite, double own[4], int nesting);
    // Whether a point of the stage (twips) falls on the content of a clip; `shape` tests the outlines.
    bool spriteHit(const SpriteInstance& sprite, double x, double y, bool shape);
    // Whether a point of a static text's space (twips) falls on one of its glyphs.
    bool textHit(const SpriteInstance& sprite, const CTextTag& text, double x, double y);
    // The full matrix from a clip's coordinates to the stage's (twips).
    cairo_matrix_t stageMatrix(const SpriteInstance& sprite) const;
    // The mouse on the stage in twips.
    double mouseX() const { return m_MouseX; }
    double mouseY() const { return m_MouseY; }
    SpriteInstance& root() { return m_Root; }
    // The size of the movie file in bytes (all of it is loaded).
    size_t movieBytes() const { return m_MovieBytes; }
    // The length the movie's header declares: its size uncompressed.
    size_t movieLength() const;
    // Characters of the movie by ID.
    const CTag* character(uint16_t id) const
    {
        auto it = m_Characters.find(id);
        return it == m_Characters.end() ? nullptr : it->second;
    }
    // The decoded pixels of a bitmap character of the movie (kept by the movie), or null.
    cairo_surface_t* bitmapSurface(uint16_t id);
    // ---- movies loaded into clips ----
    // Replaces a clip's content with a movie file's: what it showed goes (its unload events follow), the new
    // movie's characters and timeline come in and its first frame is entered (its actions queued, then the load
    // event). Bytes that are not a movie leave the clip empty; false then. The clip keeps its name, depth and
    // transform.
    bool loadInto(SpriteInstance& target, const uint8_t* data, size_t size, const std::string& url,
        const std::string& source = {});
    // The movie an ImportAssets tag of `into` (null: the main movie) names has come from `address`: its
    // characters exported under the imported names become that movie's, its own imports are fetched in turn, and
    // its init actions run on `importer` (the root of the movie that started the imports). False for bytes that
    // are no movie, or when `into` is gone.
    bool importArrived(SpriteInstance& importer, const MovieLibrary* into, const CTag* importTag,
        const uint8_t* data, size_t size, const std::string& url, const std::string& address = {});
    // Empties a clip as unloading a loaded movie does.
    void unloadContent(SpriteInstance& target);
    // Levels above the main movie (`_level1` and up), made empty on demand when `make`; level 0 is the root.
    SpriteInstance* level(int number, bool make);
    // Takes a level other than 0 away (its unload events follow).
    void removeLevel(int number);
    // The level a top sprite is (-1: not a level).
    int levelNumber(const SpriteInstance& top) const;
    // Runs the actions queued outside a step (by loads delivered between steps).
    void runQueuedActions() { runPendingActions(); }
    // The character dictionary a sprite's library stands for.
    const std::map<uint16_t, const CTag*>& charactersOf(const MovieLibrary* library) const
    {
        return library ? library->characters : m_Characters;
    }
    const CTag* character(const SpriteInstance& sprite, uint16_t id) const
    {
        const auto& characters = charactersOf(sprite.library);
        auto it = characters.find(id);
        return it == characters.end() ? nullptr : it->second;
    }
    // The URL of the movie a sprite belongs to ("" for the main movie) and its SWF version.
    std::string urlOf(const SpriteInstance& sprite) const { return sprite.library ? sprite.library->url : std::string(); }
    int versionOf(const SpriteInstance& sprite) const { return sprite.library ? sprite.library->version : m_Version; }

    // The movie's script machine (null before a movie loads); for measuring and tests.
    avm1::Machine* scriptMachine() { return m_Machine.get(); }

private:
    struct Character;
    friend class Renderer;
    friend class avm1::Machine;

    // A movie file read with its header and tags; null when it is not one.
    static std::unique_ptr<CSWF> readMovie(const uint8_t* data, size_t size);
    void buildTimeline(Timeline& timeline, const CTagsItem* tags, bool root);
    void registerCharacter(const CTag* tag);
    void enterFrame(SpriteInstance& sprite, int frame, bool runActions, bool apply = true, bool jump = false);
    void beginSprite(SpriteInstance& sprite, bool runActions);
    void applyFrame(SpriteInstance& sprite, int frame);
    void applyControlTag(SpriteInstance& sprite, const CTag* tag, int frame);
    void applyPlacement(SpriteInstance& sprite, const Placement& place, int frame);
    bool placementOf(const CTag* tag, Placement& place, const CClipActionsItem*& clipActions) const;
    void startSprite(SpriteInstance& parent, DisplayObject& object);
    // The timeline of a sprite character of a movie (its own or one it imports), and the library it plays from.
    const Timeline* spriteTimeline(
        const MovieLibrary* library, uint16_t id, const MovieLibrary*& from, uint16_t& fromId) const;
    // Asks the host for the movies the ImportAssets tags of `library` (null: the main movie) name.
    void startImports(SpriteInstance& importer, const MovieLibrary* library);
    // Every movie that imports a character gets its tag once the file it finally comes from (an import of an
    // import) has arrived.
    void shareImportedCharacters();
    void removeAt(SpriteInstance& sprite, std::map<int32_t, DisplayObject>::iterator it);
    // The timeline takes an object off. A clip that hears its unload (or holds one that does) stays listed until
    // the next frame, at a depth below those of the timeline and of scripts, so that scripts still find it by
    // name while its unload events run; the others go at once.
    void removeByTimeline(SpriteInstance& sprite, std::map<int32_t, DisplayObject>::iterator it);
    // The clips removeByTimeline left listed go, in the whole tree under `sprite`.
    void dropUnloaded(SpriteInstance& sprite);
    void queueUnload(SpriteInstance& sprite);
    void queueEnterFrames(SpriteInstance& sprite);
    void rebuildTo(SpriteInstance& sprite, int frame);
    void dispatchMouse(ClipEvent event);
    void collectMouseListeners(SpriteInstance& sprite, std::vector<std::pair<SpriteInstance*, uint64_t>>& out);
    void stepSprite(SpriteInstance& sprite, bool force);
    void stepChildren(SpriteInstance& sprite);
    void runActions(SpriteInstance& sprite, const CActionsItem* actions);
    void runPendingActions();
    bool seek(SpriteInstance& sprite, int frame, bool jump = false);
    cairo_matrix_t viewMatrix(int viewWidth, int viewHeight) const;
    // Where the root's children lie in the view: the view's matrix after the root's own transform.
    cairo_matrix_t underRoot(const cairo_matrix_t& view) const;
    bool updateButtons(SpriteInstance& sprite, const cairo_matrix_t& parent, double x, double y, bool down,
        bool& changed, bool& found);
    // Whether any record of the button answers (key presses only); without `run` nothing is queued.
    bool queueButtonActions(SpriteInstance& sprite, const CTag* button, uint16_t condition, int key, bool run = true);
    bool pressButtonKeys(SpriteInstance& sprite, int key, bool run);
    void queueButtonEvent(SpriteInstance& parent, DisplayObject& button, ClipEvent event);
    // Makes the children of a button match the state it shows: characters that stay at their depth are kept,
    // the others go and the new state's are made. New sprites enter their first frame at once when `begin`,
    // else with the frame their button's timeline enters.
    void syncButtonContent(SpriteInstance& parent, DisplayObject& button, bool begin);
    void pressFocused(const avm1::Value& target);
    SpriteInstance* clipUnderMouse(SpriteInstance& sprite);
    void updateClipButtons(bool pressed, bool released);

    std::unique_ptr<CSWF> m_Movie;
    std::map<uint16_t, const CTag*> m_Characters;
    std::map<uint16_t, std::unique_ptr<Timeline>> m_SpriteTimelines;
    Timeline m_RootTimeline;
    SpriteInstance m_Root;
    const CTag* m_JPEGTables = nullptr;
    std::unique_ptr<BitmapCache> m_Bitmaps;
    // Kept from frame to frame: it keeps its layers' buffers and the filtered pictures that did not change.
    std::unique_ptr<Renderer> m_Renderer;
    std::map<const CTag*, std::vector<ShapeLayer>> m_ShapeCache;
    std::map<const CTag*, Font> m_FontCache; // fonts with their glyphs walked, made when first drawn
    double m_FrameRate = kDefaultFrameRate;
    uint32_t m_BackgroundColor = kDefaultBackground;
    int32_t m_Frame[4] = { 0, 0, 0, 0 }; // left, top, right, bottom in twips
    int32_t m_Zoom[4] = { 0, 0, 0, 0 };
    Quality m_Quality = Quality::High;
    bool m_HaveTime = false;
    double m_FrameClock = 0; // ticks at which the next frame is due
    int m_ActionDepth = 0;
    bool m_FrameEntered = false; // a timeline entered a frame during the current step
    // Frame actions wait until the display lists of the step are complete. An action that sends a timeline back
    // removes the sprites it placed, so each entry names its sprite's serial and runs only while that sprite lives.
    struct PendingActions {
        SpriteInstance* sprite;
        uint64_t serial;
        const CActionsItem* actions; // or, when null, the event
        ClipEvent event = ClipEvent::Load;
        std::shared_ptr<avm1::ButtonLink> button {}; // the event goes to this button of the sprite, not the sprite
    };
    // Objects taken off the display lists during a step: they live until the step's actions have run, so that
    // their unload events see them.
    std::vector<std::unique_ptr<DisplayObject>> m_Removed;
    double m_MouseX = 0; // twips on the stage
    double m_MouseY = 0;
    bool m_HaveMouse = false;
    double m_MousePixelX = 0; // the last mouse position the host gave, and its view's size
    double m_MousePixelY = 0;
    int m_ViewWidth = 0;
    int m_ViewHeight = 0;
    size_t m_MovieBytes = 0;
    bool m_MouseWasDown = false;
    bool m_HandCursor = false;
    // Clips acting as buttons: the one under the mouse and the one pressed (checked by serial before use).
    SpriteInstance* m_Hovered = nullptr;
    uint64_t m_HoveredSerial = 0;
    SpriteInstance* m_Pressed = nullptr;
    uint64_t m_PressedSerial = 0;
    std::vector<PendingActions> m_PendingActions;
    uint64_t m_NextSerial = 1; // the root is 0
    long m_ActionBudget = 0; // what actions may still do in this step; set in the constructor and after each step
    void queueActions(SpriteInstance& sprite, const CActionsItem* actions);
    bool isLive(const SpriteInstance& from, const SpriteInstance* sprite, uint64_t serial) const;
    bool isLiveAnywhere(const SpriteInstance* sprite, uint64_t serial) const;
    bool m_MouseDown = false;
    int m_Version = 0;
    uint64_t m_InstanceNames = 0; // counts the names given to unnamed instances
    std::unique_ptr<avm1::Machine> m_Machine; // the movie's scripts; made when a movie loads
    std::set<const CTag*> m_InitActionsRun; // DoInitAction tags already run
    std::map<std::string, uint16_t> m_ExportNames; // ExportAssets names of characters
    std::map<uint16_t, ImportedCharacter> m_Imported; // characters the main movie imports
    std::vector<const CTag*> m_Imports; // the main movie's ImportAssets tags
    // Movies loaded into clips: kept until the main movie changes, since caches are keyed by their tags.
    std::vector<std::unique_ptr<MovieLibrary>> m_Libraries;
    std::map<int, std::unique_ptr<SpriteInstance>> m_Levels; // by number, from 1
    MovieLibrary* m_Building = nullptr; // the loaded movie whose tags are being read (null: the main movie)

    // Sound hooks: a frame's sounds, streams kept only while their timelines play, and the root's frames kept
    // in step with its stream sound.
    std::unique_ptr<sound::MovieSound> m_Sound;
    bool m_HostPaused = false; // the host stopped the movie: its sounds wait rather than end
    void soundFrameEntered(const SpriteInstance& sprite, int frame);
    void keepPlayingStreams();
    bool followStreamSound(uint32_t ticks, bool& changed);
};

} // namespace reelfinch::plugin
