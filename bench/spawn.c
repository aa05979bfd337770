/* Starts several programs in turn with one argument vector and environment,
   COUNT times each, and prints each one's mean wall time per run in
   nanoseconds, then each one's exit status (-1 if its runs disagreed).
   Taking turns, in rotating order, spreads the machine's noise over all. */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>

#define MAX_PROGRAMS 8

extern char **environ;

static long long
now_ns(void)
{
	struct timespec t;
	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec * 1000000000LL + t.tv_nsec;
}

/* Adds the run's wall time to *total; returns its exit status, or -1. */
static int
run_once(const char *path, char **argv, posix_spawn_file_actions_t *quiet,
	 long long *total)
{
	pid_t pid;
	int status;
	long long start = now_ns();
	if (posix_spawn(&pid, path, quiet, NULL, argv, environ) != 0)
		return -1;
	if (waitpid(pid, &status, 0) != pid)
		return -1;
	*total += now_ns() - start;
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int
main(int argc, char **argv)
{
	int n = 0;
	while (2 + n < argc && strcmp(argv[2 + n], "--") != 0)
		n++;
	if (argc < 5 || n < 1 || n > MAX_PROGRAMS || 3 + n >= argc) {
		fputs("usage: spawn COUNT PROGRAM... -- ARGV0 [ARG]...\n",
		      stderr);
		return 2;
	}
	long count = strtol(argv[1], NULL, 10);
	if (count < 1)
		count = 1;
	char **run_argv = argv + 3 + n;
	/* Messages and --version write; the terminal must not be timed. */
	posix_spawn_file_actions_t quiet;
	posix_spawn_file_actions_init(&quiet);
	posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
	posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
	long long total[MAX_PROGRAMS] = { 0 };
	int status[MAX_PROGRAMS];
	for (int k = 0; k < n; k++)
		status[k] = -2;
	for (long i = 0; i < count; i++)
		for (int k = 0; k < n; k++) {
			int p = (i + k) % n;
			int s = run_once(argv[2 + p], run_argv, &quiet,
					 &total[p]);
			status[p] = status[p] == -2 || status[p] == s ? s : -1;
		}
	for (int k = 0; k < n; k++)
		printf("%lld ", total[k] / count);
	for (int k = 0; k < n; k++)
		printf(k + 1 < n ? "%d " : "%d\n", status[k]);
	return 0;
}
