// The one place that finds the application's resources. A resource folder ("skin", "translations", "plugins",
// "demo") is looked for in REELFINCH_RESOURCES, then in share/reelfinch/ beside the executable's bin/ (an
// installed player), then in the source or build tree (a development build).
#pragma once

#include <QString>

// The environment variable that names a resources folder of its own.
inline constexpr char kResourcesVariable[] = "REELFINCH_RESOURCES";

// The first of the candidate folders for `subfolder` that exists. When none exists: the development folder
// known for it, else the first candidate (so that what is missing is looked for where it would be), else empty.
QString resourceFolder(const QString& subfolder);
