// The program's side of the window: the form model plus mutators that tell the window
// system what changed, so a handler can write `form.setCaption(IDC_lblOA, "...")` and the
// real window follows.
#pragma once

#include <string>

#include "platform/platform.h"

namespace oapanel {

class Form {
public:
    Form(platform::FormModel model, platform::WindowSystem& windows);

    platform::FormModel& model() { return model_; }
    const platform::Control& control(int id) const;

    void setFormCaption(const std::string& text);
    void setFormVisible(bool visible);
    void setWindowState(platform::WindowState state);

    void setCaption(int id, const std::string& text);
    void setEnabled(int id, bool enabled);
    // A timer's interval, in milliseconds; it ticks next that long from now.
    void setInterval(int id, int intervalMs);
    void setVisible(int id, bool visible);
    void move(int id, int left, int top, int width, int height);
    void setFont(int id, const platform::Font& font);

    // List boxes.
    int listCount(int id) const;
    const std::string& listItem(int id, int index) const;
    void listAdd(int id, const std::string& text);
    void listReplace(int id, int index, const std::string& text);
    // Removes the first line; the selection stays on the same logical line (or none when
    // that line was the one removed).
    void listRemoveFirst(int id);
    int listSelected(int id) const;
    void listSelect(int id, int index);

private:
    platform::Control& mutableControl(int id);

    platform::FormModel model_;
    platform::WindowSystem& windows_;
};

// The designed main window: every control at its design position, with its design caption.
platform::FormModel MainWindowDesign(const std::string& contactLine);

}  // namespace oapanel
