#include <gtest/gtest.h>

#include "relay/text.h"

namespace qsoferry::text {
namespace {

TEST(Text, TrimsTheSixWhiteSpaceCharactersOnly) {
    EXPECT_EQ(TrimLeftView(" \t\r\n\v\fa b "), "a b ");
    EXPECT_EQ(TrimRightView(" a b \t\r\n\v\f"), " a b");
    EXPECT_EQ(TrimRightView("a\xa0"), "a\xa0");  // a no-break space of a code page is not white space
}

TEST(Text, UpperCasesAsciiLettersAndLeavesOtherBytes) {
    EXPECT_EQ(ToUpper("k1abc/p \xe9"), "K1ABC/P \xe9");
    EXPECT_TRUE(EqualsNoCase("1.25cm", "1.25CM"));
    EXPECT_FALSE(EqualsNoCase("4m", "4mm"));
}

}  // namespace
}  // namespace qsoferry::text
