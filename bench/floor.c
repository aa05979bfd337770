/* A program that sets its locale from the environment, as test does before
   it prints anything, and returns: what any printing run must cost. */
#include <locale.h>

int
main(void)
{
	setlocale(LC_ALL, "");
	return 0;
}
