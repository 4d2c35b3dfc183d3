#include <gtest/gtest.h>

#include "relay/text.h"

namespace qsoferry::text {
namespace {

struct LinesCase {
    std::string bytes;
    std::vector<std::string> lines;
};

TEST(SplitTextLines, ReadsAsATextModeStreamDoes) {
    const LinesCase cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},                     // the last line needs no line feed
        {"\n\r\n", {"", ""}},                     // line ends only
        {"a\rb\r\n", {"a\rb"}},                   // a lone carriage return is text
        {"a\r\r\n", {"a\r"}},                     // only the one before the line feed goes
        {"a\r\nb\x1a<call:1>x\r\n", {"a", "b"}},  // Ctrl-Z ends the file
        {std::string("\x1a") + "a\n", {}},
        {"  \n", {"  "}},  // blanks are kept
    };
    for (const LinesCase& c : cases) {
        EXPECT_EQ(SplitTextLines(c.bytes), c.lines) << "bytes: " << c.bytes;
    }
}

TEST(SplitTextLines, KeepsAVeryLongLineWhole) {
    std::string longLine(200000, 'x');
    auto lines = SplitTextLines(longLine + "\r\nend");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], longLine);
}

TEST(Text, TrimsTheSixWhiteSpaceCharactersOnly) {
    EXPECT_EQ(TrimLeft(" \t\r\n\v\fa b "), "a b ");
    EXPECT_EQ(TrimRight(" a b \t\r\n\v\f"), " a b");
    EXPECT_EQ(TrimRight("a\xa0"), "a\xa0");  // a no-break space of a code page is not white space
}

TEST(Text, UpperCasesAsciiLettersAndLeavesOtherBytes) {
    EXPECT_EQ(ToUpper("k1abc/p \xe9"), "K1ABC/P \xe9");
    EXPECT_TRUE(EqualsNoCase("1.25cm", "1.25CM"));
    EXPECT_FALSE(EqualsNoCase("4m", "4mm"));
}

}  // namespace
}  // namespace qsoferry::text
