// Platform entry point. The program's command line is not examined.
#include "app/brevix_app.h"

namespace {
brevix::app::BrevixApp the_app;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return the_app.run();
}
