// reelfinch-swf: the command-line face of the SWF library.
#include "InfoCommand.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 2;

int Usage(FILE* to)
{
    std::fprintf(to,
                 "usage: reelfinch-swf info [--json] [--log] FILE...\n"
                 "\n"
                 "  info   print each movie's summary: header, frame size and rate, and the bytes each kind of\n"
                 "         content takes; --json prints every field, --log the diagnostics of reading it\n"
                 "\n"
                 "Exit status: 0 when every header was valid, 1 when any was not, 2 for a usage error.\n");
    return to == stdout ? 0 : kUsageError;
}

int Info(int argc, char** argv)
{
    InfoOptions options;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--json") {
            options.json = true;
        } else if (!optionsEnded && arg == "--log") {
            options.log = true;
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "reelfinch-swf: unknown option %s\n", arg.c_str());
            return Usage(stderr);
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "reelfinch-swf: info needs at least one file\n");
        return Usage(stderr);
    }
    return RunInfo(files, options, stdout, stderr);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage(stderr);
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help")
        return Usage(stdout);
    if (command == "info")
        return Info(argc, argv);
    std::fprintf(stderr, "reelfinch-swf: unknown command %s\n", command.c_str());
    return Usage(stderr);
}
