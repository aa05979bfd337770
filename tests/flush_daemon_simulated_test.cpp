/* The program's own main and objects over a scripted kernel that accepts,
   refuses or answers positive as each row says, and logs every call. */
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "daemons.h"
#include "run.h"

namespace {

/* A log file that an unprivileged child may append to. */
struct KernelLog {
	std::string dir, path;

	KernelLog()
	{
		char name[] = "/tmp/flush_daemon_XXXXXX";
		dir = mkdtemp(name);
		chmod(dir.c_str(), 0755);
		path = dir + "/log";
		std::ofstream{path};
		chmod(path.c_str(), 0666);
	}
	~KernelLog()
	{
		unlink(path.c_str());
		rmdir(dir.c_str());
	}

	/* The calls of one process and, marked "child: ", its children's
	   (0: all, unmarked; -p: all but theirs), without pids and time. */
	std::string calls(pid_t pid = 0, std::vector<long> *times = nullptr)
	{
		std::istringstream in(read_file(path));
		std::string line, all;
		while (std::getline(in, line)) {
			std::istringstream f(line);
			long p, parent, ms;
			std::string call;
			f >> p >> parent >> ms;
			std::getline(f >> std::ws, call);
			int ours = p == std::abs(pid) || parent == std::abs(pid);
			if ((pid > 0 && !ours) || (pid < 0 && ours))
				continue;
			all += (pid > 0 && p != pid ? "child: " : "") + call +
			       "\n";
			if (times)
				times->push_back(ms);
		}
		return all;
	}
};

/* On a terminal, both streams go to one raw pseudo-terminal, read back
   as the output in the order the bytes arrived. */
RunResult
run_simulated(std::vector<std::string> argv, std::vector<std::string> env,
	      const KernelLog &log, int as_user = 0, int terminal = 0)
{
	RunOptions o;
	o.set_env = env;
	o.set_env.push_back("SIMULATED_KERNEL_LOG=" + log.path);
	if (as_user && geteuid() == 0)
		o.uid = 65534;
	if (as_user == 2)
		o.gid = 0;
	if (!terminal)
		return run(SIMULATED_UPDATE_PATH, argv, o);
	int master = posix_openpt(O_RDWR | O_NOCTTY);
	if (master < 0 || grantpt(master) || unlockpt(master)) {
		/* Failed, not aborted, so that the rows after it still run. */
		ADD_FAILURE() << "no pseudo-terminal: " << strerror(errno);
		return RunResult();
	}
	int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
	struct termios raw;
	tcgetattr(slave, &raw);
	cfmakeraw(&raw);
	tcsetattr(slave, TCSANOW, &raw);
	o.stdout_fd = o.stderr_fd = slave;
	RunResult r = run(SIMULATED_UPDATE_PATH, argv, o);
	close(slave);
	fcntl(master, F_SETFL, O_NONBLOCK);
	char buf[4096];
	for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;)
		r.out.append(buf, n);
	close(master);
	return r;
}

/* '#' stands for the error number that a positive result leaves as it
   was, whatever that is. */
bool
matches(const std::string &expected, const std::string &text)
{
	std::string re;
	for (char c : expected)
		if (c == '#')
			re += "[0-9]+";
		else if (std::isalnum((unsigned char)c) || c == '\n')
			re += c;
		else
			re += std::string("\\") + c;
	return std::regex_match(text, std::regex(re));
}

struct Case {
	const char *name;
	std::vector<std::string> argv, env;
	int as_user;	/* 1: uid and gid 65534; 2: uid 65534 in group 0 */
	int status;
	std::string out, err, calls;
	int terminal = 0;
};

void
PrintTo(const Case &c, std::ostream *os)
{
	*os << c.name << ":";
	for (const auto &a : c.argv)
		*os << " " << a;
}

const std::string values =
	"SIMULATED_KERNEL_VALUES=0,-1,123456,7,-12345,5,60,700,8000";
const std::string banner = "tarrow version 1.4\n";
const std::string first_four =
	"0:     0 Max fraction of LRU list to examine for dirty blocks\n"
	"1:    -1 Max number of dirty blocks to write each time bdflush"
	" activated\n"
	"2: 123456 Num of clean buffers to be loaded onto free list by"
	" refill_freelist\n"
	"3:     7 Dirty block threshold for activating bdflush in"
	" refill_freelist\n";
