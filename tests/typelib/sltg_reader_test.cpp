#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "FileTypeLibraryReader.h"
#include "SltgWriter.h"
#include "MsftTypeLibrary.h"
#include "StandardOleLibrary.h"
#include "TestLibraries.h"
#include "VarType.h"

namespace mivra {
namespace {

std::string sltgPath(const std::string& name) { return std::string(MIVRA_TEST_SLTG) + "/" + name; }

std::string typeText(const TypeLibraryReader& reader, TypeHandle from, const TypeDescription& type, int depth = 0) {
    if (depth > 16) return "...";
    if (type.vt == VT_PTR || type.vt == VT_SAFEARRAY || type.vt == VT_CARRAY) {
        const char* what = type.vt == VT_PTR ? "ptr(" : type.vt == VT_SAFEARRAY ? "safearray(" : "carray(";
        return what + (type.pointee ? typeText(reader, from, *type.pointee, depth + 1) : "?") + ")";
    }
    if (type.vt != VT_USERDEFINED) return std::to_string(type.vt);
    auto target = reader.referencedType(from, type.reference);
    if (!target) return "user(?)";
    auto attributes = reader.attributesOf(*target);
    auto doc = reader.documentationOf(*target);
    return "user(" + (attributes ? std::to_string(attributes->kind) : "?") + ":" +
           (doc && doc->name ? *doc->name : "?") + ")";
}

// What the model is built from, in the two formats' common terms. Default
// values, doc strings and the VARIANT type of integer constants are left
// out: SLTG keeps none of them.
std::string commonView(const TypeLibraryReader& reader) {
    std::ostringstream out;
    auto library = reader.documentation(-1);
    out << "library " << (library && library->name ? *library->name : "?") << " " << reader.typeInfoCount() << "\n";
    for (uint32_t i = 0; i < reader.typeInfoCount(); ++i) {
        auto a = reader.typeAttributes(i);
        auto doc = reader.documentation(int32_t(i));
        auto handle = reader.typeHandle(i);
        if (!a || !handle) {
            out << "type " << i << " unavailable\n";
            continue;
        }
        out << "type " << i << " " << (doc && doc->name ? *doc->name : "?") << " kind=" << a->kind
            << " guid=" << guidText(a->guid) << " flags=" << a->flags << " impl=" << a->implTypeCount
            << " funcs=" << a->funcCount << " vars=" << a->varCount << "\n";
        for (int32_t j = a->flags & TYPEFLAG_FDUAL ? -1 : 0; j < int32_t(a->implTypeCount); ++j) {
            auto impl = reader.implementedTypeOf(*handle, j);
            if (!impl) {
                out << "  impl " << j << " unavailable\n";
                continue;
            }
            auto ia = reader.attributesOf(impl->type);
            auto idoc = reader.documentationOf(impl->type);
            out << "  impl " << j << " " << (idoc && idoc->name ? *idoc->name : "?") << " kind="
                << (ia ? ia->kind : 99) << " flags=" << impl->implFlags << "\n";
        }
        if (a->kind == TKIND_ALIAS)
            if (auto alias = reader.aliasOf(*handle)) out << "  alias " << typeText(reader, *handle, *alias) << "\n";
        for (uint32_t k = 0; k < a->funcCount; ++k) {
            auto f = reader.function(i, k);
            if (!f) {
                out << "  func " << k << " unavailable\n";
                continue;
            }
            auto names = reader.names(i, f->memberId, uint32_t(f->params.size()) + 1);
            out << "  func " << k << " memid=" << f->memberId << " invkind=" << f->invokeKind
                << " kind=" << f->funcKind << " flags=" << f->flags << " opt=" << f->optionalParamCount
                << " ret=" << typeText(reader, *handle, f->result) << " names=";
            if (names)
                for (const auto& n : *names) out << n << ",";
            for (const auto& p : f->params) {
                uint16_t flags = p.flags;
                if (flags & 0x20) flags &= uint16_t(~0x30);
                out << " [" << typeText(reader, *handle, p.type) << " pf=" << flags << "]";
            }
            out << "\n";
        }
        for (uint32_t k = 0; k < a->varCount; ++k) {
            auto v = reader.variable(i, k);
            if (!v) {
                out << "  var " << k << " unavailable\n";
                continue;
            }
            auto names = reader.names(i, v->memberId, 1);
            out << "  var " << k << " memid=" << v->memberId << " varkind=" << v->varKind << " flags=" << v->flags
                << " type=" << typeText(reader, *handle, v->type)
                << " name=" << (names && !names->empty() ? names->front() : "?");
            if (v->value) {
                if (v->value->text)
                    out << " value=" << *v->value->text;
                else
                    out << " value=" << v->value->integer;
            }
            out << "\n";
        }
    }
    return out.str();
}

std::unique_ptr<FileTypeLibraryReader> readerOf(std::vector<std::byte> bytes) {
    auto reader = makeFileTypeLibraryReader();
    auto loaded = reader->loadBytes(std::move(bytes));
    EXPECT_TRUE(loaded) << (loaded ? "" : loaded.failure().message);
    return reader;
}

Result<std::vector<std::byte>> converted(const std::vector<std::byte>& msft) {
    auto library = MsftTypeLibrary::open(msft, [](const ImportedLibrary&) -> Result<const TypeSource*> {
        return &standardOleLibrary();
    });
    if (!library) return library.failure();
    return test::writeSltg(**library);
}

// everykind.idl: every type kind, converted from widl's MSFT output.
TEST(SltgReader, ReadsBackEveryKindAsTheMsftLibraryItCameFrom) {
    auto msft = test::fileBytes(sltgPath("everykind.tlb"));
    auto sltg = converted(msft);
    ASSERT_TRUE(sltg) << sltg.failure().message;
    auto expected = commonView(*readerOf(msft));
    EXPECT_EQ(commonView(*readerOf(*sltg)), expected);
    // The file the build converted is the same library.
    EXPECT_EQ(test::fileBytes(sltgPath("everykind-sltg.tlb")), *sltg);
    EXPECT_EQ(expected.find("unavailable"), std::string::npos) << expected;
    EXPECT_NE(expected.find("type 11 drawing kind=5"), std::string::npos) << expected;
}

TEST(SltgReader, KeepsWhatTheFormatHolds) {
    auto reader = readerOf(test::fileBytes(sltgPath("everykind-sltg.tlb")));
    ASSERT_EQ(reader->typeInfoCount(), 12u);
    // Enumeration constants, negative and beyond 16 bits, as OLE hands them out.
    auto blue = reader->variable(0, 2);
    ASSERT_TRUE(blue && blue->value);
    EXPECT_EQ(blue->value->vt, VT_INT);
    EXPECT_EQ(blue->value->integer, -7);
    EXPECT_EQ(reader->variable(0, 3)->value->integer, 100000);
    // [optional] counts, [in, out], [lcid] and [retval] flags survive.
    auto describe = reader->function(6, 2);
    ASSERT_TRUE(describe);
    EXPECT_EQ(describe->params[1].flags, 3);
    EXPECT_EQ(describe->params[2].flags, 2);
    auto draw = reader->function(8, 9);
    ASSERT_TRUE(draw);
    EXPECT_EQ(draw->optionalParamCount, 1);
    EXPECT_EQ(draw->params[2].flags, 0x11);
    // No default values in this format.
    EXPECT_FALSE(draw->params[1].defaultValue);
    // The read-only dispatch property.
    auto tool = reader->variable(10, 1);
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->varKind, 3u);
}

}  // namespace
}  // namespace mivra

