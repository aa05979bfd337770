#include <string.h>
#include <unistd.h>

#include "flush_daemon.h"

/* A string joins the area only when it starts right behind the area's last
   terminator; end is that terminator, and the new one is returned. */
static char *
join_area(char *end, char *s)
{
	if (s != end + 1)
		return end;
	return s + strlen(s);
}

void
set_title_in(char **argv, int argc, char **env, const char *title)
{
	if (argc < 1 || !argv[0])
		return;
	char *start = argv[0];
	size_t a = strlen(start), t = strlen(title);

	if (t <= a) {
		memset(start, 0, a);
		memcpy(start, title, t + 1);
		return;
	}
	char *end = start + a;
	for (int i = 1; i < argc; i++)
		end = join_area(end, argv[i]);
	if (env && env[0] == end + 1)
		for (char **e = env; *e; e++)
			end = join_area(end, *e);
	size_t n = end - start + 1;

	memset(start, 0, n);
	/* A title too long for the area is cut, keeping the final zero. */
	memcpy(start, title, t < n ? t : n - 1);
}

void
set_process_title(char **argv, int argc, const char *title)
{
	set_title_in(argv, argc, environ, title);
}
