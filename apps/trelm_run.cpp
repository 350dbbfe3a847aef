// trelm-run: links a module file against the runtime and runs it.
//
//   trelm-run [--debug] MODULE [ARGS...]   ARGS become the program's CommandLine
//   trelm-run --list-symbols               every registered name, one per line
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/dialogs.hpp"
#include "startup/command_line.hpp"
#include "startup/console_debug_host.hpp"
#include "startup/host_runtime.hpp"
#include "startup/linker.hpp"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: trelm-run [--debug] MODULE [ARGS...]\n"
                 "       trelm-run --list-symbols\n");
    return 2;
}

bool readFile(const char* path, std::vector<std::uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A link failure: a dialog without caption, or a line on stderr when debugging.
void tellFailure(const std::string& message, bool debug) {
    if (debug)
        std::fprintf(stderr, "%s\n", message.c_str());
    else
        trelm::showDialog({message, "", trelm::DialogIcon::None, false});
}

}  // namespace

int main(int argc, char** argv) {
    trelm::HostRuntime& host = *runtimeGetRuntime();
    host.attach(nullptr);

    int first = 1;
    if (argc == 2 && std::strcmp(argv[1], "--list-symbols") == 0) {
        while (const char* name = host.nextSymbolName()) std::printf("%s\n", name);
        host.detach();
        return 0;
    }
    bool debug = false;
    if (first < argc && std::strcmp(argv[first], "--debug") == 0) {
        debug = true;
        ++first;
    }
    if (first >= argc) return usage();

    trelm::RuntimeNames names = trelm::collectRuntimeNames(host);
    std::vector<std::uint8_t> bytes;
    trelm::LinkResult linked;
    if (readFile(argv[first], bytes)) linked = trelm::linkModuleBytes(bytes, names);
    if (linked.status != trelm::LinkResult::Status::Linked) {
        tellFailure(linked.failureMessage(), debug);
        host.detach();
        return linked.exitCode();
    }

    std::string commandLine =
        trelm::joinArguments(std::span<const char* const>(argv + first + 1, argv + argc));
    trelm::ConsoleDebugHost console;
    host.runModule(linked.entry, commandLine.c_str(), debug ? &console : nullptr);
    host.detach();
    return 0;
}
