#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>

#include "flush_daemon.h"

static constexpr const char *tuning_parameter_names[] = {
	"Max fraction of LRU list to examine for dirty blocks",
	"Max number of dirty blocks to write each time bdflush activated",
	"Num of clean buffers to be loaded onto free list by refill_freelist",
	"Dirty block threshold for activating bdflush in refill_freelist",
	"Percentage of cache to scan for free clusters",
	"Time for data buffers to age before flushing",
	"Time for non-data (dir, bitmap, etc) buffers to age before flushing",
	"Time buffer cache load average constant",
	"LAV ratio (used to determine threshold for buffer fratricide).",
	nullptr,
};

static constexpr char daemon_version[] = "1.4";

static constexpr char read_failed_message[] =
	"quillet:(%d) bdflush(%08x,&d)=%d %d\n";
static constexpr char write_refused_message[] =
	"quillet: bdflush(%d,%d)=%d %d\n";

/* Out-of-range text takes the nearest 32-bit bound, whatever long's width. */
int
parse_number(const char *text)
{
	long n = strtol(text, nullptr, 10);

	if (n > INT_MAX)
		return INT_MAX;
	if (n < INT_MIN)
		return INT_MIN;
	return (int)n;
}

/* A failed read ends the listing, and the parameter it failed on gets no
   line: the value would be stale or never set. */
void
list_tuning_parameters()
{
	int value = 0;

	printf("tarrow version %s\n", daemon_version);
	for (int n = 0; tuning_parameter_names[n]; n++) {
		int code = 2 * n + 2;
		int r = kernel_request(code, (long)&value);

		if (r != 0) {
			fprintf(stderr, read_failed_message, n, (unsigned)code,
				r, errno);
			return;
		}
		printf("%d: %5d %s\n", n, value, tuning_parameter_names[n]);
	}
}

void
set_tuning_parameter(int n, const char *text)
{
	int value = parse_number(text);
	int code = 2 * n + 3;
	int r = kernel_request(code, value);

	if (r == 0)
		return;
	fprintf(stderr, write_refused_message, code, value, r, errno);
	exit(1);
}
