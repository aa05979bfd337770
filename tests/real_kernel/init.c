/* The first process of a test machine: runs update, as each build of it in
   /BUILD/update, on the kernel it boots, writes one line per check to the
   console and restarts the machine, which the emulator takes as its end.
   Then it runs the test programs that /rows lists, one "BUILD PATH" a line,
   passing their own lines on. Every line starts with "real-kernel: "; the
   last one counts the faults. /kind names the kernel: on one of before 2.6
   ("linux-2.4", "linux-2.2"), which keeps bdflush's parameters, it checks
   them, the daemons on a disk, and /musl/test's answers instead. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/reboot.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <sys/times.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

struct Case {
	const char *name;
	const char *argv[5];
	int uid;	/* 0, or an ordinary user without groups */
	int status;
	const char *out, *err;
};

/* The machine's kernel has no working bdflush, with or without the call. */
static const struct Case cases[] = {
	{"listing", {"update", "-d"}, 0, 0, "tarrow version 1.4\n",
	 "quillet:(0) bdflush(00000002,&d)=-1 38\n"},
	{"write", {"update", "-0", "5"}, 0, 1, "",
	 "quillet: bdflush(3,5)=-1 38\n"},
	{"ordinary user", {"update"}, 65534, 0, "",
	 "update: not run as superuser, bdflush() and sync() called.\n"},
};

static const char *const builds[] = {"glibc", "musl"};

/* The delays of update -f 1 -s 2, and how long its daemons are watched. */
enum { FLUSH_S = 1, SYNC_S = 2, WATCHED_S = 9 };
enum { RAM_DISK_MB = 4, DIRTY_KB = 3500, CLEAN_KB = 1024 };
/* How long one test program's rows may take. */
enum { ROWS_S = 200 };

static int checks, faults;
/* A kernel of before 2.6. On 2.2 musl's calls of 2.4 (stat64, the 32-bit
   ids, getdents64, fcntl64) fail, and so does clock_gettime on both. */
static int old_kernel;
/* The newest process started, as these kernels give pids in turn. */
static pid_t last_pid;
/* What the checks being made are about, such as "musl listing". */
static char subject[64];

