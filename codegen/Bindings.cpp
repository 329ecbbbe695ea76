#include "Bindings.h"

#include "FullModel.h"
#include "FullWriters.h"
#include "Output.h"
#include "ResolvedLibrary.h"
#include "Writers.h"

namespace mivra {

namespace {

// The Java files to one folder, the pages and lists to another.
class JavaSplitOutput final : public Output {
public:
    JavaSplitOutput(Output& java, Output& others) : java_(java), others_(others) {}
    std::unique_ptr<OutputSink> open(const std::string& name) override { return of(name).open(name); }
    std::string pathOf(const std::string& name) const override { return of(name).pathOf(name); }

private:
    Output& of(const std::string& name) const { return name.ends_with(".java") ? java_ : others_; }
    Output& java_;
    Output& others_;
};

bool writeBasic(TypeModel& model, GenerationContext& context, const std::string& sourceSubject,
                BindingSummary& summary) {
    model.build();
    if (model.coclasses.empty()) {
        model.releaseLibrary();
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
    modelInputs.maxClassNameLength =
        classNameRoom(context.fullPath(context.javaFolder.empty() ? context.outputFolder : context.javaFolder));
    FullModel full = buildFullModel(*resolved, modelInputs);
    // A type the model refuses is listed with its reason in the unbound
    // list the summary names, so it is no failure of the run.

    FullWriteInputs writeInputs;
    writeInputs.packageName = context.packageName;
    writeInputs.classPathPackage = context.classPathPackage;
    writeInputs.timeText = context.timeText();
    writeInputs.folderPath = folderPath;
    DiskOutput folderOutput(context.outputFolder);
    DiskOutput javaOutput(context.javaFolder.empty() ? context.outputFolder : context.javaFolder);
    JavaSplitOutput output(javaOutput, folderOutput);
    auto report = [&context](const std::string& subject, const std::string& message) {
        context.reportError(subject, message);
    };
    bool written = writeFullBindings(output, full, writeInputs, report, context.javaFileCount);
    for (const std::string& path : javaOutput.paths())
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
