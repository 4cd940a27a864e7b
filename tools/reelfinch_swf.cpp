// reelfinch-swf: the command-line face of the SWF library.
#include "InfoCommand.h"
#include "MovieCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kUsageError = 2;

int Usage(FILE* to)
{
    std::fprintf(to,
                 "usage: reelfinch-swf info [--json] [--log] FILE...\n"
                 "       reelfinch-swf dump [--json] FILE\n"
                 "       reelfinch-swf save [--compress zlib|lzma|none] IN OUT\n"
                 "       reelfinch-swf log FILE\n"
                 "\n"
                 "  info   print each movie's summary: header, frame size and rate, and the bytes each kind of\n"
                 "         content takes; --json prints every field, --log the diagnostics of reading it\n"
                 "  dump   print the movie's whole object tree, one object a line (--json: as one JSON value)\n"
                 "  save   read the movie and write it back, compressed as it was read unless --compress says\n"
                 "  log    print the diagnostics of reading the whole movie\n"
                 "\n"
                 "Exit status: 0 when every movie was valid, 1 when any was not, 2 for a usage error.\n");
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

// Splits the arguments after the command into options (each with its value when `withValue` names it) and
// operands. Returns false for an unknown option or a missing value.
struct Arguments {
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> operands;
};

bool ParseArguments(int argc, char** argv, const std::vector<std::string>& flags,
                    const std::vector<std::string>& withValue, Arguments& parsed)
{
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
            parsed.options.emplace_back(arg, "");
        } else if (std::find(withValue.begin(), withValue.end(), arg) != withValue.end()) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "reelfinch-swf: %s needs a value\n", arg.c_str());
                return false;
            }
            parsed.options.emplace_back(arg, argv[++i]);
        } else {
            std::fprintf(stderr, "reelfinch-swf: unknown option %s\n", arg.c_str());
            return false;
        }
    }
    return true;
}

int Dump(int argc, char** argv)
{
    Arguments args;
    if (!ParseArguments(argc, argv, {"--json"}, {}, args))
        return Usage(stderr);
    if (args.operands.size() != 1) {
        std::fprintf(stderr, "reelfinch-swf: dump needs exactly one file\n");
        return Usage(stderr);
    }
    return RunDump(args.operands[0], !args.options.empty(), stdout, stderr);
}

int Save(int argc, char** argv)
{
    Arguments args;
    if (!ParseArguments(argc, argv, {}, {"--compress"}, args))
        return Usage(stderr);
    SaveCompression compression = SaveCompression::AsRead;
    for (const auto& [name, value] : args.options) {
        if (value == "zlib") {
            compression = SaveCompression::Zlib;
        } else if (value == "lzma") {
            compression = SaveCompression::Lzma;
        } else if (value == "none") {
            compression = SaveCompression::None;
        } else {
            std::fprintf(stderr, "reelfinch-swf: unknown compression %s\n", value.c_str());
            return Usage(stderr);
        }
    }
    if (args.operands.size() != 2) {
        std::fprintf(stderr, "reelfinch-swf: save needs an input and an output file\n");
        return Usage(stderr);
    }
    return RunSave(args.operands[0], args.operands[1], compression, stderr);
}

int Log(int argc, char** argv)
{
    Arguments args;
    if (!ParseArguments(argc, argv, {}, {}, args))
        return Usage(stderr);
    if (args.operands.size() != 1) {
        std::fprintf(stderr, "reelfinch-swf: log needs exactly one file\n");
        return Usage(stderr);
    }
    return RunLog(args.operands[0], stdout, stderr);
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
    if (command == "dump")
        return Dump(argc, argv);
    if (command == "save")
        return Save(argc, argv);
    if (command == "log")
        return Log(argc, argv);
    std::fprintf(stderr, "reelfinch-swf: unknown command %s\n", command.c_str());
    return Usage(stderr);
}