static long
now_ms(void)
{
	struct timespec t;

	/* Before 2.6 only the clock ticks count from the boot. */
	if (clock_gettime(CLOCK_MONOTONIC, &t) != 0)
		return times(NULL) * 1000L / sysconf(_SC_CLK_TCK);
	return t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/* One write per line, so that kernel messages cannot split it. */
static void
say(const char *format, ...)
{
	char line[2048] = "real-kernel: ";
	va_list ap;

	va_start(ap, format);
	vsnprintf(line + 13, sizeof line - 14, format, ap);
	va_end(ap);
	strcat(line, "\n");
	if (write(1, line, strlen(line)) < 0) {
		/* The console is all there is. */
	}
}

static void
fail(const char *what)
{
	checks++;
	faults++;
	say("FAIL %s: %m", what);
}

static void
quote(char *dst, size_t size, const char *s)
{
	size_t n = 0;

	dst[n++] = '"';
	for (; *s && n + 6 < size; s++) {
		unsigned char c = *s;
		if (c == '\n')
			n += sprintf(dst + n, "\\n");
		else if (c == '"' || c == '\\')
			n += sprintf(dst + n, "\\%c", c);
		else if (c < ' ' || c > '~')
			n += sprintf(dst + n, "\\%03o", c);
		else
			dst[n++] = c;
	}
	strcpy(dst + n, *s ? "\"..." : "\"");
}

static void
report(int ok, const char *what, const char *expected, const char *actual)
{
	checks++;
	faults += !ok;
	if (ok)
		say("ok   %s %s: %s", subject, what, actual);
	else
		say("FAIL %s %s: expected %s, actual %s", subject, what,
		    expected, actual);
}

static void
check_text(const char *what, const char *expected, const char *actual)
{
	char e[900], a[900];

	quote(e, sizeof e, expected);
	quote(a, sizeof a, actual);
	report(strcmp(expected, actual) == 0, what, e, a);
}

static void
check_range(const char *what, long low, long high, long actual)
{
	char e[64], a[32];

	if (low == high)
		snprintf(e, sizeof e, "%ld", low);
	else
		snprintf(e, sizeof e, "%ld to %ld", low, high);
	snprintf(a, sizeof a, "%ld", actual);
	report(low <= actual && actual <= high, what, e, a);
}

static size_t
read_file(const char *path, char *buf, size_t size)
{
	int fd = open(path, O_RDONLY);
	ssize_t n = fd < 0 ? 0 : read(fd, buf, size - 1);

	if (fd >= 0)
		close(fd);
	buf[n > 0 ? n : 0] = '\0';
	return n > 0 ? n : 0;
}

/* The title as process listings show it: the command line's first word. */
static void
read_title(pid_t pid, char *title, size_t size)
{
	char path[64];

	snprintf(path, sizeof path, "/proc/%d/cmdline", pid);
	read_file(path, title, size);
}

static long
dirty_kb(void)
{
	static char meminfo[4096];
	const char *p;

	read_file("/proc/meminfo", meminfo, sizeof meminfo);
	p = strstr(meminfo, "\nDirty:");
	return p ? atol(p + 7) : -1;
}

static int
exit_status(int status)
{
	return WIFEXITED(status) ? WEXITSTATUS(status)
				 : 128 + WTERMSIG(status);
}

/* musl asks for the calls of 32-bit ids, which came with 2.4; the 16-bit
   ones are on every kernel of before 2.6. */
static int
drop_privileges(int uid)
{
	if (old_kernel)
		return syscall(SYS_setgroups, 0, NULL) != 0 ||
		       syscall(SYS_setgid, uid) != 0 ||
		       syscall(SYS_setuid, uid) != 0;
	return setgroups(0, NULL) != 0 || setgid(uid) != 0 || setuid(uid) != 0;
}

/* Output goes to files, so that nothing waits on a reader. The program is
   /BUILD/update or /BUILD/test, as argv[0] says. */
static pid_t
start(const char *build, const char *const *argv, int uid, int traced)
{
	char path[64];
	pid_t pid = fork();

	if (pid > last_pid)
		last_pid = pid;
	if (pid != 0)
		return pid;
	snprintf(path, sizeof path, "/%s/%s", build,
		 strcmp(argv[0], "[") == 0 ? "test" : argv[0]);
	dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
	dup2(open("/tmp/out", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644),
	     1);
	dup2(open("/tmp/err", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644),
	     2);
	if (uid != 0 && drop_privileges(uid))
		_exit(125);
	if (traced) {
		ptrace(PTRACE_TRACEME, 0, NULL, NULL);
		raise(SIGSTOP);
	}
	execv(path, (char *const *)argv);
	_exit(127);
}

/* Kernel threads have an empty command line. */
static int
end_process(pid_t pid)
{
	char path[64], cmdline[64];

	snprintf(path, sizeof path, "/proc/%d/cmdline", pid);
	return pid > 1 && read_file(path, cmdline, sizeof cmdline) > 0 &&
	       kill(pid, SIGKILL) == 0;
}

/* Whatever a check leaves running would act on the next one. musl cannot
   list /proc on 2.2, so there the pids up to a little past the newest
   started are tried; each is waited for alone, as some of the kernel's
   threads are init's children too, and never end. */
static int
end_leftovers(void)
{
	int n = 0, status;
	pid_t pid;
	DIR *d;
	struct dirent *e;

	if (old_kernel) {
		for (pid = 2; pid <= last_pid + 64; pid++)
			if (end_process(pid)) {
				n++;
				waitpid(pid, &status, 0);
			}
		while (waitpid(-1, &status, WNOHANG) > 0)
			continue;
		return n;
	}
	d = opendir("/proc");
	while ((e = readdir(d)))
		n += end_process(atoi(e->d_name));
	closedir(d);
	while ((pid = waitpid(-1, &status, __WALL)) > 0)
		if (WIFSTOPPED(status))
			ptrace(PTRACE_CONT, pid, NULL, NULL);
	return n;
}

static int
wait_for(pid_t pid, long ms)
{
	long deadline = now_ms() + ms;
	int status = 127 << 8;

	while (waitpid(pid, &status, WNOHANG) == 0) {
		if (now_ms() > deadline) {
			kill(pid, SIGKILL);
			waitpid(pid, &status, 0);
			break;
		}
		usleep(10000);
	}
	return exit_status(status);
}

static void
run_case(const char *build, const struct Case *c)
{
	char out[4096], err[4096];
	int status = wait_for(start(build, c->argv, c->uid, 0), 10000);

	snprintf(subject, sizeof subject, "%s %s", build, c->name);
	read_file("/tmp/out", out, sizeof out);
	read_file("/tmp/err", err, sizeof err);
	check_text("stdout", c->out, out);
	check_text("stderr", c->err, err);
	check_range("status", c->status, c->status, status);
	check_range("processes left", 0, 0, end_leftovers());
}

static void
set_knob(const char *path, const char *value)
{
	int fd = open(path, O_WRONLY);

	if (fd < 0 || write(fd, value, strlen(value)) < 0)
		fail(path);
	close(fd);
}

/* Written back only by a sync or by its last close, so its dirty pages
   show who synced: the kernel's periodic writeback is off, and the disk
   gets a share of the background threshold of its own, as a new device
   with no writes behind it would otherwise be flushed at once. */
static int
open_ram_disk(void)
{
	static char module[1 << 18];
	size_t n = read_file("/brd.ko", module, sizeof module);
	char path[64];
	struct stat st;
	int fd = -1;

	set_knob("/proc/sys/vm/dirty_writeback_centisecs", "0");
	if (syscall(SYS_init_module, module, n, "rd_nr=1 rd_size=8192") != 0)
		fail("loading brd.ko");
	for (int i = 0; i < 100 && fd < 0; i++) {
		fd = open("/dev/ram0", O_RDWR | O_CLOEXEC);
		if (fd < 0)
			usleep(20000);
	}
	if (fstat(fd, &st) == 0) {
		snprintf(path, sizeof path, "/sys/class/bdi/%u:%u/min_ratio",
			 major(st.st_rdev), minor(st.st_rdev));
		set_knob(path, "50");
	}
	return fd;
}

static void
dirty_ram_disk(int fd)
{
	static char block[1 << 16];

	memset(block, 0x5a, sizeof block);
	lseek(fd, 0, SEEK_SET);
	for (int i = 0; i < RAM_DISK_MB * 16; i++)
		if (write(fd, block, sizeof block) != sizeof block)
			break;
}

struct Watch {
	pid_t launcher, daemon, update;
	int launcher_status, daemon_status;
	char daemon_title[64];
};

/* Answers the stops of the traced launcher and its children; the flush
   daemon's exit is caught while its title and status are still there, as
   the launcher lets the kernel reap its children. */
static void
serve_stops(struct Watch *w)
{
	unsigned long msg;
	int status, event, sig;
	pid_t pid;

	while ((pid = waitpid(-1, &status, WNOHANG | __WALL)) > 0) {
		if (!WIFSTOPPED(status)) {
			if (pid == w->launcher)
				w->launcher_status = exit_status(status);
			continue;
		}
		event = status >> 16;
		sig = 0;
		if (event == PTRACE_EVENT_FORK && pid == w->launcher) {
			ptrace(PTRACE_GETEVENTMSG, pid, NULL, &msg);
			if (!w->daemon)
				w->daemon = msg;
			else if (!w->update)
				w->update = msg;
		} else if (event == PTRACE_EVENT_EXIT && pid == w->daemon) {
			ptrace(PTRACE_GETEVENTMSG, pid, NULL, &msg);
			w->daemon_status = exit_status(msg);
			read_title(pid, w->daemon_title,
				   sizeof w->daemon_title);
		} else if (event == 0 && WSTOPSIG(status) != SIGSTOP) {
			sig = WSTOPSIG(status);
		}
		ptrace(PTRACE_CONT, pid, NULL, (void *)(long)sig);
	}
}

static void
check_detaching(const char *build, int ram_fd)
{
	static const char *const argv[] = {"update", "-f", "1", "-s", "2",
					   NULL};
	struct Watch w = {0, 0, 0, -1, -1, ""};
	char title[64], first[64] = "", out[4096], err[4096];
	long t, started, synced = -1, clean = -1;
	int status;

	snprintf(subject, sizeof subject, "%s detaching", build);
	dirty_ram_disk(ram_fd);
	check_range("dirty kB before", DIRTY_KB, 1 << 20, dirty_kb());
	w.launcher = start(build, argv, 0, 1);
	waitpid(w.launcher, &status, __WALL);
	ptrace(PTRACE_SETOPTIONS, w.launcher, NULL,
	       (void *)(long)(PTRACE_O_TRACEFORK | PTRACE_O_TRACEEXIT |
			      PTRACE_O_TRACEEXEC));
	started = now_ms();
	ptrace(PTRACE_CONT, w.launcher, NULL, NULL);
	while ((t = now_ms() - started) < WATCHED_S * 1000) {
		serve_stops(&w);
		title[0] = '\0';
		if (w.update)
			read_title(w.update, title, sizeof title);
		/* Until it retitles itself it shows the launcher's name. */
		if (!first[0] && title[0] && strcmp(title, "update") != 0)
			strcpy(first, title);
		if (synced < 0 && strcmp(title, "update (sync)") == 0)
			synced = t;
		if (clean < 0 && dirty_kb() < CLEAN_KB)
			clean = t;
		usleep(20000);
	}
	read_file("/tmp/out", out, sizeof out);
	read_file("/tmp/err", err, sizeof err);
	check_text("launcher's stdout", "", out);
	check_text("launcher's stderr", "", err);
	check_range("launcher's status", 0, 0, w.launcher_status);
	check_text("flush daemon's title", "bdflush (daemon)", w.daemon_title);
	check_range("flush daemon's status", 1, 1, w.daemon_status);
	check_text("update's first title", "update (bdflush)", first);
	check_range("ms until update (sync)", FLUSH_S * 700, FLUSH_S * 2500,
		    synced);
	check_text("update's title at the end", "update (sync)", title);
	/* By a sync of the loop, the first or the second. */
	check_range("ms from update (sync) to written back",
		    SYNC_S * 1000 - 300, 2 * SYNC_S * 1000 + 500,
		    synced < 0 || clean < 0 ? -1 : clean - synced);
	check_range("processes left", 1, 1, end_leftovers());
}

/* Without update the disk stays dirty for as long as update is given. */
static void
check_control(int ram_fd)
{
	snprintf(subject, sizeof subject, "without update");
	dirty_ram_disk(ram_fd);
	sleep(FLUSH_S + 2 * SYNC_S);
	check_range("dirty kB at the end", DIRTY_KB, 1 << 20, dirty_kb());
}

/* Counts a row program's result lines as it passes them on. */
struct Rows {
	int ran, passed, skipped;
	char partial[1024];
	size_t n;
};

static int
starts(const char *line, const char *prefix)
{
	return strncmp(line, prefix, strlen(prefix)) == 0;
}

static void
pass_on(struct Rows *r, const char *data, size_t size)
{
	for (size_t i = 0; i < size; i++) {
		if (data[i] != '\n' && r->n + 1 < sizeof r->partial) {
			r->partial[r->n++] = data[i];
			continue;
		}
		if (data[i] != '\n')
			continue;	/* the rest of an overlong line */
		r->partial[r->n] = '\0';
		r->n = 0;
		say("%s", r->partial);
		/* A row's own end is its name and its time. */
		if (starts(r->partial, "[ RUN      ] "))
			r->ran++;
		else if (!strstr(r->partial, " ms)"))
			continue;
		else if (starts(r->partial, "[       OK ] "))
			r->passed++;
		else if (starts(r->partial, "[  SKIPPED ] "))
			r->skipped++;
	}
}

/* A row program's own output, passed on line by line as it comes, so that
   the console shows how far it got should the machine stop. */
static void
run_rows(const char *build, const char *program)
{
	struct Rows r = {0, 0, 0, "", 0};
	char buf[4096];
	const char *name = strrchr(program, '/') ? strrchr(program, '/') + 1
						 : program;
	long deadline = now_ms() + ROWS_S * 1000L;
	int fds[2], status;
	ssize_t n;
	pid_t pid;

	snprintf(subject, sizeof subject, "%.20s %.40s", build, name);
	say("rows of %s:", subject);
	if (pipe(fds) != 0 || (pid = fork()) < 0) {
		fail(subject);
		return;
	}
	if (pid == 0) {
		dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
		dup2(fds[1], 1);
		dup2(fds[1], 2);
		close(fds[0]);
		close(fds[1]);
		execl(program, program, (char *)NULL);
		_exit(127);
	}
	close(fds[1]);
	/* A daemon it leaves may hold the pipe: its exit ends the reading. */
	for (int exited = 0;;) {
		struct pollfd p = {fds[0], POLLIN, 0};
		if (poll(&p, 1, 200) > 0) {
			if ((n = read(fds[0], buf, sizeof buf)) <= 0)
				break;
			pass_on(&r, buf, n);
		} else if (exited) {
			break;
		} else if (waitpid(pid, &status, WNOHANG) == pid) {
			exited = 1;
			pid = 0;
		} else if (now_ms() > deadline) {
			say("%s still running after %d s: killed", subject,
			    ROWS_S);
			break;
		}
	}
	close(fds[0]);
	status = pid ? wait_for(pid, 5000) : exit_status(status);
	say("%s: %d rows ran, %d passed, %d skipped", subject, r.ran,
	    r.passed, r.skipped);
	check_range("rows failed", 0, 0, r.ran - r.passed - r.skipped);
	check_range("exit status", 0, 0, status);
	check_range("processes left", 0, 0, end_leftovers());
}

static void
run_listed_rows(void)
{
	static char list[4096];
	char *line, *save, build[32], program[1024];

	read_file("/rows", list, sizeof list);
	for (line = strtok_r(list, "\n", &save); line;
	     line = strtok_r(NULL, "\n", &save))
		if (sscanf(line, "%31s %1023s", build, program) == 2)
			run_rows(build, program);
}

/* Before 2.6: bdflush keeps nine parameters, the ones that
   /proc/sys/vm/bdflush shows, code 0 returns at once and code 1 ends its
   caller. The kernel's own flush thread writes a buffer back once it is
   older than parameter 5 and wakes every parameter 4 jiffies; 0 stops it
   after its next run. */
static const char *const parameter_names[] = {
	"Max fraction of LRU list to examine for dirty blocks",
	"Max number of dirty blocks to write each time bdflush activated",
	"Num of clean buffers to be loaded onto free list by refill_freelist",
	"Dirty block threshold for activating bdflush in refill_freelist",
	"Percentage of cache to scan for free clusters",
	"Time for data buffers to age before flushing",
	"Time for non-data (dir, bitmap, etc) buffers to age before flushing",
	"Time buffer cache load average constant",
	"LAV ratio (used to determine threshold for buffer fratricide).",
};
enum { PARAMETERS = 9, KUPDATE_INTERVAL = 4 };
enum { DISK_KB = 64 };

static const struct Case old_cases[] = {
	{"write out of bounds", {"update", "-1", "999999"}, 0, 1, "",
	 "quillet: bdflush(5,999999)=-1 22\n"},
	{"ordinary user", {"update"}, 65534, 0, "",
	 "update: not run as superuser, bdflush() and sync() called.\n"},
	{"ordinary user's listing", {"update", "-d"}, 65534, 0,
	 "tarrow version 1.4\n", "quillet:(0) bdflush(00000002,&d)=-1 1\n"},
};

/* What test answers for the files that make_files makes, as root and as
   the ordinary user. Descriptor 9 is the console. */
struct Row {
	const char *argv[6];
	int root, user;
};

static const struct Row rows[] = {
	{{"test", "-d", "/t/dir"}, 0, 0},
	{{"test", "-d", "/t/file"}, 1, 1},
	{{"test", "-f", "/t/file"}, 0, 0},
	{{"[", "-f", "/t/dir", "]"}, 1, 1},
	{{"test", "-f", "/t/link"}, 0, 0},
	{{"test", "-e", "/t/missing"}, 1, 1},
	{{"test", "-b", "/dev/hda"}, 0, 0},
	{{"test", "-c", "/dev/null"}, 0, 0},
	{{"test", "-b", "/dev/null"}, 1, 1},
	{{"test", "-p", "/t/fifo"}, 0, 0},
	{{"test", "-S", "/t/socket"}, 0, 0},
	{{"test", "-L", "/t/link"}, 0, 0},
	{{"[", "-h", "/t/file", "]"}, 1, 1},
	{{"test", "-r", "/t/secret"}, 0, 1},
	{{"test", "-w", "/t/secret"}, 0, 1},
	{{"test", "-w", "/t/nobody"}, 0, 0},
	{{"test", "-r", "/t/group"}, 0, 0},
	{{"test", "-w", "/t/group"}, 0, 1},
	{{"test", "-x", "/t/file"}, 1, 1},
	{{"test", "-x", "/t/exec"}, 0, 0},
	{{"test", "-O", "/t/file"}, 0, 1},
	{{"test", "-O", "/t/nobody"}, 1, 0},
	{{"test", "-G", "/t/file"}, 0, 1},
	{{"[", "-G", "/t/nobody", "]"}, 1, 0},
	{{"test", "/t/new", "-nt", "/t/old"}, 0, 0},
	{{"test", "/t/old", "-nt", "/t/new"}, 1, 1},
	{{"test", "/t/old", "-ot", "/t/new"}, 0, 0},
	{{"test", "/t/same", "-nt", "/t/old"}, 1, 1},
	{{"test", "/t/same", "-ot", "/t/old"}, 1, 1},
	{{"test", "/t/hard", "-ef", "/t/file"}, 0, 0},
	{{"test", "/t/link", "-ef", "/t/file"}, 0, 0},
	{{"test", "/t/new", "-ef", "/t/file"}, 1, 1},
	{{"test", "-t", "9"}, 0, 0},
	{{"test", "-t", "0"}, 1, 1},
	{{"test", "-s", "/t/file"}, 0, 0},
	{{"test", "-s", "/t/empty"}, 1, 1},
	{{"test", "abc", "=", "abc"}, 0, 0},
	{{"[", "-5", "-lt", "+3", "]"}, 0, 0},
};

static int
read_parameters(long *values)
{
	char text[256], *p = text, *end;
	int n;

	read_file("/proc/sys/vm/bdflush", text, sizeof text);
	for (n = 0; n < PARAMETERS; n++, p = end) {
		values[n] = strtol(p, &end, 10);
		if (end == p)
			break;
	}
	return n;
}

static void
format_values(char *out, size_t size, const long *values)
{
	size_t n = 0;

	out[0] = '\0';
	for (int i = 0; i < PARAMETERS && n < size; i++)
		n += snprintf(out + n, size - n, i ? " %ld" : "%ld", values[i]);
}

/* update [-N VALUE] -d lists the values expected, and so does the
   kernel's own file. */
static void
check_listing(const char *name, const char *option, const char *value,
	      const long *expected)
{
	char listing[2048], want[256], got[256];
	struct Case c = {name, {"update", "-d"}, 0, 0, listing, ""};
	long values[PARAMETERS] = {0};
	size_t n;

	if (option) {
		c.argv[1] = option;
		c.argv[2] = value;
		c.argv[3] = "-d";
	}
	n = snprintf(listing, sizeof listing, "tarrow version 1.4\n");
	for (int i = 0; i < PARAMETERS; i++)
		n += snprintf(listing + n, sizeof listing - n, "%d: %5ld %s\n",
			      i, expected[i], parameter_names[i]);
	run_case("musl", &c);
	read_parameters(values);
	format_values(want, sizeof want, expected);
	format_values(got, sizeof got, values);
	check_text("/proc/sys/vm/bdflush", want, got);
}

static void
make_file(const char *path, const char *text, int mode, int uid, int gid)
{
	int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, mode);

	if (fd < 0 || write(fd, text, strlen(text)) < 0 || close(fd) != 0 ||
	    chmod(path, mode) != 0 ||
	    syscall(SYS_chown, path, uid, gid) != 0)
		fail(path);
}

