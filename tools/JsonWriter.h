// A minimal JSON writer for the tool's machine-readable output.
#pragma once

#include <string>

std::string JsonString(const std::string& text);
