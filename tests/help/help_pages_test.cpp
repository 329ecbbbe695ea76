// Checks the user guide as shipped: the pages the installer carries exist and
// parse, every link inside the guide lands on a file and an anchor that exist,
// the pictures are real GIF images, and the release notes keep the CR LF line
// ends and the $TGTDIR marks that the installer's substitution relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <queue>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path helpDir = fs::path(MIVRA_SOURCE_DIR) / "help";

// The names of the installer archive's help entries, exactly.
const std::vector<std::string> archivePages = {
    "BaseClasses.html", "Buildsteps.html", "Classes.html", "Index.html",
    "Mivra.html",       "Overview.html",   "Tutorial.html", "Tut2.html",
    "Tut3.html",        "Tut4.html",       "Tut5.html",     "Tut6.html"};
const std::vector<std::string> archivePictures = {"dialogbox.gif", "overview.gif",
                                                  "sampleinput.gif"};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Tag {
    std::string name;
    std::map<std::string, std::string> attributes;
};

// What the checker learns from one page: the problems it found, the ids it
// defines, every href/src value, and the text of the title element.
struct Page {
    std::vector<std::string> problems;
    std::set<std::string> ids;
    std::vector<std::string> references;
    std::vector<Tag> tags;
    std::string title;
    bool hasDoctype = false;
};

bool isVoidElement(const std::string& name) {
    static const std::set<std::string> voids = {"area", "base", "br",   "col",   "embed", "hr",
                                                "img",  "input", "link", "meta", "source", "track",
                                                "wbr"};
    return voids.count(name) > 0;
}

// Checks an entity reference starting at text[at] == '&'; yields its length.
std::optional<size_t> entityLength(const std::string& text, size_t at) {
    size_t i = at + 1;
    if (i < text.size() && text[i] == '#') {
        ++i;
        bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex) ++i;
        size_t digits = i;
        while (i < text.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text[i]))
                                       : std::isdigit(static_cast<unsigned char>(text[i]))))
            ++i;
        if (i == digits) return std::nullopt;
    } else {
        size_t letters = i;
        while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i]))) ++i;
        if (i == letters) return std::nullopt;
    }
    if (i >= text.size() || text[i] != ';') return std::nullopt;
    return i + 1 - at;
}

