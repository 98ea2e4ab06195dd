// The program's one procedure: show a cable's ROM, or update its ZAN logic from a POF file.
#pragma once

#include <optional>
#include <string>

// Exit statuses besides kStatusMisuse.
constexpr int kStatusDone = 0;
constexpr int kStatusFailed = 8;     // refused, or failed on the cable or the file
constexpr int kStatusNoCable = 12;   // no cable chosen, or the named cable not found

// Runs the whole procedure and returns the exit status. cable, file and serial may be absent.
int reprogram_cable(const std::optional<std::string>& cable,
                    const std::optional<std::string>& file, bool debug, bool force, bool dry_run,
                    const std::optional<std::string>& serial);
