#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace testsupport;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& arg)
{
    std::string quoted = "'";
    for (char c : arg)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the real tool with the arguments and collects its exit status and both outputs.
ToolRun RunTool(const TempDir& dir, const std::vector<std::string>& args)
{
    std::string command = Quote(REELFINCH_SWF_TOOL);
    for (const std::string& arg : args)
        command += " " + Quote(arg);
    const auto out = dir.Path() / "stdout.txt", err = dir.Path() / "stderr.txt";
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    return run;
}

std::string Write(const TempDir& dir, const std::string& name, const Bytes& bytes)
{
    const auto path = dir.Path() / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path.string();
}

int CountLines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

const Bytes kGoodMovie = Movie(Concat({ Tag(9, { 0x33, 0x66, 0x99 }), Tag(12, Filled(20)), Tag(1), Tag(0) }));

} // namespace

TEST(Tool, InfoPrintsTheInformationTable)
{
    TempDir dir;
    const std::string good = Write(dir, "good.swf", kGoodMovie);
    const ToolRun run = RunTool(dir, { "info", good });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(CountLines(run.out), 18);
    for (const char* line :
        { "Movie name:          good.swf\n", "SWF Version:         6\n", "Width:               550\n",
            "Background color:    #336699\n", "ZLib Compressed:     No\n", "Actions size:        20 byte (" }) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line;
    }

    // --log adds the diagnostics of each file; "--" ends the options.
    const std::string bad = Write(dir, "-bad.swf", { 'G', 'W', 'S', 6, 9, 0, 0, 0, 0 });
    const ToolRun logged = RunTool(dir, { "info", "--log", "--", good, bad });
    EXPECT_EQ(logged.status, 1);
    EXPECT_NE(logged.out.find("Diagnostics: none\n"), std::string::npos);
    EXPECT_NE(logged.out.find("Invalid compression flag, class name: CHeaderItem"), std::string::npos);
    EXPECT_NE(logged.out.find("Frame rate:          N/A\n"), std::string::npos);
}

TEST(Tool, JsonCarriesEveryFieldAndEscapesNames)
{
    TempDir dir;
    const std::string odd = Write(dir, "we\"ird\\name.swf", kGoodMovie);
    const ToolRun run = RunTool(dir, { "info", "--json", "--log", odd, odd });
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.out.front(), '[');
    EXPECT_EQ(run.out.substr(run.out.size() - 3), "\n]\n");
    EXPECT_NE(run.out.find("we\\\"ird\\\\name.swf\""), std::string::npos);
    EXPECT_NE(run.out.find("\"valid\": true, \"m_Compressed\": false, \"compression\": \"none\""), std::string::npos);
    EXPECT_NE(run.out.find("\"m_ActionsCount\": 1, "), std::string::npos);
    EXPECT_NE(
        run.out.find("\"m_TotalSize\": " + std::to_string(kGoodMovie.size()) + ", \"log\": []}"), std::string::npos);
    EXPECT_NE(run.out.find("},\n{"), std::string::npos); // two objects, comma separated
}

TEST(Tool, ExitStatusesAndUnreadableFiles)
{
    TempDir dir;
    const std::string good = Write(dir, "good.swf", kGoodMovie);
    const std::string missing = (dir.Path() / "missing.swf").string();
    const ToolRun mixed = RunTool(dir, { "info", missing, dir.Path().string(), good });
    EXPECT_EQ(mixed.status, 1);
    EXPECT_NE(mixed.err.find("cannot read " + missing), std::string::npos);
    EXPECT_NE(mixed.err.find("cannot read " + dir.Path().string()), std::string::npos);
    EXPECT_EQ(CountLines(mixed.out), 18); // the readable file is still summarised

    const std::vector<std::string> usageErrors[] = { {}, { "info" }, { "info", "--bogus", good }, { "frobnicate" } };
    for (const auto& args : usageErrors) {
        const ToolRun run = RunTool(dir, args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args.back());
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
    const ToolRun help = RunTool(dir, { "--help" });
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage:"), std::string::npos);
}
