#pragma once

// Texts the builder's windows show, in one place so that the Qt window, the
// Win32 window (whose resource script holds the layout only) and the tests
// agree. A "&" marks the mnemonic of the character after it.
namespace mivra::builder::texts {

inline constexpr const char* windowTitle = "Mivra:  COM to Java JNI bridge builder";
inline constexpr const char* introduction =
    "This tool generates a Java wrapper for a given COM or ActiveX object, as well as a JNI implementation module.";
inline constexpr const char* inputPrompt =
    "Enter the pathname for the COM or ActiveX library information.  Typically this is the path of the COM .dll, "
    ".exe or .ocx file.  Sometimes it may be a separate  .tlb file.";
inline constexpr const char* inputLabel = "&Input";
inline constexpr const char* selectButton = "Select...";
inline constexpr const char* outputPrompt =
    "Enter below a folder where the output Java and C++ files are to be placed.  (This should be empty to avoid "
    "confusion with existing files.  If folder doesn't exist it will be created.)";
inline constexpr const char* outputLabel = "&Output";
inline constexpr const char* browseButton = "Browse...";
inline constexpr const char* packagePrompt = "Specify a package name for generated Java files";
inline constexpr const char* packageLabel = "&Package";
inline constexpr const char* libraryPrompt = "Specify a name for the JNI Library";
inline constexpr const char* libraryLabel = "&Library";
inline constexpr const char* longHandlesBox = "&64-bit Java (long handles)";
inline constexpr const char* fullMappingBox = "&Full bindings on the Mivra runtime (Java only)";
inline constexpr const char* buildButton = "Build";
inline constexpr const char* closeButton = "Close";
inline constexpr const char* helpButton = "&Help";
inline constexpr const char* aboutItem = "&About Mivra...";
inline constexpr const char* outputFolderTitle = "Select folder for output files";

inline constexpr const char* pickerTitle = "Select COM/ActiveX Object";
inline constexpr const char* fileLabel = "&File";
inline constexpr const char* listPrompt =
    "If the COM or ActiveX object is registered, you can select its name from this list.  Otherwise, click the "
    "\"Browse...\" button to locate the .DLL, .EXE, .OCX or the .TLB file that contains the type library "
    "information for the COM/ActiveX object.";
inline constexpr const char* listName = "Registered libraries";
inline constexpr const char* locatePrompt =
    "If you know the \"ProgID\" (a string typically of the form \"application.objtype\") of the COM or ActiveX "
    "object, click this button to locate its file.";
inline constexpr const char* locateButton = "Locate by ProgID";
inline constexpr const char* okButton = "OK";
inline constexpr const char* cancelButton = "Cancel";

inline constexpr const char* progIdTitle = "Locate COM/ActiveX object by ProgID";
inline constexpr const char* progIdLabel = "&ProgID:";
inline constexpr const char* progIdMissing = "Please enter ProgID";

inline constexpr const char* aboutTitle = "About Mivra";
inline constexpr const char* aboutVersion = "Mivra Version 1.0";

}  // namespace mivra::builder::texts
