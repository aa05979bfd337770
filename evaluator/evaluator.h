/* The expression evaluator: one argument cursor shared by the entry, the
   parser and the primaries, and every function used across their files. */
#pragma once

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

/* The arguments still to be read are args[pos] to args[count - 1]; in the
   bracket form args[count] is the dropped "]", otherwise the null entry. */
struct ArgCursor {
	char **args;
	int count;
	int pos;
};

extern ArgCursor cursor;
extern const char *program_name;

/* Whole-string equality. The words compared are mostly a few bytes long,
   and binding the C library's strcmp would cost a run that prints nothing
   more than all its comparisons. */
inline int
same_string(const char *a, const char *b)
{
	while (*a != '\0' && *a == *b) {
		a++;
		b++;
	}
	return *a == *b;
}

/* Entry and messages */
[[noreturn]] void fail_syntax(const char *format, const char *argument);
[[noreturn]] void fail_missing_argument();
[[noreturn]] void fail_not_integer(const char *where);
[[noreturn]] void show_usage(int status);
void check_help_version(int count, char **args, const char *program,
			const char *package, const char *version,
			void (*help_routine)(int));

/* Parser */
int eval_by_count();
int eval_two_operands();
int eval_three_operands();
int parse_expression();

/* Primaries */
int is_unary_letter(char ch);
int is_binary_operator(const char *word);
int eval_unary();
int eval_binary();
int parse_integer(const char *text, int *out);
int stat_path(const char *path, struct stat *status);
int effective_access(const char *path, int mode);
int file_mtime(const char *path, struct timespec *out);

/* Old kernels: the C library's calls first, their older ones only once
   those fail with ENOSYS. That happens on i386 alone; elsewhere, a test
   build that simulates the old calls asks for them. Inline, so that a
   call that works costs no more than it did. */
#if defined(__i386__) || defined(OLD_KERNEL_CALLS)
int old_file_status(const char *path, struct stat *st, int follow);
unsigned old_effective_id(unsigned id, int group);
int group_list(int size, gid_t *list);

inline int
file_status(const char *path, struct stat *st)
{
	int r = stat(path, st);
	return r == 0 || errno != ENOSYS ? r : old_file_status(path, st, 1);
}

inline int
link_status(const char *path, struct stat *st)
{
	int r = lstat(path, st);
	return r == 0 || errno != ENOSYS ? r : old_file_status(path, st, 0);
}

/* A C library passes the kernel's -ENOSYS on as the id. */
inline uid_t
effective_uid()
{
	uid_t id = geteuid();
	return id != (uid_t)-ENOSYS ? id : old_effective_id(id, 0);
}

inline gid_t
effective_gid()
{
	gid_t id = getegid();
	return id != (gid_t)-ENOSYS ? id : old_effective_id(id, 1);
}
#else
inline int
file_status(const char *path, struct stat *st)
{
	return stat(path, st);
}

inline int
link_status(const char *path, struct stat *st)
{
	return lstat(path, st);
}

inline uid_t
effective_uid()
{
	return geteuid();
}

inline gid_t
effective_gid()
{
	return getegid();
}

inline int
group_list(int size, gid_t *list)
{
	return getgroups(size, list);
}
#endif
