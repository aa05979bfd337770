/* Kernels older than 2.4, the 486's own among them, lack the calls that
   the C library makes on i386 for geteuid, getrlimit and readdir, and it
   has no fallback of its own. Once its call has failed with ENOSYS, these
   ask the older calls that such kernels keep. */
#include <dirent.h>
#include <errno.h>
#include <stdint.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "flush_daemon.h"

/* i386's numbers for them. */
static constexpr long GETEUID_16 = 49;
static constexpr long OLD_GETRLIMIT = 76;
static constexpr long OLD_GETDENTS = 141;

/* Weak, so that a test build can stand in for the old kernel where the
   processor never had these calls. */
__attribute__((weak)) long
old_kernel_call(long number, long first, long second, long third)
{
#if defined(__i386__)
	return syscall(number, first, second, third);
#else
	(void)number;
	(void)first;
	(void)second;
	(void)third;
	errno = ENOSYS;
	return -1;
#endif
}

/* The 32-bit id calls came together, so a getgroups that fails with
   ENOSYS tells a missing geteuid from an id that reads as -ENOSYS, which
   is what a C library passes on. The 16-bit id comes back zero-extended. */
uid_t
effective_uid()
{
	uid_t id = geteuid();

	if (id != (uid_t)-ENOSYS || getgroups(0, nullptr) >= 0 ||
	    errno != ENOSYS)
		return id;
	long old = old_kernel_call(GETEUID_16, 0, 0, 0);
	return old < 0 ? id : (uid_t)(uint16_t)old;
}

int
resource_limit(int resource, struct rlimit *limit)
{
	/* A reply that never came is a limit of 0: nothing is closed. */
	uint32_t old[2] = {0, 0};

	if (getrlimit(resource, limit) == 0)
		return 0;
	if (errno != ENOSYS ||
	    old_kernel_call(OLD_GETRLIMIT, resource, (long)old, 0) != 0)
		return -1;
	limit->rlim_cur = old[0];
	limit->rlim_max = old[1];
	return 0;
}

/* The old getdents's records: 32-bit inode and offset, the length, and
   the name. Read on from where the C library's failed read left the
   directory, which is its start. */
static struct dirent *
read_old_entry(int fd)
{
	static char records[1024];
	static long filled, used;
	static struct dirent entry;
	uint16_t length;

	if (used >= filled) {
		filled = old_kernel_call(OLD_GETDENTS, fd, (long)records,
					 sizeof records);
		used = 0;
		if (filled <= 0)
			return nullptr;
	}
	const char *record = records + used;
	memcpy(&length, record + 8, sizeof length);
	used += length;
	memset(&entry, 0, sizeof entry);
	strncpy(entry.d_name, record + 10, sizeof entry.d_name - 1);
	return &entry;
}

/* Once the C library's read has failed with ENOSYS, every read of the
   listing is the old one's. */
struct dirent *
read_entry(DIR *dir)
{
	static int old_listing;

	if (!old_listing) {
		errno = 0;
		struct dirent *e = readdir(dir);
		if (e || errno != ENOSYS)
			return e;
		old_listing = 1;
	}
	return read_old_entry(dirfd(dir));
}
