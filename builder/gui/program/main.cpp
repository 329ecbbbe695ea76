#include <string>
#include <vector>

#include "Commands.h"

// mivra-window: the builder window, which `mivra` without a command starts.
int main(int argc, char** argv) { return mivra::runBuilderWindow(std::vector<std::string>(argv + 1, argv + argc)); }
