// Movies loaded into clips: each keeps its own character dictionary, sprite timelines and exports, and the clip
// it is loaded into shows its root timeline in place of what it showed before. A JPEG, PNG or GIF file loaded
// into a clip shows as its picture.
#include "timeline/MoviePlayer.h"

#include "avm1/Loading.h"
#include "render/BitmapPixels.h"
#include "render/Bitmaps.h"
#include "video/VideoDecoder.h"

#include "HeaderItems.h"
#include "Movie.h"
#include "Records.h"
#include "SWFStream.h"
#include "Tags.h"

#include <algorithm>
#include <cstring>

namespace reelfinch::plugin {

namespace {

const Timeline kEmptyTimeline {};

// A loaded image shows at the bottom of its clip, below any depth a timeline or a script uses.
constexpr int32_t kLoadedImageDepth = -16384;

// The pixels of a JPEG, PNG or GIF file, told apart by their signatures; null for other bytes or a picture that
// does not decode.
std::shared_ptr<BitmapPixels> DecodeImageFile(const uint8_t* data, size_t size)
{
    cairo_surface_t* surface = nullptr;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8)
        surface = DecodeJPEG(nullptr, 0, data, size);
    else if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1A\n", 8) == 0)
        surface = DecodePNG(data, size);
    else if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0))
        surface = video::DecodeGIF(data, size);
    if (!surface)
        return nullptr;
    std::shared_ptr<BitmapPixels> pixels;
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint8_t* rows = cairo_image_surface_get_data(surface);
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS && rows && width > 0 && height > 0
        && cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32
        && uint64_t(width) * uint64_t(height) <= kMaxBitmapPixels) {
        // Both hold premultiplied 32-bit ARGB words, row after row.
        pixels = std::make_shared<BitmapPixels>(width, height, true, 0);
        for (int y = 0; y < height; ++y)
            std::memcpy(pixels->data() + size_t(y) * size_t(width), rows + size_t(y) * size_t(stride),
                size_t(width) * 4);
        pixels->changed();
    }
    cairo_surface_destroy(surface);
    return pixels;
}

} // namespace

std::unique_ptr<CSWF> MoviePlayer::readMovie(const uint8_t* data, size_t size)
{
    if (!data || size < kSWFHeaderSize || size > UINT32_MAX)
        return nullptr;
    // Only the three movie signatures: "FWS", "CWS" (zlib) and "ZWS" (LZMA).
    const bool signature = (data[0] == kSignatureUncompressed || data[0] == kSignatureZlib || data[0] == kSignatureLzma)
        && (data[1] | (data[2] << 8)) == kSignatureWS;
    if (!signature)
        return nullptr;
    CSWFStream stream;
    if (!stream.WriteBuf(data, static_cast<unsigned long>(size)))
        return nullptr;
    stream.SetPosition(0);
    auto movie = std::make_unique<CSWF>();
    // A movie whose body breaks off part-way still plays what was read; only an unreadable header is refused.
    const bool complete = movie->ReadSWF(&stream) != 0;
    CHeaderItem* header = movie->GetHeader();
    if (!header || !header->m_pFrameRect || !movie->GetTags() || (!complete && movie->GetTags()->GetItemCount() == 0))
        return nullptr;
    return movie;
}

void MoviePlayer::unloadContent(SpriteInstance& target)
{
    // Everything the clip showed goes, script-made clips too; their unload events follow.
    while (!target.displayList.empty())
        removeAt(target, target.displayList.begin());
    target.timeline = &kEmptyTimeline;
    target.library = nullptr;
    target.symbolId = 0;
    target.currentFrame = 0;
    target.playing = true;
    m_FrameEntered = true;
}

