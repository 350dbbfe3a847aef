// Must not compile: a parameter without default after one with a default.
#include "startup/symbol_registry.hpp"

extern "C" void cmd_Malformed(std::int32_t, std::int32_t) {}

void link(trelm::Registrar& r) { TRELM_COMMAND(r, "Malformed%a=1%b", cmd_Malformed); }
