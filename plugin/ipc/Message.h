// The messages between the plug-in's proxy (inside the host) and the movie engine (a child process): a small
// versioned frame, a writer and a bounds-checked reader for its payload, and a channel over a stream socket that
// sends and receives whole frames, with a descriptor passed beside a frame when one is needed.
//
// A frame is a 12-byte header followed by the payload, all integers little-endian:
//   u32 payload length | u16 message type | u8 kind (request or reply) | u8 protocol version | u32 call depth
// Calls are synchronous and may nest (the engine asks the host something while it answers the host), so a reply
// always answers the innermost open request of the other side; the depth guards that pairing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reelfinch::ipc {

inline constexpr uint8_t kProtocolVersion = 1;
inline constexpr size_t kHeaderBytes = 12;
// No frame carries more than this: stream data travels in pieces below it, pixels travel through shared memory.
inline constexpr uint32_t kMaxPayloadBytes = 1u << 20;
// The largest piece of stream data one Write message carries.
inline constexpr int32_t kMaxWriteChunk = 256 * 1024;
// Nested calls deeper than this end the conversation.
inline constexpr uint32_t kMaxCallDepth = 16;
// Strings inside a payload (URLs, status lines, method names) are limited to this many bytes.
inline constexpr uint32_t kMaxStringBytes = 64 * 1024;

enum class MessageType : uint16_t {
    // Proxy to engine.
    Hello = 1, // protocol version, options; answered with the engine's version
    NewInstance,
    SetWindow,
    NewStream,
    WriteReady,
    Write,
    DestroyStream,
    HandleEvent,
    HasMethod,
    Invoke,
    SetPixelBuffer, // a memfd passed beside the frame
    Shutdown,
    // Proxy to engine: the answers to the engine's own URL requests (see BrowserCallId::GetURLNotify).
    NewStreamNotify = 40, // u32 stream id, u32 end, string url, u32 request id; answers nothing
    URLNotify = 41, // string url, u16 reason, u32 request id; answers nothing
    // Engine to proxy: one message type for every browser-side call, the call named in the payload.
    BrowserCall = 100,
};

enum class MessageKind : uint8_t {
    Request = 0,
    Reply = 1,
};

// The browser-side calls the engine may make, each with its arguments as the proxy's table decodes them.
enum class BrowserCallId : uint16_t {
    GetURL = 1, // string url, string target (empty: none); answers i32 NPError
    InvalidateRect = 2, // u16 top, left, bottom, right; answers nothing
    Status = 3, // string message; answers nothing
    ForceRedraw = 4, // no arguments; answers nothing
    Trace = 5, // string line (at most kMaxTraceLineBytes); answers u8: whether the host takes script output
    HandCursor = 6, // u8 hand (0 or 1): the cursor over the movie; answers nothing
    ClipboardText = 7, // no arguments; answers string: the host's clipboard text (at most kMaxClipboardBytes)
    ScreenSize = 8, // no arguments; answers u8 known, then (when known) i32 width, i32 height in pixels
    CompositionText = 9, // no arguments; answers u8 known, then (when known) string: the input method's composing
                         // text (at most kMaxCompositionBytes)
    // Requests whose answer comes back as a stream and a URLNotify carrying the engine's request id (a non-zero
    // number the engine chooses; the proxy keeps its own token for the host).
    GetURLNotify = 20, // string url, u8 has target, string target, u32 request id; answers i32 NPError
    PostURLNotify = 21, // string url, u8 has target, string target, bytes body (at most kMaxPostBytes), u32 id
    // The movie's sound: the engine writes its mixed frames to the audio pipe it was started with, and the proxy
    // plays them through the sound server.
    SoundOpen = 60, // string stream name (at most kMaxStreamNameBytes), u32 rate, u8 channels (44100 and 2
                    // only); answers u8: whether a stream plays the pipe (else the engine keeps a silent clock)
    SoundPause = 61, // u8 paused (0 or 1); answers nothing
    // Local shared objects, kept by the proxy in the user's data folder. A path names one stored object below
    // that folder: '/'-separated parts of letters, digits, '-', '_' and '.', never "." or "..", ending ".sol".
    SharedObjectRead = 62, // string path; answers u8 found, then (when found) bytes content
    SharedObjectWrite = 63, // string path, bytes content (at most kMaxSharedObjectBytes); answers u8 written
    SharedObjectRemove = 64, // string path; answers nothing
    // The movie's TCP connections (XMLSocket), made by the host: a connection number is the host's.
    SocketOpen = 65, // string host (at most kMaxSocketHostBytes), i32 port; answers i32 number (0: refused)
    SocketSend = 66, // i32 number, bytes data (at most kMaxSocketSendBytes); answers u8 queued
    SocketPoll = 67, // i32 number, u32 capacity (at most kMaxSocketReadBytes); answers i32 state, bytes arrived
    SocketClose = 68, // i32 number; answers nothing
    // The user's files a movie asks for (FileReference): dialogs and transfers made by the host.
    FileStart = 69, // i32 kind, string url, string text (each at most kMaxFileTextBytes), i32 file; answers i32
                    // operation (0: refused)
    FilePoll = 70, // i32 operation; answers i32 event, f64 a, f64 b, string text (at most kMaxFileTextBytes)
    FileClose = 71, // i32 operation; answers nothing
};

