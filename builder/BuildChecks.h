#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Generator.h"

namespace mivra {

// The checks and defaults that come before a generation run, shared by the
// builder window and the command line.

// A path's file name without directory and extension.
std::string baseNameOf(const std::string& path);

// "J" + base name of the COM source + ".dll"; empty for an empty source.
std::string defaultLibraryName(const std::string& sourcePath);

// The message of the first input that cannot be used (empty fields, a
// library named like the COM source; the library only when it is built), or
// nothing.
std::optional<std::string> checkBuildInputs(const GenerationInputs& inputs, MappingMode mapping = MappingMode::Basic);

// Why a package cannot name Java classes that compile and JNI names that a
// Java VM finds ("not a Java package name: " and the reason: not
// dot-separated ASCII identifiers, a Java keyword), or nothing.
std::optional<std::string> checkPackageName(const std::string& packageName);

// Makes sure path is a directory, creating it and its missing parents. ask
// is asked once before path itself is created (null: create without
// asking); show receives each failure message. True when path is a
// directory at the end.
bool ensureFolder(const std::string& path, const std::function<bool(const std::string& question)>& ask,
                  const std::function<void(const std::string& message)>& show);

}  // namespace mivra
