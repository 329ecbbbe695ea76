#include "PickerSession.h"

namespace mivra {

PickerSession::PickerSession(SourceServices services, LookupReport report)
    : services_(std::move(services)), report_(std::move(report)) {
    if (!needsLoading()) load();
}

RegisteredLibraryList& PickerSession::libraries() const {
    return services_.libraries ? *services_.libraries : registeredLibraryList();
}

bool PickerSession::needsLoading() const { return !libraries().filled && services_.registry; }

void PickerSession::load() {
    RegisteredLibraryList& list = libraries();
    if (services_.registry) listRegisteredLibraries(*services_.registry, services_.makeReader, report_, list);
    order_ = sortedLibraryOrder(list);
    lines_.clear();
    for (size_t position : order_) lines_.push_back(list.displayTexts[position]);
}

void PickerSession::chooseLine(size_t line) {
    if (line >= order_.size()) return;
    highlighted_ = line;
    fileText_ = libraries().paths[order_[line]];
}

void PickerSession::fileEdited(const std::string& text) {
    if (text != fileText_) setFile(text);
}

void PickerSession::setFile(const std::string& path) {
    fileText_ = path;
    highlighted_.reset();
    const RegisteredLibraryList& list = libraries();
    for (size_t line = 0; line < order_.size(); ++line)
        if (list.paths[order_[line]] == path) {
            highlighted_ = line;
            return;
        }
}

void PickerSession::browsed(const std::string& path) {
    if (path.empty()) return;
    if (services_.checkFile && services_.checkFile(path, report_)) setFile(path);
}

void PickerSession::locate(const std::string& progId) {
    if (!services_.registry) return;
    if (auto server = locateServerByProgId(*services_.registry, progId, report_)) setFile(*server);
}

}  // namespace mivra
