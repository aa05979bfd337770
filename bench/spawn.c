/* Starts two programs in turn with one argument vector and environment,
   COUNT times each, and prints each one's mean wall time per run in
   nanoseconds and its exit status (-1 if its runs disagreed). Taking turns,
   in alternating order, spreads the machine's noise over both alike. */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

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
	if (argc < 5) {
		fputs("usage: spawn COUNT PROGRAM_A PROGRAM_B ARGV0 [ARG]..."
		      "\n", stderr);
		return 2;
	}
	long count = strtol(argv[1], NULL, 10);
	if (count < 1)
		count = 1;
	/* --version writes; the terminal must not be part of the time. */
	posix_spawn_file_actions_t quiet;
	posix_spawn_file_actions_init(&quiet);
	posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
	long long total[2] = { 0, 0 };
	int status[2] = { -2, -2 };
	for (long i = 0; i < count; i++)
		for (int k = 0; k < 2; k++) {
			int p = (i + k) % 2;
			int s = run_once(argv[2 + p], argv + 4, &quiet,
					 &total[p]);
			status[p] = status[p] == -2 || status[p] == s ? s : -1;
		}
	printf("%lld %lld %d %d\n", total[0] / count, total[1] / count,
	       status[0], status[1]);
	return 0;
}
