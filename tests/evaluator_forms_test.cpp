/* Entry, the bracket form, help and version, the fixed forms for short
   argument lists and the general grammar. */
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "evaluator_case.h"

class Entry : public testing::TestWithParam<Case> {};
TEST_P(Entry, Runs) { expect_case(GetParam()); }

const Case entry_cases[] = {
	{"NoArguments",        {"test"},                      1, ""},
	{"BracketAlone",       {"["},                         1, ""},
	{"BracketEmpty",       {"[", "]"},                    1, ""},
	/* The last word is dropped before it is compared with "]". */
	{"BracketOneWord",     {"[", "x"},                    1, ""},
	{"BracketUnclosed",    {"[", "x", "y"},               1, "[: missing `]'\n"},
	{"BracketTrue",        {"[", "x", "]"},               0, ""},
	{"BracketEmptyString", {"[", "", "]"},                1, ""},
	{"BracketOfBracket",   {"[", "]", "]"},               0, ""},
	{"BracketLongForm",    {"[", "a", "=", "a", "]"},     0, ""},
	{"BracketUnclosedLong", {"[", "a", "=", "a", "a"},    1, "[: missing `]'\n"},
	{"PathToBracket",      {"/bin/[", "x", "]"},          1, "/bin/[: argument expected\n"},
	{"HelpWithOperand",    {"test", "--help", "x"},       1, "test: argument expected\n"},
	{"UnknownLongOption",  {"test", "--bogus"},           0, ""},
	{"HelpWithValue",      {"test", "--help=x"},          0, ""},
	{"ShortH",             {"test", "-h"},                0, ""},
	{"DoubleDash",         {"test", "--"},                0, ""},
	{"FiveStrings",        {"test", "a", "b", "c", "d", "e"}, 1, "test: too many arguments\n"},
	{"OneWord",            {"test", "a"},                 0, ""},
	{"EmptyWord",          {"test", ""},                  1, ""},
	{"NameInMessages",     {"./x/test", "x", "y"},        1, "./x/test: argument expected\n"},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, Entry, testing::ValuesIn(entry_cases),
			 case_name);

TEST(EntryEdge, EmptyArgumentVectorIsFalse)
{
	RunResult r = run(EVALUATOR_PATH, {});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out + r.err, "");
}

struct OutputCase {
	const char *name;
	std::vector<std::string> argv;
	const char *posixly_correct;	/* nullptr: unset */
	int status;
	const char *first_line;		/* "" when nothing is printed */
};

void
PrintTo(const OutputCase &c, std::ostream *os)
{
	*os << c.name;
}

class HelpVersion : public testing::TestWithParam<OutputCase> {};

TEST_P(HelpVersion, Answers)
{
	const OutputCase &c = GetParam();
	RunOptions o;
	if (c.posixly_correct)
		o.set_env.push_back(std::string("POSIXLY_CORRECT=") +
				    c.posixly_correct);
	else
		o.unset_env.push_back("POSIXLY_CORRECT");
	RunResult r = run(EVALUATOR_PATH, c.argv, o);
	EXPECT_EQ(r.status, c.status);
	EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), c.first_line);
	EXPECT_EQ(r.err, "");
}

#define VERSION_LINE "test (Orvel brimkit) 1.16\n"
const OutputCase help_version_cases[] = {
	{"Version",             {"test", "--version"},      nullptr, 0, VERSION_LINE},
	{"VersionAbbreviated",  {"test", "--vers"},         nullptr, 0, VERSION_LINE},
	{"Help",                {"test", "--help"},         nullptr, 0, "Usage: test EXPRESSION\n"},
	{"HelpAbbreviated",     {"test", "--h"},            nullptr, 0, "Usage: test EXPRESSION\n"},
	{"BracketHelpUnclosed", {"[", "--help"},            nullptr, 0, "Usage: [ EXPRESSION\n"},
	{"BracketVersionUnclosed", {"[", "--version"},      nullptr, 0, VERSION_LINE},
	{"BracketHelpClosed",   {"[", "--help", "]"},       nullptr, 0, "Usage: [ EXPRESSION\n"},
	{"PosixBracketUnclosed", {"[", "--help"},           "1",     1, ""},
	{"PosixEmptyStillSet",  {"[", "--version"},         "",      1, ""},
	{"PosixBracketClosed",  {"[", "--help", "]"},       "1",     0, "Usage: [ EXPRESSION\n"},
	{"PosixPlainForm",      {"test", "--version"},      "1",     0, VERSION_LINE},
	{"HelpInsideExpression", {"[", "--help", "=", "--help", "]"}, nullptr, 0, ""},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, HelpVersion,
			 testing::ValuesIn(help_version_cases),
			 [](const auto &info) {
				 return std::string(info.param.name);
			 });

