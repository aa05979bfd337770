/* A kernel from before 2.4 for test builds of both programs, linked in
   front of the C library. With SIMULATED_KERNEL_OLDEST set, the C
   library's stat, lstat, geteuid, getegid, getgroups, getrlimit and
   readdir fail with ENOSYS, as they do on i386 there, and the older calls
   that the programs fall back on answer instead: on i386 the kernel's own,
   elsewhere made here from the new ones and narrowed as such a kernel
   narrows them. Without it every call is the kernel's. Read before main,
   since update's title rewrite destroys the environment. */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

static int oldest;

__attribute__((constructor)) static void
read_age()
{
	oldest = getenv("SIMULATED_KERNEL_OLDEST") != nullptr;
}

static int
missing()
{
	errno = ENOSYS;
	return -1;
}

int
stat(const char *path, struct stat *st) noexcept
{
	return oldest ? missing() : fstatat(AT_FDCWD, path, st, 0);
}

int
lstat(const char *path, struct stat *st) noexcept
{
	return oldest ? missing()
		      : fstatat(AT_FDCWD, path, st, AT_SYMLINK_NOFOLLOW);
}

#ifdef SYS_geteuid32
#define ID_CALL(name) SYS_##name##32
#else
#define ID_CALL(name) SYS_##name
#endif

/* The id calls cannot fail, so the C library hands on -ENOSYS as the id. */
uid_t
geteuid() noexcept
{
	return oldest ? (uid_t)-ENOSYS : (uid_t)syscall(ID_CALL(geteuid));
}

gid_t
getegid() noexcept
{
	return oldest ? (gid_t)-ENOSYS : (gid_t)syscall(ID_CALL(getegid));
}

int
getgroups(int size, gid_t *list) noexcept
{
	return oldest ? missing()
		      : (int)syscall(ID_CALL(getgroups), size, list);
}

/* An enumeration in one C library, an int in another. */
using resource_type = decltype(RLIMIT_NOFILE);

int
getrlimit(int resource, struct rlimit *limit) noexcept
{
	return oldest ? missing() : prlimit(0, (resource_type)resource,
					    nullptr, limit);
}

/* The one listing a program reads at a time, through getdents64, whose
   records are every C library's struct dirent. */
static char records[4096] __attribute__((aligned(8)));
static long filled, used;
static DIR *listed;

struct dirent *
readdir(DIR *dir)
{
	if (oldest) {
		missing();
		return nullptr;
	}
	if (dir != listed)
		filled = used = 0;
	listed = dir;
	if (used >= filled) {
		filled = syscall(SYS_getdents64, dirfd(dir), records,
				 sizeof records);
		used = 0;
		if (filled <= 0)
			return nullptr;
	}
	struct dirent *e = (struct dirent *)(records + used);
	used += e->d_reclen;
	return e;
}

#if !defined(__i386__)
/* What the old calls hand back, as the programs read it on i386. */
struct OldStatus {
	uint32_t dev, ino;
	uint16_t mode, nlink, uid, gid;
	uint32_t rdev, size, blksize, blocks;
	uint32_t atime, atime_nsec, mtime, mtime_nsec, ctime, ctime_nsec;
	uint32_t unused[2];
};

static uint16_t
narrow_id(unsigned id)
{
	return id > 65535 ? 65534 : (uint16_t)id;
}

static long
old_status(const char *path, OldStatus *old, int flags)
{
	struct stat st;

	if (fstatat(AT_FDCWD, path, &st, flags) != 0)
		return -1;
	if (st.st_dev > 0xffff || st.st_rdev > 0xffff ||
	    st.st_size > 0x7fffffff) {
		errno = EOVERFLOW;
		return -1;
	}
	*old = OldStatus{(uint32_t)st.st_dev, (uint32_t)st.st_ino,
			 (uint16_t)st.st_mode, (uint16_t)st.st_nlink,
			 narrow_id(st.st_uid), narrow_id(st.st_gid),
			 (uint32_t)st.st_rdev, (uint32_t)st.st_size,
			 (uint32_t)st.st_blksize, (uint32_t)st.st_blocks,
			 (uint32_t)st.st_atim.tv_sec,
			 (uint32_t)st.st_atim.tv_nsec,
			 (uint32_t)st.st_mtim.tv_sec,
			 (uint32_t)st.st_mtim.tv_nsec,
			 (uint32_t)st.st_ctim.tv_sec,
			 (uint32_t)st.st_ctim.tv_nsec, {0, 0}};
	return 0;
}

static long
old_groups(int size, uint16_t *list)
{
	static gid_t wide[65536];
	int n = (int)syscall(ID_CALL(getgroups), size, wide);

	for (int i = 0; size > 0 && i < n; i++)
		list[i] = narrow_id(wide[i]);
	return n;
}

/* 2.4's old getrlimit, which clamps to what a signed long holds. */
static long
old_limit(int resource, uint32_t *old)
{
	struct rlimit limit;

	if (prlimit(0, (resource_type)resource, nullptr, &limit) != 0)
		return -1;
	old[0] = limit.rlim_cur > 0x7fffffff ? 0x7fffffff : limit.rlim_cur;
	old[1] = limit.rlim_max > 0x7fffffff ? 0x7fffffff : limit.rlim_max;
	return 0;
}

/* The old records: 32-bit inode and offset, the length, the name, and
   the type in the last byte. Each is shorter than its getdents64 one. */
static long
old_entries(int fd, char *out, long size)
{
	static char wide[4096] __attribute__((aligned(8)));
	long n = syscall(SYS_getdents64, fd, wide,
			 size < (long)sizeof wide ? size : sizeof wide);
	long length = 0;

	for (long i = 0; i < n;) {
		struct dirent *e = (struct dirent *)(wide + i);
		size_t name = strlen(e->d_name);
		uint32_t head[2] = {(uint32_t)e->d_ino, (uint32_t)e->d_off};
		uint16_t reclen = (uint16_t)((10 + name + 2 + 3) & ~3UL);
		memset(out + length, 0, reclen);
		memcpy(out + length, head, sizeof head);
		memcpy(out + length + 8, &reclen, sizeof reclen);
		memcpy(out + length + 10, e->d_name, name);
		out[length + reclen - 1] = (char)e->d_type;
		length += reclen;
		i += e->d_reclen;
	}
	return n < 0 ? n : length;
}
#endif

/* i386's numbers, which is where the programs ask for them. */
long
old_kernel_call(long number, long first, long second, long third)
{
#if defined(__i386__)
	return syscall(number, first, second, third);
#else
	/* No kernel of this processor has them but the one played here. */
	if (!oldest)
		return missing();
	switch (number) {
	case 106:
	case 107:
		return old_status((const char *)first, (OldStatus *)second,
				  number == 107 ? AT_SYMLINK_NOFOLLOW : 0);
	case 49: return narrow_id((unsigned)syscall(ID_CALL(geteuid)));
	case 50: return narrow_id((unsigned)syscall(ID_CALL(getegid)));
	case 80: return old_groups((int)first, (uint16_t *)second);
	case 76: return old_limit((int)first, (uint32_t *)second);
	case 141: return old_entries((int)first, (char *)second, third);
	}
	return missing();
#endif
}
