#include <cerrno>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flush_daemon.h"

namespace {

/* Strings are laid out one after another as the kernel lays out arguments
   and environment; gap puts a stray '#' before that string (counted over
   arguments then environment), order gives argv's order over the arguments
   in memory. Memory is shown with '.' for a zero byte and a guard 'G' on
   each side. No environment is passed as none at all, as after clearenv. */
struct TitleCase {
	const char *name;
	std::vector<std::string> args, env;
	int gap;
	std::vector<int> order;
	const char *title;
	const char *memory;
};

void
PrintTo(const TitleCase &c, std::ostream *os)
{
	*os << c.name << " -> \"" << c.title << "\"";
}

const TitleCase title_cases[] = {
	{"ShortTitle", {"update-daemon", "-d"}, {"A=1"}, -1, {}, "update",
	 "Gupdate........-d.A=1.G"},
	{"ExactFit", {"abcdef", "x"}, {"A=1"}, -1, {}, "update",
	 "Gupdate.x.A=1.G"},
	{"ShortAfterLong", {"update (bdflush)", "x"}, {}, -1, {},
	 "update (sync)", "Gupdate (sync)....x.G"},
	{"OneLongerJoinsAll", {"abcde", "xy"}, {"A=1"}, -1, {}, "update",
	 "Gupdate.......G"},
	{"EnvironmentApart", {"abcde", "xy"}, {"A=1"}, 2, {}, "update",
	 "Gupdate...#A=1.G"},
	{"EnvironmentHoldsTitle", {"update"}, {"HOME=/", "X=1"}, -1, {},
	 "update (bdflush)", "Gupdate (bdflush)..G"},
	{"LaterEnvironmentApart", {"update"}, {"A=1", "B=2"}, 2, {},
	 "upd (sync)", "Gupd (sync).#B=2.G"},
	{"ArgumentsApart", {"update", "xx", "yy"}, {}, 1, {}, "longtitle",
	 "Glongti.#xx.yy.G"},
	{"SkippedArgumentLaterJoins", {"update", "-d", "foo"}, {"A=1"}, -1,
	 {0, 2, 1}, "update (bdflush)", "Gupdate (b.foo.A=1.G"},
	{"LoneArgumentCut", {"ab"}, {}, -1, {}, "update", "Gup.G"},
	{"TitleLongerThanArea", {"ab", "c"}, {}, -1, {}, "update (sync)",
	 "Gupda.G"},
	{"NoArguments", {}, {"A=1"}, -1, {}, "update", "GA=1.G"},
};

class Titles : public testing::TestWithParam<TitleCase> {};

TEST_P(Titles, RewritesOnlyTheArea)
{
	const TitleCase &c = GetParam();
	std::vector<std::string> all = c.args;
	all.insert(all.end(), c.env.begin(), c.env.end());
	std::string memory = "G";
	std::vector<size_t> at;
	for (size_t i = 0; i < all.size(); i++) {
		if ((int)i == c.gap)
			memory += '#';
		at.push_back(memory.size());
		memory += all[i] + '\0';
	}
	memory += 'G';
	std::vector<char *> argv, env;
	for (size_t i = 0; i < c.args.size(); i++)
		argv.push_back(&memory[at[c.order.empty() ? i : c.order[i]]]);
	for (size_t i = c.args.size(); i < all.size(); i++)
		env.push_back(&memory[at[i]]);
	argv.push_back(nullptr);
	env.push_back(nullptr);
	set_title_in(argv.data(), c.args.size(),
		     c.env.empty() ? nullptr : env.data(), c.title);
	for (char &ch : memory)
		ch = ch ? ch : '.';
	EXPECT_EQ(memory, c.memory);
}

INSTANTIATE_TEST_SUITE_P(FlushDaemon, Titles, testing::ValuesIn(title_cases),
    [](const auto &info) { return std::string(info.param.name); });

struct ResultCase {
	const char *name;
	long raw;
	int result, error;
};

void
PrintTo(const ResultCase &c, std::ostream *os)
{
	*os << c.name << " raw " << c.raw;
}

/* errno starts at 99 so that a result leaving it alone shows. */
const ResultCase result_cases[] = {
	{"Zero", 0, 0, 99},
	{"Positive", 7, 7, 99},
	{"MinusOne", -1, -1, 1},
	{"InvalidArgument", -22, -1, 22},
	{"NoSuchCall", -38, -1, 38},
};

class RawResults : public testing::TestWithParam<ResultCase> {};

TEST_P(RawResults, MapToResultAndErrno)
{
	errno = 99;
	EXPECT_EQ(bdflush_result(GetParam().raw), GetParam().result);
	EXPECT_EQ(errno, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(FlushDaemon, RawResults,
    testing::ValuesIn(result_cases),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
