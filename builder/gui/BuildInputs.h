#pragma once

#include <optional>
#include <string>

#include "Generator.h"

namespace mivra::window {

// A path's file name without directory and extension; "\" and "/" both
// separate directories.
std::string pathBaseName(const std::string& path);

// The library name the window proposes for a COM source: "J", its base
// name, ".dll"; nothing for an empty source.
std::string defaultLibraryName(const std::string& sourcePath);

// The first reason the four inputs cannot be built, in the order the Build
// command checks them, or nothing.
std::optional<std::string> buildInputProblem(const GenerationInputs& inputs);

// Where ensureFolder looks for a folder's parent: the path cut at its last
// "\" (else its last "/"), keeping the separator when it is the first
// character or follows a ":" (C:\new gives C:\, /new gives /). Nothing for a
// path without separator.
std::optional<std::string> parentFolder(const std::string& path);

}  // namespace mivra::window
