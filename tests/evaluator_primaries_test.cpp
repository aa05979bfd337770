/* File, string, integer and terminal primaries, on fixtures made here. */
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "evaluator_case.h"

namespace {

std::string fixture_dir;
bool have_block_device;

void
make_file(const std::string &name, mode_t mode, const char *content = "",
	  uid_t uid = 0, gid_t gid = 0)
{
	std::string path = fixture_dir + "/" + name;
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
	ASSERT_GE(fd, 0) << path;
	ASSERT_EQ(write(fd, content, strlen(content)), (ssize_t)strlen(content));
	close(fd);
	if (geteuid() == 0)
		ASSERT_EQ(chown(path.c_str(), uid, gid), 0);
	ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

void
set_mtime(const std::string &name, time_t when, long nanoseconds = 0)
{
	struct timespec t[2] = {{when, nanoseconds}, {when, nanoseconds}};
	ASSERT_EQ(utimensat(AT_FDCWD, (fixture_dir + "/" + name).c_str(), t,
			    0), 0);
}

/* Everything below fixture_dir, which is also the working directory; "@name"
   in a case stands for its path. */
class Files : public testing::TestWithParam<Case> {
public:
	static void
	SetUpTestSuite()
	{
		char tmpl[] = "/tmp/evaluator-files-XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		fixture_dir = tmpl;
		ASSERT_EQ(chmod(tmpl, 0755), 0);
		std::string d = fixture_dir + "/";
		make_file("regular", 0644, "data");
		make_file("empty", 0644);
		make_file("setuid", 04755, "x");
		make_file("setgid", 02755, "x");
		make_file("mode000", 0000, "x");
		make_file("mode444", 0444, "x");
		make_file("mode222", 0222, "x");
		make_file("mode111", 0111, "x");
		make_file("mode010", 0010, "x");
		make_file("nobody400", 0400, "x", 65534, 65534);
		make_file("nobody044", 0044, "x", 65534, 65534);
		make_file("group040", 0040, "x", 0, 65534);
		make_file("group150", 0040, "x", 0, 150);
		make_file("old", 0644, "x");
		make_file("new", 0644, "x");
		set_mtime("old", 1000000000);
		set_mtime("new", 1700000000);
		make_file("early", 0644, "x");
		make_file("late", 0644, "x");
		make_file("late_too", 0644, "x");
		set_mtime("early", 1700000000, 200000000);
		set_mtime("late", 1700000000, 700000000);
		set_mtime("late_too", 1700000000, 700000000);
		ASSERT_EQ(mkdir((d + "dir").c_str(), 0755), 0);
		ASSERT_EQ(mkdir((d + "sticky").c_str(), 01777), 0);
		ASSERT_EQ(chmod((d + "sticky").c_str(), 01777), 0);
		ASSERT_EQ(symlink("regular", (d + "link").c_str()), 0);
		ASSERT_EQ(symlink("regular", (d + "l").c_str()), 0);
		ASSERT_EQ(symlink("missing", (d + "dangling").c_str()), 0);
		ASSERT_EQ(link((d + "regular").c_str(), (d + "hard").c_str()), 0);
		ASSERT_EQ(mkfifo((d + "fifo").c_str(), 0644), 0);
		int s = socket(AF_UNIX, SOCK_STREAM, 0);
		struct sockaddr_un addr = {};
		addr.sun_family = AF_UNIX;
		snprintf(addr.sun_path, sizeof addr.sun_path, "%ssocket",
			 d.c_str());
		ASSERT_EQ(bind(s, (struct sockaddr *)&addr, sizeof addr), 0);
		close(s);
		have_block_device = mknod((d + "block").c_str(), S_IFBLK | 0600,
					  makedev(7, 0)) == 0;
		/* Sparse, past every 32-bit size and offset. */
		int fd = open((d + "large").c_str(), O_WRONLY | O_CREAT, 0644);
		ASSERT_EQ(ftruncate(fd, 5LL << 30), 0);
		close(fd);
	}

	static void
	TearDownTestSuite()
	{
		std::filesystem::remove_all(fixture_dir);
	}
};

Case
with_paths(Case c)
{
	for (auto &a : c.argv)
		if (a.size() > 1 && a[0] == '@')
			a = fixture_dir + "/" + a.substr(1);
	return c;
}

TEST_P(Files, Runs)
{
	Case c = with_paths(GetParam());
	if (std::string(c.name) == "BlockDevice" && !have_block_device)
		GTEST_SKIP() << "cannot make a block device here";
	RunOptions o;
	o.cwd = fixture_dir;
	expect_case(c, o);
}

const Case file_cases[] = {
	{"ExistsA",            {"test", "-a", "@regular"},   0, ""},
	{"ExistsE",            {"test", "-e", "@dir"},       0, ""},
	{"ExistsMissing",      {"test", "-e", "@missing"},   1, ""},
	{"ExistsEmptyName",    {"test", "-e", ""},           1, ""},
	{"ExistsDangling",     {"test", "-e", "@dangling"},  1, ""},
	{"RegularFile",        {"test", "-f", "@regular"},   0, ""},
	{"RegularThroughLink", {"test", "-f", "@link"},      0, ""},
	{"RegularNotDir",      {"test", "-f", "@dir"},       1, ""},
	{"RegularNotDevice",   {"test", "-f", "/dev/null"},  1, ""},
	{"RegularEmptyName",   {"test", "-f", ""},           1, ""},
	{"Directory",          {"test", "-d", "@dir"},       0, ""},
	{"DirectoryNotFile",   {"test", "-d", "@regular"},   1, ""},
	{"CharacterDevice",    {"test", "-c", "/dev/null"},  0, ""},
	{"CharacterNotFile",   {"test", "-c", "@regular"},   1, ""},
	{"BlockDevice",        {"test", "-b", "@block"},     0, ""},
	{"BlockNotCharacter",  {"test", "-b", "/dev/null"},  1, ""},
	{"Pipe",               {"test", "-p", "@fifo"},      0, ""},
	{"PipeNotFile",        {"test", "-p", "@regular"},   1, ""},
	{"Socket",             {"test", "-S", "@socket"},    0, ""},
	{"SocketNotPipe",      {"test", "-S", "@fifo"},      1, ""},
	{"SymbolicLinkL",      {"test", "-L", "@link"},      0, ""},
	{"SymbolicLinkH",      {"test", "-h", "@dangling"},  0, ""},
	{"SymbolicOneLetter",  {"test", "-L", "l"},          0, ""},
	{"SymbolicNotFile",    {"test", "-L", "@regular"},   1, ""},
	{"SymbolicEmptyName",  {"test", "-L", ""},           1, ""},
	{"SymbolicMissing",    {"test", "-h", "@missing"},   1, ""},
	{"SetGroupId",         {"test", "-g", "@setgid"},    0, ""},
	{"SetGroupIdNot",      {"test", "-g", "@setuid"},    1, ""},
	{"SetUserId",          {"test", "-u", "@setuid"},    0, ""},
	{"SetUserIdNot",       {"test", "-u", "@setgid"},    1, ""},
	{"Sticky",             {"test", "-k", "@sticky"},    0, ""},
	{"StickyNot",          {"test", "-k", "@dir"},       1, ""},
	{"SizeNonZero",        {"test", "-s", "@regular"},   0, ""},
	{"SizeOneByte",        {"test", "-s", "@setuid"},    0, ""},
	{"SizeZero",           {"test", "-s", "@empty"},     1, ""},
	{"SizeMissing",        {"test", "-s", "@missing"},   1, ""},
	{"LargeExists",        {"test", "-e", "@large"},     0, ""},
	{"LargeRegular",       {"test", "-f", "@large"},     0, ""},
	{"LargeSize",          {"test", "-s", "@large"},     0, ""},
	{"NewerThanOld",       {"test", "@new", "-nt", "@old"},     0, ""},
	{"OldNotNewer",        {"test", "@old", "-nt", "@new"},     1, ""},
	{"NewerThanMissing",   {"test", "@new", "-nt", "@missing"}, 1, ""},
	{"MissingNewer",       {"test", "@missing", "-nt", "@old"}, 1, ""},
	{"BothMissingNewer",   {"test", "@missing", "-nt", "@gone"}, 1, ""},
	{"OlderThanNew",       {"test", "@old", "-ot", "@new"},     0, ""},
	{"NewNotOlder",        {"test", "@new", "-ot", "@old"},     1, ""},
	{"MissingNotOlder",    {"test", "@missing", "-ot", "@new"}, 1, ""},
	/* Within one second the nanoseconds decide; equal times neither. */
	{"NewerInSameSecond",  {"test", "@late", "-nt", "@early"},  0, ""},
	{"NotNewerInSameSecond", {"test", "@early", "-nt", "@late"}, 1, ""},
	{"OlderInSameSecond",  {"test", "@early", "-ot", "@late"},  0, ""},
	{"NotOlderInSameSecond", {"test", "@late", "-ot", "@early"}, 1, ""},
	{"EqualTimesNotNewer", {"test", "@late", "-nt", "@late_too"}, 1, ""},
	{"EqualTimesNotOlder", {"test", "@late", "-ot", "@late_too"}, 1, ""},
	{"SameAsHardLink",     {"test", "@regular", "-ef", "@hard"}, 0, ""},
	{"SameThroughSymlink", {"test", "@link", "-ef", "@regular"}, 0, ""},
	{"NotSameFile",        {"test", "@regular", "-ef", "@empty"}, 1, ""},
	{"SameAsMissing",      {"test", "@missing", "-ef", "@missing"}, 1, ""},
	{"FileTestOperandNeeded", {"test", "x", "-a", "-f"},        1, "test: argument expected\n"},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, Files, testing::ValuesIn(file_cases),
			 case_name);

/* Access and ownership, as whoever the row names. */
struct AccessCase {
	const char *name;
	int uid;	/* 0: the superuser; else run under this uid and gid */
	std::vector<std::string> argv;
	int status;
	std::vector<gid_t> groups = {};	/* supplementary, beside uid */
	bool old_kernel = false;	/* the C library's calls fail */
	int gid = -1;			/* else the uid's */
};

void
PrintTo(const AccessCase &c, std::ostream *os)
{
	PrintTo(Case{c.name, c.argv, c.status, ""}, os);
	*os << " as uid " << c.uid;
}

class AccessAs : public testing::TestWithParam<AccessCase> {
protected:
	static void SetUpTestSuite() { Files::SetUpTestSuite(); }
	static void TearDownTestSuite() { Files::TearDownTestSuite(); }
};

TEST_P(AccessAs, Runs)
{
	const AccessCase &a = GetParam();
	if (geteuid() != 0)
		GTEST_SKIP() << "needs the superuser, to own fixtures and "
				"to drop to another user";
	RunOptions o;
	if (a.uid != 0)
		o.uid = a.uid;
	o.groups = a.groups;
	o.gid = a.gid;
	const char *program = EVALUATOR_PATH;
	if (a.old_kernel) {
		o.set_env = {"SIMULATED_KERNEL_OLDEST=1"};
		program = OLD_KERNEL_EVALUATOR_PATH;
	}
	expect_case(with_paths(Case{a.name, a.argv, a.status, ""}), o,
		    program);
}

const AccessCase access_cases[] = {
	/* The superuser reads and writes anything that exists, and executes
	   what has any execute bit. */
	{"RootReadsMode000",   0, {"test", "-r", "@mode000"}, 0},
	{"RootWritesMode000",  0, {"test", "-w", "@mode000"}, 0},
	{"RootWritesMode444",  0, {"test", "-w", "@mode444"}, 0},
	{"RootNoExecMode000",  0, {"test", "-x", "@mode000"}, 1},
	{"RootNoExecMode644",  0, {"test", "-x", "@regular"}, 1},
	{"RootNoExecMode222",  0, {"test", "-x", "@mode222"}, 1},
	{"RootExecMode111",    0, {"test", "-x", "@mode111"}, 0},
	{"RootExecGroupBit",   0, {"test", "-x", "@mode010"}, 0},
	{"RootExecDirectory",  0, {"test", "-x", "@dir"},     0},
	{"RootReadsMissing",   0, {"test", "-r", "@missing"}, 1},
	{"RootOwnsFile",       0, {"test", "-O", "@regular"}, 0},
	{"RootGroupOwnsFile",  0, {"test", "-G", "@regular"}, 0},
	{"RootNotOwnerNobody", 0, {"test", "-O", "@nobody400"}, 1},
	{"RootNotGroupNobody", 0, {"test", "-G", "@nobody400"}, 1},
	{"OtherReadsMode444",  65534, {"test", "-r", "@mode444"}, 0},
	{"OtherNoReadMode000", 65534, {"test", "-r", "@mode000"}, 1},
	{"OtherNoWriteMode444", 65534, {"test", "-w", "@mode444"}, 1},
	{"OtherWritesMode222", 65534, {"test", "-w", "@mode222"}, 0},
	{"OtherExecMode111",   65534, {"test", "-x", "@mode111"}, 0},
	{"OtherNoReadMode111", 65534, {"test", "-r", "@mode111"}, 1},
	{"OtherNoWriteMode111", 65534, {"test", "-w", "@mode111"}, 1},
	{"OtherNoExecMode444", 65534, {"test", "-x", "@mode444"}, 1},
	{"OtherNoExecGroupBit", 65534, {"test", "-x", "@mode010"}, 1},
	{"OwnerReadsMode400",  65534, {"test", "-r", "@nobody400"}, 0},
	/* The owner class decides alone, even when the others would allow. */
	{"OwnerClassDecides",  65534, {"test", "-r", "@nobody044"}, 1},
	{"GroupClassDecides",  65534, {"test", "-r", "@group040"}, 0},
	{"SupplementaryGroupReads", 65534, {"test", "-r", "@group150"}, 0,
	 {100, 150}},
	{"OtherOwnsFile",      65534, {"test", "-O", "@nobody400"}, 0},
	{"OtherGroupOwnsFile", 65534, {"test", "-G", "@nobody400"}, 0},
	{"OtherNotOwnerRoot",  65534, {"test", "-O", "@regular"}, 1},
	{"OtherCannotReadMissing", 65534, {"test", "-r", "@missing"}, 1},
	/* Where stat, lstat and the 32-bit id calls fail with ENOSYS, the
	   older calls give the same answers. */
	{"OldKernelDirectory", 0, {"test", "-d", "@dir"}, 0, {}, true},
	{"OldKernelMissing",   0, {"test", "-e", "@missing"}, 1, {}, true},
	{"OldKernelFollowsLink", 0, {"test", "-f", "@link"}, 0, {}, true},
	{"OldKernelLink",      0, {"test", "-L", "@link"}, 0, {}, true},
	{"OldKernelSize",      0, {"test", "-s", "@regular"}, 0, {}, true},
	{"OldKernelSame",      0, {"test", "@regular", "-ef", "@hard"}, 0, {},
	 true},
	{"OldKernelNotSame",   0, {"test", "@regular", "-ef", "@empty"}, 1, {},
	 true},
	/* Roots of two file systems of the kernel's own, both inode 1. */
	{"OldKernelOtherDevice", 0, {"test", "/proc", "-ef", "/sys"}, 1, {},
	 true},
	{"OldKernelNewer",     0, {"test", "@late", "-nt", "@early"}, 0, {},
	 true},
	{"OldKernelRootOwns",  0, {"test", "-O", "@regular"}, 0, {}, true},
	{"OldKernelRootWrites", 0, {"test", "-w", "@mode444"}, 0, {}, true},
	{"OldKernelOtherGroup", 65534, {"test", "-G", "@nobody400"}, 0, {},
	 true},
	/* In group 0, so that the user's and group's ids differ. */
	{"OldKernelOtherOwns", 65534, {"test", "-O", "@nobody400"}, 0, {},
	 true, 0},
	{"OldKernelOtherNotGroup", 65534, {"test", "-G", "@nobody400"}, 1, {},
	 true, 0},
	{"OldKernelOtherNoWrite", 65534, {"test", "-w", "@mode444"}, 1, {},
	 true},
	{"OldKernelSupplementary", 65534, {"test", "-r", "@group150"}, 0,
	 {100, 150}, true},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, AccessAs, testing::ValuesIn(access_cases),
			 [](const auto &info) {
				 return std::string(info.param.name);
			 });

class Strings : public testing::TestWithParam<Case> {};
TEST_P(Strings, Runs) { expect_case(GetParam()); }

const Case string_cases[] = {
	{"NonEmptyN",          {"test", "-n", "x"},           0, ""},
	{"EmptyN",             {"test", "-n", ""},            1, ""},
	{"EmptyZ",             {"test", "-z", ""},            0, ""},
	{"NonEmptyZ",          {"test", "-z", "x"},           1, ""},
	{"SameStrings",        {"test", "a", "=", "a"},       0, ""},
	{"DifferentStrings",   {"test", "a", "=", "b"},       1, ""},
	{"SameNotDifferent",   {"test", "a", "!=", "a"},      1, ""},
	{"Different",          {"test", "a", "!=", "b"},      0, ""},
	{"EmptyStringsEqual",  {"test", "", "=", ""},         0, ""},
	{"PrefixNotEqual",     {"test", "ab", "=", "abc"},    1, ""},
	/* Beside = and != a "-l" operand is the decimal text of the length. */
	{"LengthEqualsText",   {"test", "-l", "abc", "=", "3"},        0, ""},
	{"TextEqualsLength",   {"test", "3", "=", "-l", "abc"},        0, ""},
	{"LengthsNotDifferent", {"test", "-l", "ab", "!=", "-l", "cd"}, 1, ""},
	{"LengthNotPadded",    {"test", "-l", "abc", "=", "03"},       1, ""},
	{"LengthDiffers",      {"test", "-l", "", "!=", "0"},          1, ""},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, Strings, testing::ValuesIn(string_cases),
			 case_name);

class Integers : public testing::TestWithParam<Case> {};
TEST_P(Integers, Runs) { expect_case(GetParam()); }

const Case integer_cases[] = {
	{"BlanksAround",       {"test", " 12 ", "-eq", "12"},     0, ""},
	{"TabsAround",         {"test", "\t7\t", "-eq", "7"},     0, ""},
	{"LeadingZeros",       {"test", "007", "-eq", "7"},       0, ""},
	{"SignedLess",         {"test", "-5", "-lt", "+3"},       0, ""},
	{"TrailingLetter",     {"test", "12x", "-eq", "12"},      1, "test: integer expression expected before -eq\n"},
	{"LoneSign",           {"test", "1", "-eq", "+"},         1, "test: integer expression expected after -eq\n"},
	{"LoneMinus",          {"test", "-", "-ne", "0"},         1, "test: integer expression expected before -ne\n"},
	{"SignThenBlank",      {"test", "- 1", "-lt", "0"},       1, "test: integer expression expected before -lt\n"},
	{"EmptyInteger",       {"test", "", "-eq", "0"},          1, "test: integer expression expected before -eq\n"},
	{"BlanksOnly",         {"test", "0", "-le", " "},         1, "test: integer expression expected after -le\n"},
	{"InnerBlank",         {"test", "1 2", "-gt", "0"},       1, "test: integer expression expected before -gt\n"},
	{"BothBadBeforeWins",  {"test", "x", "-ge", "y"},         1, "test: integer expression expected before -ge\n"},
	{"AfterGe",            {"test", "1", "-ge", "y"},         1, "test: integer expression expected after -ge\n"},
	{"AfterGt",            {"test", "1", "-gt", "1.0"},       1, "test: integer expression expected after -gt\n"},
	{"AfterNe",            {"test", "1", "-ne", "0x1"},       1, "test: integer expression expected after -ne\n"},
	{"AfterLt",            {"test", "1", "-lt", "--1"},       1, "test: integer expression expected after -lt\n"},
	{"BeforeLe",           {"test", "++1", "-le", "1"},       1, "test: integer expression expected before -le\n"},
	{"WrapsAt32Bits",      {"test", "4294967297", "-eq", "1"},          0, ""},
	{"NegativeWraps",      {"test", "-4294967295", "-eq", "1"},         0, ""},
	{"WrapsToMinimum",     {"test", "2147483648", "-eq", "-2147483648"}, 0, ""},
	{"SignedExtremes",     {"test", "2147483647", "-gt", "-2147483648"}, 0, ""},
	{"LongDigitRun",       {"test", "18446744073709551617", "-eq", "1"}, 0, ""},
	{"EqualFalse",         {"test", "1", "-eq", "2"},         1, ""},
	{"NotEqual",           {"test", "1", "-ne", "2"},         0, ""},
	{"NotEqualFalse",      {"test", "2", "-ne", "2"},         1, ""},
	{"LessFalse",          {"test", "2", "-lt", "2"},         1, ""},
	{"LessOrEqual",        {"test", "2", "-le", "2"},         0, ""},
	{"LessOrEqualFalse",   {"test", "3", "-le", "2"},         1, ""},
	{"Greater",            {"test", "3", "-gt", "2"},         0, ""},
	{"GreaterFalse",       {"test", "2", "-gt", "2"},         1, ""},
	{"GreaterOrEqual",     {"test", "2", "-ge", "2"},         0, ""},
	{"GreaterOrEqualFalse", {"test", "-3", "-ge", "2"},       1, ""},
	{"LeftLength",         {"test", "-l", "abc", "-eq", "3"}, 0, ""},
	{"RightLength",        {"test", "3", "-eq", "-l", "abc"}, 0, ""},
	{"BothLengths",        {"test", "-l", "abc", "-gt", "-l", "ab"}, 0, ""},
	{"EmptyLength",        {"test", "-l", "", "-eq", "0"},    0, ""},
	{"LengthIsBytes",      {"test", "-l", "\xc3\xa9", "-eq", "2"}, 0, ""},
	{"LengthThenBadRight", {"test", "-l", "a", "-eq", "b"},   1, "test: integer expression expected after -eq\n"},
	{"LengthNeedsOperator", {"test", "-l", "=", "x"},         1, "test: x: binary operator expected\n"},
	/* The operator after a left -l needs an operand after it. */
	{"LengthOperatorLast", {"test", "-l", "=", "="},          1, "test: =: binary operator expected\n"},
	{"RightLengthAsValue", {"test", "1", "-eq", "-l"},        1, "test: integer expression expected after -eq\n"},
	{"NewerNoLength",      {"test", "-l", "abc", "-nt", "x"}, 1, "test: -nt does not accept -l\n"},
	{"OlderNoLength",      {"test", "a", "-ot", "-l", "b"},   1, "test: -ot does not accept -l\n"},
	{"SameNoLength",       {"test", "a", "-ef", "-l", "b"},   1, "test: -ef does not accept -l\n"},
	{"SameNoLeftLength",   {"test", "-l", "a", "-ef", "b"},   1, "test: -ef does not accept -l\n"},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, Integers, testing::ValuesIn(integer_cases),
			 case_name);

/* -t against a real pseudo-terminal, and against the pipes run() gives. */
struct TerminalCase {
	const char *name;
	std::vector<std::string> argv;
	bool stdin_tty, stdout_tty;
	int status;
};

void
PrintTo(const TerminalCase &c, std::ostream *os)
{
	*os << c.name;
}

class Terminal : public testing::TestWithParam<TerminalCase> {};

TEST_P(Terminal, Runs)
{
	const TerminalCase &c = GetParam();
	int master, slave;
	ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
	RunOptions o;
	if (c.stdin_tty)
		o.stdin_fd = slave;
	if (c.stdout_tty)
		o.stdout_fd = slave;
	RunResult r = run(EVALUATOR_PATH, c.argv, o);
	close(slave);
	close(master);
	EXPECT_EQ(r.status, c.status);
	EXPECT_EQ(r.err, "");
}

const TerminalCase terminal_cases[] = {
	{"StdinTerminal",      {"test", "-t", "0"},        true,  false, 0},
	{"StdinNotTerminal",   {"test", "-t", "0"},        false, true,  1},
	{"BlankedDescriptor",  {"test", "-t", " 0 "},      true,  false, 0},
	{"StdoutByDefault",    {"test", "x", "-a", "-t"},  false, true,  0},
	{"StdoutPipe",         {"test", "x", "-a", "-t"},  true,  false, 1},
	{"StdoutExplicit",     {"test", "-t", "1"},        false, true,  0},
	{"StderrPipe",         {"test", "-t", "2"},        true,  true,  1},
	{"NoSuchDescriptor",   {"test", "-t", "99"},       true,  true,  1},
	{"HugeDescriptor",     {"test", "-t", "99999999999"}, true, true, 1},
	/* Not a number: stdout is tested and the word is left over. */
	{"WordAfterT",         {"test", "-t", "x"},        false, true,  0},
	{"LoneTNoTest",        {"test", "-t"},             false, false, 0},
	/* The descriptor is consumed under "!" too, leaving nothing over. */
	{"NegatedStdin",       {"test", "!", "-t", "0"},   false, false, 0},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, Terminal, testing::ValuesIn(terminal_cases),
			 [](const auto &info) {
				 return std::string(info.param.name);
			 });

}  // namespace
