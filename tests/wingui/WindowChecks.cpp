// The Win32 builder window under Wine, driven through its controls and keys
// from a second thread while the main thread runs it as mivra.exe does.
//   wingui_tests CHECK            one of the checks below; exit 0 when it passed
//   wingui_tests pictures FOLDER  PNG pictures of every window into FOLDER
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "BuildChecks.h"
#include "ClassRegistry.h"
#include "Commands.h"
#include "RegistryLookups.h"
#include "Win32Resources.h"
#include "WindowDriver.h"

namespace mivra::wingui {
int failureCount();
}

using namespace mivra;
using namespace mivra::wingui;
namespace fs = std::filesystem;

namespace {

const std::string mainCaption = "Mivra:  COM to Java JNI bridge builder";
const std::string pickerCaption = "Select COM/ActiveX Object";
const std::string progIdCaption = "Locate COM/ActiveX object by ProgID";

struct Window {
    HWND dialog = nullptr;
    HWND item(int id) const { return GetDlgItem(dialog, id); }
    HWND input() const { return item(IDC_INPUT); }
    HWND output() const { return item(IDC_OUTPUT); }
    HWND package() const { return item(IDC_PACKAGE); }
    HWND library() const { return item(IDC_LIBRARY); }
    std::vector<std::string> fields() const {
        return {text(input()), text(output()), text(package()), text(library())};
    }
    void fill(const std::string& in, const std::string& out, const std::string& pkg, const std::string& lib) const {
        setText(input(), in);
        setText(output(), out);
        setText(package(), pkg);
        setText(library(), lib);
    }
};

std::string joined(const std::vector<std::string>& parts) {
    std::string all;
    for (const auto& p : parts) all += (all.empty() ? "" : " | ") + p;
    return all;
}

// A fresh folder under the temporary folder, removed at the end.
struct Scratch {
    fs::path root;
    Scratch() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        root = fs::path(base) / ("mivra-wingui-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string path(const std::string& below = {}) const {
        return utf8((below.empty() ? root : root / wide(below)).wstring());
    }
};

void expectMessage(const std::string& expected, const std::string& what) {
    MessageBoxSeen box = waitForMessageBox(ownName());
    expectEqual(box.text, expected, what);
    expect(box.ok && !box.cancel, what + ": a message box has OK only");
    expect(!box.icon, what + ": a message box has no icon");
    answer(box, IDOK);
}

void checkControls(const Window& w) {
    expectEqual(staticTexts(w.dialog),
                std::vector<std::string>{
                    "This tool generates a Java wrapper for a given COM or ActiveX object, as well as a JNI "
                    "implementation module.",
                    "Enter the pathname for the COM or ActiveX library information.  Typically this is the path of "
                    "the COM .dll, .exe or .ocx file.  Sometimes it may be a separate  .tlb file.",
                    "&Input",
                    "Enter below a folder where the output Java and C++ files are to be placed.  (This should be "
                    "empty to avoid confusion with existing files.  If folder doesn't exist it will be created.)",
                    "&Output", "Specify a package name for generated Java files", "&Package",
                    "Specify a name for the JNI Library", "&Library"},
                "texts from top to bottom");
    expectEqual(text(w.item(IDC_SELECT)), "Select...", "Input's button");
    expectEqual(text(w.item(IDC_BROWSE_OUTPUT)), "Browse...", "Output's button");
    expectEqual(text(w.item(IDOK)), "Build", "Build");
    expectEqual(text(w.item(IDCANCEL)), "Close", "Close");
    expectEqual(text(w.item(IDC_LONG_HANDLES)), "&64-bit Java (long handles)", "the handles box");
    expectEqual(text(w.item(IDC_FULL_MAPPING)), "&Full bindings on the Mivra runtime (Java only)", "the mapping box");
    expect(LOWORD(SendMessageW(w.dialog, DM_GETDEFID, 0, 0)) == IDOK, "Build is the default button");
    HWND help = w.item(IDC_HELP_BUTTON);
    expect(help && !IsWindowVisible(help) && text(help) == "&Help", "a hidden &Help button");
    for (HWND field : {w.input(), w.output(), w.package(), w.library()}) expectEqual(text(field), "", "empty field");
    expect(SendMessageW(w.dialog, WM_GETICON, ICON_BIG, 0) && SendMessageW(w.dialog, WM_GETICON, ICON_SMALL, 0),
           "large and small icons");

    // The system menu ends with a separator and the About item.
    HMENU menu = GetSystemMenu(w.dialog, FALSE);
    int count = GetMenuItemCount(menu);
    expect(count >= 2, "the system menu has items");
    if (count >= 2) {
        MENUITEMINFOW separator{};
        separator.cbSize = sizeof separator;
        separator.fMask = MIIM_FTYPE;
        GetMenuItemInfoW(menu, count - 2, TRUE, &separator);
        expect(separator.fType & MFT_SEPARATOR, "a separator before the About item");
        wchar_t label[64] = L"";
        GetMenuStringW(menu, count - 1, label, 64, MF_BYPOSITION);
        expectEqual(utf8(label), "&About Mivra...", "the last system-menu item");
        expectEqual(static_cast<int>(GetMenuItemID(menu, count - 1)), IDM_ABOUT, "its command");
    }
    PostMessageW(w.dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
    HWND about = waitForTopLevel("About Mivra");
    expectEqual(staticTexts(about), std::vector<std::string>{"Mivra Version 1.0"}, "the About box's text");
    bool icon = false;
    for (HWND child : children(about, L"Static"))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && SendMessageW(child, STM_GETICON, 0, 0))
            icon = true;
    expect(icon, "the About box shows the program icon");
    expectEqual(text(GetDlgItem(about, IDOK)), "OK", "the About box's button");
    press(GetDlgItem(about, IDOK));
    waitUntilGone(about, "the About box");

    // Tab runs top to bottom, each field before its button.
    std::vector<int> order = {IDC_SELECT, IDC_OUTPUT, IDC_BROWSE_OUTPUT, IDC_PACKAGE, IDC_LIBRARY,
                              IDC_LONG_HANDLES, IDC_FULL_MAPPING, IDOK, IDCANCEL, IDC_INPUT};
    SendMessageW(w.dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(w.input()), TRUE);
    waitFor([&] { return focused() == w.input() ? w.input() : nullptr; }, "the focus on Input");
    for (int id : order) {
        HWND from = focused();
        postKey(from, VK_TAB);
        try {
            waitFor([&] { return focused() != from ? focused() : nullptr; }, "the focus to move", 5000);
        } catch (const CheckAborted&) {
        }
        expectEqual(GetDlgCtrlID(focused()), id, "Tab order");
    }
    // Alt and a label's letter move to its field.
    for (auto [letter, id] : {std::pair{'o', IDC_OUTPUT}, {'l', IDC_LIBRARY}, {'p', IDC_PACKAGE}, {'i', IDC_INPUT}}) {
        PostMessageW(focused(), WM_SYSCHAR, letter, 1 | (1 << 29));
        try {
            waitFor([&, id = id] { return GetDlgCtrlID(focused()) == id ? focused() : nullptr; }, "the mnemonic", 5000);
        } catch (const CheckAborted&) {
        }
        expectEqual(GetDlgCtrlID(focused()), id, std::string("Alt+") + letter);
    }
    // Enter is Build, Escape is Close.
    postKey(w.input(), VK_RETURN);
    expectMessage("Please specify a COM source", "Enter builds");
    postKey(w.input(), VK_ESCAPE);
    waitUntilGone(w.dialog, "Escape closing the window");
}

void checkLibraryFollowsInput(const Window& w) {
    std::string typed;
    for (char c : std::string("C:\\lib\\Foo.ocx")) {
        type(w.input(), std::string(1, c));
        typed += c;
        expectEqual(text(w.library()), defaultLibraryName(typed), "Library after typing \"" + typed + "\"");
    }
    expectEqual(text(w.library()), "JFoo.dll", "Library for C:\\lib\\Foo.ocx");
    clearByKeys(w.input());
    expectEqual(text(w.library()), "", "Library after Input was cleared");
    type(w.input(), "x.dll");
    expectEqual(text(w.library()), "Jx.dll", "Library follows again");
    type(w.library(), "\b");
    expectEqual(text(w.library()), "Jx.dl", "the user's edit");
    type(w.input(), "other");
    expectEqual(text(w.library()), "Jx.dl", "Library once edited stays");
    clearByKeys(w.library());
    type(w.input(), "more");
    expectEqual(text(w.library()), "", "an emptied Library stays empty");
}

void checkRefusals(const Window& w, const Scratch& scratch) {
    const std::string out = scratch.path();
    struct Case {
        std::string in, out, package, library, message;
    } cases[] = {
        {"", out, "p", "Jx.dll", "Please specify a COM source"},
        {"x.dll", "", "p", "Jx.dll", "Please specify an output folder"},
        {"x.dll", out, "", "Jx.dll", "Please specify a package name for generated Java classes"},
        {"x.dll", out, "p", "", "Please specify a name for the JNI library file"},
        {"C:\\a\\Foo.dll", out, "p", "foo.DLL", "The JNI library must not have the same name as the COM DLL"},
    };
    for (const Case& c : cases) {
        w.fill(c.in, c.out, c.package, c.library);
        press(w.item(IDOK));
        expectMessage(c.message, "refusal");
        expect(IsWindowVisible(w.dialog), "the window stays open after \"" + c.message + "\"");
        expectEqual(joined(w.fields()), joined({c.in, c.out, c.package, c.library}), "fields kept");
    }
    expect(fs::is_empty(scratch.root), "nothing was written");
}

void checkEnsureFolderAndFailedRun(const Window& w, const Scratch& scratch) {
    const std::string deep = scratch.path("a\\b\\c");
    const std::string source = "C:\\no\\such\\Source.dll";
    w.fill(source, deep + "\\", "com.example", "JSource.dll");
    press(w.item(IDOK));
    MessageBoxSeen question = waitForMessageBox(ownName());
    expectEqual(question.text, deep + " does not exist, create? ", "the question names the folder without \\");
    expect(question.ok && question.cancel && !question.icon, "the question has OK and Cancel, no icon");
    answer(question, IDOK);
    expectMessage(source + ": File does not exist", "the run's failure");
    expect(fs::is_directory(scratch.root / "a" / "b" / "c"), "the folder and its parents were made");
    expect(IsWindowVisible(w.dialog), "a failed run keeps the window");
    expectEqual(joined(w.fields()), joined({source, deep, "com.example", "JSource.dll"}),
                "a failed run keeps every field (Output without its \\)");

    // An existing folder is not asked about.
    press(w.item(IDOK));
    expectMessage(source + ": File does not exist", "the run's failure again, no question");

    const std::string refused = scratch.path("no\\thanks");
    setText(w.output(), refused);
    press(w.item(IDOK));
    MessageBoxSeen cancelled = waitForMessageBox(ownName());
    expectEqual(cancelled.text, refused + " does not exist, create? ", "the question");
    answer(cancelled, IDCANCEL);
    expect(!fs::exists(scratch.root / "no"), "Cancel creates nothing");

    {
        std::FILE* file = _wfopen((scratch.root / "file").c_str(), L"w");
        if (file) std::fclose(file);
    }
    setText(w.output(), scratch.path("file"));
    press(w.item(IDOK));
    expectMessage(scratch.path("file") + ": is not a directory!", "an output that is a file");
    expect(IsWindowVisible(w.dialog), "the window stays");
    // No message box is left behind: Close ends the window.
    press(w.item(IDCANCEL));
    waitUntilGone(w.dialog, "Close");
}

void checkSuccessfulRun(const Window& w, const Scratch& scratch) {
    const std::string out = scratch.path("run");
    // jbrowse is the sample's name: its readme is not opened.
    w.fill("C:\\windows\\system32\\scrrun.dll", out, "com.example.scripting", "jbrowse.dll");
    press(w.item(IDC_LONG_HANDLES));
    press(w.item(IDOK));
    MessageBoxSeen question = waitForMessageBox(ownName());
    expectEqual(question.text, out + " does not exist, create? ", "the question");
    answer(question, IDOK);
    waitUntilGone(w.dialog, "the window after a successful run", 120000);
    expect(fs::exists(scratch.root / "run" / "jbrowse.c"), "the C file was written");
    expect(fs::exists(scratch.root / "run" / "Dictionary.java"), "the Dictionary class was written");
    expect(fs::exists(scratch.root / "run" / "readme.html"), "the readme was written");
    std::string java;
    if (std::FILE* file = _wfopen((scratch.root / "run" / "MivraObject.java").c_str(), L"r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) java.append(buffer, n);
        std::fclose(file);
    }
    expect(java.find("long comId") != std::string::npos, "the 64-bit box gave long handles");
}

// The full bindings: no JNI library to name, Java only.
void checkFullRun(const Window& w, const Scratch& scratch) {
    const std::string out = scratch.path("full");
    w.fill("C:\\windows\\system32\\scrrun.dll", out, "com.example.scripting", "");
    press(w.item(IDC_FULL_MAPPING));
    waitFor([&] { return IsWindowEnabled(w.library()) ? nullptr : w.library(); }, "Library to be disabled");
    expect(!IsWindowEnabled(w.item(IDC_LONG_HANDLES)), "the handles box is disabled");
    press(w.item(IDOK));
    MessageBoxSeen question = waitForMessageBox(ownName());
    expectEqual(question.text, out + " does not exist, create? ", "the question");
    answer(question, IDOK);
    waitUntilGone(w.dialog, "the window after a successful run", 120000);
    expect(fs::exists(scratch.root / "full" / "Dictionary.java"), "the Dictionary class was written");
    expect(fs::exists(scratch.root / "full" / "readme.html"), "the readme was written");
    expect(!fs::exists(scratch.root / "full" / "MivraObject.java"), "no support classes: they are in the runtime");
    bool cFile = false;
    for (const auto& entry : fs::directory_iterator(scratch.root / "full"))
        if (entry.path().extension() == ".c") cFile = true;
    expect(!cFile, "no C file");
}

// The registered libraries as the picker must show them.
RegisteredLibraryList expectedLibraries() {
    auto registry = openClassRegistry();
    RegisteredLibraryList list;
    listRegisteredLibraries(*registry, {}, {}, list);
    return list;
}

std::vector<std::string> listLines(HWND box) {
    std::vector<std::string> lines;
    LRESULT count = SendMessageW(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring line(static_cast<size_t>(SendMessageW(box, LB_GETTEXTLEN, i, 0)), L'\0');
        SendMessageW(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        lines.push_back(utf8(line));
    }
    return lines;
}

void clickLine(HWND box, int line) {
    RECT r{};
    SendMessageW(box, LB_SETTOPINDEX, line, 0);
    SendMessageW(box, LB_GETITEMRECT, line, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(box, WM_LBUTTONUP, 0, at);
}

HWND openPicker(const Window& w) {
    press(w.item(IDC_SELECT));
    return waitForTopLevel(pickerCaption, 120000);
}

void checkPicker(const Window& w) {
    RegisteredLibraryList expected = expectedLibraries();
    expect(!expected.displayTexts.empty(), "the prefix has registered libraries");
    HWND picker = openPicker(w);
    expectEqual(staticTexts(picker),
                std::vector<std::string>{
                    "&File",
                    "If the COM or ActiveX object is registered, you can select its name from this list.  "
                    "Otherwise, click the \"Browse...\" button to locate the .DLL, .EXE, .OCX or the .TLB file that "
                    "contains the type library information for the COM/ActiveX object.",
                    "If you know the \"ProgID\" (a string typically of the form \"application.objtype\") of the COM "
                    "or ActiveX object, click this button to locate its file."},
                "the picker's texts");
    expectEqual(text(GetDlgItem(picker, IDC_BROWSE_FILE)), "Browse...", "Browse");
    expectEqual(text(GetDlgItem(picker, IDC_LOCATE)), "Locate by ProgID", "Locate by ProgID");
    expect(LOWORD(SendMessageW(picker, DM_GETDEFID, 0, 0)) == IDOK, "OK is the picker's default button");
    HWND box = GetDlgItem(picker, IDC_LIBRARY_LIST);
    expect(GetWindowLongW(box, GWL_STYLE) & WS_VSCROLL, "the list has a vertical scroll bar");
    RECT listArea{};
    GetClientRect(box, &listArea);
    const LRESULT rowHeight = SendMessageW(box, LB_GETITEMHEIGHT, 0, 0);
    expect(rowHeight > 0 && listArea.bottom % rowHeight == 0, "the list shows whole rows, the last one not cut");
    std::vector<std::string> lines = listLines(box);
    // The order every picker shows, the Qt one too.
    std::vector<std::string> wanted;
    for (size_t position : sortedLibraryOrder(expected)) wanted.push_back(expected.displayTexts[position]);
    expectEqual(lines.size(), wanted.size(), "one line per registered library");
    expect(lines == wanted, "the lines are the registered libraries' texts in the shared order");

    std::map<std::string, std::string> pathOf;
    for (size_t i = 0; i < expected.displayTexts.size(); ++i) pathOf[expected.displayTexts[i]] = expected.paths[i];
    const int chosen = static_cast<int>(std::min<size_t>(lines.size(), 3)) - 1;
    if (chosen >= 0) {
        clickLine(box, chosen);
        waitForText(GetDlgItem(picker, IDC_FILE), pathOf[lines[chosen]], "File after choosing a line");
    }
    press(GetDlgItem(picker, IDOK));
    waitUntilGone(picker, "the picker");
    const std::string path = chosen >= 0 ? pathOf[lines[chosen]] : "";
    expectEqual(text(w.input()), path, "OK puts File into Input");
    expectEqual(text(w.library()), defaultLibraryName(path), "and the default Library");

    // A second opening shows the same lines; Cancel keeps Input.
    picker = openPicker(w);
    box = GetDlgItem(picker, IDC_LIBRARY_LIST);
    expectEqual(listLines(box).size(), lines.size(), "the second opening's lines");
    if (!lines.empty()) {
        clickLine(box, 0);
        waitForText(GetDlgItem(picker, IDC_FILE), pathOf[lines[0]], "File after choosing the first line");
    }
    press(GetDlgItem(picker, IDCANCEL));
    waitUntilGone(picker, "the cancelled picker");
    expectEqual(text(w.input()), path, "Cancel keeps Input");

    // OK with an empty File empties Input and the default Library.
    picker = openPicker(w);
    press(GetDlgItem(picker, IDOK));
    waitUntilGone(picker, "the picker");
    expectEqual(text(w.input()), "", "OK with an empty File");
    expectEqual(text(w.library()), "", "Library follows");
}

void checkProgId(const Window& w) {
    HWND picker = openPicker(w);
    HWND file = GetDlgItem(picker, IDC_FILE);
    auto locate = [&](const std::string& progId) {
        press(GetDlgItem(picker, IDC_LOCATE));
        HWND window = waitForTopLevel(progIdCaption);
        expectEqual(staticTexts(window), std::vector<std::string>{"&ProgID:"}, "the ProgID window's label");
        expect(LOWORD(SendMessageW(window, DM_GETDEFID, 0, 0)) == IDOK, "OK is its default button");
        if (progId.empty()) {
            press(GetDlgItem(window, IDOK));
            expectMessage("Please enter ProgID", "OK with an empty ProgID");
            expect(IsWindowVisible(window), "the ProgID window stays");
            press(GetDlgItem(window, IDCANCEL));
        } else {
            type(GetDlgItem(window, IDC_PROGID), progId);
            press(GetDlgItem(window, IDOK));
        }
        waitUntilGone(window, "the ProgID window");
    };
    locate("");
    auto registry = openClassRegistry();
    auto server = locateServerByProgId(*registry, "Scripting.Dictionary", {});
    expect(server.has_value(), "the prefix registers Scripting.Dictionary");
    // A line chosen before the lookup is no longer highlighted after it,
    // unless it names the file found.
    HWND box = GetDlgItem(picker, IDC_LIBRARY_LIST);
    clickLine(box, 0);
    waitFor([&] { return SendMessageW(box, LB_GETCURSEL, 0, 0) == 0 ? box : nullptr; }, "the first line chosen");
    locate("Scripting.Dictionary");
    waitForText(file, server.value_or(""), "File after the ProgID lookup");
    // The server may itself hold a registered library: then its line is the one highlighted.
    RegisteredLibraryList expected = expectedLibraries();
    std::vector<size_t> order = sortedLibraryOrder(expected);
    waitFor(
        [&] {
            LRESULT highlighted = SendMessageW(box, LB_GETCURSEL, 0, 0);
            bool right = highlighted == LB_ERR ||
                         (static_cast<size_t>(highlighted) < order.size() &&
                          expected.paths[order[static_cast<size_t>(highlighted)]] == server.value_or(""));
            return right ? box : nullptr;
        },
        "no line stays highlighted for another file after the lookup");
    locate("No.Such.Id");
    expectMessage("No.Such.Id: this id was not found", "an unknown ProgID");
    expectEqual(text(file), server.value_or(""), "File stays after a failed lookup");
    press(GetDlgItem(picker, IDOK));
    waitUntilGone(picker, "the picker");
    expectEqual(text(w.input()), server.value_or(""), "Input from the ProgID lookup");
}

void checkHelp(const Window& w) {
    const std::string page = ownFolder() + "\\help\\Index.html";
    // Beside this program there are no help pages: the shell cannot open one.
    postKey(w.input(), VK_F1);
    expectMessage(page + ": Cannot open", "F1");
    press(w.item(IDC_HELP_BUTTON));
    expectMessage(page + ": Cannot open", "the hidden help button");
}

void takePictures(const Window& w, const std::string& folder) {
    auto save = [&](HWND window, const char* name) {
        expect(saveWindowPicture(window, folder + "\\" + name), std::string("picture ") + name);
    };
    save(w.dialog, "win-builder-empty.png");
    w.fill("C:\\windows\\system32\\shdocvw.dll", "C:\\tutorial", "mvx.tutorial", "jbrowse.dll");
    save(w.dialog, "win-builder-filled.png");
    PostMessageW(w.dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
    HWND about = waitForTopLevel("About Mivra");
    save(about, "win-about.png");
    press(GetDlgItem(about, IDOK));
    waitUntilGone(about, "the About box");
    HWND picker = openPicker(w);
    HWND box = GetDlgItem(picker, IDC_LIBRARY_LIST);
    std::vector<std::string> lines = listLines(box);
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind("SHDocVw", 0) == 0) {
            clickLine(box, static_cast<int>(i));
            waitFor([&] { return text(GetDlgItem(picker, IDC_FILE)).empty() ? nullptr : picker; }, "File");
            break;
        }
    save(picker, "win-source-picker.png");
    press(GetDlgItem(picker, IDC_LOCATE));
    HWND progId = waitForTopLevel(progIdCaption);
    type(GetDlgItem(progId, IDC_PROGID), "Shell.Explorer");
    save(progId, "win-progid.png");
    press(GetDlgItem(progId, IDCANCEL));
    waitUntilGone(progId, "the ProgID window");
    press(GetDlgItem(picker, IDCANCEL));
    waitUntilGone(picker, "the picker");
    setText(w.input(), "");
    press(w.item(IDOK));
    MessageBoxSeen box2 = waitForMessageBox(ownName());
    save(box2.window, "win-message.png");
    answer(box2, IDOK);
}

// Ends whatever windows are still open so that the main thread returns.
void closeEverything() {
    for (int round = 0; round < 20; ++round) {
        HWND main = findTopLevel(mainCaption);
        if (!main) return;
        for (const std::string& caption : {ownName(), progIdCaption, pickerCaption, std::string("About Mivra")})
            if (HWND window = findTopLevel(caption)) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        PostMessageW(main, WM_CLOSE, 0, 0);
        Sleep(50);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string check = argc > 1 ? argv[1] : "";
    std::string folder = argc > 2 ? argv[2] : "";
    setUiThread(GetCurrentThreadId());
    const std::map<std::string, std::function<void(const Window&, const Scratch&)>> checks = {
        {"controls", [](const Window& w, const Scratch&) { checkControls(w); }},
        {"library-follows-input", [](const Window& w, const Scratch&) { checkLibraryFollowsInput(w); }},
        {"refusals", checkRefusals},
        {"ensure-folder", checkEnsureFolderAndFailedRun},
        {"successful-run", checkSuccessfulRun},
        {"full-run", checkFullRun},
        {"picker", [](const Window& w, const Scratch&) { checkPicker(w); }},
        {"progid", [](const Window& w, const Scratch&) { checkProgId(w); }},
        {"help", [](const Window& w, const Scratch&) { checkHelp(w); }},
        {"pictures", [&folder](const Window& w, const Scratch&) { takePictures(w, folder); }},
    };
    auto found = checks.find(check);
    if (found == checks.end()) {
        std::fprintf(stderr, "usage: wingui_tests CHECK, one of:");
        for (const auto& [name, run] : checks) std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    Scratch scratch;
    std::thread driver([&] {
        try {
            Window w;
            w.dialog = waitForTopLevel(mainCaption);
            found->second(w, scratch);
        } catch (const CheckAborted& aborted) {
            expect(false, aborted.why);
        }
        closeEverything();
    });
    runBuilderWindow({});
    driver.join();
    std::fprintf(stderr, "%s: %s\n", check.c_str(), failureCount() ? "FAILED" : "passed");
    return failureCount() ? 1 : 0;
}
