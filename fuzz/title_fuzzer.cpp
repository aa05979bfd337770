/* Fuzzes the process-title rewriter over argument and environment layouts
   made from the input, and checks that it writes only inside the area the
   rewrite may use, leaving that area as the title followed by zeros.

   Input: byte 0 gives the argument count (1 to 8), byte 1 the environment
   count (0 to 8), byte 2 a seed for the order in which the vectors list the
   strings; then per string a length byte (0 to 31) and a gap byte (odd: the
   string starts one byte after the previous one's terminator, i.e. not
   contiguous); the rest is the title, cut at its first zero byte. */
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "flush_daemon.h"

namespace {

constexpr size_t GUARD = 16;
constexpr unsigned char FILL = 0xa5;

/* Where the rewrite may write, found the way the kernel's layout is read:
   the first argument, then every later string (arguments in vector order,
   then the environment if its first string follows) that starts right
   behind what has joined so far. */
size_t
area_size(char **argv, int argc, char **env, size_t title_length)
{
	char *start = argv[0];
	char *end = start + strlen(start);
	if (title_length <= strlen(start))
		return strlen(start) + 1;
	for (int i = 1; i < argc; i++)
		if (argv[i] == end + 1)
			end = argv[i] + strlen(argv[i]);
	if (env[0] && env[0] == end + 1)
		for (char **e = env; *e; e++)
			if (*e == end + 1)
				end = *e + strlen(*e);
	return end - start + 1;
}

}  // namespace

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 3)
		return 0;
	int argc = 1 + data[0] % 8, envc = data[1] % 9;
	unsigned order = data[2];
	size_t at = 3, strings = argc + envc;
	if (size < at + 2 * strings)
		return 0;

	/* Lay the strings out in memory one after another, between guards. */
	std::vector<unsigned char> block(2 * GUARD + strings * 34, FILL);
	std::vector<char *> placed;
	size_t p = GUARD;
	for (size_t i = 0; i < strings; i++) {
		size_t length = data[at++] % 32;
		if (data[at++] & 1)
			p++;
		memset(&block[p], 'a' + i % 26, length);
		block[p + length] = '\0';
		placed.push_back((char *)&block[p]);
		p += length + 1;
	}
	std::string title((const char *)data + at, size - at);
	title.resize(strlen(title.c_str()));

	/* The vectors may list the arguments after the first out of memory
	   order, as option parsing leaves them. */
	std::vector<char *> argv(placed.begin(), placed.begin() + argc);
	for (int i = argc - 1; i > 1; i--) {
		std::swap(argv[i], argv[1 + order % i]);
		order = order * 33 + 7;
	}
	argv.push_back(nullptr);
	std::vector<char *> env(placed.begin() + argc, placed.end());
	env.push_back(nullptr);
	std::vector<char *> argv_before = argv, env_before = env;

	size_t n = area_size(argv.data(), argc, env.data(), title.size());
	size_t first = (unsigned char *)argv[0] - block.data();
	std::vector<unsigned char> before = block;
	set_title_in(argv.data(), argc, env.data(), title.c_str());

	for (size_t i = 0; i < block.size(); i++) {
		if (i >= first && i < first + n)
			continue;
		if (block[i] != before[i])
			abort();	/* written outside the area */
	}
	size_t kept = title.size() < n ? title.size() : n - 1;
	if (memcmp(&block[first], title.data(), kept) != 0)
		abort();
	for (size_t i = first + kept; i < first + n; i++)
		if (block[i] != 0)
			abort();	/* the rest of the area is zeros */
	if (argv != argv_before || env != env_before)
		abort();	/* the vectors themselves stay untouched */
	return 0;
}
