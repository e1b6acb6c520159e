// The application object's services that every window uses: the module instance and the
// application name (the executable's file name without its extension).
#pragma once

#include <string>

#include "framework/win.h"

namespace brevix::framework {

class Application {
public:
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the application: the platform entry point calls this once. Returns the
    // process exit code: 0, or 1 when an exception ended the start-up.
    int run();

    static HINSTANCE instance();
    // The executable's file name without folder and extension, e.g. "brevix".
    static const std::string& name();

protected:
    Application() = default;
    virtual ~Application() = default;

    // The program's whole run: all work happens in modal dialogs, so there is no message
    // loop of its own and the program ends when this returns.
    virtual void init_instance() = 0;
};

}  // namespace brevix::framework
