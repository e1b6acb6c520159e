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
    // process exit code.
    int run();

    static HINSTANCE instance();
    // The executable's file name without folder and extension, e.g. "brevix".
    static const std::string& name();

protected:
    Application() = default;
    virtual ~Application() = default;

    // Instance initialisation. Returning false ends the program without a message loop
    // of its own (all work happens in modal dialogs).
    virtual bool init_instance() = 0;
    // Message loop, entered only when init_instance returns true.
    virtual int message_loop();
};

}  // namespace brevix::framework
