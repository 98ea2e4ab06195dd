// Texts for the library's error codes, and the callback that shows the library's own messages.
#pragma once

#include <cstdint>

#include "cable/linkhub_client.h"

// The constant text for `code`: empty for 0 and 43, "Unknown error" for every unlisted code.
const char* error_name(HWL_ERROR code);

// Prints `text` to standard output behind "Error: " (level 0), "Warning: " (1) or nothing (2);
// prints nothing at any other level. `context` is not used.
void print_library_message(void* context, std::uint32_t level, const char* text);

// print_library_message to standard error, for runs whose standard output carries a document.
void print_library_message_on_stderr(void* context, std::uint32_t level, const char* text);