const std::string last_five =
	"4: -12345 Percentage of cache to scan for free clusters\n"
	"5:     5 Time for data buffers to age before flushing\n"
	"6:    60 Time for non-data (dir, bitmap, etc) buffers to age before"
	" flushing\n"
	"7:   700 Time buffer cache load average constant\n"
	"8:  8000 LAV ratio (used to determine threshold for buffer"
	" fratricide).\n";
const std::string line_0 = first_four.substr(0, first_four.find('\n') + 1);
const std::string line_0_set =
	"0:    42 Max fraction of LRU list to examine for dirty blocks\n";
/* Before its first request a process reads parameter 0 to tell a kernel
   that keeps the parameters from one that only answers. */
const std::string probe = "bdflush(2,&v)=0\n";
const std::string first_reads = probe +
	"bdflush(2,&v)=0\nbdflush(4,&v)=0\nbdflush(6,&v)=0\nbdflush(8,&v)=0\n";
const std::string stub = "SIMULATED_KERNEL_STUB=1";
const std::string own_thread = "SIMULATED_KERNEL_OWN_THREAD=1";
const std::string oldest = "SIMULATED_KERNEL_OLDEST=1";
const std::string no_call = "-1 38\n";
const std::string notice =
	"update: not run as superuser, bdflush() and sync() called.\n";

class Simulated : public testing::TestWithParam<Case> {};

TEST_P(Simulated, StatusOutputAndCalls)
{
	const Case &c = GetParam();
	KernelLog log;
	Daemons d;
	RunResult r = run_simulated(c.argv, c.env, log, c.as_user,
	    c.terminal);
	/* None of these detaches, so none leaves a process behind. */
	d.collect();
	EXPECT_EQ(d.pids.size(), 0u);
	EXPECT_EQ(r.out, c.out);
	EXPECT_TRUE(matches(c.err, r.err)) << r.err;
	EXPECT_EQ(r.status, c.status);
	if (!c.calls.empty())
		EXPECT_EQ(log.calls(), c.calls);
}

const Case listing_cases[] = {
	{"AllNine", {"update", "-d"}, {values}, 0, 0,
	 banner + first_four + last_five, "",
	 first_reads + "bdflush(10,&v)=0\nbdflush(12,&v)=0\nbdflush(14,&v)=0\n"
	 "bdflush(16,&v)=0\nbdflush(18,&v)=0\n"},
	{"RefusedPartWay", {"update", "-d"},
	 {values, "SIMULATED_KERNEL_RESULTS=10:-22"}, 0, 0,
	 banner + first_four, "quillet:(4) bdflush(0000000a,&d)=-1 22\n",
	 first_reads + "bdflush(10,&v)=-1\n"},
	{"RefusedWithMinusOne", {"update", "-d"},
	 {values, "SIMULATED_KERNEL_RESULTS=2:-1"}, 0, 0, banner,
	 "quillet:(0) bdflush(00000002,&d)=-1 1\n", ""},
	{"PositiveRead", {"update", "-d"},
	 {values, "SIMULATED_KERNEL_RESULTS=10:3"}, 0, 0, banner + first_four,
	 "quillet:(4) bdflush(0000000a,&d)=3 #\n", ""},
	{"ListWriteList", {"update", "-d", "-0", "42", "-d"},
	 {values, "SIMULATED_KERNEL_RESULTS=4:-22"}, 0, 0,
	 banner + line_0 + banner + line_0_set,
	 "quillet:(1) bdflush(00000004,&d)=-1 22\n"
	 "quillet:(1) bdflush(00000004,&d)=-1 22\n", ""},
	{"WriteThenList", {"update", "-0", "42", "-d"},
	 {values, "SIMULATED_KERNEL_RESULTS=4:-22"}, 0, 0, banner + line_0_set,
	 "quillet:(1) bdflush(00000004,&d)=-1 22\n",
	 probe + "bdflush(3,42)=0\nbdflush(2,&v)=0\nbdflush(4,&v)=-1\n"},
	{"RefusedSecondWrite", {"update", "-0", "1", "-2", "5", "-d"},
	 {"SIMULATED_KERNEL_RESULTS=7:-22"}, 0, 1, "",
	 "quillet: bdflush(7,5)=-1 22\n",
	 probe + "bdflush(3,1)=0\nbdflush(7,5)=-1\n"},
	{"PositiveWrite", {"update", "-3", "12"},
	 {"SIMULATED_KERNEL_RESULTS=9:3"}, 0, 1, "",
	 "quillet: bdflush(9,12)=3 #\n", ""},
	/* Lines come in the order they are made. */
	{"OnTerminal", {"update", "-d"},
	 {values, "SIMULATED_KERNEL_RESULTS=4:-22"}, 0, 0,
	 banner + line_0 + "quillet:(1) bdflush(00000004,&d)=-1 22\n", "", "",
	 1},
	/* Parameter 0 holding what the probe starts from is no stub. */
	{"ProbeStartHeld", {"update", "-d"},
	 {"SIMULATED_KERNEL_VALUES=-2147483648",
	  "SIMULATED_KERNEL_RESULTS=4:-22"}, 0, 0,
	 banner + "0: -2147483648 Max fraction of LRU list to examine for"
	 " dirty blocks\n", "quillet:(1) bdflush(00000004,&d)=-1 22\n",
	 probe + probe + probe + "bdflush(4,&v)=-1\n"},
	{"ProbeSecondStartHeld", {"update", "-d"},
	 {"SIMULATED_KERNEL_VALUES=2147483647",
	  "SIMULATED_KERNEL_RESULTS=4:-22"}, 0, 0,
	 banner + "0: 2147483647 Max fraction of LRU list to examine for"
	 " dirty blocks\n", "quillet:(1) bdflush(00000004,&d)=-1 22\n",
	 probe + probe + "bdflush(4,&v)=-1\n"},
	/* A stub kernel is answered as one without the call. */
	{"StubKernel", {"update", "-d", "-d"}, {stub}, 0, 0, banner + banner,
	 "quillet:(0) bdflush(00000002,&d)=" + no_call +
	 "quillet:(0) bdflush(00000002,&d)=" + no_call, probe + probe},
	{"StubKernelWrite", {"update", "-0", "5", "-d"}, {stub}, 0, 1, "",
	 "quillet: bdflush(3,5)=" + no_call, probe + probe},
	{"OwnThreadBounds", {"update", "-1", "999999", "-d"}, {own_thread}, 0,
	 1, "", "quillet: bdflush(5,999999)=-1 22\n",
	 probe + "bdflush(5,999999)=-1\n"},
};
INSTANTIATE_TEST_SUITE_P(Listing, Simulated, testing::ValuesIn(listing_cases),
    [](const auto &info) { return std::string(info.param.name); });

