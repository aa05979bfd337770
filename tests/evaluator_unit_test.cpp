/* The integer syntax, called in-process on the program's own objects. */
#include <gtest/gtest.h>

#include <cerrno>

#include "evaluator.h"

namespace {

struct IntegerCase {
	const char *text;
	int accepted;
	int value;
};

void
PrintTo(const IntegerCase &c, std::ostream *os)
{
	*os << '"' << c.text << '"';
}

class ParseInteger : public testing::TestWithParam<IntegerCase> {};

TEST_P(ParseInteger, Parses)
{
	const IntegerCase &c = GetParam();
	int value = 12345;
	EXPECT_EQ(parse_integer(c.text, &value), c.accepted);
	EXPECT_EQ(value, c.value);
	EXPECT_EQ(parse_integer(c.text, nullptr), c.accepted);
}

const IntegerCase integer_syntax[] = {
	{"0", 1, 0},
	{"42", 1, 42},
	{"+42", 1, 42},
	{"-42", 1, -42},
	{" \t 42 \t ", 1, 42},
	{"2147483647", 1, 2147483647},
	{"-2147483648", 1, -2147483647 - 1},
	{"2147483648", 1, -2147483647 - 1},
	{"4294967295", 1, -1},
	{"4294967296", 1, 0},
	{"-4294967296", 1, 0},
	{"99999999999999999999", 1, 1661992959},
	{"", 0, 0},
	{" ", 0, 0},
	{"+", 0, 0},
	{"-", 0, 0},
	{"+ 1", 0, 0},
	{"1-", 0, 0},
	{"1 1", 0, 0},
	{"1\n", 0, 0},
	{"\n1", 0, 0},
	{"0x10", 0, 0},
	{"1e3", 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, ParseInteger,
			 testing::ValuesIn(integer_syntax));

TEST(StatPath, EmptyNameIsMissing)
{
	struct stat st;
	errno = 0;
	EXPECT_EQ(stat_path("", &st), -1);
	EXPECT_EQ(errno, ENOENT);
	EXPECT_EQ(stat_path("/", &st), 0);
}

}  // namespace
