// morvel-cli: converts and inspects Morvel's files without a window.
#include "cli/Command.h"

#include <cstring>
#include <iostream>
#include <malloc.h>

namespace {

void printHelp(std::ostream& out) {
    out << "usage: morvel-cli COMMAND [ARGUMENTS]\n\ncommands:\n";
    for (const cli::Command& command : cli::commands())
        out << "  " << command.usage << "\n      " << command.summary << "\n";
}

const cli::Command* findCommand(const char* name) {
    for (const cli::Command& command : cli::commands())
        if (std::strcmp(command.name, name) == 0)
            return &command;
    return nullptr;
}

// The commands read, build and free arrays of tens of megabytes in turn.
// By default each array that size gets fresh pages from the system and
// returns them when freed, so the next one faults them in again: a third
// of a Boolean's cpu time went to page faults. Kept in the heap instead,
// freed arrays are reused. The process is short-lived, so holding on to
// the memory costs nothing afterwards.
void keepFreedArraysForReuse() {
    mallopt(M_MMAP_THRESHOLD, 32 << 20); // the largest the allocator accepts
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

} // namespace

int main(int argc, char** argv) {
    keepFreedArraysForReuse();
    if (argc < 2) {
        printHelp(std::cerr);
        return 2;
    }
    if (std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printHelp(std::cout);
        return 0;
    }
    const cli::Command* command = findCommand(argv[1]);
    if (!command) {
        std::cerr << "morvel-cli: unknown command '" << argv[1] << "'\n";
        printHelp(std::cerr);
        return 2;
    }
    try {
        return command->run(cli::Arguments(argv + 2, argv + argc));
    } catch (const cli::UsageError& error) {
        std::cerr << "morvel-cli: " << error.what() << "\nusage: morvel-cli " << command->usage << "\n";
        return 2;
    } catch (const cli::FileError& error) {
        std::cerr << "morvel-cli: " << error.file << ": " << error.what() << "\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "morvel-cli: " << cli::describeException(error) << "\n";
        return 1;
    }
}
