#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace mivra::installer {

// Installation values put into files marked for substitution.
struct SubstitutionValues {
    std::string targetFolder;  // short form, no trailing separator
    std::string targetDrive;
    std::string host = "localhost";
    std::string webPort;
    std::string webAdmin;
    std::string ejbPort;
    std::string ejbAdmin;
    std::string webPassword;
    std::string ejbPassword;
    std::string separator;
};

// Lines are read in pieces of at most this many characters; a name cut by a
// piece boundary stays as it is.
inline constexpr std::size_t substitutionPieceLength = 399;

// Replaces every variable name ("$TGTDIR", "$HOST", ..., in any case) in one piece.
std::string substituteVariables(std::string_view piece, const SubstitutionValues& values);

// The line end of substituted files: the platform's own.
#ifdef _WIN32
inline constexpr std::string_view substitutedLineEnd = "\r\n";
#else
inline constexpr std::string_view substitutedLineEnd = "\n";
#endif

// Rewrites a CR LF or LF text file, with the platform's line ends, as a stream through a temporary file beside it,
// a new name that no file had. Leaves the file unchanged and returns false if
// either file cannot be opened.
bool substituteFile(const std::filesystem::path& path, const SubstitutionValues& values);

}  // namespace mivra::installer
