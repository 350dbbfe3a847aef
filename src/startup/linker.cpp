#include "startup/linker.hpp"

#include <cstring>
#include <limits>

#include "startup/declaration.hpp"
#include "startup/executable_memory.hpp"
#include "startup/host_runtime.hpp"
#include "startup/module_boundary.hpp"

namespace trelm {

namespace {

// Both sign- and zero-extending uses of a 32-bit field agree below 2 GiB.
constexpr std::uintptr_t kReach = 0x80000000u;

std::int32_t loadI32(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void storeI32(std::uint8_t* p, std::int64_t v) {
    auto w = static_cast<std::int32_t>(v);
    std::memcpy(p, &w, 4);
}

}  // namespace

RuntimeNames collectRuntimeNames(HostRuntime& host) {
    RuntimeNames names;
    while (const char* name = host.nextSymbolName())
        names[moduleNameOf(name)] = static_cast<std::uintptr_t>(host.lookupSymbol(name));
    return names;
}

std::string LinkResult::failureMessage() const {
    switch (status) {
        case Status::MissingSymbol:
            return "Can't find symbol: " + missingSymbol;
        case Status::Unloadable:
            return kUnableToRunModule;
        case Status::Linked:
            break;
    }
    return {};
}

LinkResult linkModule(const ModuleFile& module, const RuntimeNames& runtimeNames) {
    LinkResult result;
    const std::size_t n = module.code.size();
    if (n == 0) return result;
    auto* base = static_cast<std::uint8_t*>(mapLowExecutable(n));
    if (!base) return result;
    auto baseAddr = reinterpret_cast<std::uintptr_t>(base);
    if (baseAddr + n > kReach) {
        unmapExecutable(base, n);
        return result;
    }
    std::memcpy(base, module.code.data(), n);

    std::unordered_map<std::string, std::uintptr_t> own;
    for (const ModuleSymbol& s : module.symbols) {
        if (s.offset >= n) {
            unmapExecutable(base, n);
            return result;
        }
        own[s.name] = baseAddr + s.offset;
    }

    auto resolve = [&](const std::string& name, std::uintptr_t& out) {
        if (auto it = own.find(name); it != own.end()) return out = it->second, true;
        if (auto it = runtimeNames.find(name); it != runtimeNames.end()) return out = it->second, true;
        return false;
    };

    auto fail = [&](LinkResult::Status status, const std::string& missing) {
        unmapExecutable(base, n);
        result.status = status;
        result.missingSymbol = missing;
        return result;
    };

    for (const ModuleFixup& f : module.relative) {
        if (n < 4 || f.offset > n - 4) return fail(LinkResult::Status::Unloadable, {});
        std::uintptr_t target;
        if (!resolve(f.symbol, target)) return fail(LinkResult::Status::MissingSymbol, f.symbol);
        std::uint8_t* site = base + f.offset;
        std::int64_t value = loadI32(site) + (static_cast<std::int64_t>(target) -
                                              static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(site)));
        if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
            return fail(LinkResult::Status::Unloadable, {});
        storeI32(site, value);
    }
    for (const ModuleFixup& f : module.absolute) {
        if (n < 4 || f.offset > n - 4) return fail(LinkResult::Status::Unloadable, {});
        std::uintptr_t target;
        if (!resolve(f.symbol, target)) return fail(LinkResult::Status::MissingSymbol, f.symbol);
        std::uint8_t* site = base + f.offset;
        std::int64_t value = loadI32(site) + static_cast<std::int64_t>(target);
        if (target >= kReach || value < 0 || static_cast<std::uint64_t>(value) >= kReach)
            return fail(LinkResult::Status::Unloadable, {});
        storeI32(site, value);
    }

    registerModuleImage(base, n);
    result.status = LinkResult::Status::Linked;
    result.base = base;
    result.size = n;
    result.entry = reinterpret_cast<void (*)()>(base);
    return result;
}

LinkResult linkModuleBytes(std::span<const std::uint8_t> bytes, const RuntimeNames& runtimeNames) {
    auto module = readModuleFile(bytes);
    if (!module) return {};
    return linkModule(*module, runtimeNames);
}

}  // namespace trelm
