#pragma once

#include <string>

#include "GenerationContext.h"
#include "TypeModel.h"

namespace mivra {

// Basic: the classic output, Java classes over a generated JNI library.
// Full: Java only, every member typed, on the shared Mivra runtime.
enum class MappingMode { Basic, Full };

// What a run tells its owner besides the reports. The function counts are
// the full mapping's: every function of every interface and dispinterface
// (IUnknown and IDispatch members left out) and how many got a Java method;
// the same of the interfaces callable through IDispatch or an
// IDispatch-derived vtable; the lines of the unbound list; the listener
// interfaces and the events they have a method for.
struct BindingSummary {
    bool readmeWritten = false;
    int dispatchFunctions = 0;
    int boundFunctions = 0;
    int callableFunctions = 0;
    int callableBound = 0;
    int unbound = 0;
    int listeners = 0;
    int events = 0;
};

// Writes the bindings of the library that model holds, loaded but without
// its records, into the context's output folder. The default mapping builds
// the records and needs a creatable class; the full mapping resolves the
// library once and releases the reader. Every problem goes to the context's
// reportError (sourceSubject names the library as a whole); false when the
// run could not write its output.
bool writeBindings(MappingMode mapping, TypeModel& model, GenerationContext& context,
                   const std::string& sourceSubject, BindingSummary& summary);

}  // namespace mivra