/* One flush whatever its result, one sync; the delays change nothing. */
const Case user_cases[] = {
	{"FlushAndSync", {"update", "-s", "1", "-f", "0"}, {}, 1, 0, "",
	 notice, probe + "bdflush(1,0)=0\nsync\n"},
	{"RefusedFlush", {"update"}, {"SIMULATED_KERNEL_RESULTS=1:-22"}, 1, 0,
	 "", notice, probe + "bdflush(1,0)=-1\nsync\n"},
	{"AfterWrite", {"update", "-1", "100"}, {}, 1, 0, "", notice,
	 probe + "bdflush(5,100)=0\nbdflush(1,0)=0\nsync\n"},
	/* Only the superuser may use a stub; others are refused. */
	{"StubKernel", {"update"}, {stub}, 1, 0, "", notice,
	 "bdflush(2,&v)=-1\nbdflush(1,0)=-1\nsync\n"},
	/* Without the 32-bit id calls the 16-bit one tells, the user's and
	   not the group's, 0. */
	{"OldestKernel", {"update"}, {oldest}, 2, 0, "", notice,
	 probe + "bdflush(1,0)=0\nsync\n"},
};
INSTANTIATE_TEST_SUITE_P(OrdinaryUser, Simulated,
    testing::ValuesIn(user_cases),
    [](const auto &info) { return std::string(info.param.name); });

struct ForkCase {
	const char *name;
	const char *failing_fork;
	int status;
	std::vector<std::string> titles;
};

void
PrintTo(const ForkCase &c, std::ostream *os)
{
	*os << c.name;
}

/* A fork that failed leaves its daemon out and fails the launcher. */
const ForkCase fork_cases[] = {
	{"BothForks", "0", 0, {"bdflush (daemon)", "update (bdflush)"}},
	{"FirstForkFails", "1", 1, {"update (bdflush)"}},
	{"SecondForkFails", "2", 1, {"bdflush (daemon)"}},
};

class Forks : public testing::TestWithParam<ForkCase> {};

TEST_P(Forks, LeaveTheDaemonsThatForked)
{
	if (const char *why = daemons_out_of_sight())
		GTEST_SKIP() << why;
	const ForkCase &c = GetParam();
	KernelLog log;
	Daemons d;
	std::string failing = "SIMULATED_KERNEL_FAIL_FORK=";
	RunResult r = run_simulated({"update", "-f", "1"},
	    {failing + c.failing_fork}, log);
	d.collect();
	EXPECT_EQ(r.status, c.status);
	EXPECT_EQ(d.pids.size(), c.titles.size());
	for (const auto &t : c.titles)
		EXPECT_NE(d.find({t}), 0) << t;
}
INSTANTIATE_TEST_SUITE_P(Launcher, Forks, testing::ValuesIn(fork_cases),
    [](const auto &info) { return std::string(info.param.name); });

