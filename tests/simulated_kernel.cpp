/* A scriptable kernel for test builds of update, linked in place of the
   real bdflush wrapper. The script comes from the environment and is read
   before main, since the program's title rewrite destroys the environment:
     SIMULATED_KERNEL_LOG      file that gets one line per call
     SIMULATED_KERNEL_VALUES   the nine values reads serve, "v0,v1,..."
     SIMULATED_KERNEL_RESULTS  raw results by code, "code:raw,...", else 0
     SIMULATED_KERNEL_FLUSHES  code 1 answers 0 this often before its result
     SIMULATED_KERNEL_FAIL_FORK  which fork call (1, 2, ...) fails
     SIMULATED_KERNEL_DAEMON_MS  how long code 0 runs before it returns
     SIMULATED_KERNEL_OLD      set: no close_range, as before Linux 5.9
     SIMULATED_KERNEL_NO_PROC  set: no /proc mounted either
     SIMULATED_KERNEL_SECOND_MS  how long a second of sleep lasts, else 1000
     SIMULATED_KERNEL_NOFILE   descriptor limit lowered to this at start,
                               below descriptors already open
     SIMULATED_KERNEL_STUB     set: the stub of Linux 2.6 to 5.14, which
                               answers 0 to the superuser and does nothing
                               (code 1 ends the caller), EPERM to others
     SIMULATED_KERNEL_OWN_THREAD  set: Linux 2.2 and 2.4, which keep the
                               values but flush with a thread of their own:
                               code 0 returns 0, code 1 ends the caller with
                               status 0, a write outside 0 to 10000 gets
                               EINVAL; EPERM to all but the superuser
   Code 0 never returns unless it has a scripted result. The values and the
   flushes left are the kernel's, shared by every process. */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "flush_daemon.h"

static char log_path[4096];
static long results[20];
static int scripted[20];
static long failing_fork, forks, daemon_ms;
static int old_kernel, no_proc, stub, own_thread;

struct KernelState {
	int values[9];
	long flushes_left;
};
static KernelState *kernel;
static long second_ms = 1000;

/* "code:raw,code:raw": the raw kernel result for each code listed. */
static void
read_results(const char *s)
{
	char *p;

	while (s && *s) {
		long code = strtol(s, &p, 10), raw = 0;
		if (*p == ':')
			raw = strtol(p + 1, &p, 10);
		if (code >= 0 && code < 20) {
			results[code] = raw;
			scripted[code] = 1;
		}
		s = *p == ',' ? p + 1 : nullptr;
	}
}

