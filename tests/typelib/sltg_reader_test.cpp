#include <gtest/gtest.h>

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
