// `reelfinch-swf info`: the summary of each file as the information table shows it, or as JSON.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct InfoOptions {
    bool json = false;
    bool log = false;
};

// Prints every file's summary to `out`; unreadable files are named on `err`. Returns 0 when every header was
// valid, 1 otherwise.
int RunInfo(const std::vector<std::string>& files, const InfoOptions& options, FILE* out, FILE* err);
