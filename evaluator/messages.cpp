#include <errno.h>
#include <getopt.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

void
fail_syntax(const char *format, const char *argument)
{
	use_locale();
	fprintf(stderr, "%s: ", cursor.args[0]);
	fprintf(stderr, format, argument);
	fflush(stderr);
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
exit_after_output()
{
	if (fflush(stdout) != 0 || ferror(stdout)) {
		fprintf(stderr, "%s: write error: %s\n", program_name,
			strerror(errno));
		exit(1);
	}
	exit(0);
}

void
show_usage(int)
{
	use_locale();
	printf(help_text, program_name, program_name);
	exit_after_output();
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
		case 'v':
			use_locale();
			printf("%s (%s) %s\n", program, package, version);
			exit_after_output();
		}
	}
}
