#pragma once

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

namespace reelfinch::test {

// Device fonts leave cairo's font caches and the font configuration they read filled until the process ends;
// a program that wants them released, as the leak checker does, empties them once nothing draws any more.
// Include this header in one file of each test program that measures or draws device fonts.
class FontCacheRelease : public ::testing::Environment
{
public:
    void TearDown() override
    {
        cairo_debug_reset_static_data();
        FcFini();
    }
};

inline const ::testing::Environment* const kFontCacheRelease
    = ::testing::AddGlobalTestEnvironment(new FontCacheRelease);

} // namespace reelfinch::test