/* Only that very name counts, not one it begins or one that begins it. */
TEST(HelpVersionEdge, OtherNamesAreNotPosixlyCorrect)
{
	RunOptions o;
	o.unset_env = {"POSIXLY_CORRECT"};
	o.set_env = {"POSIXLY_CORRECTLY=1", "POSIXLY=1"};
	RunResult r = run(EVALUATOR_PATH, {"[", "--version"}, o);
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out, VERSION_LINE);
}

TEST(HelpText, HasEveryLineInPlace)
{
	RunResult r = run(EVALUATOR_PATH, {"/usr/bin/test", "--help"});
	std::vector<std::string> lines;
	for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos;
	     at = nl + 1)
		lines.push_back(r.out.substr(at, nl - at));
	ASSERT_EQ(lines.size(), 54u);
	EXPECT_EQ(r.out.back(), '\n');
	EXPECT_EQ(lines[0], "Usage: /usr/bin/test EXPRESSION");
	EXPECT_EQ(lines[1], "  or:  [ EXPRESSION ]");
	EXPECT_EQ(lines[2], "  or:  /usr/bin/test OPTION");
	EXPECT_EQ(lines[27], "  FILE1 -ef FILE2   FILE1 and FILE2 have the "
			     "same device and inode numbers");
	EXPECT_EQ(lines[45], "  -t [FD]     file descriptor FD (stdout by default) "
			     "is opened on a terminal");
	EXPECT_EQ(lines[52], "");
	EXPECT_EQ(lines[53].rfind("Report bugs to ", 0), 0u);
	EXPECT_EQ(lines[53].find(' ', 15), std::string::npos);
	for (int empty : {4, 7, 9, 14, 19, 26, 30, 49})
		EXPECT_EQ(lines[empty], "") << "line " << empty + 1;
}

/* Help and version that cannot be written are failures, not successes. */
TEST(HelpVersionOutput, FullDeviceIsAnError)
{
	int full = open("/dev/full", O_WRONLY);
	ASSERT_GE(full, 0);
	RunOptions o;
	o.stdout_fd = full;
	RunResult r = run(EVALUATOR_PATH, {"test", "--version"}, o);
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, "test: write error: No space left on device\n");
	r = run(EVALUATOR_PATH, {"[", "--help"}, o);
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, "[: write error: No space left on device\n");
	close(full);
}

TEST(HelpVersionOutput, ClosedOutputIsAnError)
{
	RunOptions o;
	o.stdout_fd = RunOptions::CLOSED;
	RunResult r = run(EVALUATOR_PATH, {"test", "--help"}, o);
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, "test: write error: Bad file descriptor\n");
}

/* A message longer than the pipe it goes to, stopped and continued (as a
   shell's job control does) while the pipe is full: the write comes back
   short, and the rest must follow it, neither lost nor repeated. */
TEST(Messages, WholeAfterAShortWrite)
{
	std::string word;
	for (int i = 0; i < 20000; i++)
		word += (char)('a' + i % 26);
	int p[2];
	ASSERT_EQ(pipe(p), 0);
	ASSERT_EQ(fcntl(p[1], F_SETPIPE_SZ, 4096), 4096);
	pid_t pid = fork();
	if (pid == 0) {
		dup2(p[1], 2);
		execl(EVALUATOR_PATH, "test", "x", word.c_str(), "y",
		      (char *)nullptr);
		_exit(127);
	}
	close(p[1]);
	int queued = 0;
	for (int waited = 0; queued < 4096 && waited < 5000; waited++) {
		ioctl(p[0], FIONREAD, &queued);
		usleep(1000);
	}
	EXPECT_EQ(queued, 4096);
	int status;
	kill(pid, SIGSTOP);
	EXPECT_EQ(waitpid(pid, &status, WUNTRACED), pid);
	kill(pid, SIGCONT);
	std::string err;
	char buf[4096];
	for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;)
		err.append(buf, n);
	close(p[0]);
	EXPECT_EQ(waitpid(pid, &status, 0), pid);
	EXPECT_EQ(WEXITSTATUS(status), 1);
	EXPECT_EQ(err, "test: " + word + ": binary operator expected\n");
}

class FixedForms : public testing::TestWithParam<Case> {};
TEST_P(FixedForms, Runs) { expect_case(GetParam()); }

