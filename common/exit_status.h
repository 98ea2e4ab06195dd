// The program's exit statuses. Cable operations return them too, so a caller passes a cable's
// result up unchanged.
#pragma once

constexpr int kStatusDone = 0;      // done; also when only shown, or a dry run
constexpr int kStatusFailed = 8;    // refused, or failed on the cable, the file or the history
constexpr int kStatusNoCable = 12;  // no cable chosen, or the named cable not found
constexpr int kStatusMisuse = 16;   // misuse of the command line