// A strict reading of the HTML we write ourselves: every non-void element is
// closed explicitly and in order, attribute values are quoted or plain words,
// text holds no raw '<' and only complete entity references.
Page checkPage(const std::string& text) {
    Page page;
    std::vector<std::string> open;
    size_t line = 1;
    auto problem = [&](const std::string& what) {
        page.problems.push_back("line " + std::to_string(line) + ": " + what);
    };
    size_t i = 0;
    bool inTitle = false;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\n') ++line;
        if (c == '&') {
            auto length = entityLength(text, i);
            if (!length) {
                problem("bare '&' or incomplete entity");
                ++i;
            } else {
                if (inTitle) page.title += text.substr(i, *length);
                i += *length;
            }
            continue;
        }
        if (c != '<') {
            if (inTitle) page.title += c;
            ++i;
            continue;
        }
        if (text.compare(i, 4, "<!--") == 0) {
            size_t end = text.find("-->", i + 4);
            if (end == std::string::npos) {
                problem("comment not closed");
                break;
            }
            line += std::count(text.begin() + i, text.begin() + end, '\n');
            i = end + 3;
            continue;
        }
        size_t end = text.find('>', i);
        if (end == std::string::npos) {
            problem("'<' without '>'");
            break;
        }
        std::string inside = text.substr(i + 1, end - i - 1);
        size_t tagLine = line;
        line += std::count(inside.begin(), inside.end(), '\n');
        i = end + 1;
        if (!inside.empty() && inside[0] == '!') {
            if (lower(inside) == "!doctype html") {
                if (!page.tags.empty() || page.hasDoctype) problem("doctype not first");
                page.hasDoctype = true;
            } else {
                problem("unknown declaration <" + inside + ">");
            }
            continue;
        }
        bool closing = !inside.empty() && inside[0] == '/';
        size_t p = closing ? 1 : 0;
        size_t nameStart = p;
        while (p < inside.size() && std::isalnum(static_cast<unsigned char>(inside[p]))) ++p;
        std::string name = lower(inside.substr(nameStart, p - nameStart));
        if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) {
            line = tagLine;
            problem("raw '<' in text (write &lt;)");
            line += std::count(inside.begin(), inside.end(), '\n');
            continue;
        }
        if (closing) {
            if (open.empty() || open.back() != name) {
                problem("</" + name + "> closes " + (open.empty() ? "nothing" : "<" + open.back() + ">"));
            } else {
                open.pop_back();
            }
            if (name == "title") inTitle = false;
            continue;
        }
        Tag tag{name, {}};
        while (p < inside.size()) {
            while (p < inside.size() && std::isspace(static_cast<unsigned char>(inside[p]))) ++p;
            if (p >= inside.size() || inside[p] == '/') break;
            size_t attrStart = p;
            while (p < inside.size() && !std::isspace(static_cast<unsigned char>(inside[p])) &&
                   inside[p] != '=')
                ++p;
            std::string attr = lower(inside.substr(attrStart, p - attrStart));
            std::string value;
            if (p < inside.size() && inside[p] == '=') {
                ++p;
                if (p < inside.size() && (inside[p] == '"' || inside[p] == '\'')) {
                    char quote = inside[p];
                    size_t close = inside.find(quote, p + 1);
                    if (close == std::string::npos) {
                        problem("unterminated attribute value in <" + name + ">");
                        break;
                    }
                    value = inside.substr(p + 1, close - p - 1);
                    p = close + 1;
                } else {
                    size_t valueStart = p;
                    while (p < inside.size() && !std::isspace(static_cast<unsigned char>(inside[p])))
                        ++p;
                    value = inside.substr(valueStart, p - valueStart);
                }
            }
            if (tag.attributes.count(attr)) problem("attribute " + attr + " twice in <" + name + ">");
            tag.attributes[attr] = value;
        }
        if (auto id = tag.attributes.find("id"); id != tag.attributes.end()) {
            if (!page.ids.insert(id->second).second) problem("id " + id->second + " defined twice");
        }
        for (const char* attr : {"href", "src"}) {
            if (auto ref = tag.attributes.find(attr); ref != tag.attributes.end())
                page.references.push_back(ref->second);
        }
        if (name == "img" && !tag.attributes.count("alt")) problem("<img> without alt text");
        page.tags.push_back(tag);
        if (!isVoidElement(name)) open.push_back(name);
        if (name == "title") inTitle = true;
    }
    for (const auto& name : open) page.problems.push_back("<" + name + "> never closed");
    return page;
}

std::vector<fs::path> helpPages() {
    std::vector<fs::path> pages;
    for (const auto& entry : fs::directory_iterator(helpDir))
        if (entry.path().extension() == ".html") pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    return pages;
}

bool isExternal(const std::string& reference) {
    std::string ref = lower(reference);
    for (const char* scheme : {"http:", "https:", "mailto:", "file:"})
        if (ref.rfind(scheme, 0) == 0) return true;
    return false;
}

TEST(HelpPages, ArchiveEntriesExistUnderTheirExactNames) {
    std::set<std::string> present;
    for (const auto& entry : fs::directory_iterator(helpDir))
        present.insert(entry.path().filename().string());
    for (const auto& name : archivePages) EXPECT_TRUE(present.count(name)) << name;
    for (const auto& name : archivePictures) EXPECT_TRUE(present.count(name)) << name;
}

TEST(HelpPages, PicturesAreRealGifImages) {
    for (const auto& name : archivePictures) {
        std::string bytes = readFile(helpDir / name);
        ASSERT_GE(bytes.size(), 13u) << name;
        EXPECT_TRUE(bytes.rfind("GIF87a", 0) == 0 || bytes.rfind("GIF89a", 0) == 0) << name;
        auto u16 = [&](size_t at) {
            return static_cast<unsigned>(static_cast<uint8_t>(bytes[at])) |
                   static_cast<unsigned>(static_cast<uint8_t>(bytes[at + 1])) << 8;
        };
        // A screenshot, not a one-pixel stand-in.
        EXPECT_GE(u16(6), 200u) << name << " width";
        EXPECT_GE(u16(8), 100u) << name << " height";
    }
}