/* Inherited descriptors past 255 are closed in both daemons, however the
   kernel lets them be found. There are more of them than one read of /proc
   lists, and the old kernel's limit has since been lowered below most. */
struct KernelAge {
	const char *name;
	std::vector<std::string> env;
};

void
PrintTo(const KernelAge &c, std::ostream *os)
{
	*os << c.name;
}

const KernelAge kernel_ages[] = {
	{"CloseRange", {}},
	{"ProcListing",
	 {"SIMULATED_KERNEL_OLD=1", "SIMULATED_KERNEL_NOFILE=1024"}},
	{"DescriptorLimit",
	 {"SIMULATED_KERNEL_OLD=1", "SIMULATED_KERNEL_NO_PROC=1"}},
	/* And where getdents64, ugetrlimit and the 32-bit ids are missing
	   too, so that the superuser is known by the 16-bit geteuid. */
	{"OldestListing", {"SIMULATED_KERNEL_OLD=1", oldest}},
	{"OldestLimit",
	 {"SIMULATED_KERNEL_OLD=1", "SIMULATED_KERNEL_NO_PROC=1", oldest}},
};

class HighDescriptors : public testing::TestWithParam<KernelAge> {};

TEST_P(HighDescriptors, AreNotInherited)
{
	if (const char *why = daemons_out_of_sight())
		GTEST_SKIP() << why;
	const int last_fd = 1999;
	struct rlimit limit;
	getrlimit(RLIMIT_NOFILE, &limit);
	if (limit.rlim_cur <= last_fd) {
		if (limit.rlim_max <= last_fd)
			GTEST_SKIP() << "needs a descriptor limit past " << last_fd;
		limit.rlim_cur = last_fd + 1;
		setrlimit(RLIMIT_NOFILE, &limit);
	}
	KernelLog log;
	Daemons d;
	RunOptions o;
	o.set_env = GetParam().env;
	o.set_env.push_back("SIMULATED_KERNEL_LOG=" + log.path);
	for (int fd = 255; fd <= last_fd; fd++)
		o.extra_fds.push_back(fd);
	EXPECT_EQ(run(SIMULATED_UPDATE_PATH, {"update"}, o).status, 0);
	d.collect();
	pid_t daemon = d.find({"bdflush (daemon)"});
	pid_t update = d.find({"update (bdflush)"});
	ASSERT_NE(daemon, 0);
	ASSERT_NE(update, 0);
	expect_detached(daemon);
	expect_detached(update);
}
INSTANTIATE_TEST_SUITE_P(Launcher, HighDescriptors,
    testing::ValuesIn(kernel_ages),
    [](const auto &info) { return std::string(info.param.name); });

/* Once refused, sync every second for good. Three flushes are accepted
   back to back before a refusal while the flush daemon's call never
   returns; a stub kernel is refused from the first request on, code 0
   included, and a kernel with a flush thread of its own returns from code
   0 and ends the caller of code 1, so their flush daemons end with status
   1 (unless before the launcher, which then reaped them). A sleep of its
   delay comes first; the first flush is a child's, later ones the update
   process's own. */
struct SyncCase {
	const char *name;
	std::vector<std::string> env;
	std::string flush_calls, daemon_calls;
	int daemon_status;	/* -1: still waiting in the kernel */
};

void
PrintTo(const SyncCase &c, std::ostream *os)
{
	*os << c.name;
}

const std::string flush = "sleep(0)\nbdflush(1,0)=0\n";
const SyncCase sync_cases[] = {
	{"RefusalAfterThreeFlushes",
	 {"SIMULATED_KERNEL_FLUSHES=3", "SIMULATED_KERNEL_RESULTS=1:-38"},
	 "sleep(0)\n" + probe + "child: bdflush(1,0)=0\n" + flush + flush +
	 "sleep(0)\nbdflush(1,0)=-1\n", probe + "bdflush(0,0) waits\n", -1},
	{"StubKernel", {stub}, "sleep(0)\n" + probe + probe, probe + probe, 1},
	/* The first flush is made by a child, which it ends. */
	{"OwnFlushThread", {own_thread},
	 "sleep(0)\n" + probe + "child: bdflush(1,0) ends the caller\n",
	 probe + "bdflush(0,0)=0\n", 1},
	/* No child for it: no flush made, none taken for made. */
	{"NoChildForkFails", {"SIMULATED_KERNEL_FAIL_FORK=3"},
	 "sleep(0)\n" + probe, probe + "bdflush(0,0) waits\n", -1},
	{"NoChildPipeFails", {"SIMULATED_KERNEL_NOFILE=1"},
	 "sleep(0)\n" + probe, probe + "bdflush(0,0) waits\n", -1},
};

