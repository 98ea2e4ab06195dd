// The stand-in library as cablewright meets it: loaded as a shared library, state in a bench.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "cable/linkhub_client.h"
#include "sim/bench_format.h"
#include "sim/rom_recipe.h"
#include "sim/sim_test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

long elapsed_ms(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void fast_waits(BenchSettings& s) {
    s.wait_scale_percent = 0;
}

HWL_HARDWARE found(const std::string& name) {
    HWL_HARDWARE record;
    EXPECT_EQ(hwl_find_hardware(name.c_str(), &record, 0), HWL_OK) << name;
    return record;
}

bool all_nonzero(const std::uint8_t* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] == 0) {
            return false;
        }
    }
    return true;
}

TEST(Standin, ServerAnswersOnlyWithABenchAfterItsListAttempts) {
    ScopedEnv no_bench("LINKHUB_BENCH", nullptr);
    ScopedEnv scale("LINKHUB_WAIT_SCALE_PERCENT", nullptr);
    std::uint32_t count = 0;
    // Real waits by default.
    auto start = Clock::now();
    EXPECT_EQ(hwl_get_hardware(&count, nullptr, 250), HWL_TIMEOUT);
    EXPECT_GE(elapsed_ms(start), 240);

    ScopedEnv missing("LINKHUB_BENCH", "/no/such/bench");
    ScopedEnv shorter("LINKHUB_WAIT_SCALE_PERCENT", "10");
    start = Clock::now();
    EXPECT_EQ(hwl_get_hardware(&count, nullptr, 1000), HWL_TIMEOUT);
    long waited = elapsed_ms(start);
    EXPECT_GE(waited, 90);
    EXPECT_LT(waited, 900);
    EXPECT_EQ(count, 0u);
    HWL_HARDWARE record;
    EXPECT_EQ(hwl_find_hardware("USB-1", &record, 100), HWL_TIMEOUT);

    // A bench's server answers after the configured list attempts.
    TestBench bench;
    bench.set([](BenchSettings& s) {
        s.wait_scale_percent = 10;
        s.server_after_attempts = 3;
    });
    bench.add("USB-1", nullptr);
    start = Clock::now();
    EXPECT_EQ(hwl_get_hardware(&count, nullptr, 1000), HWL_TIMEOUT);
    EXPECT_GE(elapsed_ms(start), 90);
    EXPECT_EQ(hwl_get_hardware(&count, nullptr, 0), HWL_TIMEOUT);
    // Finding a named cable does not wait for the list attempts.
    found("USB-1");
    EXPECT_EQ(hwl_get_hardware(&count, nullptr, 0), HWL_TIMEOUT);
    EXPECT_EQ(hwl_get_hardware(&count, nullptr, 0), HWL_LIST_TOO_SMALL);
    EXPECT_EQ(count, 1u);
}

TEST(Standin, ListGrowsOnRequestAndFillsOnlyTheDefinedFields) {
    TestBench bench;
    bench.set(fast_waits);
    RomImage rom = make_rom(RomFields{});
    bench.add("USB-1", &rom);
    int unusable = bench.add("unusable", nullptr);
    int remote = bench.add("remote [2]", &rom);
    ASSERT_TRUE(update_cable(bench.path(), unusable, [](CableRecord& r) { r.usable = 0; }));
    ASSERT_TRUE(update_cable(bench.path(), remote, [](CableRecord& r) { r.virtual_hw = 5; }));

    std::uint32_t count = 0;
    EXPECT_EQ(hwl_get_hardware(&count, nullptr, 250), HWL_LIST_TOO_SMALL);
    EXPECT_EQ(count, 3u);

    HWL_HARDWARE list[5];
    std::memset(list, 0, sizeof list);
    count = 2;
    EXPECT_EQ(hwl_get_hardware(&count, list, 0), HWL_LIST_TOO_SMALL);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(list[0].chain, nullptr);

    count = 5;
    ASSERT_EQ(hwl_get_hardware(&count, list, 0), HWL_OK);
    ASSERT_EQ(count, 3u);
    const std::uint32_t usable[] = {1, 0, 1};
    const std::uint32_t virtual_hw[] = {0, 0, 5};
    const char* names[] = {"USB-1", "unusable", "remote [2]"};
    for (int i = 0; i < 3; ++i) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&list[i]);
        EXPECT_EQ(list[i].usable, usable[i]);
        EXPECT_EQ(list[i].virtual_hw, virtual_hw[i]);
        EXPECT_TRUE(all_nonzero(bytes + 12, 12)) << i;
        EXPECT_TRUE(all_nonzero(bytes + 28, 4)) << i;
        char name[512];
        ASSERT_EQ(hwl_print_hardware_name(list[i].chain, name, sizeof name), HWL_OK);
        EXPECT_STREQ(name, names[i]);
    }
    EXPECT_EQ(list[3].chain, nullptr);
    // The same cable keeps its handle across lists and finds.
    EXPECT_EQ(found("remote [2]").chain, list[2].chain);
}