const Case fixed_form_cases[] = {
	{"LoneDashWordIsString", {"test", "-f"},              0, ""},
	{"LoneZIsString",      {"test", "-z"},                0, ""},
	{"LoneBangIsString",   {"test", "!"},                 0, ""},
	{"LoneTIsString",      {"test", "-t"},                0, ""},
	{"LoneParenIsString",  {"test", ")"},                 0, ""},
	{"NotEmpty",           {"test", "!", ""},             0, ""},
	{"NotWord",            {"test", "!", "x"},            1, ""},
	{"NotNotWord",         {"test", "!", "!", "x"},       0, ""},
	{"NotMissingFile",     {"test", "!", "-f", "/nonexistent"}, 0, ""},
	{"UnknownUnary",       {"test", "-q", "x"},           1, "test: -q: unary operator expected\n"},
	{"UnknownUnaryFirstLetter", {"test", "-A", "x"},      1, "test: -A: unary operator expected\n"},
	{"TwoStrings",         {"test", "x", "y"},            1, "test: argument expected\n"},
	/* A lone "-" is a string even when an empty word follows it. */
	{"LoneDashThenEmpty",  {"test", "-", ""},             1, "test: argument expected\n"},
	{"OpenParenTwo",       {"test", "(", "x"},            1, "test: argument expected\n"},
	{"EmptyGroup",         {"test", "(", ")"},            1, "test: argument expected\n"},
	{"TrailingOr",         {"test", "x", "-o"},           1, "test: argument expected\n"},
	/* The operand after -t is not a number: stdout is tested, x left over,
	   and the two-operand form still ends the parse. */
	{"TerminalNotNumber",  {"test", "-t", "x"},           1, ""},
	{"NoOperator",         {"test", "x", "y", "z"},       1, "test: y: binary operator expected\n"},
	{"ThreeInParens",      {"test", "(", "x", ")"},       0, ""},
	{"ParenOnlyFirstChar", {"test", "(x", "a", "b"},      1, "test: too many arguments\n"},
	{"ParenGroupOfBang",   {"test", "(", "!", ")"},       1, "test: ')' expected\n"},
	{"ParensCompared",     {"test", "(", "=", ")"},       1, ""},
	{"ThreeAnd",           {"test", "x", "-a", ""},       1, ""},
	{"ThreeOr",            {"test", "", "-o", "x"},       0, ""},
	{"ThreeOrStillParsed", {"test", "x", "-o", "-q"},     1, "test: -q: unary operator expected\n"},
	{"AndOfUnknown",       {"test", "", "-a", "-q"},      1, "test: -q: unary operator expected\n"},
	{"AndOfBang",          {"test", "x", "-a", "!"},      1, "test: argument expected\n"},
	{"DashWordOperands",   {"test", "-q", "=", "-q"},     0, ""},
	{"AOperands",          {"test", "-a", "=", "-a"},     0, ""},
	{"EqualsEquals",       {"test", "=", "=", "="},       0, ""},
	{"BangBeatsOperator",  {"test", "!", "=", "x"},       1, "test: argument expected\n"},
	{"BangBeforeOperator", {"test", "!", "!=", "!"},      1, "test: argument expected\n"},
	{"TerminalBang",       {"test", "!", "-t", "x"},      1, "test: too many arguments\n"},
	{"NotNotNotWord",      {"test", "!", "!", "!", "x"},  1, ""},
	/* "!" before four operands negates the whole three-operand form. */
	{"BangNegatesAll",     {"test", "!", "", "-a", ""},   0, ""},
	{"BangNegatesAndTrue", {"test", "!", "x", "-a", ""},  0, ""},
	{"BangGroup",          {"test", "!", "(", "x", ")"},  1, ""},
	{"BangComparison",     {"test", "!", "a", "=", "b"},  0, ""},
	{"BangLengthError",    {"test", "!", "-l", "=", "x"}, 1, "test: x: binary operator expected\n"},
	{"FourWithoutBang",    {"test", "x", "-a", "!", ""},  0, ""},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, FixedForms,
			 testing::ValuesIn(fixed_form_cases), case_name);

class Grammar : public testing::TestWithParam<Case> {};
TEST_P(Grammar, Runs) { expect_case(GetParam()); }

