// A MainView for tests: keeps what a real main window would show and records every call in
// order, one line per call, so a test checks both the outcome and the sequence.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "job/main_view.h"

namespace brevix::job::testing {

class FakeMainView : public MainView {
public:
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    std::deque<std::optional<std::string>> answers;  // the file dialogs' answers; empty: Cancel
    std::map<int, std::string> texts{
        {kInputDisplay, "No file selected"}, {kFormatDisplay, "-"}, {kOutputDisplay, "-"}};
    std::map<int, bool> checks{{kMainButton, true}, {kLcButton, false}, {kSsrButton, false}};
    std::map<int, bool> enabled;
    std::vector<std::string> list;
    int selection = -1;
    std::vector<Message> messages;
    std::vector<std::string> calls;

    // What an automatic radio button does before it reports the click.
    void click_radio(int button) {
        for (auto& [id, checked] : checks) {
            checked = id == button;
        }
    }

    void set_text(int id, const std::string& text) override {
        texts[id] = text;
        calls.push_back("set_text " + std::to_string(id) + " " + text);
    }
    std::string text(int id) const override { return texts.count(id) ? texts.at(id) : ""; }
    void set_check(int id, bool checked) override {
        checks[id] = checked;
        calls.push_back("set_check " + std::to_string(id) + (checked ? " on" : " off"));
    }
    bool is_checked(int id) const override { return checks.count(id) && checks.at(id); }
    void enable(int id, bool on) override {
        enabled[id] = on;
        calls.push_back("enable " + std::to_string(id) + (on ? " on" : " off"));
    }
    void list_clear() override {
        list.clear();
        selection = -1;
        calls.push_back("list_clear");
    }
    void list_add(const std::string& label) override {
        list.push_back(label);
        calls.push_back("list_add " + label);
    }
    void list_select(int index) override {
        selection = index >= 0 && index < static_cast<int>(list.size()) ? index : -1;
        calls.push_back("list_select " + std::to_string(index));
    }
    int list_selection() const override { return selection; }
    void message_box(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        messages.push_back({text, caption, icon});
        calls.push_back("message " + text);
    }
    std::optional<std::string> ask_open_path(const std::string& filter) override {
        calls.push_back("ask_open " + filter);
        return answer();
    }
    std::optional<std::string> ask_save_path(const std::string& extension,
                                             const std::string& filter) override {
        calls.push_back("ask_save " + extension + " " + filter);
        return answer();
    }

private:
    std::optional<std::string> answer() {
        if (answers.empty()) {
            return std::nullopt;
        }
        std::optional<std::string> next = answers.front();
        answers.pop_front();
        return next;
    }
};

}  // namespace brevix::job::testing
