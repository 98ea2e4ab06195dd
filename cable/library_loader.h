// Loading the client library by full path, as one platform service.
#pragma once

// The client library's file name: "liblinkhub_client.so" (POSIX) or "linkhub_client.dll".
extern const char kClientLibraryFile[];

// kClientLibraryFile loaded from the trusted folders, in this order. POSIX: the first that loads
// of the program's own folder, the absolute folders of LD_LIBRARY_PATH, then the system folders.
// Windows: the first that has the file of the program's own folder, the system folders, then the
// absolute folders of PATH. Never the working folder or a relative or empty entry. Null when
// none loads.
void* load_client_library();

// The address of the library's function `name`, or null when it has none.
void* find_library_function(void* library, const char* name);

// Releases a library that load_client_library returned.
void unload_client_library(void* library);
