#include <windows.h>

#include <string>

#include "cable/library_loader.h"
#include "handoff/program_search.h"

const char kClientLibraryFile[] = "linkhub_client.dll";

void* load_client_library() {
    const std::string path = find_trusted_file(kClientLibraryFile);
    // By full path, and its own dependencies from its folder, not from the working folder.
    return path.empty() ? nullptr
                        : LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void* find_library_function(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unload_client_library(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}
