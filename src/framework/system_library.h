// System libraries that only some windows need, loaded when first needed rather than with
// the program: every library linked to the program is loaded, with the libraries it uses,
// before the main window can appear (a delay that is plain to see under Wine).
#pragma once

#include "framework/win.h"

namespace brevix::framework {

// A system library loaded by name, freed with its owner.
class SystemLibrary {
public:
    explicit SystemLibrary(const char* name) : module_(LoadLibraryA(name)) {}
    ~SystemLibrary() {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    // The named function as `Function` (a function pointer type); null if the library or
    // the function is missing.
    template <typename Function>
    Function function(const char* name) const {
        if (module_ == nullptr)
            return nullptr;
        // Through void*: a cast from one function pointer type to another draws a warning.
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

// Registers the common control classes named by `classes` (ICC_ flags), loading the
// common controls library on first use. False if they could not be registered.
bool register_common_controls(DWORD classes);

}  // namespace brevix::framework
