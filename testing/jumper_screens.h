// The jumper screens as cablewright draws them, up to the prompt (no line end after it), written
// out once for every test that expects them.
#pragma once

#include <string>

// A screen around its four rows of switches, which are all that differ between the two.
inline std::string jumper_screen(const char* mode, const char* switch_rows) {
    return std::string("Please change daughter card jumpers to select ") + mode +
           " mode:\n"
           "\n"
           "        (outside edge of board)\n"
           "---------------------------------------+\n"
           " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
           " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
           "                                       |\n"
           "             on               on       |\n"
           "      +=======+        +=======+       |\n" +
           switch_rows +
           "      +=======+        +=======+       |\n"
           "         S2                S1          |\n"
           "---------------------------------------+\n"
           "        (inside edge of board)\n"
           "\n"
           "Press ENTER when ready:";
}

inline const std::string kReprogramJumperScreen =
    jumper_screen("reprogram",
                  "    1 |    ###|      1 |    ###|       |\n"
                  "    2 |    ###|      2 |    ###|       |\n"
                  "    3 |    ###|      3 |    ###|       |\n"
                  "    4 |###    |      4 |    ###|       |\n");

inline const std::string kNormalJumperScreen =
    jumper_screen("normal",
                  "    1 |    ###|      1 |###    |       |\n"
                  "    2 |###    |      2 |###    |       |\n"
                  "    3 |###    |      3 |###    |       |\n"
                  "    4 |###    |      4 |###    |       |\n");