/* musl's utime asks for calls of 2.6. */
static void
set_mtime(const char *path, long seconds)
{
	long t[2] = {seconds, seconds};

#ifdef SYS_utime
	if (syscall(SYS_utime, path, t) == 0)
		return;
#endif
	(void)t;
	fail(path);
}

static void
make_files(void)
{
	struct sockaddr_un a = {AF_UNIX, "/t/socket"};
	int s = socket(AF_UNIX, SOCK_STREAM, 0);

	if (mkdir("/t", 0755) != 0 || mkdir("/t/dir", 0755) != 0 ||
	    mknod("/t/fifo", S_IFIFO | 0644, 0) != 0 ||
	    symlink("file", "/t/link") != 0 ||
	    bind(s, (struct sockaddr *)&a, sizeof a) != 0)
		fail("/t");
	close(s);
	make_file("/t/file", "x", 0644, 0, 0);
	make_file("/t/empty", "", 0644, 0, 0);
	make_file("/t/exec", "x", 0755, 0, 0);
	make_file("/t/secret", "x", 0600, 0, 0);
	make_file("/t/nobody", "x", 0600, 65534, 65534);
	make_file("/t/group", "x", 0640, 0, 65534);
	make_file("/t/old", "x", 0644, 0, 0);
	make_file("/t/same", "x", 0644, 0, 0);
	make_file("/t/new", "x", 0644, 0, 0);
	set_mtime("/t/old", 1000000000);
	set_mtime("/t/same", 1000000000);
	if (link("/t/file", "/t/hard") != 0)
		fail("/t/hard");
}

