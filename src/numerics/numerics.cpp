#include "numerics/numerics.h"
