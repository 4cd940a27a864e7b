// `reelfinch-swf dump`, `save` and `log`: the whole-movie object tree as text or JSON, a movie written back
// through the object model, and the diagnostics of reading one.
#pragma once

#include <cstdio>
#include <string>

enum class SaveCompression { AsRead, None, Zlib, Lzma };

// Each returns the exit status: 0 done, 1 the movie could not be read (or written).
int RunDump(const std::string& path, bool json, FILE* out, FILE* err);
int RunSave(const std::string& in, const std::string& out, SaveCompression compression, FILE* err);
int RunLog(const std::string& path, FILE* out, FILE* err);
