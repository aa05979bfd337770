#include <stdlib.h>

#include "evaluator.h"

static constexpr const char program[] = "test";
static constexpr const char package[] = "Orvel brimkit";
static constexpr const char version[] = "1.16";

/* Silent ends return rather than call exit, which would be one more symbol
   for the loader to bind at every start. */
int
main(int argc, char **argv)
{
	program_name = argv[0];
	cursor.args = argv;
	if (argc > 0 && same_string(argv[0], "[")) {
		if (getenv("POSIXLY_CORRECT") == nullptr)
			check_help_version(argc, argv, program, package,
					   version, show_usage);
		argc--;
		if (argc < 2)
			return 1;
		if (!same_string(argv[argc], "]"))
			fail_syntax("missing `]'\n", nullptr);
	}
	cursor.count = argc;
	cursor.pos = 1;
	if (argc < 2)
		return 1;
	check_help_version(argc, argv, program, package, version,
			   show_usage);
	int value = eval_by_count();
	if (cursor.pos != cursor.count)
		fail_syntax("too many arguments\n", nullptr);
	return value ? 0 : 1;
}
