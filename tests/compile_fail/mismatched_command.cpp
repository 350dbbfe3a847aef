// Must not compile: the declaration says an int parameter and a string result.
#include "startup/symbol_registry.hpp"

extern "C" float cmd_Mismatch(float value) { return value; }

void link(trelm::Registrar& r) { TRELM_COMMAND(r, "$Mismatch%value", cmd_Mismatch); }
