#pragma once
// The subcommands of morvel-cli. A subcommand lives in its own .cpp file
// and adds itself to the table with a static CommandRegistration:
//
//   static int runReduce(const cli::Arguments& args) { ... }
//   static const cli::CommandRegistration reduce{
//       {"reduce", "reduce IN OUT [--ratio R]", "Reduce the meshes of a file", runReduce}};
//
// Commands report bad arguments with UsageError (exit status 2) and failed
// file work with FileError or a Kiln::Exception wrapped by onFile (exit 1).
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

using Arguments = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;    ///< arguments after the name, e.g. "convert IN OUT"
    const char* summary;  ///< one line for the help text
    int (*run)(const Arguments& args);
};

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

/// Every registered command, sorted by name.
const std::vector<Command>& commands();

/// Wrong arguments; the message is printed with the command's usage line.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// A failure to be printed as "morvel-cli: FILE: REASON".
struct FileError : std::runtime_error {
    FileError(std::string file_, const std::string& reason) : std::runtime_error(reason), file(std::move(file_)) {}
    std::string file;
};

/// Runs `work`, turning any exception it throws into a FileError on `file`.
template <typename Work>
auto onFile(const std::string& file, Work&& work) -> decltype(work());

/// Splits arguments into positional ones and the flags given in `known`
/// (e.g. {"--json"}); any other argument starting with "--" is a UsageError.
Arguments positionalArguments(const Arguments& args, const std::vector<std::string>& known,
                              std::vector<std::string>& flags);

/// Throws UsageError unless exactly `count` positional arguments are given.
void expectCount(const Arguments& positional, std::size_t count);

std::string describeException(const std::exception& error);

template <typename Work>
auto onFile(const std::string& file, Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const FileError&) {
        throw;
    } catch (const std::exception& error) {
        throw FileError(file, describeException(error));
    }
}

} // namespace cli
