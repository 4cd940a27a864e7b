// Requests of scripts through the host and the delivery of their answers: LoadVars and XML (load, send,
// sendAndLoad, getBytesLoaded/getBytesTotal), loadVariables into a clip, and getURL with a clip's variables.
#include "avm1/Loading.h"

#include "avm1/Clip.h"
#include "avm1/TextCodec.h"
#include "avm1/builtins/NativeData.h"
#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <cctype>

namespace reelfinch::avm1 {

namespace {

// GetURL2 flag bits.
constexpr int kMethodMask = 3;
constexpr int kMethodGet = 1;
constexpr int kMethodPost = 2;
constexpr int kLoadTarget = 0x40;
constexpr int kLoadVariables = 0x80;
constexpr const char* kFormType = "application/x-www-form-urlencoded";
// Requests open at one time at most; a script asking for more is refused.
constexpr size_t kMaxOpenLoads = 256;

enum class LoadKind : uint8_t {
    Data, // LoadVars and XML: the text goes to the object's onData
    ClipVariables, // loadVariables: the pairs go into the clip, then its onData runs
    Bytes, // built-in code's own fetch: its function hears of the whole answer
};

struct LoadJob {
    uint32_t id = 0;
    LoadKind kind = LoadKind::Data;
    Object* target = nullptr;
    std::string bytes;
    uint32_t total = 0;
    bool ended = false;
    bool ok = false;
    FetchDone done; // Bytes only
};

// The machine's loading state: a heap cell kept among the machine's roots, so the objects waiting for data live
// as long as their requests.
class LoadState final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        for (const LoadJob& job : jobs)
            heap.mark(job.target);
        for (const auto& [loader, clip] : loadInits) {
            heap.mark(loader);
            heap.mark(clip);
        }
    }

    LoadHost host;
    std::vector<LoadJob> jobs; // open, then ended in the order they ended
    std::vector<uint32_t> endedOrder;
    uint32_t nextId = 0;
    // Movies loaded into clips during a delivery: their loaders hear onLoadInit once the first frames have run.
    std::vector<std::pair<Object*, Object*>> loadInits;
};

LoadState& StateOf(Machine& m)
{
    for (Object* o : m.m_Roots)
        if (auto* state = dynamic_cast<LoadState*>(o))
            return *state;
    auto* state = m.heap().make<LoadState>();
    m.m_Roots.push_back(state);
    return *state;
}

LoadJob* FindJob(LoadState& state, uint32_t id)
{
    for (LoadJob& job : state.jobs)
        if (job.id == id)
            return &job;
    return nullptr;
}

// Form encoding as the player sends variables: letters, digits and "-_.*" as they are, a space as '+', every
// other byte as %XX.
std::string FormEscape(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
            || c == '.' || c == '*') {
            out += char(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// The text of an answer as scripts see it: UTF-8 (its byte-order mark dropped) for movies of version 6 and
// later, the system code page before.
void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Text that is not valid UTF-8, read as the player reads it: a lead byte takes the bytes its sequence would
// have whatever they are, each counting (byte - 0x80) below the lead's bits, so "\xC4\xD6" is U+0156 and
// "\xDC\x20" U+06A0; a byte that leads nothing (a stray continuation, 0xF8 and up) is the Latin-1 character of
// its value, and a lead cut off by the end of the text is dropped. A sum outside the code points gives U+FFFD.
std::string LooseUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t lead = uint8_t(bytes[i]);
        const size_t extra = lead >= 0xF8 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (lead < 0x80 || extra == 0) {
            AppendUtf8(out, lead);
            ++i;
            continue;
        }
        if (i + extra >= bytes.size())
            break;
        int64_t c = lead & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k)
            c = (c << 6) + (int64_t(uint8_t(bytes[i + k])) - 0x80);
        AppendUtf8(out, c > 0 && c <= 0x10FFFF && !(c >= 0xD800 && c < 0xE000) ? uint32_t(c) : 0xFFFDu);
        i += extra + 1;
    }
    return out;
}

std::string AnswerText(Machine& m, const std::string& bytes)
{
    std::string_view view(bytes);
    if (view.size() >= 3 && view.substr(0, 3) == "\xEF\xBB\xBF")
        view.remove_prefix(3);
    if (m.version() < 6)
        return codePageToUtf8(view);
    std::string text = sanitizeUtf8(view);
    return text == view ? text : LooseUtf8(view);
}

