#include "sim/sim_test_support.h"

#include <signal.h>

#include <cstdlib>
#include <utility>

#include <gtest/gtest.h>

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_value_ = old != nullptr;
    old_value_ = had_value_ ? old : "";
    if (value != nullptr) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (had_value_) {
        ::setenv(name_.c_str(), old_value_.c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

std::string sim_program(const char* name) {
    return std::string(CW_SIM_BIN_DIR) + "/" + name;
}

ChildSpec sim_child(const char* name, const std::vector<std::string>& args, int deadline_ms) {
    ChildSpec child;
    child.program = sim_program(name);
    child.args = args;
    child.deadline_ms = deadline_ms;
    return child;
}

ChildSpec chain_holder(const char* cable, const char* seconds, std::function<void()> while_held) {
    ChildSpec holder = sim_child("cablebench", {"hold", cable, seconds});
    holder.interrupt_when = "Holding the chain";
    holder.interrupt_signal = SIGKILL;
    holder.before_interrupt = std::move(while_held);
    return holder;
}

TestBench::TestBench() {
    ::setenv("LINKHUB_BENCH", dir.path().c_str(), 1);
    EXPECT_TRUE(create_bench(dir.path()));
}

int TestBench::add(const std::string& name, const RomImage* rom) {
    CableRecord record;
    record.name = name;
    record.rom_written = rom != nullptr;
    if (rom != nullptr) {
        record.rom = *rom;
    }
    int id = -1;
    EXPECT_TRUE(add_cable(path(), record, &id));
    return id;
}

CableRecord TestBench::load(int id) const {
    CableRecord record;
    EXPECT_EQ(load_cable(path(), id, record), LoadResult::kLoaded);
    return record;
}

void TestBench::set(void (*change)(BenchSettings&)) const {
    BenchSettings settings;
    ASSERT_TRUE(load_settings(path(), settings));
    change(settings);
    ASSERT_TRUE(save_settings(path(), settings));
}
