// The numbers the Relayed Contacts window keeps in the registry, read back without streams exactly
// as a stream read them in the versions that wrote them.
#include <gtest/gtest.h>

#include "app/saved_numbers.h"

namespace qsoferry::test {
namespace {

TEST(SavedNumbers, ReadsWhatEveryVersionWroteAndStopsWhereAStreamStopped) {
    const struct {
        const char* text;
        size_t most;
        std::vector<int> numbers;
    } cases[] = {
        {"120 80 900 600 0 96", 6, {120, 80, 900, 600, 0, 96}},
        {"-1800 -20 900 600 1 144", 6, {-1800, -20, 900, 600, 1, 144}},  // a screen left of the main one
        {"  +5\t7\r\n8 ", 6, {5, 7, 8}},
        {"110 56 33 36 60 52 33 33 75 40", 9, {110, 56, 33, 36, 60, 52, 33, 33, 75}},
        {"", 6, {}},
        {"abc 1", 6, {}},
        {"10 20x 30", 6, {10, 20}},
        {"10 2.5 30", 6, {10, 2}},
        {"10 - 30", 6, {10}},
        {"10 99999999999 30", 6, {10}},  // does not fit an int
        {"-2147483648 2147483647", 6, {-2147483648LL, 2147483647}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LeadingNumbers(c.text, c.most), c.numbers) << '"' << c.text << '"';
}

}  // namespace
}  // namespace qsoferry::test
