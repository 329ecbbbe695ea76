#pragma once

#include <string>
#include <string_view>

namespace mivra {

// The command line's exit statuses, the same for every command.
enum ExitStatus : int {
    exitSuccess = 0,  // done, nothing reported
    exitFailure = 1,  // the command ran and reported at least one failure
    exitUsage = 2,    // refused before doing anything: a wrong option or value
};

// Text from a type library or the user made safe for a terminal: control
// characters (C0, DEL, C1) appear as \xNN or \u00NN, so a name can neither
// move the cursor nor start a line of its own. Backslashes stay as they are.
std::string printableText(std::string_view text);

// The one form of every failure line: "mivra: " and the text, on standard error.
void printFailure(const std::string& text);

// A usage error: what was wrong, then the usage of the command; returns
// exitUsage.
int usageError(const std::string& what, const char* usage);

}  // namespace mivra