TEST(HelpPages, EveryPageIsWellFormedWithDoctypeLanguageCharsetAndTitle) {
    auto pages = helpPages();
    ASSERT_GE(pages.size(), archivePages.size());
    for (const auto& path : pages) {
        SCOPED_TRACE(path.filename().string());
        Page page = checkPage(readFile(path));
        for (const auto& p : page.problems) ADD_FAILURE() << p;
        EXPECT_TRUE(page.hasDoctype);
        ASSERT_FALSE(page.tags.empty());
        EXPECT_EQ(page.tags.front().name, "html");
        EXPECT_FALSE(page.tags.front().attributes["lang"].empty());
        bool utf8 = std::any_of(page.tags.begin(), page.tags.end(), [](const Tag& t) {
            auto charset = t.attributes.find("charset");
            return t.name == "meta" && charset != t.attributes.end() && lower(charset->second) == "utf-8";
        });
        EXPECT_TRUE(utf8) << "no <meta charset=\"utf-8\">";
        EXPECT_NE(page.title.find_first_not_of(" \t\r\n"), std::string::npos) << "empty title";
        EXPECT_EQ(std::count_if(page.tags.begin(), page.tags.end(),
                                [](const Tag& t) { return t.name == "title"; }),
                  1);
    }
}

TEST(HelpPages, InternalLinksAndAnchorsResolve) {
    std::map<std::string, Page> checked;
    for (const auto& path : helpPages()) checked[path.filename().string()] = checkPage(readFile(path));
    for (const auto& [name, page] : checked) {
        for (const auto& reference : page.references) {
            SCOPED_TRACE(name + " -> " + reference);
            if (isExternal(reference)) continue;
            EXPECT_EQ(reference.find('\\'), std::string::npos) << "backslash in a link";
            std::string file = reference.substr(0, reference.find('#'));
            std::string anchor =
                reference.find('#') == std::string::npos ? "" : reference.substr(reference.find('#') + 1);
            std::string target = file.empty() ? name : file;
            fs::path targetPath = helpDir / target;
            ASSERT_TRUE(fs::is_regular_file(targetPath)) << "missing file";
            // Windows finds files without regard to case, Linux does not: the
            // link must match the name exactly to work on both.
            EXPECT_EQ(fs::canonical(targetPath).filename().string(), fs::path(target).filename().string());
            if (!anchor.empty()) {
                ASSERT_TRUE(checked.count(target)) << "anchor into a non-page";
                EXPECT_TRUE(checked[target].ids.count(anchor)) << "missing id";
            }
        }
    }
}

TEST(HelpPages, EveryPageIsReachableFromIndexAndLinksBackToIt) {
    std::map<std::string, Page> checked;
    for (const auto& path : helpPages()) checked[path.filename().string()] = checkPage(readFile(path));
    std::set<std::string> reached = {"Index.html"};
    std::queue<std::string> todo;
    todo.push("Index.html");
    while (!todo.empty()) {
        std::string name = todo.front();
        todo.pop();
        for (const auto& reference : checked[name].references) {
            if (isExternal(reference)) continue;
            std::string file = reference.substr(0, reference.find('#'));
            if (checked.count(file) && reached.insert(file).second) todo.push(file);
        }
    }
    for (const auto& [name, page] : checked) {
        EXPECT_TRUE(reached.count(name)) << name << " cannot be reached from Index.html";
        bool linksHome = std::any_of(page.references.begin(), page.references.end(),
                                     [](const std::string& r) { return r == "Index.html"; });
        EXPECT_TRUE(linksHome) << name << " has no link to Index.html";
    }
}

