// Helpers for the simulator's tests: temporary benches, environment, the simulator's programs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sim/bench.h"
#include "testing/child_process.h"
#include "testing/temp_folder.h"

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

// Path of a program built next to the stand-in library.
std::string sim_program(const char* name);

// That program with args, for run_child, stopped after deadline_ms.
ChildSpec sim_child(const char* name, const std::vector<std::string>& args, int deadline_ms = 5000);

// `cablebench hold cable seconds`, for run_child: once the tool holds the cable's chain lock,
// while_held runs, and then the tool is killed (SIGKILL; a test may set another signal).
ChildSpec chain_holder(const char* cable, const char* seconds, std::function<void()> while_held);

// A bench in a temporary directory; LINKHUB_BENCH names it for the life of the object.
struct TestBench {
    TempFolder dir{"cw-sim-"};
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
