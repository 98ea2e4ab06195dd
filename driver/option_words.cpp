// Prints the long form of every option, separated by spaces: the words that the bash completion
// offers, filled into doc/cablewright.bash.in at build time.
#include <cstdio>

#include "driver/option_table.h"

int main() {
    const char* separator = "";
    for (const OptionRow& row : option_rows()) {
        std::printf("%s%s", separator, row.name);
        separator = " ";
    }
    std::printf("\n");
    return 0;
}
