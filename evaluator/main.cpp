#include <cstdlib>
#include <cstring>

#include "evaluator.h"

static constexpr const char program[] = "test";
static constexpr const char package[] = "Orvel brimkit";
static constexpr const char version[] = "1.16";

int
main(int argc, char **argv)
{
	program_name = argv[0];
	cursor.args = argv;
	if (argc > 0 && strcmp(argv[0], "[") == 0) {
		if (getenv("POSIXLY_CORRECT") == nullptr)
			check_help_version(argc, argv, program, package,
					   version, show_usage);
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
	check_help_version(argc, argv, program, package, version,
			   show_usage);
	int value = eval_by_count();
	if (cursor.pos != cursor.count)
		fail_syntax("too many arguments\n", nullptr);
	exit(value ? 0 : 1);
}
