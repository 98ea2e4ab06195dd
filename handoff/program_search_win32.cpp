#include <windows.h>

#include <cctype>
#include <string>
#include <vector>

#include "handoff/program_search.h"

namespace {

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

// Only "X:\..." and "\\server\..." name one folder wherever the program runs; "dir", "X:dir"
// and "\dir" depend on the working folder or drive.
bool is_absolute(const std::string& folder) {
    if (folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
        folder[1] == ':' && is_separator(folder[2])) {
        return true;
    }
    return folder.size() >= 3 && is_separator(folder[0]) && is_separator(folder[1]);
}

// A folder's full name in one spelling, for comparing folders.
std::string canonical(const std::string& folder) {
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
    std::string text = n > 0 && n < sizeof full ? std::string(full, n) : folder;
    for (char& c : text) {
        c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (text.size() > 3 && text.back() == '\\') {
        text.pop_back();
    }
    return text;
}

std::string program_folder() {
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) {
        return "";
    }
    std::string text(path, n);
    std::size_t last = text.find_last_of("\\/");
    return last == std::string::npos ? "" : text.substr(0, last);
}

std::string from_system(UINT (*WINAPI get)(LPSTR, UINT)) {
    char folder[MAX_PATH * 4];
    UINT n = get(folder, sizeof folder);
    return n > 0 && n < sizeof folder ? std::string(folder, n) : "";
}

std::string environment_path() {
    DWORD n = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (n == 0) {
        return "";
    }
    std::string text(n, '\0');
    n = GetEnvironmentVariableA("PATH", &text[0], n);
    text.resize(n);
    return text;
}

bool is_file(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string find_trusted_file(const std::string& file_name) {
    std::vector<std::string> folders{program_folder(), from_system(GetSystemDirectoryA),
                                     from_system(GetWindowsDirectoryA)};
    char here[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryA(sizeof here, here);
    const std::string working = n > 0 && n < sizeof here ? canonical(here) : "";
    std::string path = environment_path();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(';', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string folder;
        for (char c : path.substr(start, end - start)) {
            if (c != '"') {
                folder += c;
            }
        }
        if (is_absolute(folder) && canonical(folder) != working) {
            folders.push_back(folder);
        }
        start = end + 1;
    }
    for (const std::string& folder : folders) {
        if (folder.empty()) {
            continue;
        }
        std::string candidate = folder;
        if (!is_separator(candidate.back())) {
            candidate += '\\';
        }
        candidate += file_name;
        if (is_file(candidate)) {
            return candidate;
        }
    }
    return "";
}