// Starts a request for `target`; false when it could not be sent.
bool StartLoad(Machine& m, LoadKind kind, Object* target, const std::string& url, bool post,
    const std::string& contentType, const std::string& body, FetchDone done = nullptr)
{
    LoadState& state = StateOf(m);
    if (url.empty() || state.jobs.size() >= kMaxOpenLoads)
        return false;
    LoadJob job;
    do {
        job.id = ++state.nextId;
    } while (job.id == 0 || FindJob(state, job.id));
    job.kind = kind;
    job.target = target;
    job.done = std::move(done);
    const uint32_t id = job.id;
    state.jobs.push_back(std::move(job));
    // The host may answer before this returns; without a host the request fails, heard of at the next delivery.
    const bool sent = state.host.request && state.host.request(id, url, post, contentType, body);
    if (!sent)
        LoadEnded(m, id, false);
    return true;
}

std::string UrlWithQuery(const std::string& url, const std::string& query)
{
    if (query.empty())
        return url;
    return url + (url.find('?') == std::string::npos ? "?" : "&") + query;
}

// ---- LoadVars and XML methods

std::string ContentTypeOf(Machine& m, const Value& self)
{
    const Value type = m.getMember(self, "contentType");
    return type.isUndefined() ? std::string(kFormType) : m.toString(type);
}

std::string BodyOf(Machine& m, const Value& self)
{
    return m.toString(m.callMethod(self, "toString", nullptr, 0));
}

void MarkLoading(Machine& m, Object* object)
{
    m.define(object, "loaded", Value(false), kDontEnum);
    m.define(object, "_bytesLoaded", Value(0), kDontEnum);
    m.define(object, "_bytesTotal", Value(), kDontEnum);
}

bool IsPost(Machine& m, const Value* args, int argc, int index, bool postByDefault)
{
    if (index >= argc || args[index].isUndefined())
        return postByDefault;
    std::string method = m.toString(args[index]);
    std::transform(method.begin(), method.end(), method.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return method != "GET";
}

Value Load(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject() || argc < 1)
        return Value(false);
    MarkLoading(m, self.asObject());
    return Value(StartLoad(m, LoadKind::Data, self.asObject(), m.toString(args[0]), false, std::string(), std::string()));
}

// sendAndLoad(url, target[, method]): this object's data out, the answer into `target`.
Value SendAndLoad(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject() || argc < 2 || !args[1].isObject())
        return Value(false);
    const bool post = IsPost(m, args, argc, 2, true);
    const std::string url = m.toString(args[0]);
    std::string body = BodyOf(m, self);
    const std::string type = ContentTypeOf(m, self);
    MarkLoading(m, args[1].asObject());
    if (!post)
        return Value(StartLoad(m, LoadKind::Data, args[1].asObject(), UrlWithQuery(url, body), false, type, std::string()));
    return Value(StartLoad(m, LoadKind::Data, args[1].asObject(), url, true, type, body));
}

// send(url[, target[, method]]): this object's data to a window; nothing comes back.
Value Send(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject() || argc < 1)
        return Value(false);
    LoadState& state = StateOf(m);
    const std::string url = m.toString(args[0]);
    const std::string target = argc > 1 ? m.toString(args[1]) : std::string();
    const bool post = IsPost(m, args, argc, 2, true);
    const std::string body = BodyOf(m, self);
    if (url.empty() || !state.host.navigate)
        return Value(false);
    if (post)
        state.host.navigate(url, target, true, body);
    else
        state.host.navigate(UrlWithQuery(url, body), target, false, std::string());
    return Value(true);
}

Value BytesLoaded(Machine& m, const Value& self, const Value*, int)
{
    return self.isObject() ? m.getMember(self, "_bytesLoaded") : Value();
}

Value BytesTotal(Machine& m, const Value& self, const Value*, int)
{
    return self.isObject() ? m.getMember(self, "_bytesTotal") : Value();
}

void InstallLoadingMethods(Machine& m, const char* className)
{
    const Value ctor = m.getMember(Value(m.m_Global), className);
    const Value proto = ctor.isObject() ? m.getMember(ctor, "prototype") : Value();
    if (!proto.isObject())
        return;
    DefineMethods(m, proto.asObject(),
        {
            { "load", Load },
            { "send", Send },
            { "sendAndLoad", SendAndLoad },
            { "getBytesLoaded", BytesLoaded },
            { "getBytesTotal", BytesTotal },
        });
}

// The GetURL2 method bits of a method argument: "GET" or "POST" in any case, none otherwise.
int MethodFlags(Machine& m, const Value* args, int argc, int index)
{
    if (index >= argc)
        return 0;
    std::string method = m.toString(args[index]);
    std::transform(method.begin(), method.end(), method.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return method == "POST" ? kMethodPost : method == "GET" ? kMethodGet : 0;
}

// clip.getURL(url[, window[, method]])
Value ClipGetURL(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc < 1 || !m.spriteOf(self))
        return Value();
    const std::string window = argc > 1 && !args[1].isUndefined() ? m.toString(args[1]) : std::string();
    ScriptGetURL(m, self.asObject(), m.toString(args[0]), window, MethodFlags(m, args, argc, 2));
    return Value();
}

