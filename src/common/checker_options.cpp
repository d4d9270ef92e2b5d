#include "common/checker_options.h"

checker_options options;

void reset_options() { options = checker_options{}; }
