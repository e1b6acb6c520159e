#pragma once

#include "framework/application.h"

namespace brevix::app {

// The application object: its start-up runs the main window modally; when that closes,
// the program ends.
class BrevixApp : public framework::Application {
protected:
    void init_instance() override;
};

}  // namespace brevix::app
