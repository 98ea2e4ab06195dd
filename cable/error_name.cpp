#include "cable/error_name.h"

#include <cstdio>

#include "common/message.h"

namespace {

struct ErrorText {
    HWL_ERROR code;
    const char* text;
};

// Code 43 has an empty text on purpose: the library never named it.
constexpr ErrorText kErrorTexts[] = {
    {0, ""},
    {2, "Timeout"},
    {32, "Unknown hardware"},
    {33, "Invalid CHAIN_ID"},
    {34, "Locked already"},
    {35, "Not locked"},
    {36, "Chain in use"},
    {37, "No devices"},
    {38, "Chain not configured"},
    {39, "Bad TAP position"},
    {40, "Device doesn't match"},
    {41, "IR length error"},
    {42, "Device not configured"},
    {43, ""},
    {44, "Invalid OPEN_ID"},
    {45, "Invalid parameter"},
    {46, "Bad TAP state"},
    {47, "Too many devices"},
    {48, "Different TAPS selected"},
    {49, "Bad sequence"},
    {50, "Instruction claimed"},
    {80, "File not found"},
    {81, "Communications error"},
    {82, "Server error"},
    {83, "Out of memory"},
    {84, "Bad port name"},
    {85, "Hardware in use"},
    {86, "Hardware not attached"},
    {87, "JTAG chain broken"},
    {89, "Insufficient port permissions"},
    {127, "Internal error"},
};

}  // namespace

const char* error_name(HWL_ERROR code) {
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return "Unknown error";
}

namespace {

// The prefix for a message of `level`, or null for a level that stays hidden.
const char* message_prefix(std::uint32_t level) {
    switch (level) {
        case 0:
            return "Error: ";
        case 1:
            return "Warning: ";
        case 2:
            return "";
        default:
            return nullptr;  // the library's debug levels stay hidden
    }
}

void print_message_to(std::FILE* out, std::uint32_t level, const char* text) {
    const char* prefix = message_prefix(level);
    if (prefix != nullptr) {
        std::fprintf(out, "%s%s\n", prefix, text != nullptr ? text : "");
    }
}

}  // namespace

void print_library_message(void* /*context*/, std::uint32_t level, const char* text) {
    print_message_to(stdout, level, text);
}

void print_library_message_on_stderr(void* /*context*/, std::uint32_t level, const char* text) {
    const char* prefix = message_prefix(level);
    if (prefix != nullptr) {
        print_message("%s%s\n", prefix, text != nullptr ? text : "");
    }
}