// clip.loadVariables(url[, method])
Value ClipLoadVariables(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc < 1 || !m.spriteOf(self))
        return Value();
    ScriptGetURL(m, self.asObject(), m.toString(args[0]), std::string(), kLoadVariables | MethodFlags(m, args, argc, 1));
    return Value();
}

void Deliver(Machine& m, LoadJob& job)
{
    if (job.kind == LoadKind::Bytes) {
        if (job.done)
            job.done(m, job.ok, job.bytes);
        return;
    }
    Object* target = job.target;
    if (!target)
        return;
    if (job.kind == LoadKind::ClipVariables) {
        // A clip removed meanwhile hears nothing.
        if (target->kind() == ObjectKind::Clip && !static_cast<ClipObject*>(target)->sprite())
            return;
        if (!job.ok)
            return;
        DecodeVariables(m, target, AnswerText(m, job.bytes));
        m.callMethod(Value(target), "onData", nullptr, 0);
        return;
    }
    if (job.ok) {
        m.define(target, "_bytesLoaded", Value(double(job.bytes.size())), kDontEnum);
        m.define(target, "_bytesTotal", Value(double(job.total ? job.total : job.bytes.size())), kDontEnum);
    }
    const Value data = job.ok ? Value(m.str(AnswerText(m, job.bytes))) : Value();
    m.callMethod(Value(target), "onData", &data, 1);
}

void DeliverEnded(Machine& m, LoadState& state);

} // namespace

void InstallLoading(Machine& m)
{
    StateOf(m);
    InstallLoadingMethods(m, "LoadVars");
    InstallLoadingMethods(m, "XML");
    InstallXmlSocketClass(m);
    DefineMethods(m, m.m_ClipProto,
        {
            { "getURL", ClipGetURL },
            { "loadVariables", ClipLoadVariables },
        });
}

void SetLoadHost(Machine& m, LoadHost host)
{
    // The language's text may hold halves of surrogate pairs on their own; the addresses, names and text the host
    // is given are well-formed UTF-8, each such half a U+FFFD. Request bodies are bytes (AMF, encoded forms) and
    // pass as they are.
    if (auto request = std::move(host.request))
        host.request = [request](uint32_t id, const std::string& url, bool post, const std::string& contentType,
                           const std::string& body) {
            return request(id, externalUtf8(url), post, externalUtf8(contentType), body);
        };
    if (auto navigate = std::move(host.navigate))
        host.navigate = [navigate](const std::string& url, const std::string& target, bool post,
                            const std::string& body) {
            navigate(externalUtf8(url), externalUtf8(target), post, body);
        };
    if (auto socketOpen = std::move(host.socketOpen))
        host.socketOpen = [socketOpen](const std::string& name, int32_t port) {
            return socketOpen(externalUtf8(name), port);
        };
    if (auto socketSend = std::move(host.socketSend))
        host.socketSend = [socketSend](int32_t id, const std::string& bytes) {
            return socketSend(id, externalUtf8(bytes));
        };
    if (auto fileStart = std::move(host.fileStart))
        host.fileStart = [fileStart](FileOperation kind, const std::string& url, const std::string& text,
                             int32_t file) { return fileStart(kind, externalUtf8(url), externalUtf8(text), file); };
    if (auto externalCall = std::move(host.externalCall))
        host.externalCall = [externalCall](const std::string& name) { externalCall(externalUtf8(name)); };
    StateOf(m).host = std::move(host);
}

const LoadHost& LoadHostOf(Machine& m)
{
    return StateOf(m).host;
}

void LoadReceived(Machine& m, uint32_t id, const uint8_t* data, size_t size, uint32_t total)
{
    LoadJob* job = FindJob(StateOf(m), id);
    if (!job || job->ended)
        return;
    if (total)
        job->total = total;
    if (job->bytes.size() + size > kMaxLoadBytes) {
        LoadEnded(m, id, false);
        return;
    }
    if (size)
        job->bytes.append(reinterpret_cast<const char*>(data), size);
}

void LoadEnded(Machine& m, uint32_t id, bool ok)
{
    LoadState& state = StateOf(m);
    LoadJob* job = FindJob(state, id);
    if (!job || job->ended)
        return;
    job->ended = true;
    job->ok = ok;
    if (!ok)
        job->bytes.clear();
    state.endedOrder.push_back(id);
}

bool LoadsPending(Machine& m)
{
    return !StateOf(m).jobs.empty() || SocketsOpen(m) || FilesPending(m);
}

void DeliverLoads(Machine& m)
{
    LoadState& state = StateOf(m);
    // Handlers may start new requests; those answered by the time the handlers end (a local file) are delivered
    // in the same round, a chain of them only so far.
    constexpr int kRounds = 8;
    for (int round = 0; round < kRounds && !state.endedOrder.empty(); ++round)
        DeliverEnded(m, state);
    PollSockets(m);
    PollFiles(m);
}

