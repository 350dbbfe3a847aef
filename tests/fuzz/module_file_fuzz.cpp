// Any bytes: the module reader either rejects them or yields a module whose
// tables lie within its code, and which writes back to bytes it reads again.
#include <cstdint>
#include <cstdlib>

#include "startup/module_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto module = trelm::readModuleFile({data, size});
    if (!module) return 0;
    const std::size_t n = module->code.size();
    for (const auto& s : module->symbols)
        if (s.offset >= n) std::abort();
    for (const auto* table : {&module->relative, &module->absolute})
        for (const auto& f : *table)
            if (n < 4 || f.offset > n - 4) std::abort();
    auto again = trelm::readModuleFile(trelm::writeModuleFile(*module));
    if (!again || again->code != module->code || again->symbols.size() != module->symbols.size()) std::abort();
    return 0;
}
