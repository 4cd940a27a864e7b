#include "avm1/builtins/SharedObjectStore.h"

#include <cstdlib>
#include <fstream>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reelfinch::avm1 {

namespace {

constexpr size_t kMaxPathBytes = 1024;
constexpr std::string_view kSuffix = ".sol";

bool SafeCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
        || c == '.';
}

class FileStore final : public SharedObjectStore
{
public:
    explicit FileStore(std::filesystem::path folder)
        : m_Folder(std::move(folder))
    {
    }

    std::optional<std::string> read(const std::string& path) override
    {
        if (!ValidSharedObjectPath(path))
            return std::nullopt;
        // Not through a link planted in the folder, and never a device or a folder.
        const int fd = open((m_Folder / path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            return std::nullopt;
        struct stat info {};
        std::optional<std::string> out;
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && size_t(info.st_size) <= kSharedObjectSizeLimit) {
            std::string bytes(size_t(info.st_size), '\0');
            size_t got = 0;
            while (got < bytes.size()) {
                const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
                if (n <= 0)
                    break;
                got += size_t(n);
            }
            bytes.resize(got);
            out = std::move(bytes);
        }
        close(fd);
        return out;
    }

    bool write(const std::string& path, std::string_view bytes) override
    {
        if (!ValidSharedObjectPath(path) || bytes.size() > kSharedObjectSizeLimit)
            return false;
        const std::filesystem::path file = m_Folder / path;
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        // Written beside the old one and moved over it: a reader sees the old bytes or the new, never half.
        const std::filesystem::path temp = file.string() + ".tmp";
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return false;
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        const bool ok = close(fd) == 0 && done == bytes.size();
        if (!ok) {
            std::filesystem::remove(temp, ec);
            return false;
        }
        std::filesystem::rename(temp, file, ec);
        return !ec;
    }

    void remove(const std::string& path) override
    {
        if (!ValidSharedObjectPath(path))
            return;
        std::error_code ec;
        std::filesystem::remove(m_Folder / path, ec);
    }

private:
    std::filesystem::path m_Folder;
};

std::mutex g_lock;
std::shared_ptr<SharedObjectStore> g_store;

} // namespace

bool ValidSharedObjectPath(std::string_view path)
{
    if (path.empty() || path.size() > kMaxPathBytes || path.size() <= kSuffix.size()
        || path.substr(path.size() - kSuffix.size()) != kSuffix)
        return false;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string_view part = path.substr(start, slash == std::string_view::npos ? path.npos : slash - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        for (char c : part)
            if (!SafeCharacter(c))
                return false;
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

std::filesystem::path SharedObjectFolder()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "Reelfinch";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/tmp") / ".local" / "share" / "Reelfinch";
}

std::unique_ptr<SharedObjectStore> MakeFileStore(std::filesystem::path folder)
{
    return std::make_unique<FileStore>(std::move(folder));
}

void SetSharedObjectStore(std::shared_ptr<SharedObjectStore> store)
{
    std::lock_guard lock(g_lock);
    g_store = std::move(store);
}

SharedObjectStore& CurrentSharedObjectStore()
{
    std::lock_guard lock(g_lock);
    if (g_store)
        return *g_store;
    // The folder is looked up at each use: tests and the user may move it while the process runs.
    thread_local std::unique_ptr<SharedObjectStore> files;
    files = MakeFileStore(SharedObjectFolder());
    return *files;
}

} // namespace reelfinch::avm1
