// The report on a history (--history): one row per run, read-only, no cable touched.
#pragma once

#include <string>

#include "driver/options.h"

// Prints the report for options.history, filtered by options.cable and options.serial, as rows or
// (options.json) one JSON document; returns the exit status.
int report_history(const Options& options);

// The report of history text: rows (or the JSON document) in `out`, the notes on cables whose
// last run did not finish in `notes`; returns how many lines were not records.
std::size_t history_report_text(const std::string& history, const Options& options,
                                std::string& out, std::string& notes);