const Case grammar_cases[] = {
	{"AndBeforeOr",        {"test", "x", "-a", "", "-o", "y"},      0, ""},
	{"OrOfAnds",           {"test", "x", "-o", "", "-a", ""},       0, ""},
	{"FalseOrFalseAnd",    {"test", "", "-o", "", "-a", "x"},       1, ""},
	{"AndChain",           {"test", "a", "-a", "b", "-a", "c"},     0, ""},
	{"AndChainFalse",      {"test", "a", "-a", "b", "-a", ""},      1, ""},
	{"OrChain",            {"test", "", "-o", "", "-o", "c"},       0, ""},
	{"NoShortCircuitOr",   {"test", "x", "-o", "(", "-q", ")"},     1, "test: -q: unary operator expected\n"},
	{"NoShortCircuitAnd",  {"test", "", "-a", "x", "-a", "-q", "y"}, 1, "test: -q: unary operator expected\n"},
	{"FileTestOnFalseSide", {"test", "", "-a", "-d", "/"},          1, ""},
	{"BangsCancel",        {"test", "!", "!", "x", "-a", "x"},      0, ""},
	{"BangOnFirstTerm",    {"test", "!", "x", "-a", "x", "-o", ""}, 1, ""},
	{"NegatedGroup",       {"test", "!", "(", "x", "-a", "", ")", "-a", "x"}, 0, ""},
	{"NestedGroups",       {"test", "(", "(", "x", ")", "-a", "(", "", "-o", "y", ")", ")"}, 0, ""},
	{"GroupThenOr",        {"test", "(", "", ")", "-o", "(", "x", ")"}, 0, ""},
	/* A group beside -a or -o, with the other side deciding the result. */
	{"AndBeforeTrueGroup", {"test", "", "-a", "(", "x", ")"},       1, ""},
	{"OrBeforeFalseGroup", {"test", "x", "-o", "(", "", ")"},       0, ""},
	{"NegatedGroupThenAnd", {"test", "!", "(", "x", ")", "-a", "y"}, 1, ""},
	{"ComparisonInGroup",  {"test", "(", "a", "=", "b", ")", "-o", "1", "-lt", "2"}, 0, ""},
	{"ComparisonAfterAnd", {"test", "x", "-a", "a", "=", "a"},      0, ""},
	{"LengthAfterAnd",     {"test", "x", "-a", "-l", "ab", "-eq", "2"}, 0, ""},
	{"BangWordBeforeOperator", {"test", "x", "-a", "!", "=", "!"},  1, "test: too many arguments\n"},
	{"GroupWordBeforeOperator", {"test", "x", "-a", "(", "=", "y"}, 1, "test: ')' expected, found y\n"},
	{"ParenAsRightOperand", {"test", "x", "-a", "a", "!=", "(", "-a", "y"}, 0, ""},
	{"LengthUnknownUnary", {"test", "-l", "x", "-a", "y"},          1, "test: -l: unary operator expected\n"},
	/* Too few words left for "-l STRING OP INTEGER", whatever the third. */
	{"LengthTooFewLeft",   {"test", "x", "-a", "-l", "y", "="},     1, "test: -l: unary operator expected\n"},
	{"UnclosedFoundWord",  {"test", "(", "x", "y", "z"},            1, "test: ')' expected, found y\n"},
	{"UnclosedAtEnd",      {"test", "(", "x", "-a", "y"},           1, "test: ')' expected\n"},
	{"UnclosedBracketForm", {"[", "(", "x", "-a", "y", "]"},        1, "[: ')' expected, found ]\n"},
	{"UnclosedTwice",      {"test", "(", "(", "x"},                 1, "test: ')' expected\n"},
	{"UnclosedInner",      {"test", "(", "(", ")", ")"},            1, "test: ')' expected\n"},
	{"StrayClose",         {"test", "x", "-a", "y", ")"},           1, "test: too many arguments\n"},
	{"AndAtEnd",           {"test", "x", "-a", "y", "-a"},          1, "test: argument expected\n"},
	{"OrAtEnd",            {"test", "x", "-o", "y", "-o"},          1, "test: argument expected\n"},
	{"BangAtEnd",          {"test", "x", "-a", "y", "-a", "!"},     1, "test: argument expected\n"},
	{"OpenAtEnd",          {"test", "x", "-a", "y", "-a", "("},     1, "test: argument expected\n"},
	{"LoneDashIsString",   {"test", "-", "-a", "x"},                0, ""},
	{"LongDashWordIsString", {"test", "--x", "-a", "x", "-a", "-ab"}, 0, ""},
	{"EmptyIsString",      {"test", "x", "-a", "", "-o", ""},       1, ""},
};
INSTANTIATE_TEST_SUITE_P(Evaluator, Grammar, testing::ValuesIn(grammar_cases),
			 case_name);
