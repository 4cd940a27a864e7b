#include "InfoCommand.h"

#include "JsonWriter.h"
#include "SWFDebugger.h"
#include "SWFInfo.h"
#include "SWFInfoText.h"
#include "SWFStream.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

constexpr int kLabelWidth = 20;

std::string BaseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void PrintTable(const CSWFInfo& info, const std::string& path, FILE* out)
{
    for (int row = 0; row < kInfoRowCount; ++row) {
        const InfoRow text = InfoRowText(info, row, BaseName(path));
        std::fprintf(out, "%-*s %s\n", kLabelWidth, (text.label + ":").c_str(), text.value.c_str());
    }
}

void PrintJson(
    const CSWFInfo& info, const std::string& path, bool valid, const std::vector<std::string>* log, FILE* out)
{
    const CRectItem& r = info.m_FrameRect;
    std::fprintf(out, "{\"file\": %s, \"valid\": %s, ", JsonString(path).c_str(), valid ? "true" : "false");
    std::fprintf(out, "\"m_Compressed\": %s, \"compression\": \"%s\", ", info.m_Compressed ? "true" : "false",
        !info.m_Compressed                                 ? "none"
            : info.m_CompressionMethod == kCompressionLzma ? "lzma"
                                                           : "zlib");
    std::fprintf(out, "\"m_Version\": %u, \"m_FileLength\": %u, \"m_OriginalSize\": %u, ", info.m_Version,
        info.m_FileLength, info.m_OriginalSize);
    std::fprintf(out, "\"m_FrameRect\": {\"m_XMin\": %d, \"m_XMax\": %d, \"m_YMin\": %d, \"m_YMax\": %d}, ", r.m_XMin,
        r.m_XMax, r.m_YMin, r.m_YMax);
    std::fprintf(
        out, "\"m_FrameRate\": %g, \"m_FrameCount\": %u, ", static_cast<double>(info.m_FrameRate), info.m_FrameCount);
    if (info.m_pBackgroundColor) {
        const auto& c = info.m_pBackgroundColor->m_Color;
        std::fprintf(out,
            "\"m_pBackgroundColor\": {\"red\": %u, \"green\": %u, \"blue\": %u, \"alpha\": %u, "
            "\"m_HasAlpha\": %s}, ",
            c.red, c.green, c.blue, c.alpha, info.m_pBackgroundColor->m_HasAlpha ? "true" : "false");
    } else {
        std::fprintf(out, "\"m_pBackgroundColor\": null, ");
    }
    const struct {
        const char* name;
        uint32_t value;
    } counters[] = {
        { "m_ShapesCount", info.m_ShapesCount },
        { "m_MorphsCount", info.m_MorphsCount },
        { "m_FontsCount", info.m_FontsCount },
        { "m_ActionsCount", info.m_ActionsCount },
        { "m_PicturesCount", info.m_PicturesCount },
        { "m_SoundsCount", info.m_SoundsCount },
        { "m_VideoCount", info.m_VideoCount },
        { "m_OtherCount", info.m_OtherCount },
        { "m_TagsCount", info.m_TagsCount },
        { "m_ShapesSize", info.m_ShapesSize },
        { "m_MorphsSize", info.m_MorphsSize },
        { "m_FontsSize", info.m_FontsSize },
        { "m_ActionsSize", info.m_ActionsSize },
        { "m_PicturesSize", info.m_PicturesSize },
        { "m_SoundsSize", info.m_SoundsSize },
        { "m_VideoSize", info.m_VideoSize },
        { "m_OtherSize", info.m_OtherSize },
        { "m_TotalSize", info.m_TotalSize },
    };
    for (const auto& counter : counters)
        std::fprintf(out, "\"%s\": %u, ", counter.name, counter.value);
    std::fprintf(out, "\"log\": [");
    if (log) {
        for (size_t i = 0; i < log->size(); ++i)
            std::fprintf(out, "%s%s", i ? ", " : "", JsonString((*log)[i]).c_str());
    }
    std::fprintf(out, "]}");
}

} // namespace

int RunInfo(const std::vector<std::string>& files, const InfoOptions& options, FILE* out, FILE* err)
{
    int status = 0;
    bool first = true;
    if (options.json)
        std::fprintf(out, "[");
    for (const std::string& path : files) {
        CSWFStream stream;
        errno = 0;
        if (!stream.LoadFromFile(path.c_str())) {
            std::error_code ec;
            const int cause = errno ? errno : std::filesystem::is_directory(path, ec) ? EISDIR : 0;
            std::fprintf(
                err, "reelfinch-swf: cannot read %s: %s\n", path.c_str(), cause ? std::strerror(cause) : "read error");
            status = 1;
            continue;
        }
        const size_t logStart = SWFDebugger.LogSize();
        CSWFInfo info;
        const bool valid = info.ReadSWF(&stream) == 1;
        if (!valid)
            status = 1;
        std::vector<std::string> log;
        for (size_t i = logStart; i < SWFDebugger.LogSize(); ++i)
            log.push_back(*SWFDebugger.Log()[i]);

        if (options.json) {
            std::fprintf(out, "%s\n", first ? "" : ",");
            PrintJson(info, path, valid, options.log ? &log : nullptr, out);
        } else {
            if (!first)
                std::fprintf(out, "\n");
            PrintTable(info, path, out);
            if (options.log) {
                std::fprintf(out, "Diagnostics:%s\n", log.empty() ? " none" : "");
                for (const std::string& line : log)
                    std::fprintf(out, "  %s\n", line.c_str());
            }
        }
        first = false;
    }
    if (options.json)
        std::fprintf(out, "\n]\n");
    return status;
}