// A bench with no waits and one cable "USB-1" with a ROM.
class RomQuery : public testing::Test {
  protected:
    void SetUp() override {
        bench.set(fast_waits);
        rom = make_rom(RomFields{});
        id = bench.add("USB-1", &rom);
        chain = found("USB-1").chain;
        std::memset(buffer, 0, sizeof buffer);
    }
    HWL_ERROR query(std::uint32_t capacity) {
        length = capacity;
        return hwl_get_parameter(chain, "InternalEepromContents", buffer, &length, 0);
    }
    TestBench bench;
    RomImage rom;
    int id = 0;
    HWL_CHAIN chain = nullptr;
    char buffer[600];
    std::uint32_t length = 0;
};
using OneCable = RomQuery;

TEST_F(OneCable, NameNeedsRoomForItsTerminator) {
    const std::string name = "USB \"quoted\" [1] \xE9";
    bench.add(name, nullptr);
    HWL_HARDWARE record = found(name);
    std::memset(buffer, 0, sizeof buffer);
    auto n = static_cast<std::uint32_t>(name.size());
    EXPECT_EQ(hwl_print_hardware_name(record.chain, buffer, n), 45u);
    ASSERT_EQ(hwl_print_hardware_name(record.chain, buffer, 40), HWL_OK);
    EXPECT_EQ(std::string(buffer), name);
    EXPECT_TRUE(all_nonzero(reinterpret_cast<std::uint8_t*>(buffer) + n + 1, 40 - n - 1));
    EXPECT_EQ(buffer[40], 0) << "wrote past the capacity";
    int not_a_chain = 0;
    EXPECT_EQ(hwl_print_hardware_name(reinterpret_cast<HWL_CHAIN>(&not_a_chain), buffer, 64), 33u);
}

// Refused on a chain not locked; the value is not terminated and junk follows it.
TEST_F(RomQuery, OnlyOnALockedChainAndNotTerminated) {
    EXPECT_EQ(query(512), 35u);
    ASSERT_EQ(hwl_lock_chain(chain, 0), HWL_OK);
    ASSERT_EQ(query(600), HWL_OK);
    ASSERT_EQ(length, 512u);
    EXPECT_EQ(std::string(buffer, 512), rom_to_hex(rom));
    EXPECT_TRUE(all_nonzero(reinterpret_cast<std::uint8_t*>(buffer) + 512, 88));
    EXPECT_EQ(query(511), 45u);
    std::uint32_t no_length_check = 512;
    EXPECT_EQ(hwl_get_parameter(chain, "InternalEepromContents", buffer, &no_length_check, 1), 45u);
    EXPECT_EQ(hwl_get_parameter(chain, "InternalZanSelect", buffer, &no_length_check, 0), 45u);
    ASSERT_EQ(hwl_unlock_chain(chain), HWL_OK);
    EXPECT_EQ(query(512), 35u);
    EXPECT_EQ(hwl_unlock_chain(chain), 35u);
}

