#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "evaluator.h"

static constexpr const char UNARY_LETTERS[] = "abcdefgkLhprsStuwxOGnz";

/* Tables of characters rather than of pointers: a position-independent
   program relocates every pointer at each start, a run that never reads
   it included. */
static constexpr char binary_operators[][4] = {
	"=", "!=", "-nt", "-ot", "-ef",
	"-eq", "-ne", "-lt", "-le", "-gt", "-ge",
};

struct IntegerComparison {
	char word[4];
	char before[11];
	char after[10];
};

static constexpr IntegerComparison integer_comparisons[] = {
	{"-eq", "before -eq", "after -eq"},
	{"-ne", "before -ne", "after -ne"},
	{"-lt", "before -lt", "after -lt"},
	{"-le", "before -le", "after -le"},
	{"-gt", "before -gt", "after -gt"},
	{"-ge", "before -ge", "after -ge"},
};

/* UNARY_LETTERS as one bit per character from 'A', made when compiling:
   the letter test runs for every dash word. */
static constexpr unsigned long long
letter_bits(const char *letters)
{
	unsigned long long bits = 0;
	for (; *letters != '\0'; letters++)
		bits |= 1ULL << (*letters - 'A');
	return bits;
}

static constexpr unsigned long long UNARY_BITS = letter_bits(UNARY_LETTERS);

static uid_t cached_euid = (uid_t)-1;

#ifndef HAVE_GROUP_MEMBER
/* For a C library without it: any supplementary group, the effective one
   being checked by the caller already. The buffer holds the kernel's most,
   65536 groups; only the pages getgroups writes are ever touched. */
static int
group_member(gid_t gid)
{
	static gid_t groups[65536];
	int n = group_list(65536, groups);

	for (int i = 0; i < n; i++)
		if (groups[i] == gid)
			return 1;
	return 0;
}
#endif

int
is_unary_letter(char ch)
{
	unsigned i = (unsigned char)ch - (unsigned)'A';
	return i < 64 && (UNARY_BITS >> i & 1);
}

/* Every operator is "=", "!=" or three characters after a dash, so most
   words, "-a" and "-o" among them, are ruled out before the table walk. */
int
is_binary_operator(const char *word)
{
	if (word[0] == '-' ? !word[1] || !word[2] || word[3]
			   : word[0] != '=' && word[0] != '!')
		return 0;
	for (const char *w : binary_operators)
		if (same_string(word, w))
			return 1;
	return 0;
}

static int
is_blank(char c)
{
	return c == ' ' || c == '\t';
}

static int
is_digit(char c)
{
	return c >= '0' && c <= '9';
}

/* Decimal with optional blanks around it; wraps modulo 2^32 like the 32-bit
   arithmetic it always was, computed unsigned so the wrap is defined. */
int
parse_integer(const char *text, int *out)
{
	if (out)
		*out = 0;
	while (is_blank(*text))
		text++;
	if (*text == '\0')
		return 0;
	unsigned sign = 1;
	if (*text == '+' || *text == '-') {
		if (!is_digit(text[1]))
			return 0;
		if (*text == '-')
			sign = -1u;
		text++;
	}
	unsigned value = 0;
	while (is_digit(*text))
		value = value * 10u + (unsigned)(*text++ - '0');
	while (is_blank(*text))
		text++;
	if (*text != '\0')
		return 0;
	if (out)
		*out = (int)(value * sign);
	return 1;
}

int
stat_path(const char *path, struct stat *status)
{
	if (path[0] == '\0') {
		errno = ENOENT;
		return -1;
	}
	return file_status(path, status);
}

int
effective_access(const char *path, int mode)
{
	struct stat st;
	if (stat_path(path, &st) != 0)
		return -1;
	if (cached_euid == (uid_t)-1)
		cached_euid = effective_uid();
	if (cached_euid == 0) {
		if (mode != 1 || (st.st_mode & 0111))
			return 0;
	}
	/* The C library's group_member looks only at the supplementary
	   groups, so the effective group is checked first. */
	int shift = 0;
	if (cached_euid == st.st_uid)
		shift = 6;
	else if (st.st_gid == effective_gid() || group_member(st.st_gid))
		shift = 3;
	return (st.st_mode & ((unsigned)mode << shift)) ? 0 : -1;
}

int
file_mtime(const char *path, struct timespec *out)
{
	struct stat st;
	if (stat_path(path, &st) != 0)
		return 0;
	*out = st.st_mtim;
	return 1;
}

static int
has_type(const struct stat *st, mode_t type)
{
	return (st->st_mode & S_IFMT) == type;
}

