/* Kernels older than 2.4, the 486's own among them, lack the calls that
   the C library makes on i386 for stat, lstat and the 32-bit ids, and it
   has no fallback of its own. Once its call has failed with ENOSYS, these
   ask the older calls that such kernels keep. */
#include <errno.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "evaluator.h"

#if defined(__i386__) || defined(OLD_KERNEL_CALLS)

/* i386's numbers for them; the 16-bit id calls among them. */
static constexpr long OLD_STAT = 106;
static constexpr long OLD_LSTAT = 107;
static constexpr long GETEUID_16 = 49;
static constexpr long GETEGID_16 = 50;
static constexpr long GETGROUPS_16 = 80;

/* The old calls' struct stat as i386 lays it out: 16-bit mode, links and
   ids, 32-bit size and times. */
struct OldStatus {
	uint32_t dev, ino;
	uint16_t mode, nlink, uid, gid;
	uint32_t rdev, size, blksize, blocks;
	uint32_t atime, atime_nsec, mtime, mtime_nsec, ctime, ctime_nsec;
	uint32_t unused[2];
};

#if defined(__i386__)
/* Weak, so that a test build can stand in for the old kernel. */
__attribute__((weak)) long
old_kernel_call(long number, long first, long second, long third)
{
	return syscall(number, first, second, third);
}
#else
/* Only a test build asks, and it simulates the calls. */
long old_kernel_call(long number, long first, long second, long third);
#endif

/* Only the fields that test reads. */
int
old_file_status(const char *path, struct stat *st, int follow)
{
	struct OldStatus old;

	if (old_kernel_call(follow ? OLD_STAT : OLD_LSTAT, (long)path,
			    (long)&old, 0) != 0)
		return -1;
	memset(st, 0, sizeof *st);
	st->st_dev = old.dev;
	st->st_ino = old.ino;
	st->st_mode = old.mode;
	st->st_uid = old.uid;
	st->st_gid = old.gid;
	st->st_size = old.size;
	st->st_mtim.tv_sec = old.mtime;
	st->st_mtim.tv_nsec = old.mtime_nsec;
	return 0;
}

/* The 32-bit id calls came together, so a getgroups that fails with
   ENOSYS tells a missing geteuid from an id that reads as -ENOSYS. The
   16-bit ids come back zero-extended. */
unsigned
old_effective_id(unsigned id, int group)
{
	if (getgroups(0, nullptr) >= 0 || errno != ENOSYS)
		return id;
	long old = old_kernel_call(group ? GETEGID_16 : GETEUID_16, 0, 0, 0);
	return old < 0 ? id : (unsigned)(uint16_t)old;
}

int
group_list(int size, gid_t *list)
{
	int n = getgroups(size, list);

	if (n >= 0 || errno != ENOSYS)
		return n;
	/* Widened in place from the last: each 16-bit id is read before a
	   32-bit one covers it. */
	n = (int)old_kernel_call(GETGROUPS_16, size, (long)list, 0);
	for (int i = n - 1; i >= 0; i--) {
		uint16_t old;
		memcpy(&old, (char *)list + 2 * i, sizeof old);
		list[i] = old;
	}
	return n;
}
#endif
