#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cable/library_loader.h"

const char kClientLibraryFile[] = "liblinkhub_client.so";

namespace {

// The loader's own defaults, for when LD_LIBRARY_PATH holds an entry the program must not let
// the loader follow. CW_LIBRARY_ARCHITECTURE is the multiarch folder name, if the system has one.
const char* const kSystemFolders[] = {
#ifdef CW_LIBRARY_ARCHITECTURE
    "/usr/local/lib/" CW_LIBRARY_ARCHITECTURE,
    "/lib/" CW_LIBRARY_ARCHITECTURE,
    "/usr/lib/" CW_LIBRARY_ARCHITECTURE,
#endif
    "/usr/local/lib",
    "/lib64",
    "/usr/lib64",
    "/lib",
    "/usr/lib",
};

std::string own_folder() {
    std::string path(4096, '\0');
    ssize_t length = readlink("/proc/self/exe", &path[0], path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return "";
    }
    path.resize(static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/'));
}

// The entries of LD_LIBRARY_PATH (':' or ';' separated, as the loader reads it).
std::vector<std::string> library_path_entries() {
    std::vector<std::string> entries;
    const char* value = std::getenv("LD_LIBRARY_PATH");
    if (value == nullptr || *value == '\0') {
        return entries;
    }
    std::string entry;
    for (const char* p = value;; ++p) {
        if (*p == ':' || *p == ';' || *p == '\0') {
            entries.push_back(entry);
            entry.clear();
            if (*p == '\0') {
                break;
            }
        } else {
            entry += *p;
        }
    }
    return entries;
}

void* load_from(const std::string& folder) {
    if (folder.empty() || folder[0] != '/') {
        return nullptr;
    }
    std::string path = folder + "/" + kClientLibraryFile;
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

void* load_client_library() {
    void* library = load_from(own_folder());
    const std::vector<std::string> entries = library_path_entries();
    bool all_absolute = true;
    for (const std::string& entry : entries) {
        all_absolute = all_absolute && !entry.empty() && entry[0] == '/';
        if (library == nullptr) {
            library = load_from(entry);
        }
    }
    if (library != nullptr) {
        return library;
    }
    // A bare name makes the loader search LD_LIBRARY_PATH (already tried), then its cache and
    // default folders, which also know the folders a JTAG server's installation registered. An
    // empty or relative entry would make it try the working folder, so then only the defaults.
    if (all_absolute) {
        return dlopen(kClientLibraryFile, RTLD_NOW | RTLD_LOCAL);
    }
    for (const char* folder : kSystemFolders) {
        if ((library = load_from(folder)) != nullptr) {
            return library;
        }
    }
    return nullptr;
}

void* find_library_function(void* library, const char* name) {
    return dlsym(library, name);
}

void unload_client_library(void* library) {
    dlclose(library);
}
