// Pixel storage of QuickDraw ports: memfd mappings sealed at their size, ordinary memory where memfd fails. Kept
// apart from the rest of the software QuickDraw so that the movie engine, which mirrors a port without Qt, can
// build it alone.
#include "QuickDraw.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Shared pixel storage: the descriptor of each mapping, by its address.
std::mutex g_sharedPixelsLock;
std::map<const void*, int>& SharedPixels()
{
    static std::map<const void*, int> mappings;
    return mappings;
}

} // namespace

void* AllocatePortPixels(size_t bytes)
{
    if (bytes == 0)
        return std::malloc(1);
    const int fd = memfd_create("reelfinch-port", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd >= 0) {
        void* map = MAP_FAILED;
        // Sealed at its size: whoever else maps it can neither shrink it under the port's drawing nor grow it.
        if (ftruncate(fd, static_cast<off_t>(bytes)) == 0 && fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) == 0)
            map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) {
            const std::lock_guard<std::mutex> lock(g_sharedPixelsLock);
            SharedPixels()[map] = fd;
            return map;
        }
        close(fd);
    }
    return std::malloc(bytes);
}

void FreePortPixels(void* pixels, size_t bytes)
{
    if (!pixels)
        return;
    {
        const std::lock_guard<std::mutex> lock(g_sharedPixelsLock);
        const auto it = SharedPixels().find(pixels);
        if (it != SharedPixels().end()) {
            close(it->second);
            SharedPixels().erase(it);
            munmap(pixels, bytes);
            return;
        }
    }
    std::free(pixels);
}

int PortPixelsDescriptor(const void* pixels)
{
    const std::lock_guard<std::mutex> lock(g_sharedPixelsLock);
    const auto it = SharedPixels().find(pixels);
    return it == SharedPixels().end() ? -1 : it->second;
}

