// Arbitrary bytes as a whole movie: open them into the object tree, save, copy, save the copy after the original
// is gone, and open the saved file again. Nothing may crash or leak, a copy must save to exactly the bytes of its
// source, and saving a movie read back from our own output must give the same bytes again.
#include "Movie.h"
#include "SWFDebugger.h"
#include "SWFStream.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool SameBytes(const CSWFStream& a, const CSWFStream& b)
{
    return a.GetSize() == b.GetSize() && (a.GetSize() == 0 || std::memcmp(a.GetBuffer(), b.GetBuffer(), a.GetSize()) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SWFDebugger.ClearLog();
    CSWFStream input;
    if (size > 0 && !input.WriteBuf(data, size))
        return 0;
    input.SetPosition(0);

    auto movie = std::make_unique<CSWF>();
    if (!movie->ReadSWF(&input))
        return 0;
    // Compressing at level 9 would dominate every run; the compressed path has its own target.
    movie->m_pHeader->m_Compressed = false;

    CSWFStream saved;
    const int written = movie->WriteSWF(&saved);

    CSWFObject* copyObject = nullptr;
    Check(movie->MakeCopy(nullptr, 0, copyObject) == 1);
    std::unique_ptr<CSWFObject> copy(copyObject);
    movie.reset();
    CSWFStream copySaved;
    Check(copy->WriteSWF(&copySaved) == written);
    if (!written)
        return 0;
    Check(SameBytes(saved, copySaved));

    // What we wrote must read back and write out the same bytes.
    CSWFStream reread;
    reread.WriteBuf(saved.GetBuffer(), saved.GetSize());
    reread.SetPosition(0);
    CSWF again;
    Check(again.ReadSWF(&reread) == 1);
    CSWFStream savedAgain;
    Check(again.WriteSWF(&savedAgain) == 1);
    Check(SameBytes(saved, savedAgain));
    return 0;
}
