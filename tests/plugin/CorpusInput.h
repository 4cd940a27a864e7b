// The input list of a corpus movie (its input.json), as the events the runner feeds the movie.
#pragma once

#include "MovieRunner.h"

#include <QString>

#include <vector>

namespace plugintest {

// Empty when the file is missing or unreadable. Defined with the script corpus test, whose movies use it most.
std::vector<reelfinch::runner::InputEvent> ReadInput(const QString& path);

} // namespace plugintest
