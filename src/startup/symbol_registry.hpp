// What the command libraries register: command declarations with the address of
// their extern "C" function, internal routines ("_kxStrLoad") and data objects
// ("_kxIntType"). A command's function type is checked against its declaration
// at compile time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "startup/declaration.hpp"
#include "startup/fixed_string.hpp"
#include "startup/module_boundary.hpp"

namespace trelm {

struct RuntimeString;

namespace detail {

template <typename T>
constexpr Sigil sigilOf() {
    if constexpr (std::is_same_v<T, std::int32_t>) return Sigil::Int;
    else if constexpr (std::is_same_v<T, float>) return Sigil::Float;
    else if constexpr (std::is_same_v<T, RuntimeString*>) return Sigil::String;
    else if constexpr (std::is_void_v<T>) return Sigil::None;
    else return static_cast<Sigil>('?');
}

template <typename F>
struct FunctionShape;

template <typename R, typename... A>
struct FunctionShape<R (*)(A...)> {
    static constexpr std::size_t arity = sizeof...(A);
    static constexpr Sigil result = sigilOf<R>();
    static constexpr std::array<Sigil, sizeof...(A) + 1> params{sigilOf<A>()..., Sigil::None};
};

template <typename F>
constexpr bool shapeMatches(const Declaration& d) {
    using Shape = FunctionShape<F>;
    if (!d.valid || Shape::arity != d.paramCount || Shape::result != d.result) return false;
    for (std::size_t i = 0; i < Shape::arity; ++i)
        if (Shape::params[i] != d.params[i].type) return false;
    return true;
}

}  // namespace detail

struct Registration {
    std::string name;        // the registered name: a declaration or "_kx..."
    std::uintptr_t value;    // the address module code reaches
    const char* cFunction;   // the C name of a command's function; null for routines and data
};

class Registrar {
public:
    // A command: Decl is its declaration, Fn its extern "C" function.
    template <FixedString Decl, auto Fn>
    void command(const char* cFunction) {
        constexpr Declaration d = parseDeclaration(Decl.view());
        static_assert(d.valid, "malformed command declaration");
        static_assert(detail::shapeMatches<decltype(Fn)>(d),
                      "function parameters or result do not match the declaration's sigils");
        add(std::string(Decl.view()), reinterpret_cast<std::uintptr_t>(&ModuleBoundary<Fn>::call),
            cFunction);
    }

    // A language-support routine, registered under its internal name ("_kxStrLoad").
    template <FixedString Name, auto Fn>
    void routine() {
        static_assert(Name.view().size() > 1 && Name.view()[0] == '_', "internal names begin with _");
        add(std::string(Name.view()), reinterpret_cast<std::uintptr_t>(&ModuleBoundary<Fn>::call),
            nullptr);
    }

    // A data object (a type descriptor) registered under an internal name.
    void data(std::string_view name, const void* address) {
        add(std::string(name), reinterpret_cast<std::uintptr_t>(address), nullptr);
    }

    const std::vector<Registration>& registrations() const { return entries_; }

private:
    void add(std::string name, std::uintptr_t value, const char* cFunction) {
        entries_.push_back({std::move(name), value, cFunction});
    }
    std::vector<Registration> entries_;
};

}  // namespace trelm

#define TRELM_COMMAND(registrar, declaration, function) \
    (registrar).command<declaration, &function>(#function)
#define TRELM_ROUTINE(registrar, name, function) (registrar).routine<name, &function>()