static void
run_rows_of_test(void)
{
	char what[128], e[16], a[16];
	int status, expected, n;

	make_files();
	dup2(0, 9);
	for (int uid = 0; uid <= 65534; uid += 65534) {
		snprintf(subject, sizeof subject, "musl test as %s",
			 uid ? "uid 65534" : "root");
		for (size_t i = 0; i < sizeof rows / sizeof *rows; i++) {
			status = wait_for(start("musl", rows[i].argv, uid, 0),
					  5000);
			expected = uid ? rows[i].user : rows[i].root;
			n = 0;
			for (int j = 0; rows[i].argv[j]; j++)
				n += snprintf(what + n, sizeof what - n, "%s%s",
					      j ? " " : "", rows[i].argv[j]);
			snprintf(e, sizeof e, "%d", expected);
			snprintf(a, sizeof a, "%d", status);
			report(status == expected, what, e, a);
		}
	}
	close(9);
	check_range("processes left", 0, 0, end_leftovers());
}

/* 2.4 counts each disk's sectors written in /proc/partitions, the seventh
   number after its name. 2.2 has no such numbers there; /proc/stat counts
   per disk the sectors of each write request when it is queued, before
   later buffers join it, so a sync there moves it by a few. */
static long
written_sectors(void)
{
	static char text[4096];
	long n[7], sum = 0;
	char *p, *end;

	read_file("/proc/partitions", text, sizeof text);
	if ((p = strstr(text, " hda ")) &&
	    sscanf(p + 5, "%ld %ld %ld %ld %ld %ld %ld", &n[0], &n[1], &n[2],
		   &n[3], &n[4], &n[5], &n[6]) == 7)
		return n[6];
	read_file("/proc/stat", text, sizeof text);
	if ((p = strstr(text, "\ndisk_wblk")) == NULL)
		return -1;
	for (p += 10;; p = end) {
		n[0] = strtol(p, &end, 10);
		if (end == p)
			return sum;
		sum += n[0];
	}
}

