// The delimiter listing: line recorder, line pairing and delimiter joining.
#pragma once

#include "listing/delim_joining.h"
#include "listing/line_pairing.h"
#include "listing/line_recorder.h"
