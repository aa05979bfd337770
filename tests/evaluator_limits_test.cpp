/* The longest argument lists the kernel will pass must end in a status,
   never in a signal, and with the result the grammar gives. */
#include "evaluator_case.h"

namespace {

using Words = std::vector<std::string>;

/* A pattern of n repetitions, as a full argument vector. */
struct LimitCase {
	const char *name;
	Words (*build)(size_t n);
	int status;
	const char *err;
};

void
PrintTo(const LimitCase &c, std::ostream *os)
{
	*os << c.name;
}

Words
or_chain(size_t n)
{
	Words w = {"test"};
	for (size_t i = 0; i < n; i++)
		w.insert(w.end(), {"", "-o"});
	w.push_back("x");
	return w;
}

Words
and_chain(size_t n)
{
	Words w = {"test"};
	for (size_t i = 0; i < n; i++)
		w.insert(w.end(), {"x", "-a"});
	w.push_back("");
	return w;
}

Words
negations(size_t n)
{
	Words w(1, "test");
	w.insert(w.end(), 2 * n + 1, "!");
	w.push_back("");
	return w;
}

Words
closed_groups(size_t n)
{
	Words w(1, "test");
	w.insert(w.end(), n, "(");
	w.push_back("x");
	w.insert(w.end(), n, ")");
	return w;
}

Words
unclosed_groups(size_t n)
{
	Words w(1, "test");
	w.insert(w.end(), 2 * n, "(");
	w.push_back("x");
	return w;
}

Words
negated_groups(size_t n)
{
	Words w(1, "test");
	for (size_t i = 0; i < n; i++)
		w.insert(w.end(), {"!", "!", "("});
	w.push_back("x");
	w.insert(w.end(), n, ")");
	return w;
}

/* The largest n whose vector execve accepts, by bisection; the evaluator
   never exits 127, which run() uses for a refused execve. */
size_t
largest_accepted(Words (*build)(size_t))
{
	size_t lo = 1, hi = sysconf(_SC_ARG_MAX) / 8;
	while (lo < hi) {
		size_t mid = (lo + hi + 1) / 2;
		if (run(EVALUATOR_PATH, build(mid)).status != 127)
			lo = mid;
		else
			hi = mid - 1;
	}
	return lo;
}

class Limits : public testing::TestWithParam<LimitCase> {};

TEST_P(Limits, LargestListEndsInStatus)
{
	const LimitCase &c = GetParam();
	size_t n = largest_accepted(c.build);
	EXPECT_GT(n, 50000u);
	RunResult r = run(EVALUATOR_PATH, c.build(n));
	EXPECT_EQ(r.status, c.status) << "n = " << n;
	EXPECT_EQ(r.err, c.err);
}

const LimitCase limit_cases[] = {
	{"OrChain",        or_chain,        0, ""},
	{"AndChain",       and_chain,       1, ""},
	{"Negations",      negations,       0, ""},
	{"ClosedGroups",   closed_groups,   0, ""},
	{"UnclosedGroups", unclosed_groups, 1, "test: ')' expected\n"},
	{"NegatedGroups",  negated_groups,  0, ""},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, Limits, testing::ValuesIn(limit_cases),
			 [](const auto &info) {
				 return std::string(info.param.name);
			 });

}  // namespace
