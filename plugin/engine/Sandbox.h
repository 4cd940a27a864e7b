// The movie engine's confinement, entered once before it reads a byte of a movie: no new privileges, a seccomp
// filter that lets through only what drawing a movie and talking over the inherited socket need (no sockets,
// no processes, no files opened for writing), and, where the kernel has Landlock, a file system reduced to
// reading the font folders the text renderer looks in.
#pragma once

#include <string>

namespace reelfinch::engine {

struct SandboxState {
    bool noNewPrivileges = false;
    bool seccomp = false;
    bool landlock = false;
};

// Folders the engine may read under Landlock: fonts and the font configuration.
const char* const* ReadableFolders();

SandboxState EnterSandbox();

// What the confinement refuses, tried from inside: a socket, opening a file outside the readable folders,
// creating a file, starting a program and starting a process. One word per attempt: "refused" or "allowed".
std::string ProbeSandbox(const std::string& fileToOpen);

} // namespace reelfinch::engine