__attribute__((constructor)) static void
read_script()
{
	const char *s = getenv("SIMULATED_KERNEL_VALUES");
	char *p;

	kernel = (KernelState *)mmap(nullptr, sizeof *kernel,
	    PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
	if (kernel == MAP_FAILED)
		abort();
	for (int n = 0; s && *s && n < 9; n++) {
		kernel->values[n] = (int)strtol(s, &p, 10);
		s = *p == ',' ? p + 1 : nullptr;
	}
	read_results(getenv("SIMULATED_KERNEL_RESULTS"));
	if ((s = getenv("SIMULATED_KERNEL_LOG")))
		snprintf(log_path, sizeof log_path, "%s", s);
	if ((s = getenv("SIMULATED_KERNEL_FLUSHES")))
		kernel->flushes_left = strtol(s, nullptr, 10);
	if ((s = getenv("SIMULATED_KERNEL_FAIL_FORK")))
		failing_fork = strtol(s, nullptr, 10);
	if ((s = getenv("SIMULATED_KERNEL_DAEMON_MS")))
		daemon_ms = strtol(s, nullptr, 10);
	old_kernel = getenv("SIMULATED_KERNEL_OLD") != nullptr;
	no_proc = getenv("SIMULATED_KERNEL_NO_PROC") != nullptr;
	stub = getenv("SIMULATED_KERNEL_STUB") != nullptr;
	own_thread = getenv("SIMULATED_KERNEL_OWN_THREAD") != nullptr;
	if ((s = getenv("SIMULATED_KERNEL_SECOND_MS")))
		second_ms = strtol(s, nullptr, 10);
	struct rlimit limit;
	if ((s = getenv("SIMULATED_KERNEL_NOFILE")) &&
	    getrlimit(RLIMIT_NOFILE, &limit) == 0) {
		limit.rlim_cur = strtol(s, nullptr, 10);
		setrlimit(RLIMIT_NOFILE, &limit);
	}
}

/* Opened per call: the launcher closes every descriptor it inherited. */
static void
log_call(const char *text)
{
	struct timespec now;
	char line[256];
	int saved = errno, fd;

	if (!log_path[0])
		return;
	clock_gettime(CLOCK_MONOTONIC, &now);
	int n = snprintf(line, sizeof line, "%d %d %lld %s\n", (int)getpid(),
			 (int)getppid(),
			 (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000,
			 text);
	fd = open(log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
	if (fd >= 0) {
		if (write(fd, line, n) != n) {
			/* The test sees the short log. */
		}
		close(fd);
	}
	errno = saved;
}

static int
log_result(int func, long data, int r)
{
	char text[128];

	if (func >= 2 && func % 2 == 0)
		snprintf(text, sizeof text, "bdflush(%d,&v)=%d", func, r);
	else
		snprintf(text, sizeof text, "bdflush(%d,%ld)=%d", func, data,
			 r);
	log_call(text);
	return r;
}

/* Where only the superuser may call, and code 1 ends the caller. */
static long
superuser_only(int func)
{
	long raw = geteuid() == 0 ? 0 : -EPERM;

	if (func == BDFLUSH_FLUSH_ONCE && raw == 0) {
		log_call("bdflush(1,0) ends the caller");
		_exit(0);
	}
	return raw;
}

int
bdflush(int func, long data)
{
	long raw = func >= 0 && func < 20 ? results[func] : -22;
	int is_read = func >= 2 && func < 20 && func % 2 == 0;
	int is_write = func >= 3 && func < 20 && func % 2 == 1;

	/* A read's integer is left as it was. */
	if (stub)
		return log_result(func, data, bdflush_result(
		    superuser_only(func)));
	if (own_thread) {
		raw = superuser_only(func);
		if (raw == 0 && is_write && (data < 0 || data > 10000))
			raw = -EINVAL;
	}
	if (func == BDFLUSH_BECOME_DAEMON && !scripted[0] && !own_thread) {
		log_call("bdflush(0,0) waits");
		for (;;)
			pause();
	}
	if (func == BDFLUSH_BECOME_DAEMON) {
		struct timespec t = {daemon_ms / 1000,
				     daemon_ms % 1000 * 1000000};
		nanosleep(&t, nullptr);
	}
	if (func == BDFLUSH_FLUSH_ONCE && kernel->flushes_left > 0) {
		kernel->flushes_left--;
		raw = 0;
	}
	if (raw == 0 && is_read)
		*(int *)data = kernel->values[func / 2 - 1];
	if (raw == 0 && is_write)
		kernel->values[func / 2 - 1] = (int)data;
	return log_result(func, data, bdflush_result(raw));
}

void
sync() noexcept
{
	log_call("sync");
}

/* Logged before it pauses, so a long delay shows without waiting it out. */
unsigned int
sleep(unsigned int seconds) noexcept
{
	char text[32];
	long long ms = (long long)seconds * second_ms;
	struct timespec t = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000};

	snprintf(text, sizeof text, "sleep(%u)", seconds);
	log_call(text);
	nanosleep(&t, nullptr);
	return 0;
}

pid_t
fork() noexcept
{
	if (++forks == failing_fork) {
		errno = EAGAIN;
		return -1;
	}
	return _Fork();
}

int
close_range(unsigned first, unsigned last, int flags) noexcept
{
	if (old_kernel) {
		errno = ENOSYS;
		return -1;
	}
	return (int)syscall(SYS_close_range, first, last, flags);
}

DIR *
opendir(const char *path)
{
	if (no_proc && strncmp(path, "/proc/", 6) == 0) {
		errno = ENOENT;
		return nullptr;
	}
	int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	return fd < 0 ? nullptr : fdopendir(fd);
}