/* Only the letters that examine a file through stat_path. */
static int
test_status(char letter, const struct stat *st)
{
	switch (letter) {
	case 'a':
	case 'e': return 1;
	case 'b': return has_type(st, S_IFBLK);
	case 'c': return has_type(st, S_IFCHR);
	case 'd': return has_type(st, S_IFDIR);
	case 'p': return has_type(st, S_IFIFO);
	case 'S': return has_type(st, S_IFSOCK);
	case 'f': return has_type(st, S_IFREG) || has_type(st, 0);
	case 'g': return (st->st_mode & S_ISGID) != 0;
	case 'k': return (st->st_mode & S_ISVTX) != 0;
	case 'u': return (st->st_mode & S_ISUID) != 0;
	case 's': return st->st_size > 0;
	case 'G': return st->st_gid == effective_gid();
	case 'O': return st->st_uid == effective_uid();
	}
	return 0;
}

static int
eval_terminal()
{
	int fd;
	cursor.pos++;
	if (cursor.pos < cursor.count &&
	    parse_integer(cursor.args[cursor.pos], &fd))
		cursor.pos++;
	else
		fd = 1;
	return isatty(fd) == 1;
}

int
eval_unary()
{
	char letter = cursor.args[cursor.pos][1];
	if (letter == 't')
		return eval_terminal();
	if (cursor.pos + 1 >= cursor.count)
		fail_missing_argument();
	const char *operand = cursor.args[cursor.pos + 1];
	cursor.pos += 2;
	struct stat st;
	switch (letter) {
	case 'L':
	case 'h':
		return operand[0] != '\0' && link_status(operand, &st) == 0 &&
		       has_type(&st, S_IFLNK);
	case 'r': return effective_access(operand, 4) == 0;
	case 'w': return effective_access(operand, 2) == 0;
	case 'x': return effective_access(operand, 1) == 0;
	case 'n': return operand[0] != '\0';
	case 'z': return operand[0] == '\0';
	}
	return stat_path(operand, &st) == 0 && test_status(letter, &st);
}

static int
integer_operand(const char *token, int by_length, const char *where)
{
	if (by_length)
		return (int)strlen(token);
	int value;
	if (!parse_integer(token, &value))
		fail_not_integer(where);
	return value;
}

static int
compare_integers(const char *word, const char *left, int left_length,
		 const char *right, int right_length)
{
	const IntegerComparison *c = integer_comparisons;
	while (!same_string(c->word, word))
		c++;
	int l = integer_operand(left, left_length, c->before);
	int r = integer_operand(right, right_length, c->after);
	switch (word[1]) {
	case 'e': return l == r;
	case 'n': return l != r;
	case 'l': return word[2] == 't' ? l < r : l <= r;
	default: return word[2] == 't' ? l > r : l >= r;
	}
}

/* "-l STRING" stands for the length of STRING, so beside = and != it is
   compared as the decimal text of that length. */
static const char *
string_operand(const char *token, int by_length, char *buffer, size_t size)
{
	if (!by_length)
		return token;
	snprintf(buffer, size, "%zu", strlen(token));
	return buffer;
}

static int
compare_strings(const char *left, int left_length, const char *right,
		int right_length)
{
	char left_buffer[24], right_buffer[24];
	left = string_operand(left, left_length, left_buffer,
			      sizeof left_buffer);
	right = string_operand(right, right_length, right_buffer,
			       sizeof right_buffer);
	return same_string(left, right);
}

static int
compare_files(const char *word, const char *left, const char *right)
{
	if (word[1] == 'e') {
		struct stat l, r;
		int both = file_status(left, &l) == 0 &&
			   file_status(right, &r) == 0;
		return both && l.st_dev == r.st_dev && l.st_ino == r.st_ino;
	}
	/* A file written later in the same second is still newer. */
	struct timespec l, r;
	if (!file_mtime(left, &l) || !file_mtime(right, &r))
		return 0;
	int order = (l.tv_sec > r.tv_sec) - (l.tv_sec < r.tv_sec);
	if (order == 0)
		order = (l.tv_nsec > r.tv_nsec) - (l.tv_nsec < r.tv_nsec);
	return word[1] == 'n' ? order > 0 : order < 0;
}

int
eval_binary()
{
	char **args = cursor.args;
	int left_length = 0, right_length = 0;
	int op = cursor.pos + 1;
	if (same_string(args[cursor.pos], "-l")) {
		op = cursor.pos + 2;
		if (!(op < cursor.count - 1 && is_binary_operator(args[op])))
			fail_syntax("%s: binary operator expected\n", args[op]);
		left_length = 1;
		cursor.pos++;
	}
	if (op < cursor.count - 2 && same_string(args[op + 1], "-l")) {
		right_length = 1;
		cursor.pos++;
	}
	const char *word = args[op];
	const char *left = args[op - 1];
	const char *right = args[op + 1 + right_length];
	cursor.pos += 3;
	if (same_string(word, "="))
		return compare_strings(left, left_length, right, right_length);
	if (same_string(word, "!="))
		return !compare_strings(left, left_length, right, right_length);
	if (same_string(word, "-nt") || same_string(word, "-ot") ||
	    same_string(word, "-ef")) {
		if (left_length || right_length)
			fail_syntax("%s does not accept -l\n", word);
		return compare_files(word, left, right);
	}
	return compare_integers(word, left, left_length, right, right_length);
}
