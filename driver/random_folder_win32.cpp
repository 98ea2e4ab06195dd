#define _CRT_RAND_S
#include "driver/random_folder_win32.h"

#include <stdlib.h>
#include <windows.h>

namespace {

// Twelve random letters and digits from the system's generator; empty when it fails.
std::string random_characters() {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string text;
    for (int i = 0; i < 12; ++i) {
        unsigned int value = 0;
        if (rand_s(&value) != 0) {
            return "";
        }
        text += kAlphabet[value % 36];
    }
    return text;
}

}  // namespace

std::string make_random_folder(const std::string& prefix) {
    // CreateDirectory never takes a folder that exists; another name is tried then.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::string random = random_characters();
        if (random.empty()) {
            return "";
        }
        const std::string candidate = prefix + random;
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            return candidate;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return "";
        }
    }
    return "";
}
