#include "platform/process_launch.hpp"

#include "startup/text.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace trelm {
namespace {

std::mutex childrenMutex;
std::vector<pid_t> children;

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Programs written for the original platform name files with "\".
std::string nativePath(std::string_view file) {
    std::string path(file);
    if (path.find('\\') == std::string::npos || exists(path)) return path;
    std::string converted = path;
    for (char& c : converted)
        if (c == '\\') c = '/';
    return exists(converted) ? converted : path;
}

// Starts `program` detached from our signal state and descriptors. Returns 0
// or the error of the start (the exec error included).
int spawn(const std::string& program, const std::vector<std::string>& args, bool searchPath) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    // Its own process group, so a Ctrl+C meant for us does not reach it.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif

    pid_t pid = 0;
    const int rc = searchPath ? posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ)
                              : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc == 0) {
        std::lock_guard lock(childrenMutex);
        children.push_back(pid);
    }
    return rc;
}

}  // namespace

ExecCommand splitExecCommand(std::string_view command) {
    while (!command.empty() && command.front() == ' ') command.remove_prefix(1);
    ExecCommand result;
    if (!command.empty() && command.front() == '"') {
        command.remove_prefix(1);
        const std::size_t close = command.find('"');
        if (close == std::string_view::npos) {
            // An unclosed quote still names the file it begins.
            result.file = trimBlanks(command);
            return result;
        }
        result.file = command.substr(0, close);
        result.parameters = trimBlanks(command.substr(close + 1));
        return result;
    }
    const std::size_t blank = command.find(' ');
    if (blank == std::string_view::npos) {
        result.file = command;
        return result;
    }
    result.file = command.substr(0, blank);
    result.parameters = trimBlanks(command.substr(blank + 1));
    return result;
}

std::vector<std::string> splitArguments(std::string_view parameters) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (const char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument) args.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current.push_back(c);
            inArgument = true;
        }
    }
    if (inArgument) args.push_back(std::move(current));
    return args;
}

std::string findExecutable(std::string_view file) {
    if (file.empty()) return {};
    const std::string path(file);
    // Like the original platform, a program in the current folder is found
    // by its bare name.
    if (isExecutableFile(path)) return path.find('/') == std::string::npos ? "./" + path : path;
    if (path.find('/') != std::string::npos) return {};
    const char* env = std::getenv("PATH");
    std::string_view dirs = env ? env : "/bin:/usr/bin";
    while (true) {
        const std::size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + path;
        if (isExecutableFile(candidate)) return candidate;
        if (colon == std::string_view::npos) break;
        dirs.remove_prefix(colon + 1);
    }
    return {};
}

bool launchFile(std::string_view fileText, std::string_view parameters) {
    reapFinishedChildren();
    if (fileText.empty()) return false;
    const std::string file = nativePath(fileText);
    const std::string program = findExecutable(file);
    if (!program.empty()) {
        std::vector<std::string> args{file};
        for (std::string& a : splitArguments(parameters)) args.push_back(std::move(a));
        const int rc = spawn(program, args, false);
        if (rc == 0) return true;
        // Executable permission on something that is no program (files on
        // foreign file systems often have it): open it as a document.
        if (rc != ENOEXEC && rc != EACCES) return false;
    }
    return spawn("xdg-open", {"xdg-open", file}, true) == 0;
}

void reapFinishedChildren() {
    std::lock_guard lock(childrenMutex);
    std::erase_if(children, [](pid_t pid) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
    });
}

std::size_t unreapedChildren() {
    std::lock_guard lock(childrenMutex);
    return children.size();
}

}  // namespace trelm
