/* The real program detaching on this machine's kernel, which refuses both
   the daemon call and the flush. Only the superuser detaches. */
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "daemons.h"
#include "run.h"

namespace {

struct Case {
	const char *name;
	std::vector<std::string> argv;
	const char *title;	/* in flush mode */
	int switch_ms;	/* how soon "update (sync)" must show; 0: not waited */
};

void
PrintTo(const Case &c, std::ostream *os)
{
	*os << c.name << ":";
	for (const auto &a : c.argv)
		*os << " " << a;
}

/* "update" alone is too short for the title unless the environment joins;
   an operand stays in place, and the option after it still acts. */
const Case launch_cases[] = {
	{"ShortCommandLine", {"update"}, "update (bdflush)", 0},
	{"FlushEverySecond", {"update", "-f", "1", "-s", "1"},
	 "update (bdflush)", 2000},
	{"OptionAfterOperand", {"update", "-s", "1", "foo", "-f", "1"},
	 "update (bdflush)", 2000},
};

class Launches : public testing::TestWithParam<Case> {};

TEST_P(Launches, DetachIntoDaemons)
{
	if (const char *why = daemons_out_of_sight())
		GTEST_SKIP() << why;
	Daemons d;
	/* A descriptor past 255, which the real close_range must close. */
	RunOptions o;
	o.extra_fds = {300};
	RunResult r = run(UPDATE_PATH, GetParam().argv, o);
	d.collect();
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out + r.err, "");
	pid_t update = d.find({GetParam().title}, 800);
	ASSERT_NE(update, 0);
	expect_detached(update);
	/* The launcher ignores SIGCHLD, so a flush daemon that fails before
	   the launcher ends is reaped at once; one outliving it is ours. */
	for (pid_t daemon : std::vector<pid_t>(d.pids))
		if (daemon != update)
			EXPECT_EQ(d.wait_exit(daemon, 2000), 1);
	EXPECT_EQ(d.pids.size(), 1u);
	if (GetParam().switch_ms) {
		EXPECT_TRUE(d.wait_title(update, "update (sync)",
					 GetParam().switch_ms));
		expect_detached(update);
	}
}
INSTANTIATE_TEST_SUITE_P(FlushDaemon, Launches,
    testing::ValuesIn(launch_cases),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
