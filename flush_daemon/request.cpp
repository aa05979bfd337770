#include <errno.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include "flush_daemon.h"

/* Linux 2.5.52 to 5.14 keep bdflush as a stub: to a caller with
   CAP_SYS_ADMIN every code answers 0 and does nothing, and code 1 ends the
   caller with status 0. i386 and 32-bit ARM systems of that decade, and
   32-bit programs on x86-64 kernels of it, meet this. Taken at its word
   such a kernel would have the listing invent values, a write report
   success, and the update process die at its first flush with nothing
   synced from then on. A read that succeeds without touching its integer
   gives the stub away; it is then answered as the kernel without the call
   that it is in effect. */

/* A kernel that keeps the parameters overwrites these; should parameter 0
   hold the first, the second tells. */
static constexpr int PROBE_FIRST = INT_MIN;
static constexpr int PROBE_SECOND = INT_MAX;

/* -1 not yet asked; 0 the kernel acts; 1 it only answers. A launcher
   that only detaches makes no request, so each daemon asks at its own
   first one: where the kernel keeps the parameters, a read in each. One
   that set a parameter first has asked, and its daemons inherit the
   verdict. */
static int stub_kernel = -1;

/* Linux 2.2 and 2.4 keep the parameters and flush with a thread of their
   own, and code 1 ends its caller there too, where the reads cannot tell.
   So a process's first flush request is made by a child, whose end says
   so, and from then on the process answers code 1 as a refusal. -1 not
   yet asked; 1 code 1 returns; 0 it ends its caller. */
static int flush_returns = -1;

static int
read_untouched(int start)
{
	int value = start;

	return bdflush(2, (long)&value) == 0 && value == start;
}

struct FlushReport {
	int result, error;
};

/* A report cut short is the child's end inside the call. A pipe or fork
   that fails is a refusal too: a sync writes back all the same. */
static int
flush_in_child()
{
	struct FlushReport report;
	int fds[2];
	pid_t pid;

	if (pipe(fds) != 0)
		return -1;
	if ((pid = fork()) == 0) {
		close(fds[0]);
		report.result = bdflush(BDFLUSH_FLUSH_ONCE, 0);
		report.error = errno;
		_exit(write(fds[1], &report, sizeof report) != sizeof report);
	}
	close(fds[1]);
	ssize_t n = -1;
	if (pid > 0)
		do
			n = read(fds[0], &report, sizeof report);
		while (n < 0 && errno == EINTR);
	int saved = errno;
	close(fds[0]);
	/* Where SIGCHLD is ignored the kernel reaps it, and this fails. */
	if (pid > 0)
		waitpid(pid, nullptr, 0);
	if (n == (ssize_t)sizeof report) {
		flush_returns = 1;
		errno = report.error;
		return report.result;
	}
	errno = saved;
	if (n < 0)
		return -1;
	flush_returns = 0;
	errno = ENOSYS;
	return -1;
}

int
kernel_request(int func, long data)
{
	if (stub_kernel < 0) {
		int saved = errno;

		stub_kernel = read_untouched(PROBE_FIRST) &&
			      read_untouched(PROBE_SECOND);
		errno = saved;
	}
	if (stub_kernel) {
		errno = ENOSYS;
		return -1;
	}
	if (func == BDFLUSH_FLUSH_ONCE && flush_returns < 0)
		return flush_in_child();
	if (func == BDFLUSH_FLUSH_ONCE && !flush_returns) {
		errno = ENOSYS;
		return -1;
	}
	return bdflush(func, data);
}