/* Written through the buffer cache, and so dirty until something writes
   the cache back. The descriptor stays open, as its last close writes
   the disk's buffers back too. */
static void
dirty_disk(int fd)
{
	static char block[DISK_KB * 1024];

	memset(block, 0x5a, sizeof block);
	lseek(fd, 0, SEEK_SET);
	if (write(fd, block, sizeof block) != sizeof block)
		fail("/dev/hda");
}

/* Without update the disk stays dirty for as long as update is given. */
static void
check_disk_control(int disk)
{
	long before;

	snprintf(subject, sizeof subject, "without update");
	dirty_disk(disk);
	before = written_sectors();
	check_range("sectors written since the boot", 0, 1L << 30, before);
	sleep(FLUSH_S + 2 * SYNC_S);
	check_range("sectors written in 5 s", 0, 0,
		    written_sectors() - before);
}

/* The update process, once it has retitled itself. */
static pid_t
find_update(pid_t launcher)
{
	char title[64];

	for (pid_t pid = launcher + 1; pid <= launcher + 16; pid++) {
		read_title(pid, title, sizeof title);
		if (starts(title, "update ("))
			return pid;
	}
	return 0;
}

static long
parent_of(pid_t pid)
{
	char path[64], stat[512];
	const char *p;
	long ppid = -1;

	snprintf(path, sizeof path, "/proc/%d/stat", pid);
	read_file(path, stat, sizeof stat);
	if ((p = strrchr(stat, ')')))
		sscanf(p + 1, " %*c %ld", &ppid);
	return ppid;
}

