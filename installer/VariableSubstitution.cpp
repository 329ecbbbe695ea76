#include "VariableSubstitution.h"

#include <fstream>
#include <iterator>
#include <utility>

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
    auto temporary = path;
    temporary.replace_extension(".tmp");
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;

    // Read as text: CR LF becomes one line end, and a line is taken in pieces
    // of up to 399 characters, the line end counting as one of them.
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        lines += text[i];
    }
    std::string written;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = start;
        while (end < lines.size() && end - start < substitutionPieceLength) {
            if (lines[end++] == '\n') break;
        }
        for (char c : substituteVariables(std::string_view(lines).substr(start, end - start), values)) {
            if (c == '\n') written += '\r';
            written += c;
        }
        start = end;
    }
    out.write(written.data(), static_cast<std::streamsize>(written.size()));
    out.close();
    std::error_code error;
    if (!out) {
        std::filesystem::remove(temporary, error);
        return false;
    }

    std::filesystem::remove(path, error);
    std::filesystem::rename(temporary, path, error);
    return !error;
}

}  // namespace mivra::installer
