/* The cheapest program test could be: it sets its locale from the
   environment, as test does first, and returns. */
#include <locale.h>

int
main(void)
{
	setlocale(LC_ALL, "");
	return 0;
}
