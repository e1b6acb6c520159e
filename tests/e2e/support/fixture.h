// A test with its own running copy of the program whose main window is up.
#pragma once

#include <gtest/gtest.h>

#include "support/app.h"
#include "support/window.h"

namespace brevix::e2e {

// Every static and button of the window shows its whole text: wrapped statics need no
// more lines than they have room for, and one-line buttons are wide enough (push buttons
// with a margin for their edge, check and radio buttons with room for the box).
void expect_texts_fit(Probe& probe, HWND window);

class RunningProgram : public ::testing::Test {
protected:
    void SetUp() override {
        main_ = app_.main_window();
        ASSERT_NE(main_, nullptr) << "the main window did not appear\n" << app_.describe_windows();
    }

    HWND control(int id) const { return GetDlgItem(main_, id); }

    App app_;
    HWND main_ = nullptr;
};

}  // namespace brevix::e2e
