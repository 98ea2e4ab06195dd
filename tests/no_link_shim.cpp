// Preloaded into a run, makes every hard link fail as on folders without them (FAT or exFAT USB
// sticks, some network shares).
#include <errno.h>

extern "C" int link(const char*, const char*) {
    errno = EPERM;
    return -1;
}

extern "C" int linkat(int, const char*, int, const char*, int) {
    errno = EPERM;
    return -1;
}
