#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "handoff/std_streams.h"

void open_missing_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // open takes the lowest free descriptor, which is fd itself when the ones below are
        // open, as they are by now.
        int null_device = open("/dev/null", O_RDWR);
        if (null_device >= 0 && null_device != fd) {
            dup2(null_device, fd);
            close(null_device);
        }
    }
}
