#include <gtest/gtest.h>

#include "Guid.h"

namespace mivra {
namespace {

TEST(GuidText, BracedUpperCaseWithGroupedFinalBytes) {
    Guid g{0x12345678, 0x9abc, 0xdef0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}};
    EXPECT_EQ(guidText(g), "{12345678-9ABC-DEF0-0123-456789ABCDEF}");
}

TEST(GuidText, ParsesWhatItWritesInEitherCase) {
    Guid g{0x0002DF01, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    EXPECT_EQ(parseGuid(guidText(g)), g);
    EXPECT_EQ(parseGuid("{0002df01-0000-0000-c000-000000000046}"), g);
    EXPECT_FALSE(parseGuid("0002DF01-0000-0000-C000-000000000046"));
    EXPECT_FALSE(parseGuid("{0002DF01-0000-0000-C000-00000000004G}"));
    EXPECT_FALSE(parseGuid("{0002DF01-0000-0000+C000-000000000046}"));
}

}  // namespace
}  // namespace mivra
