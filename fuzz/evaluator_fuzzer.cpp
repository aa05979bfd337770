/* Fuzzes the evaluator through its real entry, in-process.

   Input: one flag byte, then the arguments, each ended by a NUL byte (a last
   argument may lack it). Flag bits: 1 invokes the program as "[" instead of
   "test", 2 sets POSIXLY_CORRECT, 4 puts "./" before that name.

   Every run is checked twice over: against properties that hold for any
   argument list (status 0 or 1, messages only on failure, each one prefixed
   with the invocation name), and against a recursive parser written here
   straight from the grammar, which must give the same status and output as
   the evaluator's own iterative one. */
#include <getopt.h>
#include <sys/uio.h>
#include <unistd.h>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "evaluator.h"

int evaluator_main(int argc, char **argv, char **envp);

extern "C" [[noreturn]] void __real_exit(int status);
extern "C" ssize_t __real_writev(int fd, const struct iovec *iov, int n);

namespace {

jmp_buf run_end;
int running;
int exit_status;

/* What a run writes to its standard output and error; globals, since they
   change between setjmp and longjmp. */
int capturing;
std::string captured_out, captured_err;

struct Outcome {
	int status;
	std::string out, err;
};

/* Runs an entry on a private copy of the arguments, with both streams
   captured, and returns how it exited. */
Outcome
run_entry(int (*entry)(int, char **, char **),
	  const std::vector<std::string> &words)
{
	std::vector<std::string> copy = words;
	std::vector<char *> argv;
	for (auto &w : copy)
		argv.push_back(w.data());
	argv.push_back(nullptr);

	captured_out.clear();
	captured_err.clear();
	capturing = 1;
	optind = 0;
	opterr = 1;
	if (setjmp(run_end) == 0) {
		/* A silent end returns its status instead of exiting. */
		running = 1;
		exit_status = entry((int)words.size(), argv.data(), environ);
		running = 0;
	}
	capturing = 0;
	return Outcome{exit_status, captured_out, captured_err};
}

/* The reference: the grammar as a plain recursive descent over the same
   cursor, using the evaluator's primaries and error reporter. */
int ref_expression();

int
ref_is(int i, const char *word)
{
	return strcmp(cursor.args[i], word) == 0;
}

int
ref_is_dash_word(const char *w)
{
	return w[0] == '-' && w[1] != '\0' && w[2] == '\0';
}

int
ref_unary()
{
	const char *w = cursor.args[cursor.pos];
	if (!is_unary_letter(w[1]))
		fail_syntax("%s: unary operator expected\n", w);
	return eval_unary();
}

int
ref_two()
{
	char **a = cursor.args;
	int p = cursor.pos;
	if (ref_is(p, "!")) {
		cursor.pos += 2;
		return a[p + 1][0] == '\0';
	}
	if (ref_is_dash_word(a[p]))
		return ref_unary();
	fail_missing_argument();
}

int
ref_three()
{
	char **a = cursor.args;
	int p = cursor.pos;
	if (ref_is(p, "!")) {
		cursor.pos++;
		if (cursor.pos >= cursor.count)
			fail_missing_argument();
		return !ref_two();
	}
	if (is_binary_operator(a[p + 1])) {
		int v = eval_binary();
		cursor.pos = cursor.count;
		return v;
	}
	if (ref_is(p + 1, "-a") || ref_is(p + 1, "-o") || a[p][0] == '(')
		return ref_expression();
	fail_syntax("%s: binary operator expected\n", a[p + 1]);
}

int
ref_term()
{
	char **a = cursor.args;
	if (cursor.pos >= cursor.count)
		fail_missing_argument();
	if (ref_is(cursor.pos, "!")) {
		int negate = 0;
		while (ref_is(cursor.pos, "!")) {
			cursor.pos++;
			if (cursor.pos >= cursor.count)
				fail_missing_argument();
			negate = !negate;
		}
		return ref_term() ^ negate;
	}
	if (ref_is(cursor.pos, "(")) {
		cursor.pos++;
		if (cursor.pos >= cursor.count)
			fail_missing_argument();
		int v = ref_expression();
		const char *w = a[cursor.pos];
		if (w == nullptr)
			fail_syntax("')' expected\n", nullptr);
		if (strcmp(w, ")") != 0)
			fail_syntax("')' expected, found %s\n", w);
		cursor.pos++;
		return v;
	}
	int p = cursor.pos;
	if (p + 3 <= cursor.count && is_binary_operator(a[p + 1]))
		return eval_binary();
	if (p + 4 <= cursor.count && ref_is(p, "-l") &&
	    is_binary_operator(a[p + 2]))
		return eval_binary();
	if (ref_is_dash_word(a[p]))
		return ref_unary();
	cursor.pos++;
	return a[p][0] != '\0';
}

/* Both sides are always evaluated: their errors must still be reported. */
int
ref_and()
{
	int v = ref_term();
	while (cursor.pos < cursor.count && ref_is(cursor.pos, "-a")) {
		cursor.pos++;
		int r = ref_and();
		v = v && r;
	}
	return v;
}

int
ref_or()
{
	int v = ref_and();
	while (cursor.pos < cursor.count && ref_is(cursor.pos, "-o")) {
		cursor.pos++;
		int r = ref_or();
		v = v || r;
	}
	return v;
}

int
ref_expression()
{
	if (cursor.pos >= cursor.count)
		fail_missing_argument();
	return ref_or();
}

int
ref_by_count()
{
	int v;
	switch (cursor.count - 1) {
	case 1:
		v = cursor.args[1][0] != '\0';
		cursor.pos = cursor.count;
		return v;
	case 2:
		v = ref_two();
		cursor.pos = cursor.count;
		return v;
	case 3:
		return ref_three();
	case 4:
		if (ref_is(1, "!")) {
			cursor.pos = 2;
			return !ref_three();
		}
		return ref_expression();
	default:
		return ref_expression();
	}
}

int
ref_entry(int argc, char **argv, char **)
{
	program_name = argv[0];
	cursor.args = argv;
	if (strcmp(argv[0], "[") == 0) {
		if (getenv("POSIXLY_CORRECT") == nullptr)
			check_help_version(argc, argv, "test", "Orvel brimkit",
					   "1.16", show_usage);
		argc--;
		if (argc < 2)
			exit(1);
		if (strcmp(argv[argc], "]") != 0)
			fail_syntax("missing `]'\n", nullptr);
	}
	cursor.count = argc;
	cursor.pos = 1;
	if (argc < 2)
		exit(1);
	check_help_version(argc, argv, "test", "Orvel brimkit", "1.16",
			   show_usage);
	int v = ref_by_count();
	if (cursor.pos != cursor.count)
		fail_syntax("too many arguments\n", nullptr);
	exit(v ? 0 : 1);
}

void
print_outcome(const char *who, const Outcome &o)
{
	fprintf(stderr, "%s: status %d\nstdout: %s\nstderr: %s\n", who,
		o.status, o.out.c_str(), o.err.c_str());
}

[[noreturn]] void
report(const char *what, const std::vector<std::string> &words,
       const Outcome &o, const Outcome *expected = nullptr)
{
	fprintf(stderr, "evaluator_fuzzer: %s\nargv:", what);
	for (const auto &w : words)
		fprintf(stderr, " '%s'", w.c_str());
	fprintf(stderr, "\n");
	print_outcome("evaluator", o);
	if (expected)
		print_outcome("reference", *expected);
	abort();
}

void
check_properties(const std::vector<std::string> &words, const Outcome &o)
{
	if (o.status != 0 && o.status != 1)
		report("exit status is neither 0 nor 1", words, o);
	if (!o.err.empty()) {
		std::string prefix = words[0] + ": ";
		if (o.status != 1)
			report("message on a successful run", words, o);
		if (o.err.compare(0, prefix.size(), prefix) != 0 ||
		    o.err.back() != '\n')
			report("message not the name, text and newline",
			       words, o);
	}
	if (!o.out.empty()) {
		if (o.status != 0 || !o.err.empty())
			report("output on a failing run", words, o);
		if (o.out.compare(0, 7, "Usage: ") != 0 &&
		    o.out != "test (Orvel brimkit) 1.16\n")
			report("output is neither help nor version", words, o);
	}
}

/* Deep nesting would only exhaust the reference's own stack. */
constexpr size_t reference_limit = 4096;

} /* namespace */

