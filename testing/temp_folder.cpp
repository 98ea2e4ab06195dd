#include "testing/temp_folder.h"

#include <filesystem>

TempFolder::TempFolder(const std::string& prefix) : path_(make_temp_folder(prefix)) {}

TempFolder::~TempFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}
