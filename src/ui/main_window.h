#pragma once

#include <optional>
#include <string>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/gdi.h"
#include "job/main_view.h"

namespace brevix::ui {

// The main window: the whole user interface. It shows the chosen files and the source's
// format, holds the profile buttons and the bit-rate list, and routes each user action to
// its handler. It is also the view the job handlers talk to.
class MainWindow : public framework::Dialog, public job::MainView {
public:
    MainWindow();

    // job::MainView
    void set_text(int control_id, const std::string& text) override;
    std::string text(int control_id) const override;
    void set_check(int control_id, bool checked) override;
    bool is_checked(int control_id) const override;
    void enable(int control_id, bool enabled) override;
    void list_clear() override;
    void list_add(const std::string& label) override;
    void list_select(int index) override;
    int list_selection() const override;
    void message_box(const std::string& text, const std::string& caption,
                     job::MessageIcon icon) override;
    std::optional<std::string> ask_open_path(const std::string& filter) override;
    std::optional<std::string> ask_save_path(const std::string& default_extension,
                                             const std::string& filter) override;

protected:
    void do_data_exchange() override;
    bool on_init_dialog() override;
    bool dispatch(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;

private:
    INT_PTR on_sys_command(WPARAM command, LPARAM);
    INT_PTR on_paint(WPARAM, LPARAM);
    INT_PTR on_query_drag_icon(WPARAM, LPARAM);
    INT_PTR on_about(WPARAM, LPARAM);
    INT_PTR on_select_input(WPARAM, LPARAM);
    INT_PTR on_profile(WPARAM, LPARAM);
    INT_PTR on_bitrate(WPARAM, LPARAM);
    INT_PTR on_select_output(WPARAM, LPARAM);
    INT_PTR on_encode(WPARAM, LPARAM);

    void add_about_item_to_system_menu();
    framework::Window control(int control_id) const;

    framework::ComboBox bitrate_list_;
    framework::Icon icon_;
    framework::Icon small_icon_;

    friend struct MainWindowRoutes;
};

}  // namespace brevix::ui
