// The string routines that compiled code calls directly for string variables,
// comparison and conversions. Each follows the ownership protocol: string
// arguments are consumed, string results belong to the caller.
#pragma once

#include <cstdint>

#include "language/runtime_string.hpp"

namespace trelm {

class Registrar;

extern "C" {
// A copy of the variable's string; a new empty string when it holds null.
RuntimeString* kxStrLoad(RuntimeString** variable);
void kxStrRelease(RuntimeString* s);
// The variable takes the string and releases what it held.
void kxStrStore(RuntimeString** variable, RuntimeString* s);
// Appends b to a and returns a; b is consumed. A null a yields a new string.
RuntimeString* kxStrConcat(RuntimeString* a, RuntimeString* b);
// -1, 0 or +1 by unsigned bytes, then length; both are consumed.
std::int32_t kxStrCompare(RuntimeString* a, RuntimeString* b);
std::int32_t kxStrToInt(RuntimeString* s);
RuntimeString* kxStrFromInt(std::int32_t value);
float kxStrToFloat(RuntimeString* s);
RuntimeString* kxStrFromFloat(float value);
// A string literal.
RuntimeString* kxStrConst(const char* text);
}

// Registers the routines under their internal names ("_kxStrLoad", ...).
void linkStringRoutines(Registrar& reg);

}  // namespace trelm
