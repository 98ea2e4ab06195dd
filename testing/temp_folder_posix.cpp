#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "testing/temp_folder.h"

std::string make_temp_folder(const std::string& prefix) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) {
        std::fprintf(stderr, "No temporary folder: %s\n", ec.message().c_str());
        return "";
    }
    std::string pattern = (base / (prefix + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "Unable to make a folder like %s: %s\n", pattern.c_str(),
                     std::strerror(errno));
        return "";
    }
    return pattern;
}
