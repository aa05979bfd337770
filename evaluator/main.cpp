#include "evaluator.h"

int
main()
{
	return 1;
}
