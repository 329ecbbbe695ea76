#include "Format.h"
#include "TypeMapping.h"
#include "Writers.h"

namespace mivra {

namespace {

// A link to the class page of a type, in a quoted attribute; a type whose
// name gets no class (not a Java identifier) is listed as text only.
void appendClassEntry(std::string& text, const std::string& classPath, const std::string& package,
                      const std::string& name) {
    const std::string shown = htmlText(name);
    if (isJavaIdentifier(name) && fitsFileName(name + ".java"))
        appendFormat(text, "<A HREF=\"%s/%s.html\">%s.%s</A>", {classPath, shown, package, shown});
    else
        appendFormat(text, "%s.%s", {package, shown});
}

}  // namespace

// Every text from the library or the inputs is HTML-escaped on the pages, so
// a name or doc string can only ever show as text.
bool writeOverviewPage(GenerationContext& context) {
    std::string path = outputPath(context.outputFolder, "overview.html");
    auto file = createOutputFile(context, path);
    if (!file) return false;
    const TypeModel& model = *context.model;
    const std::string libraryName = htmlText(model.libraryName);
    const std::string classPath = htmlText(context.classPathPackage);
    const std::string package = htmlText(context.packageName);
    std::string text;
    text += "<HTML>\n<HEAD>\n";
    text += "  <META http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n";
    text += "  <META name=\"GENERATOR\" content=\"Mivra [Sarvik Software]\">\n";
    appendFormat(text, "  <TITLE>%s</TITLE>\n", {libraryName});
    text += "</HEAD>\n<BODY>\n";
    // javadoc (JDK 9 and later) refuses an overview whose headings do not
    // start at H1 and lists that hold anything but items.
    appendFormat(text, "<H1>%s</H1>\n", {libraryName});
    if (!model.libraryDoc.empty()) appendFormat(text, "<H2>%s</H2>\n", {htmlText(model.libraryDoc)});
    text += "<P>Mivra generates one or more Java classes corresponding to\n"
            "COM-objects, and one or more Java classes corresponding to\n"
            "COM-interfaces.</P>\n";
    text += "<P>Each COM-object supports one or more COM-interfaces.\n"
            "To work with a COM-object, first instantiate its corresponding\n"
            "Java class.  Then obtain the Java object corresponding to a COM-interface,\n"
            "by calling one of\n"
            "the get&lt;interface&gt; methods provided by the COM-object.  Finally call the methods of the "
            "COM-interface class.</P>\n";
    text += "<P>Following is the list of COM-object classes and the COM-interface classes supported by each "
            "one.</P>\n";
    text += "<DIV>\n";
    for (const CoclassRecord& coclass : model.coclasses) {
        text += "<P>";
        appendClassEntry(text, classPath, package, coclass.name);
        if (!coclass.docString.empty())
            appendFormat(text, "&nbsp;&nbsp;&nbsp;&nbsp;<I>%s</I>", {htmlText(coclass.docString)});
        text += "</P>\n<UL>\n";
        for (const InterfaceRecord* record : coclass.interfaces) {
            text += "<LI>";
            appendClassEntry(text, classPath, package, record->name);
            if (!record->docString.empty())
                appendFormat(text, "&nbsp;&nbsp;&nbsp;&nbsp;<I>%s</I>", {htmlText(record->docString)});
            text += "</LI>\n";
        }
        text += "</UL>\n";
    }
    text += "</DIV>\n</BODY>\n</HTML>\n";
    file->write(text);
    return true;
}

bool writeReadmePage(GenerationContext& context) {
    std::string path = outputPath(context.outputFolder, "readme.html");
    auto file = createOutputFile(context, path);
    if (!file) return false;
    const std::string pagePath = htmlText(context.fullPath(path));
    const std::string folder = htmlText(context.fullPath(context.outputFolder));
    const std::string base = htmlText(context.libraryBaseName);
    std::string text;
    appendFormat(text, "<HTML><HEAD><TITLE>Readme file for %s</TITLE></HEAD></HTML>\n",
                 {htmlText(context.model->libraryName)});
    text += "<BODY><P>\n";
    appendFormat(text, "File: %s", {pagePath});
    appendFormat(text, "<P>Mivra has created several files in the directory <I>%s</I>\n", {folder});
    appendFormat(text,
                 "These include source files and an <A HREF=file:///%s\\overview.html>overview.html</A> file for "
                 "javadoc.\n",
                 {htmlText(context.outputFolder)});
    text += "\n<P>Steps to build the sources:\n<UL>\n<LI>Get an MS-DOS prompt (command) window\n";
    appendFormat(text, "<LI>To compile the Java classes, cd to %s\n", {folder});
    text += "and run the command\n<BR><tt>javac -d . *.java</tt>\n";
    text += "<LI>To build documentation, create a documentation directory, e.g.\n"
            "<BR><TT>mkdir doc</TT><BR>\n"
            "and run the command\n"
            "<BR><TT>javadoc -overview overview.html -d doc *.java</TT><BR>\n"
            "The generated documentation will be accessible\n";
    appendFormat(text, "in <A HREF=file:///%s\\doc\\index.html>doc\\index.html</A>\n", {folder});
    text += "<LI>\n";
    if (isSampleRun(context.libraryBaseName)) {
        text += "The jbrowse.dll file is available in the samples folder\n";
    } else if (context.handles == HandleType::Long) {
        // The classes keep pointers in long fields: the library is for 64-bit VMs.
        text += "To build the JNI library for a 64-bit Java VM, make sure you have setup\n"
                "the environment correctly for CL for x64 (an x64 Native Tools command\n"
                "prompt) or another 64-bit compiler.  Then run the command\n";
        appendFormat(text,
                     "<BR><TT>cl -Ic:/jdk/include -Ic:/jdk/include/win32 -LD %s.c -Fe%s.dll ole32.lib "
                     "oleaut32.lib uuid.lib</TT><BR>\n",
                     {base, base});
        text += "or for mingw-w64,\n";
        appendFormat(text,
                     "<BR><TT>x86_64-w64-mingw32-gcc -shared -Ic:/jdk/include -Ic:/jdk/include/win32 %s.c "
                     "-o %s.dll -lole32 -loleaut32 -luuid</TT><BR>\n",
                     {base, base});
        text += "Replace c:/jdk/ with the appropriate JDK location if necessary.\n\n";
    } else {
        text += "To build the JNI library, make sure you have setup\n"
                "the environment correctly for CL or another compiler.  (See\n"
                "Mivra documentation for help with this.)  Then run the command\n";
        appendFormat(text,
                     "<BR><TT>cl -Ic:/jdk1.3/include -Ic:/jdk1.3/include/win32 -LD %s.c -Fe%s.dll ole32.lib "
                     "oleaut32.lib uuid.lib</TT><BR>\n",
                     {base, base});
        text += "or for mingw,\n";
        appendFormat(text, "<BR><TT>gcc -c -Ic:/jdk1.3/include -Ic:/jdk1.3/include/win32 -fvtable-thunks %s.c</TT>\n",
                     {base});
        appendFormat(text, "<BR><TT>dllwrap %s.o --add-stdcall-alias -lole32 -loleaut32 -luuid -o %s.dll</TT><BR>\n",
                     {base, base});
        text += "Replace c:/jdk1.3/ with the appropriate JDK location if necessary.\n\n";
    }
    text += "</UL><P>\nWhen executing programs that use these Java classes\n";
    appendFormat(text, "the %s.dll file must be available in one of the following\n", {base});
    text += "locations (a) the current directory (b) the directory where java.exe\n";
    appendFormat(text, "resides, (c) the %s directory ", {htmlText(context.windowsDirectory())});
    appendFormat(text, "or (d) the %s directory\n", {htmlText(context.systemDirectory())});
    text += "\n</BODY></HTML>\n";
    file->write(text);
    return true;
}

}  // namespace mivra
