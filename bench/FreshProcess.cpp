#include "FreshProcess.h"

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace CoreIoBench {
namespace {

// Set in the environment of a case's own process.
constexpr const char* caseVariable = "COREIO_BENCH_CASE";
// Set once the machine's description has been printed, so that later cases leave it out.
constexpr const char* quietVariable = "COREIO_BENCH_QUIET_CONTEXT";

bool isSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// The console table without the machine's description, which the first case printed.
class CaseRowsReporter : public benchmark::ConsoleReporter {
public:
    bool ReportContext(const Context&) override { return true; }
};

// Whether the output is the console table (the default format).
bool showsTable(int argc, char** argv)
{
    for (int k = 1; k < argc; ++k) {
        const std::string argument(argv[k]);
        if (argument.starts_with("--benchmark_format=") && argument != "--benchmark_format=console")
            return false;
    }
    return true;
}

int runCases(int argc, char** argv)
{
    const bool table = showsTable(argc, argv);  // before Initialize takes the flags out
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CaseRowsReporter rows;
    if (isSet(quietVariable) && table)
        benchmark::RunSpecifiedBenchmarks(&rows);
    else
        benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

std::string quoted(const std::string& argument)
{
    std::string text = "'";
    for (const char c : argument)
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

// The names of the cases the arguments select, as --benchmark_list_tests prints them.
std::vector<std::string> selectedCases(const std::vector<std::string>& arguments)
{
    std::string command = "COREIO_BENCH_CASE=1 ";
    for (const std::string& argument : arguments)
        command += quoted(argument) + ' ';
    command += "--benchmark_list_tests=true";
    std::vector<std::string> names;
    FILE* listing = popen(command.c_str(), "r");
    if (listing == nullptr)
        return names;
    char line[4096];
    while (std::fgets(line, sizeof line, listing) != nullptr) {
        std::string name(line);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
            name.pop_back();
        if (!name.empty())
            names.push_back(name);
    }
    pclose(listing);
    return names;
}

// A filter that selects exactly the named case.
std::string exactly(const std::string& name)
{
    std::string pattern = "^";
    for (const char c : name) {
        if (std::string(".[]{}()*+?^$|\\").find(c) != std::string::npos)
            pattern += '\\';
        pattern += c;
    }
    return pattern + "$";
}

bool runInOwnProcess(std::vector<std::string> arguments, const std::string& name, bool quiet)
{
    arguments.push_back("--benchmark_filter=" + exactly(name));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables{std::string(caseVariable) + "=1"};
    if (quiet)
        variables.push_back(std::string(quietVariable) + "=1");
    for (char** variable = environ; *variable != nullptr; ++variable)
        variables.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::fflush(stdout);
    pid_t child = 0;
    if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), envp.data()) != 0)
        return false;
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int runEachCaseInFreshProcess(int argc, char** argv)
{
    if (isSet(caseVariable))
        return runCases(argc, argv);
    const std::vector<std::string> arguments(argv, argv + argc);
    for (const std::string& argument : arguments)
        if (argument.starts_with("--benchmark_list_tests"))
            return runCases(argc, argv);
    bool succeeded = true;
    bool first = true;
    for (const std::string& name : selectedCases(arguments)) {
        succeeded &= runInOwnProcess(arguments, name, !first);
        first = false;
    }
    return succeeded ? 0 : 1;
}

}  // namespace CoreIoBench
