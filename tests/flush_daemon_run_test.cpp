/* The real program on this machine's kernel, which has no bdflush: every
   read and write is refused with errno 38, so only the paths that end
   without detaching run here. */
#include <fcntl.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run.h"

namespace {

enum Output { CAPTURED, FULL, CLOSED };

struct Case {
	const char *name;
	std::vector<std::string> argv;
	int as_user;	/* run under an unprivileged uid */
	Output output;
	int status;
	std::string out, err;
};

void
PrintTo(const Case &c, std::ostream *os)
{
	*os << c.name << ":";
	for (const auto &a : c.argv)
		*os << " " << a;
}

RunResult
run_case(const Case &c)
{
	RunOptions o;
	if (c.as_user && geteuid() == 0)
		o.uid = 65534;
	int fd = c.output == FULL ? open("/dev/full", O_WRONLY) : -1;
	if (c.output == FULL)
		o.stdout_fd = fd;
	if (c.output == CLOSED)
		o.stdout_fd = RunOptions::CLOSED;
	RunResult r = run(UPDATE_PATH, c.argv, o);
	if (fd >= 0)
		close(fd);
	return r;
}

const std::string banner = "tarrow version 1.4\n";
const std::string read_refused = "quillet:(0) bdflush(00000002,&d)=-1 38\n";
const std::string notice =
	": not run as superuser, bdflush() and sync() called.\n";
const std::string usage_lines =
	" [-012345678] [-d] [-s sync-delay] [-f flush-delay]\n"
	"  -0  Max fraction of LRU list to examine for dirty blocks \n"
	"  -1  Max number of dirty blocks to write each time bdflush"
	" activated \n"
	"  -2  Num of clean buffers to be loaded onto free list by"
	" refill_freelist \n"
	"  -3  Dirty block threshold for activating bdflush in"
	" refill_freelist \n"
	"  -4  Percentage of cache to scan for free clusters \n"
	"  -5  Time for data buffers to age before flushing \n"
	"  -6  Time for non-data (dir, bitmap, etc) buffers to age before"
	" flushing \n"
	"  -7  Time buffer cache load average constant \n"
	"  -8  LAV ratio (used to determine threshold for buffer"
	" fratricide) \n"
	"  -d  Display kernel parameters\n"
	"  -f  Call flush this often (in seconds)\n"
	"  -h  Give this help\n"
	"  -s  If acting as update then call sync this often (in seconds)\n";
const std::string usage = "usage: update" + usage_lines;

/* The option parser's diagnostics are worded by the C library. */
const bool musl = std::string(PROGRAMS_LIBC) == "musl";

std::string
bad_option(const std::string &letter)
{
	return musl ? "update: unrecognized option: " + letter + "\n"
		    : "update: invalid option -- '" + letter + "'\n";
}

std::string
missing_argument(const std::string &letter)
{
	return musl ? "update: option requires an argument: " + letter + "\n"
		    : "update: option requires an argument -- '" + letter +
			  "'\n";
}

std::string
refused(const std::string &code_and_value)
{
	return "quillet: bdflush(" + code_and_value + ")=-1 38\n";
}

class Runs : public testing::TestWithParam<Case> {};

TEST_P(Runs, StatusAndOutput)
{
	RunResult r = run_case(GetParam());
	EXPECT_EQ(r.out, GetParam().out);
	EXPECT_EQ(r.err, GetParam().err);
	EXPECT_EQ(r.status, GetParam().status);
}

/* Listings and writes act at once, in command-line order. */
const Case option_cases[] = {
	{"List", {"update", "-d"}, 0, CAPTURED, 0, banner, read_refused},
	{"ListTwice", {"update", "-d", "-d"}, 0, CAPTURED, 0, banner + banner,
	 read_refused + read_refused},
	{"DelaysThenList", {"update", "-s", "5", "-f", "1", "-d"}, 0, CAPTURED,
	 0, banner, read_refused},
	{"OperandBeforeList", {"update", "foo", "-d", "bar"}, 0, CAPTURED, 0,
	 banner, read_refused},
	{"WriteFirst", {"update", "-0", "7"}, 0, CAPTURED, 1, "",
	 refused("3,7")},
	{"WriteLast", {"update", "-8", "7"}, 0, CAPTURED, 1, "",
	 refused("19,7")},
	{"WriteSeventh", {"update", "-7", "1"}, 0, CAPTURED, 1, "",
	 refused("17,1")},
	{"WriteStopsOptions", {"update", "-3", "12", "-d"}, 0, CAPTURED, 1, "",
	 refused("9,12")},
	{"ListThenWrite", {"update", "-d", "-5", "10"}, 0, CAPTURED, 1, banner,
	 read_refused + refused("13,10")},
	{"Help", {"update", "-h"}, 0, CAPTURED, 1, "", usage},
	{"HelpNamesInvocation", {"/sbin/upd", "-h"}, 0, CAPTURED, 1, "",
	 "usage: /sbin/upd" + usage_lines},
	{"HelpAfterList", {"update", "-d", "-h"}, 0, CAPTURED, 1, banner,
	 read_refused + usage},
	{"NinthDigit", {"update", "-9"}, 0, CAPTURED, 1, "",
	 bad_option("9") + usage},
	{"UnknownLetterStopsOptions", {"update", "-x", "-d"}, 0, CAPTURED, 1,
	 "", bad_option("x") + usage},
	{"MissingDelay", {"update", "-s"}, 0, CAPTURED, 1, "",
	 missing_argument("s") + usage},
	{"MissingValue", {"update", "-d", "-4"}, 0, CAPTURED, 1, banner,
	 read_refused + missing_argument("4") + usage},
};
INSTANTIATE_TEST_SUITE_P(FlushDaemon, Runs, testing::ValuesIn(option_cases),
    [](const auto &info) { return std::string(info.param.name); });

/* The refused write shows the value as parsed. */
const Case number_cases[] = {
	{"Letters", {"update", "-3", "abc"}, 0, CAPTURED, 1, "",
	 refused("9,0")},
	{"TrailingLetters", {"update", "-3", "12xyz"}, 0, CAPTURED, 1, "",
	 refused("9,12")},
	{"Negative", {"update", "-3", "-12"}, 0, CAPTURED, 1, "",
	 refused("9,-12")},
	{"LoneMinus", {"update", "-3", "-"}, 0, CAPTURED, 1, "",
	 refused("9,0")},
	{"SpaceAndPlus", {"update", "-3", " +7"}, 0, CAPTURED, 1, "",
	 refused("9,7")},
	{"JustTooLarge", {"update", "-3", "2147483648"}, 0, CAPTURED, 1, "",
	 refused("9,2147483647")},
	{"FarTooLarge", {"update", "-3", "99999999999999999999"}, 0, CAPTURED,
	 1, "", refused("9,2147483647")},
	{"JustTooSmall", {"update", "-3", "-2147483649"}, 0, CAPTURED, 1, "",
	 refused("9,-2147483648")},
	{"Smallest", {"update", "-3", "-2147483648"}, 0, CAPTURED, 1, "",
	 refused("9,-2147483648")},
};
INSTANTIATE_TEST_SUITE_P(Numbers, Runs, testing::ValuesIn(number_cases),
    [](const auto &info) { return std::string(info.param.name); });

/* Without -d an ordinary user gets one flush and one sync; a listing or a
   failed option ends the run before that. */
const Case user_cases[] = {
	{"Plain", {"update"}, 1, CAPTURED, 0, "", "update" + notice},
	{"NamedAsInvoked", {"./bin/update", "-s", "1", "-f", "2", "foo"}, 1,
	 CAPTURED, 0, "", "./bin/update" + notice},
	{"ListOptionTakenAsDelay", {"update", "-s", "-d"}, 1, CAPTURED, 0, "",
	 "update" + notice},
	{"ListOnly", {"update", "-d"}, 1, CAPTURED, 0, banner, read_refused},
	{"ListAfterDoubleDash", {"update", "foo", "--", "-d"}, 1, CAPTURED, 0,
	 "", "update" + notice},
	{"RefusedWrite", {"update", "-1", "100"}, 1, CAPTURED, 1, "",
	 refused("5,100")},
};
INSTANTIATE_TEST_SUITE_P(OrdinaryUser, Runs, testing::ValuesIn(user_cases),
    [](const auto &info) { return std::string(info.param.name); });

/* A listing that cannot be written fails the run. */
const Case output_cases[] = {
	{"Full", {"update", "-d"}, 0, FULL, 1, "",
	 read_refused + "update: write error: No space left on device\n"},
	{"Closed", {"update", "-d"}, 0, CLOSED, 1, "",
	 read_refused + "update: write error: Bad file descriptor\n"},
	{"ReportedOnce", {"update", "-d", "-d"}, 0, FULL, 1, "",
	 read_refused + "update: write error: No space left on device\n" +
	 read_refused},
};
INSTANTIATE_TEST_SUITE_P(Output, Runs, testing::ValuesIn(output_cases),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
