/* One end-to-end run of the evaluator: its argument vector, argv[0] included,
   and what it must give back. */
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "run.h"

struct Case {
	const char *name;
	std::vector<std::string> argv;
	int status;
	std::string err;	/* the whole of standard error */
};

inline void
PrintTo(const Case &c, std::ostream *os)
{
	*os << c.name << ":";
	for (const auto &a : c.argv)
		*os << " '" << a << "'";
	*os << " -> " << c.status;
}

inline std::string
case_name(const testing::TestParamInfo<Case> &info)
{
	return info.param.name;
}

/* Runs the evaluator and checks status and both streams; stdout stays empty
   for every expression. */
inline void
expect_case(const Case &c, const RunOptions &o = {},
	    const char *program = EVALUATOR_PATH)
{
	RunResult r = run(program, c.argv, o);
	EXPECT_EQ(r.status, c.status);
	EXPECT_EQ(r.err, c.err);
	EXPECT_EQ(r.out, "");
}
