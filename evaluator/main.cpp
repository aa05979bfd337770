#include "evaluator.h"

static constexpr const char program[] = "test";
static constexpr const char package[] = "Orvel brimkit";
static constexpr const char version[] = "1.16";

/* Whether NAME is set, even empty. The environment comes as main's third
   argument: getenv would cost the bracket form more than all its work. */
static int
is_set(char **env, const char *name)
{
	for (; *env; env++) {
		const char *e = *env, *n = name;
		while (*n != '\0' && *e == *n) {
			e++;
			n++;
		}
		if (*n == '\0' && *e == '=')
			return 1;
	}
	return 0;
}

/* Silent ends return rather than call exit, which would be one more symbol
   for the loader to bind at every start. */
int
main(int argc, char **argv, char **envp)
{
	program_name = argv[0];
	cursor.args = argv;
	if (argc > 0 && same_string(argv[0], "[")) {
		if (!is_set(envp, "POSIXLY_CORRECT"))
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
