// Loading through the host, as scripts see it: LoadVars and XML load/send/sendAndLoad, loadVariables and getURL
// with a clip's variables. A request goes out at once through the host functions the plug-in installs; the bytes
// that answer it are kept aside, and the scripts' handlers (onData, onLoad, a clip's onData) run only between
// steps of the movie, when DeliverLoads is called, never in the middle of a script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CTag;

namespace reelfinch::plugin {
struct SpriteInstance;
struct MovieLibrary;
}

namespace reelfinch::avm1 {

class Machine;
class Object;
class Value;

// The largest answer a script's request may bring; more ends the request as failed.
inline constexpr size_t kMaxLoadBytes = size_t(64) << 20;

// A TCP connection of XMLSocket as the host reports it between steps.
enum class SocketState : uint8_t { Connecting, Open, Failed, Closed };

// What the host reports of a file operation (FileReference), between steps: the same numbers as the host's.
enum class FileEventKind : int32_t { None, Select, Cancel, Open, Progress, Complete, HttpError, IoError, Ended };
struct FileEvent {
    FileEventKind kind = FileEventKind::Ended;
    double a = 0; // Select: the file's size; Progress: bytes done; HttpError: the status
    double b = 0; // Progress: bytes in all
    std::string name; // Select: the chosen file's name
};
enum class FileOperation : int32_t { Browse, Download, Upload };

struct LoadHost {
    // Sends a request whose answer is for the movie; false when it was refused at once. Its bytes and its end
    // come back through LoadReceived and LoadEnded with the same id, possibly before this returns.
    std::function<bool(uint32_t id, const std::string& url, bool post, const std::string& contentType,
        const std::string& body)>
        request;
    // Opens a URL in a window (`target` non-empty) or the host's navigation; nothing comes back.
    std::function<void(const std::string& url, const std::string& target, bool post, const std::string& body)>
        navigate;
    // XMLSocket's connections: open answers the host's number for a connection it started (0: refused at once);
    // poll adds the bytes that arrived since the last poll to `received` and answers the state (Closed only
    // once every byte before the close was handed over); close forgets the number.
    std::function<int32_t(const std::string& host, int32_t port)> socketOpen;
    std::function<bool(int32_t id, const std::string& bytes)> socketSend;
    std::function<SocketState(int32_t id, std::string& received)> socketPoll;
    std::function<void(int32_t id)> socketClose;
    // The user's files: start answers the host's number for a dialog or transfer it began (0: refused; `text` is
    // a browse's filters or a download's suggested name, `file` the browse whose file an upload sends); poll
    // answers its next event; close ends it.
    std::function<int32_t(FileOperation kind, const std::string& url, const std::string& text, int32_t file)>
        fileStart;
    std::function<FileEvent(int32_t id)> filePoll;
    std::function<void(int32_t id)> fileClose;
    // Whether the movie has a host that scripts it (ExternalInterface is `available` then), and where its
    // ExternalInterface.call requests go (the standalone player has no page to answer them).
    bool externalHost = false;
    std::function<void(const std::string& name)> externalCall;
};

// Adds the loading methods to LoadVars and XML (after both classes are installed).
void InstallLoading(Machine& m);
void SetLoadHost(Machine& m, LoadHost host);
const LoadHost& LoadHostOf(Machine& m);
// The XMLSocket class (XmlSocketClass.cpp), installed with the loading methods.
void InstallXmlSocketClass(Machine& m);
// Hands what the host's sockets brought to their objects' handlers (onConnect, onData, onClose); part of
// DeliverLoads.
void PollSockets(Machine& m);
// Whether XMLSocket connections are connecting or open.
bool SocketsOpen(Machine& m);
// ExternalInterface's callbacks, as the host calls them through the plug-in's scriptable object: whether
// addCallback named `name`, and the call itself (false when no callback has that name). The callback runs
// between steps of the movie, on the object it was added with.
bool HasExternalCallback(Machine& m, const std::string& name);
bool CallExternalCallback(Machine& m, const std::string& name, const std::vector<Value>& args, Value& result);
// Hands what the host reports of file dialogs and transfers to their FileReference objects' listeners; part of
// DeliverLoads. FilesPending: whether any is still going on.
void PollFiles(Machine& m);
bool FilesPending(Machine& m);
// Bytes of a request's answer; `total` is its announced length (0: unknown).
void LoadReceived(Machine& m, uint32_t id, const uint8_t* data, size_t size, uint32_t total);
// The answer ended; ok false when it failed or never came.
void LoadEnded(Machine& m, uint32_t id, bool ok);
// Runs the handlers of every request that ended since the last call, in the order they ended.
void DeliverLoads(Machine& m);
// Whether requests are still open or wait for delivery.
bool LoadsPending(Machine& m);

// Fetches `url` for built-in code of the movie (a sound's loadSound, a movie loaded into a clip): `done` runs
// between steps of the movie with the whole answer, or with ok false. `owner` (may be null) is kept alive until
// then. False, and `done` never called, when the request could not even be queued (no URL, too many open).
using FetchDone = std::function<void(Machine& m, bool ok, const std::string& bytes)>;
bool FetchForMovie(Machine& m, Object* owner, const std::string& url, FetchDone done);
// How much of the answer to `owner`'s newest fetch has come so far, and its announced length (0: unknown);
// false when `owner` has no fetch open.
bool FetchProgress(Machine& m, const Object* owner, size_t& loaded, size_t& total);
// The same with `body` POSTed as `contentType` (a remote call).
bool PostForMovie(Machine& m, Object* owner, const std::string& url, const std::string& contentType,
    const std::string& body, FetchDone done);

// The GetURL2 action: `flags` as the action has them (method in the low bits, load-variables and load-target
// bits); `clip` is the clip the script runs in (its variables are sent, relative targets start there).
void ScriptGetURL(Machine& m, Object* clip, const std::string& url, const std::string& target, int flags);

// ---- movies loaded into clips and levels (MovieClipLoaderClass.cpp) ----
// Fetches a movie for `clip`; when it comes, the clip's variables are cleared and its content replaced. A
// MovieClipLoader `loader` (may be null) hears onLoadStart, onLoadProgress, onLoadComplete, then onLoadInit
// after the first frame, or onLoadError.
bool StartMovieLoad(Machine& m, Object* clip, const std::string& url, Object* loader);
// The address an ImportAssets tag's `url` names, taken against `base` (the address the importing movie came
// from; empty for the main movie): a relative one names a file beside the importing movie.
std::string ImportAddress(const std::string& base, const std::string& url);
// Fetches the movie an ImportAssets tag (`importTag`) of the movie `into` (null: the main movie) names, `url`
// taken against `base`. `importer` is the root the imports started from: when the file comes the player takes
// its symbols, unless that root shows another movie by then.
bool StartImport(Machine& m, plugin::SpriteInstance& importer, const plugin::MovieLibrary* into,
    const std::string& base, const std::string& url, const CTag* importTag);
// Empties a clip loaded into (or any clip) as unloadMovie does: a load it waits for is dropped at once, its
// content goes with the next frame (ApplyUnloads), when it hears onUnload. A level other than 0 goes away at once.
void UnloadMovie(Machine& m, Object* clip);
// The unloads asked for since the last frame take effect: each clip still there is emptied and reports no frame
// and no bytes until a movie is loaded into it again.
void ApplyUnloads(Machine& m);
// N of a "_levelN" name (any case; read as far as its digits go, "_level1x" is level 1), -1 for other names.
int LevelNumber(std::string_view name);
// The clip of "_levelN" (made empty when `make` and it does not exist yet); null for other names.
Object* LevelTarget(Machine& m, std::string_view name, bool make = true);
// A movie was loaded into `clip`: the first frames of this delivery run before it ends, then `loader` (may be
// null) hears onLoadInit.
void QueueLoadInit(Machine& m, Object* loader, Object* clip);

// System.security.sandboxType on `security`: "remote" for the code of a movie loaded from the web (the main
// one or one loaded into a clip), `localType` for the code of a local movie.
void DefineSandboxType(Machine& m, Object* security, const char* localType);

// Form encoding of a clip's or object's variables: name=value pairs joined by '&', spaces as '+'.
std::string EncodeVariables(Machine& m, Object* object);

} // namespace reelfinch::avm1
