#include "graphs/graphs.h"
