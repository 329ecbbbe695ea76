#pragma once

#include <string>
#include <vector>

namespace mivra {

// The command-line front end. Each command takes the words after its name,
// prints its results to standard output and its failures to standard error as
// subject, ": ", message, and returns the process exit status: 0 success,
// 1 a reported failure, 2 a usage error.
int runDumpCommand(const std::vector<std::string>& args);
int runGenerateCommand(const std::vector<std::string>& args);
int runListCommand(const std::vector<std::string>& args);
int runLocateCommand(const std::vector<std::string>& args);
int runCheckCommand(const std::vector<std::string>& args);

// Opens the builder window; returns the exit status. Without Qt it explains
// that this build has no windows.
int runBuilderWindow(int argc, char** argv);

}  // namespace mivra
