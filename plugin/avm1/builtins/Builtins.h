// The language's built-in classes and global functions, one file per class or group. Each file declares its
// methods in one table: name, function, attributes.
#pragma once

#include "avm1/Clip.h"
#include "avm1/Machine.h"

#include <initializer_list>
#include <memory>
#include <optional>

namespace reelfinch::plugin::video {
class FlvVideo;
}

namespace reelfinch::avm1 {

struct MethodEntry {
    const char* name;
    NativeFunction function;
    uint16_t flags = kDontEnum;
};

// The argument at `i`, undefined past the end.
inline Value Arg(const Value* args, int argc, int i)
{
    return i < argc ? args[i] : Value();
}

// A method that does nothing and gives undefined.
inline Value Nothing(Machine&, const Value&, const Value*, int)
{
    return Value();
}

// Loading data from URLs is not wired to the host yet: load, send and sendAndLoad refuse the request.
inline Value NotLoaded(Machine&, const Value&, const Value*, int)
{
    return Value(false);
}

// The default onData of LoadVars and XML: no data calls onLoad(false); otherwise `take` reads what arrived into
// the object, which is marked loaded, and onLoad(true) is called.
template <class Take>
Value DeliverLoadedData(Machine& m, const Value& self, const Value* args, int argc, Take take)
{
    Value loaded = Value(argc >= 1 && !args[0].isUndefined());
    if (loaded.asBool()) {
        take(m, self, args, 1);
        m.setMember(self, "loaded", loaded);
    }
    m.callMethod(self, "onLoad", &loaded, 1);
    return Value();
}

// Adds the table's methods to `object`.
void DefineMethods(Machine& m, Object* object, std::initializer_list<MethodEntry> methods);
// A constructor function with a fresh prototype object (of `proto`'s kind when given), stored in _global (or in
// `holder`: the machine's own m_Internal for a class that scripts reach under another name only).
FunctionObject* DefineClass(Machine& m, const char* name, NativeFunction call, NativeFunction construct,
    Object* prototype, Object* holder = nullptr);
// Makes every member `object` has now, __proto__ included, hidden, permanent and read-only, as the player does to
// its singletons (Key, Math, ...) and to the instances of a few classes.
void LockMembers(Object* object);

void InstallBuiltins(Machine& m);
void InstallObjectClass(Machine& m);
void InstallFunctionClass(Machine& m);
void InstallArrayClass(Machine& m);
void InstallStringClass(Machine& m);
void InstallNumberBooleanClasses(Machine& m);
void InstallMathClass(Machine& m);
void InstallGlobals(Machine& m);
void InstallErrorClass(Machine& m);
void InstallBroadcaster(Machine& m);
void InstallSystem(Machine& m);
// The screen's size in pixels as System.capabilities tells it (a size the host did not give keeps the default).
void SetScreenSize(Machine& m, int width, int height);
void InstallMovieClipClass(Machine& m);
// What a clip's getBytesTotal counts (the movie's uncompressed length for a root or loaded movie), or with `wire`
// the bytes of its movie file as they came.
double ClipBytes(Machine& m, const plugin::SpriteInstance& sprite, bool wire);
// The drawing methods of MovieClip (moveTo, lineTo, fills, clear...) on its prototype.
void InstallDrawingMethods(Machine& m, Object* clipPrototype);
// PrintJob, answering as a player with no printer.
void InstallPrintJobClass(Machine& m);
void InstallDateClass(Machine& m);
void InstallSoundClass(Machine& m);

// After a step of the movie: the onSoundComplete of each Sound whose sound ended by itself.
void DispatchSoundEvents(Machine& m);
// What a Sound's loadSound(url, isStreaming) fetched, handed over by the loading side once the file arrived:
// `ok` false when the load failed. The Sound reads the MP3 file's ID3 tags into its `id3` (onID3), decodes it
// as its sound, hears onLoad(ok), and starts playing at once when `streaming`.
void SoundLoadFinished(Machine& m, Object* sound, bool streaming, bool ok, std::string_view bytes);
void InstallXmlClasses(Machine& m);
void InstallGeomClasses(Machine& m);
// flash.geom.Matrix, into the flash.geom package object.
void InstallMatrixClass(Machine& m, Object* geomPackage);
void InstallColorClass(Machine& m);
void InstallLoadVarsClass(Machine& m);
void InstallMovieClipLoader(Machine& m);
void InstallStageInput(Machine& m);
void InstallSharedObjectClass(Machine& m);
void InstallNetConnectionClass(Machine& m);
// NetStream playing FLV files, and after a step of the movie the status messages and data calls its streams queued.
void InstallNetStreamClass(Machine& m);
void DispatchNetStreamEvents(Machine& m);
// Video objects: the script object of a placed video (null for other characters), and the pictures of a
// NetStream that attachVideo shows (null for other values).
void InstallVideoClass(Machine& m);
Object* VideoObject(Machine& m, plugin::SpriteInstance& parent, plugin::DisplayObject& display);
std::shared_ptr<plugin::video::FlvVideo> NetStreamVideo(const Value& stream);
void InstallLocalConnectionClass(Machine& m);
void InstallTextFieldClass(Machine& m);
void InstallButtonClass(Machine& m);
void InstallDisplayEffects(Machine& m);

// Buttons: the script object of a placed button (null for other characters), its handler properties run for a
// change of its state, and the properties the mouse and the Tab key follow.
Object* ButtonObject(Machine& m, plugin::SpriteInstance& parent, plugin::DisplayObject& display);
void ButtonEvent(Machine& m, const std::shared_ptr<ButtonLink>& link, plugin::ClipEvent event);
bool ButtonHears(Machine& m, const plugin::DisplayObject& display, plugin::ClipEvent event);
void ButtonRoll(Machine& m, const Value& button, bool over);
bool ButtonEnabled(Machine& m, plugin::DisplayObject& display);
bool ButtonShowsHand(Machine& m, plugin::DisplayObject& display);
bool ButtonTracksAsMenu(Machine& m, plugin::DisplayObject& display);
bool IsButtonObject(const Value& v);
bool ButtonAlive(const Value& button);
bool ButtonStageBounds(Machine& m, const Value& button, double box[4]);
// The button's entry in its parent's display list, while it is on the stage.
plugin::DisplayObject* ButtonDisplay(const Value& button, plugin::SpriteInstance** parent);
std::optional<double> ButtonTabIndex(const Value& button);
// A text field's or video's entry in its parent's display list, while it is there.
plugin::DisplayObject* FieldDisplay(const Value& field, plugin::SpriteInstance** parent);
plugin::DisplayObject* VideoDisplay(const Value& video, plugin::SpriteInstance** parent);
// The filters of a clip, button or text field: read as a new array of new filter objects, written from an array.
Value FiltersGet(Machine& m, const Value& self, const Value* args, int argc);
Value FiltersSet(Machine& m, const Value& self, const Value* args, int argc);
// The clip named `name` among the children of the state a button object shows (undefined when none).
Value ButtonChild(Machine& m, Object* button, std::string_view name);

void InstallTextSnapshotClass(Machine& m);
void InstallStyleSheetClass(Machine& m);
// flash.external.ExternalInterface and flash.net.FileReference(List).
void InstallExternalInterfaceClass(Machine& m);
void InstallFileReferenceClasses(Machine& m);

// Text fields: the script object of a field, the variables fields show (the fields of `sprite`, and with `deep`
// those of every clip in it), and a key typed into the field that has the focus.
Object* MakeFieldObject(Machine& m, const std::shared_ptr<FieldLink>& link);
bool IsFieldObject(const Value& v);
void SyncTextFields(Machine& m, plugin::SpriteInstance& sprite, bool deep);
void TypeIntoFocus(Machine& m, int code, int ascii);

// Sets a property on `target` for each `name=value` pair of URL-encoded `text` (LoadVars, loadVariables).
void DecodeVariables(Machine& m, Object* target, std::string_view text);
// `name` of _global in each set of globals made so far, the set in use first: the Key, Mouse and Stage of movies
// on either side of SWF 7, whose listeners all hear the player's events.
std::vector<Value> MemberOfEachGlobals(Machine& m, const char* name);
// The host's view of the movie changed its size (Stage hears onResize when it shows the movie unscaled).
void StageViewResized(Machine& m);
// A key went down or up in the host: Key's state changes and its listeners hear of it, the focused object too, and
// the key moves the focus or types into the focused field unless a button's record `taken` it.
void DeliverKeyEvent(Machine& m, bool down, int code, int ascii, bool taken = false);
// The focused clip or button that a key press (Enter or Space) presses and releases; undefined when none.
Value KeyPressTarget(Machine& m, int code);
// The object holding the focus (a field, a clip or a button), or null.
Value FocusedObject(Machine& m);
// The focus rectangle: whether it shows around an object, the _focusrect of a clip as scripts read and set it,
// and the stage box (twips) of the rectangle to draw now (false when none shows).
bool FocusRectShown(Machine& m, const Value& object);
Value FocusRectProperty(Machine& m, plugin::SpriteInstance& sprite);
void SetFocusRectProperty(Machine& m, plugin::SpriteInstance& sprite, const Value& v);
bool FocusHighlight(Machine& m, double box[4]);
void HideFocusHighlight(Machine& m);
// A button, or a clip acting as one, rolled over (or out) by the keyboard's focus arriving (or leaving).
void FocusRoll(Machine& m, const Value& object, bool over);
// The movie lost the host's keyboard focus: the focused object rolls out and loses the focus.
void DropFocus(Machine& m);
// The script's key code (Key.LEFT is 37) and character of a key the host names by its Mac virtual key code and
// character code; code 0 for keys scripts have no code for.
struct ScriptKey {
    int code = 0;
    int ascii = 0;
};
ScriptKey ScriptKeyFromMac(uint8_t macKey, uint8_t charCode);
// Where the movie came from (its URL): stored shared objects of different movie locations are kept apart.
void SetSharedObjectLocation(Machine& m, std::string_view url);

} // namespace reelfinch::avm1
