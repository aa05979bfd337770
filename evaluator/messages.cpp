#include <errno.h>
#include <getopt.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>
#include <sys/uio.h>

#include "evaluator.h"

ArgCursor cursor;
const char *program_name;

static constexpr const char help_text[] =
	"Usage: %s EXPRESSION\n"
	"  or:  [ EXPRESSION ]\n"
	"  or:  %s OPTION\n"
	"Exit with the status determined by EXPRESSION.\n"
	"\n"
	"  --help      display this help and exit\n"
	"  --version   output version information and exit\n"
	"\n"
	"EXPRESSION is true or false and sets exit status.  It is one of:\n"
	"\n"
	"  ( EXPRESSION )               EXPRESSION is true\n"
	"  ! EXPRESSION                 EXPRESSION is false\n"
	"  EXPRESSION1 -a EXPRESSION2   both EXPRESSION1 and EXPRESSION2 are true\n"
	"  EXPRESSION1 -o EXPRESSION2   either EXPRESSION1 or EXPRESSION2 is true\n"
	"\n"
	"  [-n] STRING          the length of STRING is nonzero\n"
	"  -z STRING            the length of STRING is zero\n"
	"  STRING1 = STRING2    the strings are equal\n"
	"  STRING1 != STRING2   the strings are not equal\n"
	"\n"
	"  INTEGER1 -eq INTEGER2   INTEGER1 is equal to INTEGER2\n"
	"  INTEGER1 -ge INTEGER2   INTEGER1 is greater than or equal to INTEGER2\n"
	"  INTEGER1 -gt INTEGER2   INTEGER1 is greater than INTEGER2\n"
	"  INTEGER1 -le INTEGER2   INTEGER1 is less than or equal to INTEGER2\n"
	"  INTEGER1 -lt INTEGER2   INTEGER1 is less than INTEGER2\n"
	"  INTEGER1 -ne INTEGER2   INTEGER1 is not equal to INTEGER2\n"
	"\n"
	"  FILE1 -ef FILE2   FILE1 and FILE2 have the same device and inode"
	" numbers\n"
	"  FILE1 -nt FILE2   FILE1 is newer (modification date) than FILE2\n"
	"  FILE1 -ot FILE2   FILE1 is older than FILE2\n"
	"\n"
	"  -b FILE     FILE exists and is block special\n"
	"  -c FILE     FILE exists and is character special\n"
	"  -d FILE     FILE exists and is a directory\n"
	"  -e FILE     FILE exists\n"
	"  -f FILE     FILE exists and is a regular file\n"
	"  -g FILE     FILE exists and is set-group-ID\n"
	"  -G FILE     FILE exists and is owned by the effective group ID\n"
	"  -k FILE     FILE exists and has its sticky bit set\n"
	"  -L FILE     FILE exists and is a symbolic link\n"
	"  -O FILE     FILE exists and is owned by the effective user ID\n"
	"  -p FILE     FILE exists and is a named pipe\n"
	"  -r FILE     FILE exists and is readable\n"
	"  -s FILE     FILE exists and has a size greater than zero\n"
	"  -S FILE     FILE exists and is a socket\n"
	"  -t [FD]     file descriptor FD (stdout by default) is opened on a"
	" terminal\n"
	"  -u FILE     FILE exists and its set-user-ID bit is set\n"
	"  -w FILE     FILE exists and is writable\n"
	"  -x FILE     FILE exists and is executable\n"
	"\n"
	"Beware that parentheses need to be escaped (e.g., by backslashes) for shells.\n"
	"INTEGER may also be -l STRING, which evaluates to the length of STRING.\n"
	"\n"
	"Report bugs to bug-brimkit@orvel.example\n";

/* Only what is printed depends on the locale, strerror's texts above all,
   so a run that prints nothing never pays for loading it. */
static void
use_locale()
{
	setlocale(LC_ALL, "");
}

/* A text is written in one writev rather than through stdio: a run that
   prints then costs little beyond the locale, and a message reaches its
   reader whole. */
struct Text {
	struct iovec pieces[8];
	int count;
};

/* The count is only a bound: the longest text here has six pieces. */
static void
add_bytes(Text *t, const char *s, size_t n)
{
	if (t->count < 8)
		t->pieces[t->count++] = {(void *)s, n};
}

static void
add(Text *t, const char *s)
{
	add_bytes(t, s, strlen(s));
}

/* The messages' one conversion: text in place of each "%s". */
static void
add_format(Text *t, const char *format, const char *text)
{
	const char *p = format;

	for (const char *q = format; *q != '\0'; q++) {
		if (q[0] != '%' || q[1] != 's')
			continue;
		add_bytes(t, p, q - p);
		add(t, text);
		p = ++q + 1;
	}
	add(t, p);
}

/* All of it, after any short write (as when a stop signal ends a write to
   a full pipe); 0, or -1 with errno set. With no handler installed, no
   signal makes a write fail with EINTR. */
static int
write_text(int fd, Text *t)
{
	struct iovec *v = t->pieces;
	int n = t->count;

	while (n > 0) {
		ssize_t w = writev(fd, v, n);
		if (w <= 0)
			return -1;
		for (; n > 0 && (size_t)w >= v->iov_len; v++, n--)
			w -= v->iov_len;
		if (n > 0) {
			v->iov_base = (char *)v->iov_base + w;
			v->iov_len -= w;
		}
	}
	return 0;
}

void
fail_syntax(const char *format, const char *argument)
{
	Text t = {};

	use_locale();
	add(&t, cursor.args[0]);
	add(&t, ": ");
	add_format(&t, format, argument);
	write_text(2, &t);
	exit(1);
}

void
fail_missing_argument()
{
	fail_syntax("argument expected\n", nullptr);
}

void
fail_not_integer(const char *where)
{
	fail_syntax("integer expression expected %s\n", where);
}

/* Help and version succeed only if their text reached its reader. */
[[noreturn]] static void
exit_after_output(Text *t)
{
	if (write_text(1, t) != 0) {
		Text e = {};
		add(&e, program_name);
		add(&e, ": write error: ");
		add(&e, strerror(errno));
		add(&e, "\n");
		write_text(2, &e);
		exit(1);
	}
	exit(0);
}

void
show_usage(int)
{
	Text t = {};

	use_locale();
	add_format(&t, help_text, program_name);
	exit_after_output(&t);
}

void
check_help_version(int count, char **args, const char *program,
		   const char *package, const char *version,
		   void (*help_routine)(int))
{
	static constexpr struct option long_options[] = {
		{"help", no_argument, nullptr, 'h'},
		{"version", no_argument, nullptr, 'v'},
		{nullptr, 0, nullptr, 0},
	};
	/* The ':' after '+' keeps the scan silent, as opterr = 0 would, and
	   touching neither opterr nor optind spares the loader binding both
	   at every start. A scan happens at most once a run: one made by the
	   bracket form's first call leaves no operand, which ends the run. */
	if (count == 2) {
		switch (getopt_long(2, args, "+:", long_options, nullptr)) {
		case 'h':
			help_routine(0);
			break;
		case 'v': {
			Text t = {};
			use_locale();
			add(&t, program);
			add(&t, " (");
			add(&t, package);
			add(&t, ") ");
			add(&t, version);
			add(&t, "\n");
			exit_after_output(&t);
		}
		}
	}
}
