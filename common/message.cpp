#include "common/message.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

// Touched by the interrupt handler too.
std::atomic<bool> open_line{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the open-line flag must be lock-free");

std::vector<std::string>* kept = nullptr;
std::string unended;  // the start of a line whose end has not been printed yet
OutsideLine outside_line;
bool outside_kept = false;

void keep_outside_line_if_printed() {
    if (!outside_kept && outside_line.printed != nullptr && outside_line.printed()) {
        kept->push_back(outside_line.text);
        outside_kept = true;
    }
}

void keep(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n') {
            keep_outside_line_if_printed();
            kept->push_back(unended);
            unended.clear();
        } else {
            unended += *p;
        }
    }
}

}  // namespace

void set_open_line(bool open) {
    open_line.store(open);
}

bool take_open_line() {
    return open_line.exchange(false);
}

void put_message(const char* text) {
    if (take_open_line()) {
        std::fputs("\n", stderr);
    }
    std::fputs(text, stderr);
    if (kept != nullptr) {
        keep(text);
    }
}

void print_message(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(&text[0], text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    put_message(text.c_str());
}

void keep_messages(std::vector<std::string>* lines, OutsideLine outside) {
    if (kept != nullptr) {
        if (!unended.empty()) {
            keep_outside_line_if_printed();
            kept->push_back(unended);
        }
        keep_outside_line_if_printed();
    }
    kept = lines;
    unended.clear();
    outside_line = outside;
    outside_kept = false;
}
