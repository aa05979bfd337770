#pragma once

#include <dirent.h>
#include <errno.h>
#include <sys/resource.h>
#include <sys/types.h>

/* Function codes of bdflush that take no parameter number. */
constexpr int BDFLUSH_BECOME_DAEMON = 0;
constexpr int BDFLUSH_FLUSH_ONCE = 1;

/* The data word is a value or an address, so it is as wide as an address. */
int bdflush(int func, long data);

/* A raw kernel result as a C library call gives it: -errno becomes -1 with
   errno set. Here, so that the wrapper and a simulated kernel share it
   without reaching into the objects that call them. */
inline int
bdflush_result(long raw)
{
	if (raw < 0) {
		errno = (int)-raw;
		return -1;
	}
	return (int)raw;
}
/* Every request goes through here, so a kernel that only pretends to keep
   the call gets none. */
int kernel_request(int func, long data);

int parse_number(const char *text);
void list_tuning_parameters();
void set_tuning_parameter(int n, const char *text);

void set_process_title(char **argv, int argc, const char *title);
void set_title_in(char **argv, int argc, char **env, const char *title);

/* The C library's calls, and on old kernels their older ones once those
   fail with ENOSYS. */
uid_t effective_uid();
int resource_limit(int resource, struct rlimit *limit);
struct dirent *read_entry(DIR *dir);
