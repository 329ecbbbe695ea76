#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ClassRegistry.h"
#include "Generator.h"
#include "RegistryLookups.h"

namespace mivra {

// What the source picker needs to fill in its File field: the registry,
// the reader that opens registered libraries, and the check of a browsed
// file.
struct SourceServices {
    const ClassRegistry* registry = nullptr;
    ReaderFactory makeReader;  // empty: the file reader
    RegisteredLibraryList* libraries = nullptr;  // the process's list unless set
    std::function<bool(const std::string& path, const LookupReport& report)> checkFile;
};

// The source picker as every window shows it: the registered libraries in
// one order, the File text, and the line that File came from. Windows draw
// lines(), highlightedLine() and fileText() after each command.
class PickerSession {
public:
    // report shows a lookup's failure over the picker.
    PickerSession(SourceServices services, LookupReport report);

    // True before the process's list was read; load() reads it (slow: the
    // window shows a wait cursor around it) and orders the lines.
    bool needsLoading() const;
    void load();

    const std::vector<std::string>& lines() const { return lines_; }
    std::optional<size_t> highlightedLine() const { return highlighted_; }
    const std::string& fileText() const { return fileText_; }

    // The user chose a line, or typed into File.
    void chooseLine(size_t line);
    void fileEdited(const std::string& text);
    // A file from the file dialog, taken when it holds a type library.
    void browsed(const std::string& path);
    // The server file of a ProgID's class.
    void locate(const std::string& progId);

private:
    RegisteredLibraryList& libraries() const;
    // File changed by other means than a line: the line naming that file, if any, is highlighted.
    void setFile(const std::string& path);

    SourceServices services_;
    LookupReport report_;
    std::vector<size_t> order_;
    std::vector<std::string> lines_;
    std::optional<size_t> highlighted_;
    std::string fileText_;
};

}  // namespace mivra