namespace {

void DeliverEnded(Machine& m, LoadState& state)
{
    std::vector<uint32_t> order;
    order.swap(state.endedOrder);
    for (uint32_t id : order) {
        auto it = std::find_if(state.jobs.begin(), state.jobs.end(), [id](const LoadJob& j) { return j.id == id; });
        if (it == state.jobs.end())
            continue;
        LoadJob job = std::move(*it);
        state.jobs.erase(it);
        // Kept reachable while its handlers run.
        if (job.target)
            m.m_Roots.push_back(job.target);
        Deliver(m, job);
        if (job.target)
            m.m_Roots.erase(std::find(m.m_Roots.begin(), m.m_Roots.end(), job.target));
    }
    if (state.loadInits.empty())
        return;
    // The loaded movies' first frames run, then their loaders hear of them, the last loaded first.
    m.player().runQueuedActions();
    auto inits = std::move(state.loadInits);
    state.loadInits.clear();
    // Kept reachable while the handlers run.
    const size_t mark = m.m_Temporaries.size();
    for (const auto& [loader, clip] : inits) {
        m.m_Temporaries.push_back(Value(loader));
        m.m_Temporaries.push_back(Value(clip));
    }
    for (auto it = inits.rbegin(); it != inits.rend(); ++it) {
        if (!it->first)
            continue; // loaded without a loader
        const Value args[] = { Value(m.str("onLoadInit")), Value(it->second) };
        m.callMethod(Value(it->first), "broadcastMessage", args, 2);
    }
    m.m_Temporaries.resize(mark);
    m.player().runQueuedActions();
}

} // namespace

void QueueLoadInit(Machine& m, Object* loader, Object* clip)
{
    StateOf(m).loadInits.emplace_back(loader, clip);
}

bool FetchForMovie(Machine& m, Object* owner, const std::string& url, FetchDone done)
{
    return StartLoad(m, LoadKind::Bytes, owner, url, false, std::string(), std::string(), std::move(done));
}

bool FetchProgress(Machine& m, const Object* owner, size_t& loaded, size_t& total)
{
    const LoadState& state = StateOf(m);
    for (auto job = state.jobs.rbegin(); job != state.jobs.rend(); ++job)
        if (job->kind == LoadKind::Bytes && job->target == owner) {
            loaded = job->bytes.size();
            total = job->total;
            return true;
        }
    return false;
}

bool PostForMovie(Machine& m, Object* owner, const std::string& url, const std::string& contentType,
    const std::string& body, FetchDone done)
{
    return StartLoad(m, LoadKind::Bytes, owner, url, true, contentType, body, std::move(done));
}

std::string EncodeVariables(Machine& m, Object* object)
{
    std::string out;
    if (!object)
        return out;
    const auto& entries = object->props().entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->removed || (it->flags & kDontEnum))
            continue;
        const Value value = m.getMember(Value(object), it->name);
        if (m.unwinding())
            break;
        if (!out.empty())
            out += '&';
        out += FormEscape(it->name) + '=' + FormEscape(m.toString(value));
    }
    return out;
}

void ScriptGetURL(Machine& m, Object* clip, const std::string& url, const std::string& target, int flags)
{
    LoadState& state = StateOf(m);
    const int method = flags & kMethodMask;
    const bool post = method == kMethodPost;
    // Variables into a target that does not resolve load nothing, and send nothing (none is converted).
    Object* variablesInto = nullptr;
    if (flags & kLoadVariables) {
        variablesInto = !clip ? nullptr : target.empty() ? clip : m.resolveTarget(clip, target);
        if (!variablesInto)
            return;
    }
    const std::string variables = method == kMethodGet || method == kMethodPost ? EncodeVariables(m, clip) : "";
    const std::string address = post ? url : UrlWithQuery(url, variables);
    if (variablesInto) {
        StartLoad(m, LoadKind::ClipVariables, variablesInto, address, post, kFormType,
            post ? variables : std::string());
        return;
    }
    // A window named "_levelN" is the level itself: the movie loads into it (loadMovieNum), as with the target flag.
    if ((flags & kLoadTarget) || LevelNumber(target) >= 0) {
        Object* into = clip && (flags & kLoadTarget) ? m.resolveTarget(clip, target) : nullptr;
        if (!into && clip)
            into = LevelTarget(m, target);
        if (into && address.empty())
            UnloadMovie(m, into);
        else if (into)
            StartMovieLoad(m, into, address, nullptr);
        return;
    }
    if (state.host.navigate)
        state.host.navigate(address, target, post, post ? variables : std::string());
}

} // namespace reelfinch::avm1
