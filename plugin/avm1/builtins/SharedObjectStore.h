// Where local shared objects are kept: one stored object per relative path below the user's data folder for
// the player. The SharedObject class reads and writes through the store in force: files in that folder when the
// movie runs in the host's process, the proxy's calls when it runs in the confined engine (which may not write
// files), and the proxy keeps them with the same file store.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace reelfinch::avm1 {

// The most a movie may store under one name; a larger stored object is neither written nor read back.
inline constexpr size_t kSharedObjectSizeLimit = 100 * 1024;

class SharedObjectStore
{
public:
    virtual ~SharedObjectStore() = default;
    // The stored bytes at `path`; nothing when there are none (or more than the size limit).
    virtual std::optional<std::string> read(const std::string& path) = 0;
    // Replaces what is stored at `path` whole (a crash midway leaves the old one); false when it could not.
    virtual bool write(const std::string& path, std::string_view bytes) = 0;
    virtual void remove(const std::string& path) = 0;
};

// Whether `path` names a stored object and nothing else: '/'-separated parts of letters, digits, '-', '_' and
// '.', none empty, "." or "..", ending ".sol", and not too long. The stores refuse any other.
bool ValidSharedObjectPath(std::string_view path);

// The player's folder for stored objects: $XDG_DATA_HOME/Reelfinch, else ~/.local/share/Reelfinch.
std::filesystem::path SharedObjectFolder();
// Files below `folder`.
std::unique_ptr<SharedObjectStore> MakeFileStore(std::filesystem::path folder);

// The store SharedObject uses from now on (null: files in SharedObjectFolder(), looked up at each use).
void SetSharedObjectStore(std::shared_ptr<SharedObjectStore> store);
SharedObjectStore& CurrentSharedObjectStore();

} // namespace reelfinch::avm1