bool MoviePlayer::loadInto(
    SpriteInstance& target, const uint8_t* data, size_t size, const std::string& url, const std::string& source)
{
    unloadContent(target);
    target.failedUrl.clear();
    target.unloaded = false;
    auto movie = readMovie(data, size);
    if (!movie) {
        // An image file: the clip shows its picture, at its top-left corner, and stays an empty timeline.
        std::shared_ptr<BitmapPixels> image = data ? DecodeImageFile(data, size) : nullptr;
        if (!image)
            return false;
        attachBitmap(target, std::move(image), kLoadedImageDepth, false);
        queueEvent(target, ClipEvent::Load);
        return true;
    }
    auto library = std::make_unique<MovieLibrary>();
    library->version = movie->GetHeader()->m_Version;
    library->movie = std::move(movie);
    library->url = url;
    library->source = source;
    library->bytes = size; // what came over the wire, compressed or not
    // A level becomes the new movie's root: a name scripts gave it goes (a clip loaded into keeps its own).
    if (!target.parent && target.display)
        target.display->name.clear();
    // Into level 0: the new movie is the whole movie now, its stage size with it (not its rate).
    if (&target == &m_Root) {
        const CRectItem* frame = library->movie->GetHeader()->m_pFrameRect.get();
        m_Frame[0] = frame->m_XMin;
        m_Frame[1] = frame->m_YMin;
        m_Frame[2] = frame->m_XMax;
        m_Frame[3] = frame->m_YMax;
        std::copy(m_Frame, m_Frame + 4, m_Zoom);
    }
    m_Building = library.get();
    buildTimeline(library->rootTimeline, library->movie->GetTags(), true);
    m_Building = nullptr;
    target.library = library.get();
    target.timeline = &library->rootTimeline;
    target.currentFrame = -1;
    m_Libraries.push_back(std::move(library));
    startImports(target, target.library);
    // Its first frame shows at once, as a new clip's does; the clip's load event comes before that frame's
    // actions.
    queueEvent(target, ClipEvent::Load);
    if (!target.timeline->frames.empty())
        enterFrame(target, 0, true);
    else
        target.currentFrame = 0;
    return true;
}

const Timeline* MoviePlayer::spriteTimeline(
    const MovieLibrary* library, uint16_t id, const MovieLibrary*& from, uint16_t& fromId) const
{
    // An imported symbol may itself be another movie's import: followed a few steps, never round a loop.
    constexpr int kMaxImportSteps = 8;
    for (int step = 0; step < kMaxImportSteps; ++step) {
        const auto& timelines = library ? library->spriteTimelines : m_SpriteTimelines;
        if (auto found = timelines.find(id); found != timelines.end()) {
            from = library;
            fromId = id;
            return found->second.get();
        }
        const auto& imported = library ? library->imported : m_Imported;
        auto it = imported.find(id);
        if (it == imported.end())
            return nullptr;
        library = it->second.library;
        id = it->second.id;
    }
    return nullptr;
}

void MoviePlayer::startImports(SpriteInstance& importer, const MovieLibrary* library)
{
    if (!m_Machine)
        return;
    // Files that import from files that import in turn are followed a few steps, never round a loop: a file is
    // not fetched again for a movie that was itself fetched, directly or not, from the same address.
    constexpr int kMaxImportSteps = 8;
    int steps = 0;
    for (const MovieLibrary* from = library; from && from->fetchedForImport; from = from->importedBy)
        if (++steps >= kMaxImportSteps)
            return;
    const std::string base = library ? library->source : std::string();
    for (const CTag* tag : library ? library->imports : m_Imports) {
        auto* import = dynamic_cast<const CImportAssetsTag*>(tag);
        if (!import || !import->m_pURL)
            continue;
        const std::string address = avm1::ImportAddress(base, import->m_pURL->GetStr());
        bool seen = address.empty();
        for (const MovieLibrary* from = library; from && !seen; from = from->fetchedForImport ? from->importedBy : nullptr)
            seen = from->source == address;
        if (!seen)
            avm1::StartImport(*m_Machine, importer, library, base, import->m_pURL->GetStr(), tag);
    }
}

void MoviePlayer::shareImportedCharacters()
{
    // One pass hands each importing movie what its source has now; a chain of n files settles in n passes.
    constexpr int kMaxImportSteps = 8;
    auto pass = [](std::map<uint16_t, ImportedCharacter>& imported, std::map<uint16_t, const CTag*>& characters,
                    const std::map<uint16_t, const CTag*>& mainCharacters) {
        bool changed = false;
        for (const auto& [id, from] : imported) {
            const auto& source = from.library ? from.library->characters : mainCharacters;
            if (auto tag = source.find(from.id); tag != source.end())
                changed |= characters.emplace(id, tag->second).second;
        }
        return changed;
    };
    for (int step = 0; step < kMaxImportSteps; ++step) {
        bool changed = pass(m_Imported, m_Characters, m_Characters);
        for (const auto& library : m_Libraries)
            changed |= pass(library->imported, library->characters, m_Characters);
        if (!changed)
            break;
    }
}

