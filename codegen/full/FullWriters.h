#pragma once

#include <functional>
#include <string>

#include "FullModel.h"
#include "Output.h"

namespace mivra {

// What the writers of the full bindings take from the run besides the model.
struct FullWriteInputs {
    std::string packageName;
    std::string classPathPackage;
    std::string timeText;      // the ctime form with its line end, for the file headers
    std::string folderPath;    // the output folder's full path, for the readme
};

using FullReport = std::function<void(const std::string& subject, const std::string& message)>;

// The text of each kind of generated file. `path` is what the header of a
// Java file names.
std::string fullInterfaceClassText(const FullClass& cls, const FullWriteInputs& inputs, const std::string& path);
std::string fullObjectClassText(const FullClass& cls, const FullWriteInputs& inputs, const std::string& path);
std::string fullClassTableText(const FullModel& model, const FullWriteInputs& inputs, const std::string& path);
std::string fullUnboundText(const FullModel& model);
std::string fullListenerText(const FullClass& cls, const FullWriteInputs& inputs, const std::string& path);
std::string fullConstantsClassText(const FullClass& cls, const FullWriteInputs& inputs, const std::string& path);
std::string fullOverviewPageText(const FullModel& model, const FullWriteInputs& inputs);
std::string fullReadmePageText(const FullModel& model, const FullWriteInputs& inputs, const std::string& pagePath);

// Writes every class and the two pages through the output. The first file
// that cannot be written whole is reported ("Cannot write file", its path
// the subject) and ends the writing: false.
bool writeFullBindings(Output& output, const FullModel& model, const FullWriteInputs& inputs,
                       const FullReport& report, int& javaFileCount);

// Library text for a javadoc comment or an HTML page that javadoc reads:
// HTML-escaped, with nothing javadoc would take as a tag or a comment end.
std::string javadocText(std::string_view text);

}  // namespace mivra