// Whatever the ROM's value (the image, "empty" for a blank one, or a reply that replaces it),
// it arrives within the capacity.
TEST_F(RomQuery, EveryRomValueFitsTheCapacity) {
    struct Case {
        bool written;
        bool has_reply;
        std::string reply;
        std::uint32_t capacity;
        std::string expected;
    };
    const Case cases[] = {
        {true, false, "", 64, rom_to_hex(rom).substr(0, 64)},
        {true, true, std::string(100, 'Q'), 64, std::string(64, 'Q')},
        {true, true, "", 64, ""},
        {true, true, "EMPTY", 512, "EMPTY"},
        {false, false, "", 64, "empty"},
        {false, false, "", 512, "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected + " in " + std::to_string(c.capacity));
        ASSERT_TRUE(update_cable(bench.path(), id, [&](CableRecord& r) {
            r.rom_written = c.written;
            r.faults.has_rom_reply = c.has_reply;
            r.faults.rom_reply = c.reply;
        }));
        ASSERT_EQ(hwl_lock_chain(chain, 0), HWL_OK);
        std::memset(buffer, 0, sizeof buffer);
        EXPECT_EQ(query(c.capacity), HWL_OK);
        EXPECT_EQ(std::string(buffer, length), c.expected);
        EXPECT_EQ(buffer[c.capacity], 0) << "wrote past the capacity";
        if (c.expected.size() < c.capacity) {
            EXPECT_NE(buffer[c.expected.size()], 0);
        }
        hwl_unlock_chain(chain);
    }
    // The blank ROM's "empty" needs room too.
    ASSERT_EQ(hwl_lock_chain(chain, 0), HWL_OK);
    EXPECT_EQ(query(4), 45u);
    hwl_unlock_chain(chain);
}

TEST_F(OneCable, SelectModeIsRecordedOnlyOnALockedChainOfACableThatIsThere) {
    EXPECT_EQ(hwl_set_parameter(chain, "InternalZanSelect", 1), 35u);
    EXPECT_FALSE(bench.load(id).select_mode);
    ASSERT_EQ(hwl_lock_chain(chain, 0), HWL_OK);
    EXPECT_EQ(hwl_lock_chain(chain, 0), 34u);
    EXPECT_EQ(hwl_set_parameter(chain, "InternalZanSelect", 1), HWL_OK);
    EXPECT_TRUE(bench.load(id).select_mode);
    EXPECT_EQ(hwl_set_parameter(chain, "InternalZanSelect", 2), 45u);
    EXPECT_EQ(hwl_set_parameter(chain, "InternalEepromContents", 1), 45u);
    EXPECT_TRUE(bench.load(id).select_mode);
    EXPECT_EQ(hwl_set_parameter(chain, "InternalZanSelect", 0), HWL_OK);
    EXPECT_FALSE(bench.load(id).select_mode);
    EXPECT_EQ(hwl_unlock_chain(chain), HWL_OK);

    // The cable vanishes, then the whole bench.
    ASSERT_TRUE(remove_cable(bench.path(), "USB-1"));
    EXPECT_EQ(hwl_lock_chain(chain, 0), 86u);
    std::filesystem::remove_all(bench.path());
    EXPECT_EQ(hwl_lock_chain(chain, 0), 81u);
}

// One call of each faultable kind, with whatever comes before it; returns that call's result.
struct FaultCase {
    const char* kind;
    ForcedError CableFaults::*fault;
    std::function<HWL_ERROR()> call;
};

HWL_ERROR locked_call(const std::function<HWL_ERROR(HWL_CHAIN)>& call) {
    HWL_CHAIN chain = found("USB-1").chain;
    EXPECT_EQ(hwl_lock_chain(chain, 0), HWL_OK);
    HWL_ERROR result = call(chain);
    hwl_unlock_chain(chain);
    return result;
}

TEST_F(OneCable, ForcedErrorsHitTheirCallPersistentlyOrOnce) {
    const FaultCase cases[] = {
        {"find", &CableFaults::find,
         [] {
             HWL_HARDWARE record;
             return hwl_find_hardware("USB-1", &record, 0);
         }},
        {"lock", &CableFaults::lock,
         [this] {
             HWL_ERROR result = hwl_lock_chain(chain, 0);
             if (result == HWL_OK) {
                 hwl_unlock_chain(chain);
             }
             return result;
         }},
        {"rom read", &CableFaults::rom_read,
         [this] { return locked_call([this](HWL_CHAIN) { return query(512); }); }},
        {"set parameter", &CableFaults::set_parameter,
         [] {
             return locked_call(
                 [](HWL_CHAIN held) { return hwl_set_parameter(held, "InternalZanSelect", 1); });
         }},
        {"name", &CableFaults::name,
         [this] { return hwl_print_hardware_name(chain, buffer, sizeof buffer); }},
    };
    for (const FaultCase& c : cases) {
        ASSERT_EQ(c.call(), HWL_OK) << c.kind;

        auto set_fault = [&](ForcedError error) {
            ASSERT_TRUE(
                update_cable(bench.path(), id, [&](CableRecord& r) { r.faults.*c.fault = error; }));
        };
        set_fault({81, false});
        EXPECT_EQ(c.call(), 81u) << c.kind;
        EXPECT_EQ(c.call(), 81u) << c.kind;
        set_fault({36, true});
        EXPECT_EQ(c.call(), 36u) << c.kind;
        EXPECT_EQ(c.call(), HWL_OK) << c.kind;
        EXPECT_EQ((bench.load(id).faults.*c.fault).code, 0u) << c.kind;
    }
}

std::vector<std::pair<std::uint32_t, std::string>> g_heard;

void listen(void* context, std::uint32_t level, const char* text) {
    EXPECT_EQ(context, &g_heard);
    g_heard.emplace_back(level, text);
}

TEST(Standin, BenchMessagesArriveOncePerProcessThroughTheCallback) {
    g_heard.clear();
    hwl_register_output_callback(listen, &g_heard);
    TestBench bench;
    bench.set([](BenchSettings& s) {
        s.wait_scale_percent = 0;
        s.messages = {{0, "server restarted"}, {3, "quiet"}, {1, "caf\xC3\xA9"}};
    });
    std::uint32_t count = 0;
    EXPECT_EQ(hwl_get_hardware(&count, nullptr, 0), HWL_OK);
    const std::vector<std::pair<std::uint32_t, std::string>> expected = {
        {0, "server restarted"}, {3, "quiet"}, {1, "caf\xC3\xA9"}};
    EXPECT_EQ(g_heard, expected);
    EXPECT_EQ(hwl_get_hardware(&count, nullptr, 0), HWL_OK);
    HWL_HARDWARE record;
    EXPECT_EQ(hwl_find_hardware("nobody", &record, 0), HWL_NO_SUCH_HARDWARE);
    EXPECT_EQ(g_heard.size(), 3u);

    // Another bench: its first find brings its messages.
    TestBench other;
    other.set([](BenchSettings& s) { s.messages = {{2, "hello"}}; });
    g_heard.clear();
    EXPECT_EQ(hwl_find_hardware("nobody", &record, 0), HWL_NO_SUCH_HARDWARE);
    EXPECT_EQ(g_heard, (std::vector<std::pair<std::uint32_t, std::string>>{{2, "hello"}}));
    hwl_register_output_callback(nullptr, nullptr);
}

// Another process's chain lock holds until the holder dies, and a wait for it ends when the holder
// lets go by itself.
TEST(Standin, ChainLockExcludesOtherProcessesUntilTheHolderLetsGo) {
    TestBench bench;
    bench.add("USB-1", nullptr);
    HWL_CHAIN chain = found("USB-1").chain;
    ChildRun holder = run_child(chain_holder("USB-1", "60", [&] {
        auto start = Clock::now();
        EXPECT_EQ(hwl_lock_chain(chain, 300), 36u);
        EXPECT_GE(elapsed_ms(start), 290);
        EXPECT_EQ(hwl_get_parameter(chain, "InternalEepromContents", nullptr, nullptr, 0), 35u);
    }));
    EXPECT_TRUE(holder.signalled) << holder.err;
    EXPECT_EQ(holder.failure, "");
    EXPECT_EQ(hwl_lock_chain(chain, 0), HWL_OK);
    EXPECT_EQ(hwl_unlock_chain(chain), HWL_OK);

    // This holder lets go after its second; the wait must end then.
    ChildSpec letting_go = chain_holder("USB-1", "1", [&] {
        auto start = Clock::now();
        EXPECT_EQ(hwl_lock_chain(chain, 5000), HWL_OK);
        long waited = elapsed_ms(start);
        EXPECT_GE(waited, 100);
        EXPECT_LT(waited, 4000);
        hwl_unlock_chain(chain);
    });
    letting_go.interrupt_signal = 0;
    ChildRun r = run_child(letting_go);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(r.signalled);
}

}  // namespace