bool MoviePlayer::importArrived(SpriteInstance& importer, const MovieLibrary* importing, const CTag* importTag,
    const uint8_t* data, size_t size, const std::string& url, const std::string& address)
{
    auto* import = dynamic_cast<const CImportAssetsTag*>(importTag);
    // The importing movie's own tables: the main movie's, or those of a loaded or imported movie.
    MovieLibrary* into = nullptr;
    for (const auto& loaded : m_Libraries)
        if (loaded.get() == importing)
            into = loaded.get();
    if (!import || (importing && !into))
        return false;
    auto movie = readMovie(data, size);
    if (!movie)
        return false;
    auto library = std::make_unique<MovieLibrary>();
    library->version = movie->GetHeader()->m_Version;
    library->movie = std::move(movie);
    library->url = url;
    library->source = address;
    library->bytes = size;
    library->importedBy = into;
    library->fetchedForImport = true;
    m_Building = library.get();
    buildTimeline(library->rootTimeline, library->movie->GetTags(), true);
    m_Building = nullptr;
    auto& imported = into ? into->imported : m_Imported;
    auto& names = into ? into->exportNames : m_ExportNames;
    for (int i = 0; import->m_pAssets && i < import->m_pAssets->GetItemCount(); ++i) {
        auto* asset = dynamic_cast<const CAssetItem*>(import->m_pAssets->GetItem(i));
        if (!asset || !asset->m_pName)
            continue;
        const std::string name = asset->m_pName->GetStr();
        auto exported = library->exportNames.find(name);
        if (exported == library->exportNames.end())
            continue;
        imported.insert_or_assign(asset->m_ID, ImportedCharacter { library.get(), exported->second });
        // Known by the imported name in the importing movie, as its own exports are.
        names.insert_or_assign(name, asset->m_ID);
    }
    // The whole file is there: every init action of it runs once, on the importing movie's root, in the order
    // of its tags.
    for (const auto& frame : library->rootTimeline.frames)
        for (const CTag* tag : frame)
            if (auto* init = dynamic_cast<const CDoInitActionsTag*>(tag);
                init && init->m_pActions && m_InitActionsRun.insert(tag).second)
                queueActions(importer, init->m_pActions.get());
    const MovieLibrary* arrived = library.get();
    m_Libraries.push_back(std::move(library));
    shareImportedCharacters();
    startImports(importer, arrived);
    return true;
}

} // namespace reelfinch::plugin

namespace reelfinch::plugin {

SpriteInstance* MoviePlayer::level(int number, bool make)
{
    if (number == 0)
        return &m_Root;
    if (number < 0)
        return nullptr;
    if (auto it = m_Levels.find(number); it != m_Levels.end())
        return it->second.get();
    if (!make)
        return nullptr;
    auto level = std::make_unique<SpriteInstance>();
    level->timeline = &kEmptyTimeline;
    level->currentFrame = 0;
    level->serial = m_NextSerial++;
    MakeTop(*level);
    level->loaded = true;
    return m_Levels.emplace(number, std::move(level)).first->second.get();
}

void MoviePlayer::removeLevel(int number)
{
    auto it = m_Levels.find(number);
    if (it == m_Levels.end())
        return;
    // Kept apart until the step's actions have run, as a removed clip is.
    auto kept = std::make_unique<DisplayObject>();
    kept->sprite = std::move(it->second);
    kept->sprite->display = nullptr;
    kept->sprite->removed = true;
    queueUnload(*kept->sprite);
    m_Removed.push_back(std::move(kept));
    m_Levels.erase(it);
}

int MoviePlayer::levelNumber(const SpriteInstance& top) const
{
    if (&top == &m_Root)
        return 0;
    for (const auto& [number, level] : m_Levels)
        if (level.get() == &top)
            return number;
    return -1;
}

} // namespace reelfinch::plugin