/* The launcher gets descriptor 300 as the write end of a pipe: once the
   launcher and the flush daemon are gone, the read end sees its end only
   if the update process closed it. SIGCHLD stays blocked in the launcher,
   as an ignored one still comes here and reaps the children that ended,
   the flush daemon among them, whose status init must see. */
static void
check_old_detaching(int disk)
{
	static const char *const argv[] = {"update", "-f", "1", "-s", "2",
					   NULL};
	char title[64] = "", out[4096], err[4096], c;
	long t, started, before, synced = -1, written = -1;
	int fds[2], status, launcher_status = -1, daemon_status = -1;
	pid_t launcher, pid, daemon = 0, update = 0;
	sigset_t chld, saved;
	struct pollfd p;

	snprintf(subject, sizeof subject, "musl detaching");
	dirty_disk(disk);
	before = written_sectors();
	sigemptyset(&chld);
	sigaddset(&chld, SIGCHLD);
	if (pipe(fds) != 0 || dup2(fds[1], 300) != 300)
		fail("descriptor 300");
	close(fds[1]);
	sigprocmask(SIG_BLOCK, &chld, &saved);
	started = now_ms();
	launcher = start("musl", argv, 0, 0);
	sigprocmask(SIG_SETMASK, &saved, NULL);
	close(300);
	while ((t = now_ms() - started) < WATCHED_S * 1000) {
		while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
			if (pid == launcher) {
				launcher_status = exit_status(status);
			} else if (pid > launcher &&
				   (!daemon || pid < daemon)) {
				daemon = pid;
				daemon_status = exit_status(status);
			}
		}
		if (!update)
			update = find_update(launcher);
		title[0] = '\0';
		if (update)
			read_title(update, title, sizeof title);
		if (synced < 0 && strcmp(title, "update (sync)") == 0)
			synced = t;
		if (written < 0 && written_sectors() > before)
			written = t;
		usleep(20000);
	}
	read_file("/tmp/out", out, sizeof out);
	read_file("/tmp/err", err, sizeof err);
	check_text("launcher's stdout", "", out);
	check_text("launcher's stderr", "", err);
	check_range("launcher's status", 0, 0, launcher_status);
	check_range("flush daemon's status", 1, 1, daemon_status);
	check_range("ms until update (sync)", FLUSH_S * 700, FLUSH_S * 2500,
		    synced);
	check_text("update's title at the end", "update (sync)", title);
	check_range("update's parent", 1, 1, update ? parent_of(update) : -1);
	check_range("sectors written in 9 s", 1, 1 << 20,
		    written_sectors() - before);
	check_range("ms from update (sync) to written back",
		    SYNC_S * 1000 - 300, 2 * SYNC_S * 1000 + 500,
		    synced < 0 || written < 0 ? -1 : written - synced);
	p.fd = fds[0];
	p.events = POLLIN;
	check_text("descriptor 300 in the daemons", "closed",
		   poll(&p, 1, 0) == 1 && read(fds[0], &c, 1) == 0 ? "closed"
								   : "open");
	close(fds[0]);
	check_range("processes left", 1, 1, end_leftovers());
}