class SwitchToSync : public testing::TestWithParam<SyncCase> {};

TEST_P(SwitchToSync, AfterRefusal)
{
	if (const char *why = daemons_out_of_sight())
		GTEST_SKIP() << why;
	const SyncCase &c = GetParam();
	KernelLog log;
	Daemons d;
	RunResult r = run_simulated({"update", "-f", "0", "-s", "1"}, c.env,
	    log);
	d.collect();
	EXPECT_EQ(r.status, 0);
	pid_t update = d.find({"update (sync)"});
	ASSERT_NE(update, 0);
	expect_detached(update);
	std::string expected = c.flush_calls +
	    "sleep(1)\nsync\nsleep(1)\nsync\nsleep(1)\n";
	size_t n = std::count(c.flush_calls.begin(), c.flush_calls.end(), '\n'),
	       all = n + 5;
	std::vector<long> t;
	std::string calls;
	for (int ms = 0; ms < 3000 && t.size() < all; ms += 50, pause_ms(50)) {
		t.clear();
		calls = log.calls(update, &t);
	}
	EXPECT_EQ(calls, expected);
	ASSERT_EQ(t.size(), all);
	EXPECT_NEAR(t[n + 1] - t[n - 1], 1000, 200);
	EXPECT_NEAR(t[n + 3] - t[n + 1], 1000, 200);
	EXPECT_EQ(log.calls(-update), c.daemon_calls);
	for (pid_t daemon : std::vector<pid_t>(d.pids)) {
		if (daemon == update)
			continue;
		if (c.daemon_status < 0)
			expect_detached(daemon);
		EXPECT_EQ(d.wait_exit(daemon, c.daemon_status < 0 ? 0 : 2000),
			  c.daemon_status);
	}
}
INSTANTIATE_TEST_SUITE_P(SimulatedDaemons, SwitchToSync,
    testing::ValuesIn(sync_cases),
    [](const auto &info) { return std::string(info.param.name); });

/* Without -f and -s: 5 seconds before each flush, 30 before each sync,
   each second here lasting 10 ms. */
TEST(SimulatedDaemons, DefaultDelays)
{
	if (const char *why = daemons_out_of_sight())
		GTEST_SKIP() << why;
	KernelLog log;
	Daemons d;
	RunResult r = run_simulated({"update"},
	    {"SIMULATED_KERNEL_RESULTS=1:-38", "SIMULATED_KERNEL_SECOND_MS=10"},
	    log);
	d.collect();
	EXPECT_EQ(r.status, 0);
	pid_t update = d.find({"update (bdflush)", "update (sync)"});
	ASSERT_NE(update, 0);
	std::string calls, expected =
	    "sleep(5)\n" + probe + "child: bdflush(1,0)=-1\nsleep(30)\n";
	for (int ms = 0; ms < 3000 && calls.size() < expected.size();
	     ms += 50, pause_ms(50))
		calls = log.calls(update);
	EXPECT_EQ(calls.substr(0, expected.size()), expected);
}

/* Returning later than the launcher's exit, the daemon is seen to fail. */
TEST(SimulatedDaemons, DaemonCallReturns)
{
	if (const char *why = daemons_out_of_sight())
		GTEST_SKIP() << why;
	KernelLog log;
	Daemons d;
	RunResult r = run_simulated({"update"},
	    {"SIMULATED_KERNEL_RESULTS=0:-22",
	     "SIMULATED_KERNEL_DAEMON_MS=300"}, log);
	d.collect();
	EXPECT_EQ(r.status, 0);
	pid_t daemon = d.find({"bdflush (daemon)"});
	pid_t update = d.find({"update (bdflush)"});
	ASSERT_NE(daemon, 0);
	EXPECT_EQ(d.wait_exit(daemon, 2000), 1);
	EXPECT_EQ(log.calls(daemon), probe + "bdflush(0,0)=-1\n");
	EXPECT_NE(update, 0);
	EXPECT_EQ(d.wait_exit(update, 0), -1);
}

} // namespace
