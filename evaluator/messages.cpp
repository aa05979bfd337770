#include "evaluator.h"