static void
check_old_kernel(void)
{
	long values[PARAMETERS], stopped[PARAMETERS];
	char interval[32];
	int disk;

	if (read_parameters(values) != PARAMETERS)
		fail("/proc/sys/vm/bdflush");
	check_listing("listing", NULL, NULL, values);
	memcpy(stopped, values, sizeof stopped);
	stopped[KUPDATE_INTERVAL] = 0;
	check_listing("write", "-4", "0", stopped);
	for (size_t i = 0; i < sizeof old_cases / sizeof *old_cases; i++)
		run_case("musl", &old_cases[i]);
	run_rows_of_test();
	if ((disk = open("/dev/hda", O_RDWR)) < 0)
		fail("/dev/hda");
	check_disk_control(disk);
	check_old_detaching(disk);
	snprintf(interval, sizeof interval, "%ld", values[KUPDATE_INTERVAL]);
	check_listing("restored", "-4", interval, values);
	close(disk);
}

/* No devtmpfs before 2.6. 2.2 has no serial console, so /dev/console would
   be the screen. */
static int
open_old_console(void)
{
	mknod("/dev/ttyS0", S_IFCHR | 0600, makedev(4, 64));
	mknod("/dev/null", S_IFCHR | 0666, makedev(1, 3));
	mknod("/dev/hda", S_IFBLK | 0660, makedev(3, 0));
	return open("/dev/ttyS0", O_RDWR);
}