// The most a script may post in one request (headers and body).
inline constexpr uint32_t kMaxPostBytes = 512 * 1024;
// Requests of the engine waiting for their answer at one time; a further one is refused.
inline constexpr size_t kMaxOpenRequests = 256;

// The longest stream name the engine may give its sound.
inline constexpr uint32_t kMaxStreamNameBytes = 256;
// The longest stored object the proxy writes or reads back, and the longest path naming one.
inline constexpr uint32_t kMaxSharedObjectBytes = 100 * 1024;
inline constexpr uint32_t kMaxSharedObjectPathBytes = 1024;

// The longest host name a socket may name, the most one send carries and one poll brings.
inline constexpr uint32_t kMaxSocketHostBytes = 255;
inline constexpr uint32_t kMaxSocketSendBytes = 1024 * 1024;
inline constexpr uint32_t kMaxSocketReadBytes = 256 * 1024;
// The longest URL, filter list or file name a file operation carries.
inline constexpr uint32_t kMaxFileTextBytes = 8192;

// A script's output line crosses in one message of at most this many bytes; a longer one is cut there.
inline constexpr uint32_t kMaxTraceLineBytes = 256 * 1024;
// The most clipboard text the host hands the engine for one paste.
inline constexpr uint32_t kMaxClipboardBytes = 1024 * 1024;
// The most composing text the host hands the engine at one time.
inline constexpr uint32_t kMaxCompositionBytes = 64 * 1024;

struct Message {
    MessageType type = MessageType::Hello;
    MessageKind kind = MessageKind::Request;
    uint32_t depth = 0;
    std::vector<uint8_t> payload;
};

class Writer
{
public:
    Writer& u8(uint8_t v);
    Writer& u16(uint16_t v);
    Writer& u32(uint32_t v);
    Writer& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Writer& u64(uint64_t v);
    Writer& f64(double v);
    // Length-prefixed (u32) bytes.
    Writer& bytes(const void* data, size_t size);
    Writer& string(const std::string& s) { return bytes(s.data(), s.size()); }
    // Raw bytes without a length.
    Writer& raw(const void* data, size_t size);

    const std::vector<uint8_t>& data() const { return m_Bytes; }
    std::vector<uint8_t>& data() { return m_Bytes; }

private:
    std::vector<uint8_t> m_Bytes;
};

// Reads a payload front to back. Any read past the end, or a length beyond what remains or beyond its limit,
// leaves the reader failed: every later read yields zero and ok() stays false.
class Reader
{
public:
    Reader(const uint8_t* data, size_t size)
        : m_Data(data)
        , m_Size(size)
    { }
    explicit Reader(const std::vector<uint8_t>& payload)
        : Reader(payload.data(), payload.size())
    { }

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    int32_t i32() { return static_cast<int32_t>(u32()); }
    uint64_t u64();
    double f64();
    bool string(std::string& out, uint32_t limit = kMaxStringBytes);
    // A length-prefixed run of bytes, pointing into the payload.
    bool bytes(const uint8_t*& data, uint32_t& size, uint32_t limit = kMaxPayloadBytes);

    bool ok() const { return m_Ok; }
    // Whether everything was read and nothing failed: a message with bytes left over is malformed too.
    bool done() const { return m_Ok && m_Offset == m_Size; }
    size_t remaining() const { return m_Size - m_Offset; }
    void fail() { m_Ok = false; }

private:
    bool take(void* out, size_t n);

    const uint8_t* m_Data;
    size_t m_Size;
    size_t m_Offset = 0;
    bool m_Ok = true;
};

// The header of a frame, checked: a known type, a known kind, this protocol version, a depth and a length in
// bounds. False for anything else.
bool ParseHeader(const uint8_t* header, uint32_t& payloadLength, Message& message);
void WriteHeader(uint8_t* header, const Message& message);

// Splits a run of received bytes into frames, as the channel does; used where bytes arrive from elsewhere
// (tests and fuzzing). Returns false at the first malformed frame; complete frames before it are in `out`.
bool SplitFrames(const uint8_t* data, size_t size, std::vector<Message>& out);

enum class ReceiveStatus {
    Ok,
    Closed, // the other side is gone
    TimedOut,
    Malformed, // a frame that breaks the format, or a descriptor where none belongs
};

// One end of the socket pair. Not thread-safe; every call happens on the caller's thread.
class Channel
{
public:
    explicit Channel(int fd = -1)
        : m_Fd(fd)
    { }
    int fd() const { return m_Fd; }
    void setFd(int fd) { m_Fd = fd; }

    // Sends one frame; with passFd >= 0 that descriptor travels with it. False when the other side is gone, or
    // when it takes nothing for the send time-out (a side that stops reading must not hold this one).
    bool send(const Message& message, int passFd = -1);
    void setSendTimeout(int milliseconds) { m_SendTimeoutMs = milliseconds; }
    // Waits up to timeoutMs (negative: without end) for a whole frame. A descriptor that came with it is
    // stored in *receivedFd when that is given, and closed otherwise.
    ReceiveStatus receive(Message& message, int timeoutMs, int* receivedFd = nullptr);

private:
    bool readFully(uint8_t* out, size_t size, long long deadlineMs, int* receivedFd, ReceiveStatus& status);

    int m_Fd;
    int m_SendTimeoutMs = -1;
};

// Milliseconds of a steady clock.
long long NowMs();

} // namespace reelfinch::ipc
