#include "Generator.h"

namespace mivra {

Generator::Generator() = default;
Generator::~Generator() = default;

bool Generator::run() {
    reportError(inputs.sourcePath, "Generation is not available in this build");
    return false;
}

void Generator::finish() {}
void Generator::setReaderFactory(ReaderFactory) {}
void Generator::setClassRegistry(const ClassRegistry*) {}

}  // namespace mivra
