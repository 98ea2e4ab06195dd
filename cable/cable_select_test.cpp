#include "cable/cable_select.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/fake_linkhub.h"

namespace {

using Log = std::vector<std::string>;

const std::string kProgressLine =
    "Connecting to server(s) [.                   ]" + std::string(20, '\b');
const std::string kWipeLine = "\r" + std::string(46, ' ') + "\r";

class CableSelect : public testing::Test {
  protected:
    void SetUp() override { reset_fake_linkhub(); }

    void add_cable(const std::string& name) {
        FakeCable cable;
        cable.name = name;
        cable.rom_text = fake_rom_text(0, 1);
        fake_linkhub().cables.push_back(cable);
    }

    void script_timeouts(int n) {
        for (int i = 0; i < n; ++i) {
            fake_linkhub().list_script.push_back({ListReply::kTimeout, 0, 0});
        }
    }

    // Runs scan_hardware from its starting state; returns what it wrote to standard error.
    std::string scan(HWL_ERROR& result, std::uint32_t& count) {
        std::vector<HWL_HARDWARE> list;
        count = 0;
        testing::internal::CaptureStderr();
        result = scan_hardware(count, list);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_LE(count, list.size());
        return err;
    }

    // Runs select_cable; returns what it wrote to standard error.
    std::string select(bool& chosen, std::string& name) {
        testing::internal::CaptureStderr();
        chosen = select_cable(name);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(0, fake_locked_chains());
        return err;
    }
};

// The first answer asks for room; the regrown list is queried at once, and kept should that
// query time out.
TEST_F(CableSelect, ServerReachableAtOnceShowsNoProgress) {
    struct Case {
        int cables;
        std::vector<ListReply> script;
        Log log;
    };
    const Case cases[] = {
        {2, {}, {"get_hardware 0 250", "get_hardware 2 0"}},
        {3,
         {{ListReply::kAnswer, 0, 0}, {ListReply::kTimeout, 0, 0}},
         {"get_hardware 0 250", "get_hardware 3 0", "get_hardware 3 250"}},
    };
    for (const Case& c : cases) {
        reset_fake_linkhub();
        for (int i = 1; i <= c.cables; ++i) {
            add_cable("USB-" + std::to_string(i));
        }
        fake_linkhub().list_script = c.script;
        HWL_ERROR result = 99;
        std::uint32_t count = 0;
        EXPECT_EQ("", scan(result, count));
        EXPECT_EQ(HWL_OK, result);
        EXPECT_EQ(static_cast<std::uint32_t>(c.cables), count);
        EXPECT_EQ(c.log, fake_linkhub().log);
    }
}

TEST_F(CableSelect, ProgressLineDependsOnTheAttemptThatReachesTheServer) {
    struct Case {
        int timeouts;
        std::string expected;
    };
    const Case cases[] = {
        {1, ""},
        {2, kWipeLine},  // attempt 2 answers: nothing shown yet, but the line is wiped
        {3, kProgressLine + kWipeLine},
        {4, kProgressLine + kWipeLine},
        {6, kProgressLine + kWipeLine},
        {7, kProgressLine + "." + kWipeLine},
        {11, kProgressLine + ".." + kWipeLine},
        {100, kProgressLine + std::string(19, '.') + kWipeLine},  // gives up after 80 attempts
    };
    for (const Case& c : cases) {
        reset_fake_linkhub();
        add_cable("USB-1");
        script_timeouts(c.timeouts);
        HWL_ERROR result = 99;
        std::uint32_t count = 0;
        EXPECT_EQ(c.expected, scan(result, count)) << c.timeouts << " timeouts";
        const bool reached = c.timeouts < 80;
        EXPECT_EQ(reached ? HWL_OK : HWL_TIMEOUT, result);
        EXPECT_EQ(reached ? 1u : 0u, count);
        if (reached) {
            EXPECT_EQ(static_cast<std::size_t>(c.timeouts) + 2, fake_linkhub().list_calls);
        } else {
            EXPECT_EQ(Log(80, "get_hardware 0 250"), fake_linkhub().log);
        }
    }
}

// What select_cable says, and what it chooses, over the cables the fake knows and their failures.
TEST_F(CableSelect, ChoosesOnlyTheOneSuitableCable) {
    using Names = std::vector<std::string>;
    struct Case {
        const char* label;
        Names cables;
        void (*arrange)(FakeLinkhub&);
        std::string err;
        std::string chosen;    // "": none, and the name is left as it was
        std::size_t log_from;  // the call log from this line on is log
        Log log;
    };
    const std::string one = "USB-1 [1-1]";
    const Case cases[] = {
        {"the only suitable cable", Names{one}, [](FakeLinkhub&) {}, "", "USB-1 [1-1]", 0,
         Log{"get_hardware 0 250", "get_hardware 1 0", "lock " + one + " 10000",
             "get_parameter " + one + " InternalEepromContents 64", "unlock " + one,
             "print_name " + one + " 512"}},
        {"several, listed by position in the full list", Names{"A", "B", "C", "D"},
         [](FakeLinkhub& f) { f.cables[2].usable = 0; },
         "Multiple cables available, please use --cable to specify one\n1) A\n2) B\n4) D\n", "", 0,
         Log{}},
        {"a cable that cannot be locked is reported and passed over", Names{"busy", "free"},
         [](FakeLinkhub& f) { f.cables[0].lock_result = 85; },
         "  Unable to lock chain (Hardware in use)\n\n", "free", 0, Log{}},
        // Unlocked despite the failed query.
        {"a cable whose ROM query fails is skipped silently", Names{"other", "ours"},
         [](FakeLinkhub& f) { f.cables[0].rom_result = 45; }, "", "ours", 4,
         Log{"unlock other", "lock ours 10000", "get_parameter ours InternalEepromContents 64",
             "unlock ours", "print_name ours 512"}},
        {"no cable answering means none suitable", Names{"A", "B"},
         [](FakeLinkhub& f) { f.cables[0].rom_result = 45, f.cables[1].lock_result = 34; },
         "  Unable to lock chain (Locked already)\n\nNo suitable cables available\n", "", 0, Log{}},
        // C's name is never read.
        {"an unreadable name ends the listing", Names{"A", "B", "C"},
         [](FakeLinkhub& f) { f.cables[1].name_result = 81; },
         "Multiple cables available, please use --cable to specify one\n1) A\n"
         "Error (Communications error) when reading cable name\n",
         "", 9, Log{"print_name B 512"}},
        {"an unreadable name of the only cable", Names{"A"},
         [](FakeLinkhub& f) { f.cables[0].name_result = 82; },
         "Error (Server error) when reading cable name\n", "", 0, Log{}},
        {"server never reachable", Names{},
         [](FakeLinkhub& f) {
             f.list_script.assign(100, {ListReply::kTimeout, 0, 0});
         },
         kProgressLine + std::string(19, '.') + kWipeLine + "No JTAG hardware available\n", "", 0,
         Log{}},
        {"scan failure", Names{},
         [](FakeLinkhub& f) {
             f.list_script = {{ListReply::kFail, 82, 0}};
         },
         "Error (Server error) when scanning hardware\n", "", 0, Log{}},
        {"list too small twice ends the scan with that code", Names{"USB-1", "USB-2"},
         [](FakeLinkhub& f) {
             f.list_script = {{}, {ListReply::kFail, HWL_LIST_TOO_SMALL, 5}};
         },
         "Error (Too many devices) when scanning hardware\n", "", 0,
         Log{"get_hardware 0 250", "get_hardware 2 0"}},
        // Only records with the usable word set and the virtual word clear are considered.
        {"usable word with its top bit", Names{"X"},
         [](FakeLinkhub& f) { f.cables[0].usable = 0x80000000u; }, "", "X", 5,
         Log{"print_name X 512"}},
        {"usable word clear", Names{"X"}, [](FakeLinkhub& f) { f.cables[0].usable = 0; },
         "No suitable cables available\n", "", 0, Log{"get_hardware 0 250", "get_hardware 1 0"}},
        {"virtual word set", Names{"X"}, [](FakeLinkhub& f) { f.cables[0].virtual_hw = 1; },
         "No suitable cables available\n", "", 0, Log{"get_hardware 0 250", "get_hardware 1 0"}},
        {"virtual word's high byte set", Names{"X"},
         [](FakeLinkhub& f) { f.cables[0].virtual_hw = 0x01000000u; },
         "No suitable cables available\n", "", 0, Log{"get_hardware 0 250", "get_hardware 1 0"}},
        {"usable clear and virtual set", Names{"X"},
         [](FakeLinkhub& f) { f.cables[0].usable = 0, f.cables[0].virtual_hw = 1; },
         "No suitable cables available\n", "", 0, Log{"get_hardware 0 250", "get_hardware 1 0"}},
        // The name is bounded by the buffer's capacity.
        {"a name of 511", Names{std::string(511, 'n')}, [](FakeLinkhub&) {}, "",
         std::string(511, 'n'), 0, Log{}},
        {"a name of 512", Names{std::string(512, 'n')}, [](FakeLinkhub&) {}, "",
         std::string(512, 'n'), 0, Log{}},
        {"a name of 600", Names{std::string(600, 'n')}, [](FakeLinkhub&) {}, "",
         std::string(512, 'n'), 0, Log{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        reset_fake_linkhub();
        for (const std::string& name : c.cables) {
            add_cable(name);
        }
        c.arrange(fake_linkhub());
        bool chosen = c.chosen.empty();
        std::string name = "kept";
        EXPECT_EQ(c.err, select(chosen, name));
        EXPECT_EQ(!c.chosen.empty(), chosen);
        EXPECT_EQ(c.chosen.empty() ? "kept" : c.chosen, name);
        if (!c.log.empty()) {
            const Log& log = fake_linkhub().log;
            EXPECT_EQ(c.log, Log(log.begin() + std::min(c.log_from, log.size()), log.end()));
        }
    }
}

}  // namespace
