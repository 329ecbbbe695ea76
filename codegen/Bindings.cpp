#include "Bindings.h"

#include "FullModel.h"
#include "FullWriters.h"
#include "Output.h"
#include "ResolvedLibrary.h"
#include "Writers.h"

namespace mivra {

namespace {

bool writeBasic(TypeModel& model, GenerationContext& context, const std::string& sourceSubject,
                BindingSummary& summary) {
    model.build();
    if (model.coclasses.empty()) {
        model.clear();
        context.reportError(sourceSubject, "No creatable types in library");
        return false;
    }
    context.model = &model;
    if (!writeJniPrologue(context)) return false;
    writeClasses(context);
    writeOverviewPage(context);
    summary.readmeWritten = writeReadmePage(context);
    return true;
}

// The library resolved once, the whole model built, and only then the
// files, each of which must be written whole.
bool writeFull(TypeModel& model, GenerationContext& context, const std::string& sourceSubject,
               BindingSummary& summary) {
    auto resolved = resolve(*model.library);
    // Everything is read: the reader's memory goes to the model instead.
    model.clear();
    if (!resolved) {
        context.reportError(sourceSubject, "File does not contain type information");
        return false;
    }
    FullModelInputs modelInputs;
    modelInputs.identifierText = [&context](const Guid& guid) { return context.identifierText(guid); };
    const std::string folderPath = context.fullPath(context.outputFolder);
    modelInputs.maxClassNameLength = classNameRoom(folderPath);
    FullModel full = buildFullModel(*resolved, modelInputs);
    for (const auto& [subject, message] : full.refusals) context.reportError(subject, message);

    FullWriteInputs writeInputs;
    writeInputs.packageName = context.packageName;
    writeInputs.classPathPackage = context.classPathPackage;
    writeInputs.timeText = context.timeText();
    writeInputs.folderPath = folderPath;
    DiskOutput output(context.outputFolder);
    auto report = [&context](const std::string& subject, const std::string& message) {
        context.reportError(subject, message);
    };
    bool written = writeFullBindings(output, full, writeInputs, report, context.javaFileCount);
    for (const std::string& path : output.paths())
        if (path.ends_with(".java")) context.javaFiles.push_back(path);
    if (!written) return false;
    summary.readmeWritten = true;
    summary.dispatchFunctions = full.functionCount();
    summary.boundFunctions = full.boundCount();
    summary.callableFunctions = full.callableFunctionCount();
    summary.callableBound = full.callableBoundCount();
    summary.unbound = int(full.unbound.size());
    summary.listeners = full.listenerCount();
    summary.events = full.eventCount();
    return true;
}

}  // namespace

bool writeBindings(MappingMode mapping, TypeModel& model, GenerationContext& context,
                   const std::string& sourceSubject, BindingSummary& summary) {
    summary = {};
    if (!model.library) return false;
    return mapping == MappingMode::Full ? writeFull(model, context, sourceSubject, summary)
                                        : writeBasic(model, context, sourceSubject, summary);
}

}  // namespace mivra
