// Helpers for the simulator's tests: temporary benches, environment, child processes.
#pragma once

#include <string>
#include <vector>

#include "sim/bench.h"

// A fresh temporary directory, removed with everything in it at the end of the scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Sets an environment variable (or unsets it for a null value) until the end of the scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    bool had_value_;
    std::string old_value_;
};

// Kills (SIGKILL) and reaps a forked child when the scope ends, however a test leaves it.
class ChildGuard {
  public:
    explicit ChildGuard(int pid) : pid_(pid) {}
    ~ChildGuard();
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;
    // Kills and reaps the child now.
    void kill_now();

  private:
    int pid_;
};

struct ProcessResult {
    bool exited = false;  // false: killed by a signal (or by the time limit)
    int status = -1;      // exit status when exited
    int signal = 0;       // the signal otherwise
    std::string out;
    std::string err;
};

// Runs argv[0] (a path) with argv, the extra "NAME=VALUE" environment entries and cwd (when not
// empty), kills it after timeout_ms, and collects its output. A failure to start or to wait for
// it fails the test.
ProcessResult run_process(const std::vector<std::string>& argv,
                          const std::vector<std::string>& env = {}, const std::string& cwd = "",
                          int timeout_ms = 5000);

// True once fd has something to read (or its end), false after timeout_ms without: a forked
// helper that hangs before it reports must not hang the test.
bool readable_within(int fd, int timeout_ms = 5000);

// Path of a program built next to the stand-in library.
std::string sim_program(const char* name);

// A bench in a temporary directory; LINKHUB_BENCH names it for the life of the object.
struct TestBench {
    TempDir dir;
    ScopedEnv env{"LINKHUB_BENCH", nullptr};
    TestBench();
    const std::string& path() const { return dir.path(); }
    // Adds a cable with the given ROM (blank when null) and returns its id.
    int add(const std::string& name, const RomImage* rom);
    // Loads cable id; fails the test when it cannot.
    CableRecord load(int id) const;
    // Changes the settings with change.
    void set(void (*change)(BenchSettings&)) const;
};
