// Comparing words the way a user types them: ASCII letters in either case.
#pragma once

// True when a and b are the same text once ASCII letters are folded to one case; other bytes,
// those above 0x7F included, must match exactly. Both must be terminated.
bool equal_ignoring_ascii_case(const char* a, const char* b);
