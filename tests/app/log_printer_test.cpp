#include "process/log_printer.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace noxa {
namespace {

// Lines carry their level only where standard output is the journal's stream.
TEST(LogPrinter, PrefixesThePriorityOnlyForTheJournal) {
    for (const bool journal : {false, true}) {
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        struct stat status {};
        ASSERT_EQ(fstat(fileno(out), &status), 0);
        const std::string stream =
            std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino + !journal);
        setenv("JOURNAL_STREAM", stream.c_str(), 1);
        const auto print = LogPrinter(out);
        print(LogLevel::Warning, "Socket 1 Cerrado");
        print(LogLevel::Info, "Read config file: Noxa.cfg");
        unsetenv("JOURNAL_STREAM");
        std::rewind(out);
        char text[200] = {};
        text[std::fread(text, 1, sizeof text - 1, out)] = 0;
        std::fclose(out);
        EXPECT_EQ(text, std::string(journal ? "<4>Socket 1 Cerrado\n<6>Read config file: Noxa.cfg\n"
                                            : "Socket 1 Cerrado\nRead config file: Noxa.cfg\n"));
    }
    EXPECT_FALSE(IsJournalStream(1, "not a stream"));
}

}  // namespace
}  // namespace noxa
