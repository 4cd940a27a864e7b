// The whole movie: opening, saving (compressed as read), copying, what the file holds around its tags, and the
// tool's dump, save and log commands.
#include "Compression.h"
#include "Movie.h"
#include "MovieCommands.h"
#include "ObjectDump.h"
#include "TagCodes.h"
#include "Tags.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sys/wait.h>

using namespace testsupport;

namespace {

const Bytes kTags = Concat({ Tag(kTagSetBackgroundColor, { 0x33, 0x66, 0x99 }), Tag(kTagDoAction, { 0x07, 0x00 }),
    Tag(kTagShowFrame), Tag(kTagEnd) });

// The movie with its body after byte 8 compressed as the signature says.
Bytes Compressed(const Bytes& plain, bool lzma)
{
    CSWFStream s;
    Load(s, plain);
    s.SetPosition(kSWFHeaderSize);
    const long body = static_cast<long>(plain.size() - kSWFHeaderSize);
    EXPECT_EQ(lzma ? CompressLZMA(&s, body) : Compress(&s, body), 1);
    Bytes out = Contents(s);
    out[0] = lzma ? 'Z' : 'C';
    return out;
}

Bytes Save(CSWF& movie)
{
    CSWFStream out;
    EXPECT_EQ(movie.WriteSWF(&out), 1);
    return Contents(out);
}

int Open(CSWF& movie, const Bytes& file)
{
    CSWFStream in;
    Load(in, file);
    return movie.ReadSWF(&in);
}

uint32_t LengthField(const Bytes& file)
{
    return file[4] | (file[5] << 8) | (file[6] << 16) | (static_cast<uint32_t>(file[7]) << 24);
}

std::string Write(const TempDir& dir, const std::string& name, const Bytes& bytes)
{
    const auto path = dir.Path() / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path.string();
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(Movie, SavesCompressedTheWayItWasRead)
{
    const Bytes plain = Movie(kTags);
    const struct {
        const char* name;
        Bytes file;
        uint8_t signature;
    } cases[] = { { "uncompressed", plain, 'F' }, { "zlib", Compressed(plain, false), 'C' },
        { "lzma", Compressed(plain, true), 'Z' } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSWF movie;
        ASSERT_EQ(Open(movie, c.file), 1);
        EXPECT_EQ(movie.GetTags()->GetItemCount(), 3);
        const Bytes saved = Save(movie);
        ASSERT_GE(saved.size(), kSWFHeaderSize);
        EXPECT_EQ(saved[0], c.signature);
        EXPECT_EQ(saved[1], 'W');
        // The length field always gives the uncompressed size.
        EXPECT_EQ(LengthField(saved), plain.size());
        if (c.signature == 'F') {
            EXPECT_EQ(saved, plain);
        }
        CSWF reread;
        ASSERT_EQ(Open(reread, saved), 1);
        EXPECT_EQ(DumpText(&reread), DumpText(&movie));
    }
}

TEST(Movie, KeepsWhatTheFileHoldsAroundItsTags)
{
    // Bytes after the End tag come back after it.
    const Bytes trailing = Concat({ Movie(kTags), { 0xDE, 0xAD } });
    Bytes withTrailing = trailing;
    withTrailing[4] = static_cast<uint8_t>(trailing.size());
    CSWF movie;
    ASSERT_EQ(Open(movie, withTrailing), 1);
    ASSERT_TRUE(movie.m_pTrailing);
    EXPECT_EQ(Save(movie), withTrailing);

    // A list that simply stopped is saved as it was read, without an End tag.
    const Bytes noEnd = Movie(Concat({ Tag(kTagShowFrame) }));
    CSWF open;
    ASSERT_EQ(Open(open, noEnd), 1);
    EXPECT_FALSE(open.m_pTrailing);
    EXPECT_EQ(Save(open), noEnd);

    // A tag running past the file ends the list (with an End tag on saving); its bytes are kept after it.
    const Bytes cutTag = { 0x3F, 0x03, 0xFF, 0x00, 0x00, 0x00, 0x01 };
    const Bytes cut = Movie(Concat({ Tag(kTagShowFrame), cutTag }));
    CSWF partial;
    ASSERT_EQ(Open(partial, cut), 1);
    ASSERT_TRUE(partial.m_pTrailing);
    EXPECT_EQ(partial.GetTags()->GetItemCount(), 1);
    const Bytes repaired = Movie(Concat({ Tag(kTagShowFrame), Tag(kTagEnd), cutTag }));
    EXPECT_EQ(Save(partial), repaired);
    CSWF reopened;
    ASSERT_EQ(Open(reopened, repaired), 1);
    EXPECT_EQ(Save(reopened), repaired);
}

TEST(Movie, CopyIsDeepAndOutlivesTheOriginal)
{
    const Bytes file
        = Movie(Concat({ Tag(kTagFrameLabel, { 'a', 0x00, 0x01 }),
                    Tag(kTagDefineSprite, Concat({ { 0x01, 0x00, 0x01, 0x00 }, Tag(kTagShowFrame), Tag(kTagEnd) })),
                    Tag(kTagShowFrame), Tag(kTagEnd) }),
            1, 5);
    auto original = std::make_unique<CSWF>();
    ASSERT_EQ(Open(*original, file), 1);
    const Bytes saved = Save(*original);
    CSWFObject* copy = nullptr;
    ASSERT_EQ(original->MakeCopy(nullptr, kStyleDefault, copy), 1);
    std::unique_ptr<CSWF> copied(dynamic_cast<CSWF*>(copy));
    ASSERT_TRUE(copied);
    original.reset();
    EXPECT_EQ(Save(*copied), saved);
    // The copied tags answer to the copy: its version decides the checks.
    auto* label = dynamic_cast<CFrameLabelTag*>(copied->GetTags()->GetTag(0));
    ASSERT_TRUE(label);
    EXPECT_EQ(label->GetOwner(), copied.get());
    LogMark mark;
    label->SetHasNamedAnchorFlag(true);
    EXPECT_TRUE(mark.Has(kSWFErr_InvalidParameter));
}

TEST(Movie, RefusesWhatIsNotAMovie)
{
    TempDir dir;
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        { "empty", {} },
        { "text", { 'h', 'e', 'l', 'l', 'o', '\n' } },
        { "encrypted signature", { 'c', 'W', 'S', 6, 20, 0, 0, 0, 0, 0, 0, 0 } },
        { "zlib body that is not zlib", { 'C', 'W', 'S', 6, 40, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSWF movie;
        EXPECT_EQ(movie.OpenSWF(Write(dir, "bad.swf", c.file).c_str()), 0);
    }
    CSWF missing;
    EXPECT_EQ(missing.OpenSWF((dir.Path() / "absent.swf").c_str()), 0);
}

TEST(Movie, SetHeaderAndTagsCopyIntoTheMovie)
{
    CSWF source;
    ASSERT_EQ(Open(source, Movie(kTags, 1, 7)), 1);
    CSWF built;
    built.SetHeader(nullptr);
    built.SetTags(nullptr);
    EXPECT_EQ(built.GetTags()->GetItemCount(), 0);
    built.SetHeader(source.GetHeader());
    built.SetTags(source.GetTags());
    EXPECT_NE(built.GetTags(), source.GetTags());
    EXPECT_EQ(built.GetHeader()->m_Version, 7);
    EXPECT_EQ(built.GetTags()->GetTag(0)->GetOwner(), &built);
    EXPECT_EQ(Save(built), Save(source));
}

TEST(MovieCommands, DumpSaveAndLog)
{
    TempDir dir;
    const std::string good = Write(dir, "good.swf", Compressed(Movie(kTags), false));
    const std::string bad = Write(dir, "bad.swf", { 'n', 'o', 'p', 'e' });
    // Runs a command with fresh output files; the exit status and what it printed.
    auto run = [](const std::function<int(FILE*, FILE*)>& command) {
        FILE* out = std::tmpfile();
        FILE* err = std::tmpfile();
        const int status = command(out, err);
        std::string text(static_cast<size_t>(std::ftell(out)), '\0');
        std::rewind(out);
        text.resize(std::fread(text.data(), 1, text.size(), out));
        std::fclose(out);
        std::fclose(err);
        return std::pair { status, text };
    };

    const auto [dumpStatus, dump] = run([&](FILE* out, FILE* err) { return RunDump(good, false, out, err); });
    EXPECT_EQ(dumpStatus, 0);
    EXPECT_EQ(dump.rfind("CSWFClass style=0\n  header: CHeaderItem", 0), 0u);
    EXPECT_NE(dump.find("\n    item: CDoActionTag 12 "), std::string::npos);
    EXPECT_NE(dump.find("\n      actions: CActionsItem"), std::string::npos);

    const auto [jsonStatus, json] = run([&](FILE* out, FILE* err) { return RunDump(good, true, out, err); });
    EXPECT_EQ(jsonStatus, 0);
    EXPECT_EQ(json.rfind("{\"class\": \"CSWFClass\"", 0), 0u);
    EXPECT_NE(json.find("\"class\": \"CSetBackGroundColorTag\", \"code\": 9"), std::string::npos);

    EXPECT_EQ(run([&](FILE* out, FILE* err) { return RunDump(bad, false, out, err); }).first, 1);
    const auto [badLogStatus, badLog] = run([&](FILE* out, FILE* err) { return RunLog(bad, out, err); });
    EXPECT_EQ(badLogStatus, 1);
    EXPECT_NE(badLog.find(GetErrorMessage(kSWFErr_InvalidCompressionFlag)), std::string::npos);
    EXPECT_EQ(run([&](FILE* out, FILE* err) { return RunLog(good, out, err); }).first, 0);

    const std::string saved = (dir.Path() / "saved.swf").string();
    FILE* quiet = std::tmpfile();
    EXPECT_EQ(RunSave(good, saved, SaveCompression::AsRead, quiet), 0);
    EXPECT_EQ(ReadFile(saved)[0], 'C');
    for (auto [compression, signature] :
        { std::pair { SaveCompression::None, 'F' }, { SaveCompression::Lzma, 'Z' }, { SaveCompression::Zlib, 'C' } }) {
        EXPECT_EQ(RunSave(good, saved, compression, quiet), 0);
        EXPECT_EQ(ReadFile(saved)[0], signature);
        CSWF reread;
        EXPECT_EQ(reread.OpenSWF(saved.c_str()), 1);
    }
    EXPECT_EQ(RunSave(bad, saved, SaveCompression::AsRead, quiet), 1);
    EXPECT_EQ(RunSave(good, (dir.Path() / "no" / "dir.swf").string(), SaveCompression::AsRead, quiet), 1);
    std::fclose(quiet);
}

TEST(MovieCommands, UsageErrorsExitWithTwo)
{
    for (const char* args : { "dump", "dump a b", "save only-one", "save --compress gzip a b", "log", "dump --x a" }) {
        const std::string command = std::string(REELFINCH_SWF_TOOL) + " " + args + " >/dev/null 2>&1";
        const int raw = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 2) << args;
    }
}

TEST(Movie, DamagedMoviesOpenSaveAndReopenToTheSameTree)
{
    // A movie with one tag of most kinds; every prefix and every single-byte change of it either fails to open or
    // saves to a movie that reopens to the same tree (the sanitizer run checks memory).
    const Bytes movie = Movie(Concat({
        Tag(kTagSetBackgroundColor, { 0x33, 0x66, 0x99 }),
        Tag(kTagDefineShape, { 0x01, 0x00, 0x00, 0x01, 0x00, 0x10, 0x11, 0x22, 0x33, 0x00, 0x11, 0x00 }),
        Tag(kTagPlaceObject2, { 0x06, 0x01, 0x00, 0x01, 0x00, 0x00 }),
        Tag(kTagDefineFont, { 0x03, 0x00, 0x02, 0x00, 0x00, 0x00 }),
        Tag(kTagDefineSprite, Concat({ { 0x02, 0x00, 0x01, 0x00 }, Tag(kTagShowFrame), Tag(kTagEnd) })),
        Tag(kTagDoAction, { 0x96, 0x03, 0x00, 0x00, 'a', 0x00, 0x26, 0x00 }),
        Tag(kTagFrameLabel, { 'x', 0x00 }),
        Tag(kTagShowFrame),
        Tag(kTagEnd),
    }));
    auto check = [](const Bytes& file) {
        CSWF first;
        if (!Open(first, file))
            return;
        const std::string dump = DumpText(&first);
        CSWFStream out;
        ASSERT_EQ(first.WriteSWF(&out), 1);
        CSWF second;
        ASSERT_EQ(Open(second, Contents(out)), 1);
        second.GetHeader()->m_FileLength = first.GetHeader()->m_FileLength;
        EXPECT_EQ(DumpText(&second), dump);
    };
    for (size_t n = kSWFHeaderSize; n < movie.size(); ++n) {
        SCOPED_TRACE("cut to " + std::to_string(n));
        Bytes cut(movie.begin(), movie.begin() + static_cast<long>(n));
        cut[4] = static_cast<uint8_t>(n);
        check(cut);
    }
    for (size_t i = kSWFHeaderSize; i < movie.size(); ++i) {
        for (uint8_t value : { 0x00, 0xFF, 0x3F }) {
            SCOPED_TRACE("byte " + std::to_string(i) + " set to " + std::to_string(value));
            Bytes changed = movie;
            changed[i] = value;
            check(changed);
        }
    }
    SWFDebugger.ClearLog();
}