/* The evaluator ends every run through exit(); while it runs, that comes
   back here instead, so one process can run it many times. */
extern "C" [[noreturn]] void
__wrap_exit(int status)
{
	if (!running)
		__real_exit(status);
	running = 0;
	exit_status = status;
	longjmp(run_end, 1);
}

/* The evaluator writes each text with one writev; during a run, what goes
   to its standard output and error is kept instead. */
extern "C" ssize_t
__wrap_writev(int fd, const struct iovec *iov, int n)
{
	if (!capturing || (fd != 1 && fd != 2))
		return __real_writev(fd, iov, n);
	std::string &to = fd == 1 ? captured_out : captured_err;
	ssize_t total = 0;
	for (int i = 0; i < n; i++) {
		to.append((const char *)iov[i].iov_base, iov[i].iov_len);
		total += iov[i].iov_len;
	}
	return total;
}

extern "C" int
LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
	if (size == 0)
		return 0;
	int flags = data[0];
	std::string name = flags & 1 ? "[" : "test";
	if (flags & 4)
		name = "./" + name;
	std::vector<std::string> words{name};
	const char *p = (const char *)data + 1, *end = (const char *)data + size;
	while (p < end) {
		const char *nul = (const char *)memchr(p, '\0', end - p);
		const char *stop = nul ? nul : end;
		words.emplace_back(p, stop);
		p = nul ? nul + 1 : end;
	}
	if (flags & 2)
		setenv("POSIXLY_CORRECT", "", 1);
	else
		unsetenv("POSIXLY_CORRECT");

	Outcome o = run_entry(evaluator_main, words);
	check_properties(words, o);
	if (size <= reference_limit) {
		Outcome r = run_entry(ref_entry, words);
		if (r.status != o.status || r.out != o.out || r.err != o.err)
			report("differs from the recursive parser", words, o,
			       &r);
	}
	return 0;
}
