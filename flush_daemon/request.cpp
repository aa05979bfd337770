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
   So until code 1 has once returned, a child makes the request, and a
   child ended inside the call is answered as a refusal. */
static int flush_returns;

static int
read_untouched(int start)
{
	int value = start;

	return bdflush(2, (long)&value) == 0 && value == start;
}

/* The child hands back the kernel's raw result; none is the call ending
   it. A pipe or fork that fails is a refusal too: a sync writes back all
   the same. */
static int
flush_in_child()
{
	int fds[2], raw = -ENOSYS;

	if (pipe(fds) != 0)
		return -1;
	pid_t pid = fork();
	if (pid == 0) {
		int r = bdflush(BDFLUSH_FLUSH_ONCE, 0);
		raw = r < 0 ? -errno : r;
		_exit(write(fds[1], &raw, sizeof raw) != sizeof raw);
	}
	/* Without a child the read meets the end at once. */
	close(fds[1]);
	ssize_t n = read(fds[0], &raw, sizeof raw);
	close(fds[0]);
	/* Where SIGCHLD is ignored the kernel reaps it, and this fails. */
	if (pid > 0)
		waitpid(pid, nullptr, 0);
	flush_returns = n == (ssize_t)sizeof raw;
	return bdflush_result(raw);
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
	if (func == BDFLUSH_FLUSH_ONCE && !flush_returns)
		return flush_in_child();
	return bdflush(func, data);
}
