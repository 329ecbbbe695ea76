#pragma once

#include <string>
#include <vector>

namespace mivra {

// Full path of the running program's file.
std::string ownProgramPath();

// The short (8.3) form of an existing path; the path itself where the
// platform has no short names or cannot give one.
std::string shortPathName(const std::string& path);

// The drive part of a path ("C:"); empty where paths have no drives.
std::string driveOf(const std::string& path);

// Whether command scripts must be installed as ".bat": the system knows no
// ".cmd" file type or is of the Windows 95 family. Never on Linux.
bool scriptsAsBat();

// Opens a document with its associated program, without waiting for it.
bool shellOpen(const std::string& document, const std::string& workingFolder);

// Windows: a window program started from a console writes its output
// there; with the outputs already redirected, or on Linux, nothing changes.
void useParentConsole();

// Linux: lets the heap grow in large steps backed by huge pages where the
// system grants them, for a command about to build a model of tens of
// megabytes: first touches of fresh pages otherwise cost more than the work
// done in them. Nothing on Windows.
void prepareHeapForLargeWork();

// The user's home folder (Linux: $HOME); empty if unknown.
std::string homeFolder();

// Linux: makes an extracted program (ELF image or "#!" script) executable,
// since the archive carries no permission bits. Nothing on Windows.
void markExecutableIfProgram(const std::string& path);

// Runs a program with the given arguments, its output and errors going to
// ours, and waits for it. Returns its exit status, or -1 when it could not be
// started. A program named without a folder is looked for on the PATH.
int runProgram(const std::string& program, const std::vector<std::string>& arguments);

// The full path of the program of that name in a folder of the PATH ("name"
// or, on Windows, "name.exe"); empty when no folder has it.
std::string findProgramOnPath(const std::string& name);

}  // namespace mivra
