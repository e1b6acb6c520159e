#include "framework/system_library.h"

namespace brevix::framework {

bool register_common_controls(DWORD classes) {
    static const SystemLibrary library("comctl32.dll");  // kept until the program ends
    using Function = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = library.function<Function>("InitCommonControlsEx");
    const INITCOMMONCONTROLSEX request{sizeof request, classes};
    return init != nullptr && init(&request) != FALSE;
}

}  // namespace brevix::framework
