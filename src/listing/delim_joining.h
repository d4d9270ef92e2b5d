// Delimiter joining (-j): a line's closers close the delimiters that stored lines hold open.
#pragma once

// 1 when every delimiter of the line closed a stored one and the line is consumed;
// 0 when the line is to be stored, with what is left of its delimiters.
int join_line();