namespace mivra {
namespace {

uint32_t get16(const std::vector<std::byte>& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8;
}
uint32_t get32(const std::vector<std::byte>& b, size_t at) { return get16(b, at) | get16(b, at + 2) << 16; }
void put16(std::vector<std::byte>& b, size_t at, uint32_t v) {
    b.at(at) = std::byte(v & 0xFF);
    b.at(at + 1) = std::byte((v >> 8) & 0xFF);
}
void put32(std::vector<std::byte>& b, size_t at, uint32_t v) {
    put16(b, at, v);
    put16(b, at + 2, v >> 16);
}

// Where the fields of the converted library are.
struct SltgLayout {
    size_t magic = 0;
    std::vector<size_t> blocks;  // type blocks, then the library block
    size_t items(const std::vector<std::byte>& b, uint32_t type) const {
        return blocks[type] + get32(b, blocks[type] + 0x0A) + 9;
    }
    size_t tail(const std::vector<std::byte>& b, uint32_t type) const {
        return items(b, type) + get32(b, blocks[type] + get32(b, blocks[type] + 0x0A) + 5);
    }
    size_t firstFunction(const std::vector<std::byte>& b, uint32_t type) const {
        return items(b, type) + get16(b, tail(b, type) + 8);
    }
    size_t firstVariable(const std::vector<std::byte>& b, uint32_t type) const {
        return items(b, type) + get16(b, tail(b, type) + 0x0A);
    }
};

SltgLayout layoutOf(const std::vector<std::byte>& b) {
    SltgLayout layout;
    uint32_t entries = get16(b, 4) - 1;
    layout.magic = 0x24 + 8 * size_t(entries);
    size_t offset = layout.magic + 13 + 11 * size_t(entries - 1) + 9;
    for (uint32_t e = 0; e < entries; ++e) {
        layout.blocks.push_back(offset);
        offset += get32(b, 0x24 + 8 * e);
    }
    return layout;
}

std::string loadFailure(std::vector<std::byte> bytes, std::unique_ptr<FileTypeLibraryReader>* kept = nullptr) {
    auto reader = makeFileTypeLibraryReader();
    auto loaded = reader->loadBytes(std::move(bytes));
    std::string message = loaded ? "" : loaded.failure().message;
    if (loaded) test::walkEverything(*reader);
    if (kept) *kept = std::move(reader);
    return message;
}

// Types of everykind.idl: Colour 0, Point 1, IShape 6, ISketch 9, Drawing 11.
TEST(SltgCorruptInput, FieldsChangedAreRefusedByTheFormatsNameOrLeaveTheMemberOut) {
    const auto whole = test::fileBytes(sltgPath("everykind-sltg.tlb"));
    const SltgLayout l = layoutOf(whole);
    ASSERT_EQ(l.blocks.size(), 13u);
    using Reader = const FileTypeLibraryReader&;
    struct Case {
        const char* what;
        std::function<void(std::vector<std::byte>&)> change;
        std::function<bool(Reader)> stillReads;  // null: the load is refused
    };
    auto unavailable = [](uint32_t type, uint32_t k) {
        return [=](Reader r) { return !r.function(type, k) && r.typeAttributes(type).ok(); };
    };
    const Case cases[] = {
        {"block count 0", [](auto& b) { put16(b, 4, 0); }, nullptr},
        {"block count past the entries", [](auto& b) { put16(b, 4, 0xFFFF); }, nullptr},
        {"first block 0", [](auto& b) { put16(b, 0x0A, 0); }, nullptr},
        {"first block past the entries", [](auto& b) { put16(b, 0x0A, 0xFFFF); }, nullptr},
        {"block chain looping on itself", [](auto& b) { put16(b, 0x24 + 6, 1); }, nullptr},
        {"block chain past the entries", [](auto& b) { put16(b, 0x24 + 6, 0x7FFF); }, nullptr},
        {"block longer than the file", [](auto& b) { put32(b, 0x24, 0xFFFFFFFF); }, nullptr},
        {"directory magic", [&](auto& b) { b[l.magic + 1] = std::byte{'X'}; }, nullptr},
        {"index string of a block", [](auto& b) { put16(b, 0x24 + 4, 14); }, nullptr},
        {"library block magic", [&](auto& b) { put16(b, l.blocks[12], 0x1234); }, nullptr},
        {"library doc string longer than the file", [&](auto& b) { put16(b, l.blocks[12] + 8, 0xFFFE); }, nullptr},
        {"type block magic", [&](auto& b) { put16(b, l.blocks[0], 0x0502); }, nullptr},
        {"type kind", [&](auto& b) { b[l.blocks[0] + 0x1D] = std::byte{0xFF}; }, nullptr},
        {"member header outside the block", [&](auto& b) { put32(b, l.blocks[0] + 0x0A, 0xFFFFFFF0); }, nullptr},
        {"member bytes past the block", [&](auto& b) { put32(b, l.blocks[0] + get32(b, l.blocks[0] + 0x0A) + 5, 0x7FFFFFFF); }, nullptr},
        {"reference table magic", [&](auto& b) { b[l.blocks[9] + 0x22] = std::byte{0}; }, nullptr},
        {"reference table size", [&](auto& b) { put32(b, l.blocks[9] + 0x22 + 0x44, 0xFFFFFFF8); }, nullptr},
        {"reference table size not whole entries", [&](auto& b) { put32(b, l.blocks[9] + 0x22 + 0x44, 3); }, nullptr},
        // Counts and chains that the members do not back.
        {"variable count past the chain", [&](auto& b) { put16(b, l.tail(b, 0) + 2, 0xFFFF); },
         [](Reader r) { return r.variable(0, 3).ok() && !r.variable(0, 4); }},
        {"variables outside the members", [&](auto& b) { put16(b, l.tail(b, 0) + 0x0A, 0xFFF0); },
         [](Reader r) { return !r.variable(0, 0); }},
        {"variable chain looping on itself", [&](auto& b) { put16(b, l.firstVariable(b, 0) + 2, get16(b, l.tail(b, 0) + 0x0A)); },
         [](Reader r) { return r.variable(0, 3).ok() && r.variable(0, 3)->value->integer == 0; }},
        {"variable magic", [&](auto& b) { b[l.firstVariable(b, 1)] = std::byte{0x0B}; },
         [](Reader r) { return !r.variable(1, 0) && r.variable(1, 1).ok(); }},
        {"function magic", [&](auto& b) { b[l.firstFunction(b, 6)] = std::byte{0}; }, unavailable(6, 0)},
        {"parameters outside the members", [&](auto& b) { put16(b, l.firstFunction(b, 6) + 14, 0xFFF0); },
         unavailable(6, 0)},
        {"type reference past the table", [&](auto& b) {
             // Describe's first parameter: a pointer to Point, out of line.
             size_t describe = l.items(b, 6) + get16(b, l.firstFunction(b, 6) + 2);
             describe = l.items(b, 6) + get16(b, describe + 2);
             size_t words = l.items(b, 6) + get16(b, describe + 24 + 2);
             put16(b, words + 2, 0xFFFC);
         },
         [](Reader r) {
             auto f = r.function(6, 2);
             auto h = r.typeHandle(6);
             return f && h && !r.referencedType(*h, f->params[0].type.pointee->reference);
         }},
        {"dispatch interface declaring IDispatch's seven slots", [&](auto& b) { put16(b, l.tail(b, 10) + 0x28, 28); },
         [](Reader r) { return r.typeAttributes(10)->funcCount == 2 && r.function(10, 1).ok(); }},
        {"class interface count past the members", [&](auto& b) { put16(b, l.tail(b, 11) + 4, 0xFFFF); },
         [](Reader r) { return !r.typeAttributes(11) && r.typeAttributes(10).ok(); }},
        {"class interface chain looping on itself", [&](auto& b) { put16(b, l.items(b, 11) + 2, 0); },
         [](Reader r) { return r.implementedType(11, 2).ok(); }},
        {"class interface record magic", [&](auto& b) { put16(b, l.items(b, 11) + 0x16, 0); },
         [](Reader r) { return r.implementedType(11, 0).ok() && !r.implementedType(11, 1); }},
        {"name table outside the file", [&](auto& b) {
             // After the attributes (46 bytes without doc strings), the
             // padding and the count of the 56-byte type records.
             size_t records = l.blocks[12] + 46 + 0x40 + 2;
             put32(b, records + 12 * 56, 0x7FFFFFF0);
         },
         nullptr},
        {"names past the end of the file", [&](auto& b) {
             size_t records = l.blocks[12] + 46 + 0x40 + 2;
             put32(b, records + 12 * 56, uint32_t(b.size() - l.blocks[12] - 0x218 + 8 - 2));
         },
         [](Reader r) { return !r.documentation(0) && r.typeAttributes(0).ok(); }},
    };
    for (const Case& c : cases) {
        auto bytes = whole;
        c.change(bytes);
        std::unique_ptr<FileTypeLibraryReader> reader;
        std::string failure = loadFailure(bytes, &reader);
        if (!c.stillReads) {
            EXPECT_TRUE(failure.starts_with(std::string(sltgFormatFailure) + ": ")) << c.what << ": " << failure;
            continue;
        }
        ASSERT_EQ(failure, "") << c.what;
        EXPECT_TRUE(c.stillReads(*reader)) << c.what;
    }
}

TEST(SltgCorruptInput, EveryWordChangedToExtremeValues) {
    const auto whole = test::fileBytes(sltgPath("everykind-sltg.tlb"));
    size_t refused = 0, loaded = 0;
    for (uint32_t value : {0xFFFFu, 0x8000u, 0u, 0x7FFFu}) {
        for (size_t offset = 0; offset + 2 <= whole.size(); offset += 2) {
            auto bytes = whole;
            put16(bytes, offset, value);
            std::string failure = loadFailure(std::move(bytes));
            if (failure.empty()) {
                ++loaded;
                continue;
            }
            ++refused;
            // The signature itself changed: no longer a type library.
            if (offset < 4) continue;
            EXPECT_TRUE(failure.starts_with("SLTG format, ")) << offset << ": " << failure;
        }
    }
    EXPECT_GT(refused, 0u);
    EXPECT_GT(loaded, refused);
}

}  // namespace
}  // namespace mivra
