// What the job handlers need from the main window. The Win32 main window implements it
// with its real controls; unit tests implement it with a recording fake, so every rule
// about order, messages and state is checked without a window system.
#pragma once

#include <optional>
#include <string>

#include "res/resource.h"

namespace brevix::job {

// Control identifiers of the main window that the handlers touch (the resource header is
// plain preprocessor definitions, shared with the resource script).
enum ControlId : int {
    kInputDisplay = IDC_INPUT_DISPLAY,
    kOutputDisplay = IDC_OUTPUT_DISPLAY,
    kMainButton = IDC_PROFILE_MAIN,
    kBitRateList = IDC_BITRATE_LIST,
    kLcButton = IDC_PROFILE_LC,
    kSsrButton = IDC_PROFILE_SSR,
    kFormatDisplay = IDC_FORMAT_DISPLAY,
};

enum class MessageIcon { kNone, kExclamation };

class MainView {
public:
    virtual ~MainView() = default;

    // Text of a static display (input, output, format).
    virtual void set_text(int control_id, const std::string& text) = 0;
    virtual std::string text(int control_id) const = 0;

    // Buttons (the profile radio buttons).
    virtual void set_check(int control_id, bool checked) = 0;
    virtual bool is_checked(int control_id) const = 0;
    virtual void enable(int control_id, bool enabled) = 0;

    // The bit-rate list.
    virtual void list_clear() = 0;
    virtual void list_add(const std::string& label) = 0;
    virtual void list_select(int index) = 0;
    virtual int list_selection() const = 0;  // -1 when nothing is selected

    // A modal message box with one OK button. An empty caption means the application
    // name.
    virtual void message_box(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;

    // Modal file dialogs owned by the main window. The filter uses '|' separators
    // ("description|pattern|...|"). Nothing is returned when the user cancels.
    virtual std::optional<std::string> ask_open_path(const std::string& filter) = 0;
    virtual std::optional<std::string> ask_save_path(const std::string& default_extension,
                                                     const std::string& filter) = 0;
};

}  // namespace brevix::job
