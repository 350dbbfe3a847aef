#include "platform/system_properties.hpp"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <gnu/lib-names.h>
#include <link.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <SDL.h>
// Last: it brings in the X11 headers and their macros.
#include <SDL_syswm.h>

namespace trelm {
namespace {

std::string cpuName() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx)) {
        char vendor[13] = {};
        std::memcpy(vendor, &ebx, 4);
        std::memcpy(vendor + 4, &edx, 4);
        std::memcpy(vendor + 8, &ecx, 4);
        if (std::strcmp(vendor, "GenuineIntel") == 0) return "Intel";
        if (std::strcmp(vendor, "AuthenticAMD") == 0) return "AMD";
        return vendor;
    }
#endif
    utsname u{};
    return ::uname(&u) == 0 ? u.machine : "";
}

std::string osName() {
    utsname u{};
    if (::uname(&u) != 0) return {};
    return std::string(u.sysname) + " " + u.release;
}

std::string folderOf(std::string path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    path.resize(slash + 1);
    return folderWithSlash(std::move(path));
}

std::string appDir() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return folderOf(std::string(buffer, static_cast<std::size_t>(n)));
}

// The executable's image base: where its first loaded segment lies.
std::string imageBase() {
    std::uintptr_t base = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            std::uintptr_t lowest = UINTPTR_MAX;
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < lowest)
                    lowest = info->dlpi_phdr[i].p_vaddr;
            if (lowest != UINTPTR_MAX) *static_cast<std::uintptr_t*>(data) = info->dlpi_addr + lowest;
            return 1;  // the executable comes first
        },
        &base);
    return base ? std::to_string(base) : "";
}

// The folder of the system's C library, which is where its system libraries live.
std::string systemDir() {
    void* libc = ::dlopen(LIBC_SO, RTLD_LAZY | RTLD_NOLOAD);
    if (!libc) return {};
    std::string dir;
    Dl_info info{};
    if (void* symbol = ::dlsym(libc, "getpid"); symbol && ::dladdr(symbol, &info) && info.dli_fname) {
        char resolved[PATH_MAX];
        dir = folderOf(::realpath(info.dli_fname, resolved) ? resolved : info.dli_fname);
    }
    ::dlclose(libc);
    return dir;
}

std::string tempDir() {
    const char* tmp = std::getenv("TMPDIR");
    return folderWithSlash(tmp && *tmp ? tmp : "/tmp");
}

std::string windowId(SDL_Window* window) {
    if (!window) return {};
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info)) return {};
#if defined(SDL_VIDEO_DRIVER_X11)
    if (info.subsystem == SDL_SYSWM_X11) return std::to_string(static_cast<unsigned long>(info.info.x11.window));
#endif
    return {};
}

}  // namespace

std::string folderWithSlash(std::string folder) {
    if (folder.empty()) return folder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder != "/") folder.push_back('/');
    return folder;
}

std::string machineProperty(std::string_view name, SDL_Window* window) {
    if (name == "cpu") return cpuName();
    if (name == "os") return osName();
    if (name == "appdir") return appDir();
    if (name == "apphwnd") return windowId(window);
    if (name == "apphinstance") return imageBase();
    if (name == "systemdir") return systemDir();
    if (name == "tempdir") return tempDir();
    // "windowsdir": there is no such folder here.
    return {};
}

}  // namespace trelm
