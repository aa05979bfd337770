#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "flush_daemon.h"

/* '+' stops every C library's getopt at the first operand alike; main
   steps over operands itself, so an option after one still acts. */
static constexpr char option_letters[] = "+dhs:f:1:2:3:4:5:6:7:8:0:";

static constexpr char usage_text[] =
	"usage: %s [-012345678] [-d] [-s sync-delay] [-f flush-delay]\n"
	"  -0  Max fraction of LRU list to examine for dirty blocks \n"
	"  -1  Max number of dirty blocks to write each time bdflush"
	" activated \n"
	"  -2  Num of clean buffers to be loaded onto free list by"
	" refill_freelist \n"
	"  -3  Dirty block threshold for activating bdflush in"
	" refill_freelist \n"
	"  -4  Percentage of cache to scan for free clusters \n"
	"  -5  Time for data buffers to age before flushing \n"
	"  -6  Time for non-data (dir, bitmap, etc) buffers to age before"
	" flushing \n"
	"  -7  Time buffer cache load average constant \n"
	"  -8  LAV ratio (used to determine threshold for buffer"
	" fratricide) \n"
	"  -d  Display kernel parameters\n"
	"  -f  Call flush this often (in seconds)\n"
	"  -h  Give this help\n"
	"  -s  If acting as update then call sync this often (in seconds)\n";

static constexpr char not_superuser_notice[] =
	"%s: not run as superuser, bdflush() and sync() called.\n";
static constexpr char write_error_message[] = "%s: write error: %s\n";

[[noreturn]] static void
print_usage(char **argv)
{
	fprintf(stderr, usage_text, argv[0]);
	exit(1);
}

/* Pushes a listing out now, so that one nobody could read is noticed. */
static int
flush_listing(const char *program)
{
	if (fflush(stdout) == 0 && !ferror(stdout))
		return 0;
	fprintf(stderr, write_error_message, program, strerror(errno));
	return 1;
}

[[noreturn]] static void
run_flush_daemon(char **argv, int argc)
{
	set_process_title(argv, argc, "bdflush (daemon)");
	setsid();
	kernel_request(BDFLUSH_BECOME_DAEMON, 0);
	exit(1);
}

[[noreturn]] static void
run_update(char **argv, int argc, int sync_delay, int flush_delay)
{
	set_process_title(argv, argc, "update (bdflush)");
	setsid();
	for (;;) {
		sleep(flush_delay);
		if (kernel_request(BDFLUSH_FLUSH_ONCE, 0) != 0)
			break;
	}
	/* A kernel that refused once is not asked again. */
	set_process_title(argv, argc, "update (sync)");
	for (;;) {
		sleep(sync_delay);
		sync();
	}
}

#ifndef HAVE_CLOSE_RANGE
/* For a C library without the wrapper. Weak, so that a test build's
   simulated kernel can stand in for it. */
__attribute__((weak)) int
close_range(unsigned first, unsigned last, int flags)
{
#ifdef SYS_close_range
	return (int)syscall(SYS_close_range, first, last, flags);
#else
	(void)first;
	(void)last;
	(void)flags;
	errno = ENOSYS;
	return -1;
#endif
}
#endif

/* A descriptor past 255, such as a script's lock, would otherwise live on
   in both daemons. Without close_range (kernels before 5.9) /proc lists
   what is open; without /proc, everything below the limit is closed. */
static void
close_descriptors_above_255()
{
	if (close_range(256, ~0U, 0) == 0)
		return;
	/* The listing's own descriptor is below 256, as 0 to 255 are free. */
	if (DIR *open_fds = opendir("/proc/self/fd")) {
		while (struct dirent *e = read_entry(open_fds))
			if (atoi(e->d_name) > 255)
				close(atoi(e->d_name));
		closedir(open_fds);
		return;
	}
	struct rlimit limit;
	if (resource_limit(RLIMIT_NOFILE, &limit) == 0)
		for (rlim_t fd = 256; fd < limit.rlim_cur; fd++)
			close((int)fd);
}

/* Nothing can be reported once the descriptors are closed, so a fork that
   failed shows only in the launcher's status. */
[[noreturn]] static void
detach(char **argv, int argc, int sync_delay, int flush_delay)
{
	int failed = 0;
	pid_t pid;

	for (int fd = 0; fd <= 255; fd++)
		close(fd);
	close_descriptors_above_255();
	if (chdir("/") != 0) {
		/* Flushing works from anywhere; only unmounting suffers. */
	}
	signal(SIGTERM, SIG_IGN);
	signal(SIGINT, SIG_IGN);
	signal(SIGCHLD, SIG_IGN);
	pid = fork();
	if (pid == 0)
		run_flush_daemon(argv, argc);
	failed |= pid < 0;
	pid = fork();
	if (pid == 0)
		run_update(argv, argc, sync_delay, flush_delay);
	failed |= pid < 0;
	exit(failed);
}

int
main(int argc, char **argv)
{
	static char listing_buffer[4096];
	int sync_delay = 30, flush_delay = 5, listed = 0, write_failed = 0;
	int c;

	/* A whole listing waits here until flush_listing writes it, so the
	   errno it reports is the write's: a C library that writes the first
	   line at once (as musl does until it knows stdout is no terminal)
	   would see it overwritten by the kernel call that follows. On a
	   terminal each line goes out as it is made, so that a refused read's
	   message follows the lines before it. */
	setvbuf(stdout, listing_buffer, isatty(1) ? _IOLBF : _IOFBF,
		sizeof listing_buffer);

	for (;;) {
		int word = optind;

		c = getopt(argc, argv, option_letters);
		/* Past an operand the scan goes on; past "--" it is over. */
		if (c == -1 && optind == word && optind < argc) {
			optind++;
			continue;
		}
		if (c == -1)
			break;
		switch (c) {
		case '0': case '1': case '2': case '3': case '4':
		case '5': case '6': case '7': case '8':
			set_tuning_parameter(c - '0', optarg);
			break;
		case 'd':
			list_tuning_parameters();
			if (!write_failed)
				write_failed = flush_listing(argv[0]);
			listed = 1;
			break;
		case 'f':
			flush_delay = parse_number(optarg);
			break;
		case 's':
			sync_delay = parse_number(optarg);
			break;
		case 'h':
		default:
			print_usage(argv);
		}
	}
	if (listed)
		exit(write_failed);
	if (effective_uid() != 0) {
		kernel_request(BDFLUSH_FLUSH_ONCE, 0);
		sync();
		fprintf(stderr, not_superuser_notice, argv[0]);
		exit(0);
	}
	detach(argv, argc, sync_delay, flush_delay);
}
