/* The expression evaluator: one argument cursor shared by the entry, the
   parser and the primaries, and every function used across their files. */
#pragma once

#include <sys/stat.h>

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
