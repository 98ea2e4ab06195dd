#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <random>

#include "testing/temp_folder.h"

std::string make_temp_folder(const std::string& prefix) {
    char base[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof base, base);
    if (length == 0 || length > MAX_PATH) {
        std::fprintf(stderr, "No temporary folder (error %lu)\n", GetLastError());
        return "";
    }
    // Windows has no mkdtemp: CreateDirectory refuses a name that exists, so a collision with
    // another suite's folder only costs another try.
    std::random_device seed;
    std::mt19937_64 random((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "%012llx",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        std::string folder = std::string(base) + prefix + name;
        if (CreateDirectoryA(folder.c_str(), nullptr)) {
            return folder;
        }
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            std::fprintf(stderr, "Unable to make the folder %s (error %lu)\n", folder.c_str(),
                         error);
            return "";
        }
    }
    std::fprintf(stderr, "Unable to find a free folder name in %s\n", base);
    return "";
}
