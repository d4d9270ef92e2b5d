// The delimiter checker: scanner, delimiter stack and quoted strings.
#pragma once

#include "check/delim_stack.h"
#include "check/quoted_strings.h"
#include "check/scanner.h"