// Every page has the same navigation bar (only the mark of the current page
// moves), and every picture sits in a figure, which keeps it to the column.
TEST(HelpPages, OneNavigationBarAndPicturesInFigures) {
    const auto navigation = [](const std::string& text) {
        const size_t start = text.find("<nav class=\"guide\">"), end = text.find("</nav>", start);
        std::string links = start == std::string::npos || end == std::string::npos ? "" : text.substr(start, end - start);
        for (size_t at; (at = links.find(" class=\"here\"")) != std::string::npos;) links.erase(at, 13);
        return links;
    };
    const std::string expected = navigation(readFile(helpDir / "Index.html"));
    for (const char* page : {"Runtime.html", "Maven.html"})
        EXPECT_NE(expected.find(std::string("href=\"") + page + "\""), std::string::npos) << page;
    for (const auto& path : helpPages()) {
        const std::string text = readFile(path);
        EXPECT_EQ(navigation(text), expected) << path.filename();
        for (size_t at = text.find("<img"); at != std::string::npos; at = text.find("<img", at + 1)) {
            const size_t figure = text.rfind("<figure>", at), closed = text.rfind("</figure>", at);
            EXPECT_TRUE(figure != std::string::npos && (closed == std::string::npos || closed < figure))
                << path.filename() << ": a picture outside a figure at byte " << at;
        }
    }
}

TEST(HtmlChecker, FindsTheFaultsItIsThereFor) {
    EXPECT_TRUE(checkPage("<!DOCTYPE html><html lang=\"en\"><p>a</p></html>").problems.empty());
    EXPECT_FALSE(checkPage("<html><p><b>a</p></b></html>").problems.empty());
    EXPECT_FALSE(checkPage("<html><ul><li>a</ul></html>").problems.empty());
    EXPECT_FALSE(checkPage("<html><pre>List<String> x;</pre></html>").problems.empty());
    EXPECT_FALSE(checkPage("<html><p>for (i = 0; i < n; i++)</p></html>").problems.empty());
    EXPECT_FALSE(checkPage("<html><p>A & B</p></html>").problems.empty());
    EXPECT_FALSE(checkPage("<html><p id=\"a\">x</p><p id=\"a\">y</p></html>").problems.empty());
    EXPECT_FALSE(checkPage("<html><img src=\"x.gif\"></html>").problems.empty());
    Page page = checkPage("<html><br><img src=\"a.gif\" alt=\"\"><a href='b.html#c'>&lt;&#38;&#x26;</a></html>");
    EXPECT_TRUE(page.problems.empty());
    EXPECT_EQ(page.references, (std::vector<std::string>{"a.gif", "b.html#c"}));
}

TEST(ReleaseNotes, CrLfLineEndsAndInstalledFilesNamedThroughTargetFolder) {
    std::string text = readFile(fs::path(MIVRA_SOURCE_DIR) / "Readme.txt");
    ASSERT_FALSE(text.empty());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at byte " << i;
        }
        if (text[i] == '\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at byte " << i;
        }
    }
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_NE(text.find("$TGTDIR\\help\\Index.html"), std::string::npos);
    EXPECT_NE(text.find("$TGTDIR\\sample\\jbrowse.dll"), std::string::npos);
    // The installer substitutes every $NAME it knows, in any case; the notes
    // use the target folder and nothing else.
    for (size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + 1))
        EXPECT_EQ(text.compare(at, 7, "$TGTDIR"), 0) << "stray '$' at byte " << at;
    // The substitution reads at most 399 characters of a line at a time.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 399u);
}

TEST(HelpPages, InstalledFilesTableNamesThePathsOfBothSystems) {
    const std::string index = readFile(fs::path(MIVRA_SOURCE_DIR) / "help" / "Index.html");
    const auto table = index.substr(index.find("<h2 id=\"installed\">"));
    for (const char* row : {"<td><code>Mivra.exe</code></td><td><code>Mivra</code></td>",
                            "<td><code>help\\</code></td><td><code>help/</code></td>",
                            "<td><code>icon\\</code></td><td><code>icon/</code></td>",
                            "<td><code>sample\\jbrowse.dll</code></td><td><code>sample/jbrowse.dll</code></td>",
                            "<td><code>Uninstaller.exe</code></td><td><code>Uninstaller</code></td>"})
        EXPECT_NE(table.find(row), std::string::npos) << row;
}

}  // namespace
