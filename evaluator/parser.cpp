#include "evaluator.h"

static int
word_is(int i, const char *word)
{
	return i < cursor.count && same_string(cursor.args[i], word);
}

static int
is_dash_word(const char *word)
{
	return word[0] == '-' && word[1] != '\0' && word[2] == '\0';
}

/* A dash word that starts a term must name a unary operator. */
static int
eval_dash_word()
{
	const char *word = cursor.args[cursor.pos];
	if (!is_unary_letter(word[1]))
		fail_syntax("%s: unary operator expected\n", word);
	return eval_unary();
}

int
eval_two_operands()
{
	char **args = cursor.args;
	if (same_string(args[cursor.pos], "!")) {
		int v = args[cursor.pos + 1][0] == '\0';
		cursor.pos += 2;
		return v;
	}
	if (is_dash_word(args[cursor.pos]))
		return eval_dash_word();
	fail_missing_argument();
}

int
eval_three_operands()
{
	char **args = cursor.args;
	int pos = cursor.pos;
	if (same_string(args[pos], "!")) {
		cursor.pos++;
		if (cursor.pos >= cursor.count)
			fail_missing_argument();
		return !eval_two_operands();
	}
	if (is_binary_operator(args[pos + 1])) {
		int v = eval_binary();
		cursor.pos = cursor.count;
		return v;
	}
	if (word_is(pos + 1, "-a") || word_is(pos + 1, "-o") ||
	    args[pos][0] == '(')
		return parse_expression();
	fail_syntax("%s: binary operator expected\n", args[pos + 1]);
}

int
eval_by_count()
{
	int v;
	switch (cursor.count - 1) {
	case 1:
		v = cursor.args[1][0] != '\0';
		cursor.pos = cursor.count;
		return v;
	case 2:
		v = eval_two_operands();
		cursor.pos = cursor.count;
		return v;
	case 3:
		return eval_three_operands();
	case 4:
		if (same_string(cursor.args[1], "!")) {
			cursor.pos = 2;
			return !eval_three_operands();
		}
		return parse_expression();
	default:
		return parse_expression();
	}
}

/* A term that is neither a negation nor a group. */
static int
parse_term()
{
	char **args = cursor.args;
	int pos = cursor.pos;
	if (pos + 3 <= cursor.count && is_binary_operator(args[pos + 1]))
		return eval_binary();
	if (pos + 4 <= cursor.count && same_string(args[pos], "-l") &&
	    is_binary_operator(args[pos + 2]))
		return eval_binary();
	if (is_dash_word(args[pos]))
		return eval_dash_word();
	cursor.pos++;
	return args[pos][0] != '\0';
}

/* Consumes a run of "!" and returns whether it negates what follows. */
static int
parse_negations()
{
	int negate = 0;
	if (cursor.pos >= cursor.count)
		fail_missing_argument();
	while (same_string(cursor.args[cursor.pos], "!")) {
		cursor.pos++;
		if (cursor.pos >= cursor.count)
			fail_missing_argument();
		negate = !negate;
	}
	return negate;
}

static void
expect_closing_parenthesis()
{
	const char *word = cursor.args[cursor.pos];
	if (word == nullptr)
		fail_syntax("')' expected\n", nullptr);
	if (!same_string(word, ")"))
		fail_syntax("')' expected, found %s\n", word);
	cursor.pos++;
}

/* What an open group interrupted: the enclosing -o chain's value so far, its
   current -a chain's value, and whether a "!" run negates the group. */
enum { ANY = 1, ALL = 2, NEGATED = 4 };

/*
 * "!" binds tightest, then -a, then -o, and every term is evaluated, so its
 * file tests run and its errors are reported, whatever its neighbours decide.
 * Groups keep their context in a byte each rather than in a C stack frame,
 * so nesting as deep as the kernel's argument limit allows cannot overflow.
 */
int
parse_expression()
{
	if (cursor.pos >= cursor.count)
		fail_missing_argument();
	unsigned char outer[cursor.count];
	int depth = 0;
	int any = 0, all = 1;
	for (;;) {
		int negate = parse_negations();
		if (same_string(cursor.args[cursor.pos], "(")) {
			cursor.pos++;
			if (cursor.pos >= cursor.count)
				fail_missing_argument();
			outer[depth++] = (any ? ANY : 0) | (all ? ALL : 0) |
					 (negate ? NEGATED : 0);
			any = 0;
			all = 1;
			continue;
		}
		int v = parse_term() ^ negate;
		for (;;) {
			all &= v;
			if (word_is(cursor.pos, "-a")) {
				cursor.pos++;
				break;
			}
			any |= all;
			all = 1;
			if (word_is(cursor.pos, "-o")) {
				cursor.pos++;
				break;
			}
			if (depth == 0)
				return any;
			expect_closing_parenthesis();
			int saved = outer[--depth];
			v = any ^ ((saved & NEGATED) != 0);
			any = (saved & ANY) != 0;
			all = (saved & ALL) != 0;
		}
	}
}
