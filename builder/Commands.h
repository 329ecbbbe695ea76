#pragma once

#include <string>
#include <vector>

namespace mivra {

// The command-line front end. Each command takes the words after its name,
// prints its results to standard output and its failures to standard error
// ("mivra: " then subject, ": ", message), and returns one of the exit
// statuses of ConsoleText.h.
int runDumpCommand(const std::vector<std::string>& args);
int runGenerateCommand(const std::vector<std::string>& args);
int runListCommand(const std::vector<std::string>& args);
int runLocateCommand(const std::vector<std::string>& args);
int runCheckCommand(const std::vector<std::string>& args);

// The usage of generate from "mivra generate" on, made from its option
// table; continuation lines start with indent and line up under the options.
std::string generateUsageText(const std::string& indent);

// Opens the builder window (the words: [--registry PREFIX]); returns the
// exit status. Each executable links the window of its platform, or one that
// explains that the build has none.
int runBuilderWindow(const std::vector<std::string>& args);

}  // namespace mivra
