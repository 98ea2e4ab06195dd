#include <sys/syscall.h>

#include <cstdio>
#include <string>

#include "testing/process_probe.h"

// Linux names a sleeping thread's system call and its arguments in /proc.
bool waiting_in_read(int tid, int fd, int limit_ms) {
    const std::string syscall_file = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    return wait_until(
        [&] {
            long call = -1;
            unsigned long first_argument = 0;
            std::FILE* file = std::fopen(syscall_file.c_str(), "r");
            if (file == nullptr) {
                return false;
            }
            const int fields = std::fscanf(file, "%ld %lx", &call, &first_argument);
            std::fclose(file);
            return fields == 2 && call == SYS_read &&
                   first_argument == static_cast<unsigned long>(fd);
        },
        limit_ms);
}

bool process_gone(int pid, int limit_ms) {
    const std::string stat_file = "/proc/" + std::to_string(pid) + "/stat";
    return wait_until(
        [&] {
            std::FILE* stat = std::fopen(stat_file.c_str(), "r");
            if (stat == nullptr) {
                return true;
            }
            char state = '?';
            const int fields = std::fscanf(stat, "%*d (%*[^)]) %c", &state);
            std::fclose(stat);
            return fields == 1 && (state == 'Z' || state == 'X');
        },
        limit_ms);
}
