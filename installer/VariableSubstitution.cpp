#include "VariableSubstitution.h"

#include <fstream>
#include <memory>
#include <utility>

#include "FileSystem.h"
#include "InstallNames.h"

namespace mivra::installer {

namespace {

// "host" or "host:port", the port left out when it reads as 80 (leading
// digits; none read as 0).
std::string hostWithPort(const std::string& host, const std::string& port) {
    unsigned long number = 0;
    for (char c : port) {
        if (c < '0' || c > '9') break;
        number = number * 10 + static_cast<unsigned long>(c - '0');
        if (number > 100000) break;
    }
    return number == 80 ? host : host + ":" + port;
}

}  // namespace

std::string substituteVariables(std::string_view piece, const SubstitutionValues& values) {
    const std::pair<std::string_view, std::string> variables[] = {
        {"$TGTDIR", values.targetFolder},
        {"$TGTDRIVE", values.targetDrive},
        {"$WEBPORT", values.webPort},
        {"$WEBADMIN", values.webAdmin},
        {"$EJBPORT", values.ejbPort},
        {"$EJBADMIN", values.ejbAdmin},
        {"$WEBPWD", values.webPassword},
        {"$EJBPWD", values.ejbPassword},
        {"$HOST", values.host},
        {"$URL", hostWithPort(values.host, values.webPort)},
        {"$LOCALHOST", hostWithPort("localhost", values.webPort)},
        {"$SEP", values.separator},
    };
    std::string out;
    std::size_t i = 0;
    while (i < piece.size()) {
        bool replaced = false;
        if (piece[i] == '$') {
            for (const auto& [name, value] : variables) {
                if (startsWithIgnoringCase(piece.substr(i), name)) {
                    out += value;
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += piece[i++];
    }
    return out;
}

bool substituteFile(const std::filesystem::path& path, const SubstitutionValues& values) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // Created exclusively, so the temporary copy can never be an archive
    // entry (all of them exist by now) or a file of the user's.
    std::unique_ptr<NewFile> file;
    std::string temporary;
    for (int number = 0; number < 1000 && !file; ++number) {
        temporary = path.string() + "." + std::to_string(number) + ".tmp";
        file = NewFile::create(temporary);
    }
    if (!file) return false;

    // Read as text: CR LF becomes one line end, and a line is taken in pieces
    // of up to 399 characters, the line end counting as one of them.
    std::ostream out(file.get());
    std::streambuf* source = in.rdbuf();
    std::string piece;
    std::string written;
    const auto writePiece = [&] {
        written.clear();
        for (char c : substituteVariables(piece, values)) {
            if (c == '\n')
                written += substitutedLineEnd;
            else
                written += c;
        }
        out.write(written.data(), static_cast<std::streamsize>(written.size()));
        piece.clear();
    };
    for (auto next = source->sbumpc(); next != std::char_traits<char>::eof(); next = source->sbumpc()) {
        const char c = std::char_traits<char>::to_char_type(next);
        if (c == '\r' && source->sgetc() == '\n') continue;
        piece += c;
        if (c == '\n' || piece.size() == substitutionPieceLength) writePiece();
    }
    writePiece();
    in.close();
    out.flush();
    std::error_code error;
    if (!file->close() || !out) {
        std::filesystem::remove(temporary, error);
        return false;
    }

    std::filesystem::remove(path, error);
    std::filesystem::rename(temporary, path, error);
    return !error;
}

}  // namespace mivra::installer
