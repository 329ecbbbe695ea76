#include <gtest/gtest.h>

#include "LicenceLayout.h"

namespace mivra::installer {
namespace {

TEST(LicenceParagraphs, JoinTheLinesOfAParagraphForTheControlToWrap) {
    struct Case {
        const char* text;
        const char* lineEnd;
        const char* expected;
    } cases[] = {
        {"MIT License\n\nPermission is granted\nto deal  \nin it.\n\nTHE SOFTWARE\nAS IS\n", "\n",
         "MIT License\n\nPermission is granted to deal in it.\n\nTHE SOFTWARE AS IS\n"},
        {"A\r\nb\r\n\r\n\r\nC\r\n", "\r\n", "A b\r\n\r\nC\r\n"},
        // Indented lines (a list) keep their breaks; blank lines at the ends go.
        {"\n\nTerms:\n  1. one\n  2. two\nend\n\n", "\n", "Terms:\n  1. one\n  2. two end\n"},
        {"", "\n", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(licenceParagraphs(c.text, c.lineEnd), c.expected) << c.text;
}

}  // namespace
}  // namespace mivra::installer