int
main(void)
{
	struct utsname u;
	char kind[32];
	long booted;
	int fd;

	read_file("/kind", kind, sizeof kind);
	kind[strcspn(kind, "\n")] = '\0';
	old_kernel = starts(kind, "linux-");
	if (old_kernel) {
		mount("proc", "/proc", "proc", 0, NULL);
		fd = open_old_console();
	} else {
		mount("devtmpfs", "/dev", "devtmpfs", 0, NULL);
		mount("proc", "/proc", "proc", 0, NULL);
		mount("sysfs", "/sys", "sysfs", 0, NULL);
		/* Pseudo-terminals, for the rows that run update on one. */
		mkdir("/dev/pts", 0755);
		mount("devpts", "/dev/pts", "devpts", 0,
		      "mode=620,ptmxmode=666");
		fd = open("/dev/console", O_RDWR);
	}
	dup2(fd, 0);
	dup2(fd, 1);
	dup2(fd, 2);
	if (fd > 2)
		close(fd);
	booted = now_ms();
	uname(&u);
	say("kernel %s, init started %ld ms after boot", u.release, booted);
	if (old_kernel) {
		check_old_kernel();
	} else {
		fd = open_ram_disk();
		for (size_t b = 0; b < sizeof builds / sizeof *builds; b++)
			for (size_t i = 0; i < sizeof cases / sizeof *cases;
			     i++)
				run_case(builds[b], &cases[i]);
		check_control(fd);
		for (size_t b = 0; b < sizeof builds / sizeof *builds; b++)
			check_detaching(builds[b], fd);
		run_listed_rows();
	}
	say("checks took %ld ms", now_ms() - booted);
	say("%d checks, %d failed", checks, faults);
	reboot(RB_AUTOBOOT);
	return 1;
}
