#include <errno.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "flush_daemon.h"

int
bdflush(int func, long data)
{
#if defined(__i386__)
	long raw;

	/* The trap hands back the kernel's own result, -errno included. */
	asm volatile("int $0x80"
		     : "=a"(raw)
		     : "0"(134L), "b"(func), "c"(data)
		     : "memory");
	return bdflush_result(raw);
#elif defined(SYS_bdflush)
	return syscall(SYS_bdflush, func, data);
#else
	/* No such call here: answer as a kernel that lacks it would. */
	(void)func;
	(void)data;
	return bdflush_result(-ENOSYS);
#endif
}
