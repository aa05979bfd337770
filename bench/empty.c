/* The cheapest program there is: it starts and returns. Compiled and linked
   as test is, it is what any start of test must cost. */
int
main(void)
{
	return 0;
}
