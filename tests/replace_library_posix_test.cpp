// cablewright takes the client library from the dynamic loader, so another implementation can be
// put in place without rebuilding it.
#include <gtest/gtest.h>

#include "tests/bench_fixture.h"

namespace {

std::string expected_out() {
    RomImage image;
    image.bytes.fill(0xA5);
    return "tiny library in use\n" + rom_dump("Cable", image);
}

TEST(ReplaceLibrary, ByLibraryPathOrPreload) {
    struct Case {
        const char* variable;
        std::string value;
    };
    const Case cases[] = {
        {"LD_LIBRARY_PATH", CW_TINY_DIR},
        {"LD_PRELOAD", std::string(CW_TINY_DIR) + "/liblinkhub_client.so"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variable);
        ChildSpec child;
        child.program = std::string(CW_BIN_DIR) + "/cablewright";
        child.args = {"-c", "Tiny"};
        // A sanitizer runtime would otherwise insist on being loaded before the preloaded library.
        child.env = {{c.variable, c.value},
                     {"LINKHUB_BENCH", "/nonexistent"},
                     {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
        ChildRun r = run_child(child);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.failure, "");
        EXPECT_FALSE(r.signalled);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, expected_out());
        EXPECT_EQ(r.err,
                  "Reprogramming cable Tiny\n"
                  "Cable ZAN_version=42405, hardware_id=42405, signature present\nFinished\n");
    }
}

}  // namespace
