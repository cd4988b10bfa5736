#include "panel/form.h"

#include <stdexcept>
#include <utility>

namespace oapanel {

Form::Form(platform::FormModel model, platform::WindowSystem& windows)
    : model_(std::move(model)), windows_(windows) {}

platform::Control& Form::mutableControl(int id) {
    platform::Control* c = model_.find(id);
    // A missing control is a programming error in the design table, never a user situation.
    if (!c) throw std::logic_error("no control with id " + std::to_string(id));
    return *c;
}

const platform::Control& Form::control(int id) const {
    return const_cast<Form*>(this)->mutableControl(id);
}

void Form::setFormCaption(const std::string& text) {
    model_.caption = text;
    windows_.controlChanged(0, platform::Change::Caption);
}

void Form::setFormVisible(bool visible) {
    model_.visible = visible;
    windows_.controlChanged(0, platform::Change::Visible);
}

void Form::setWindowState(platform::WindowState state) {
    model_.state = state;
    windows_.controlChanged(0, platform::Change::State);
}

void Form::setCaption(int id, const std::string& text) {
    mutableControl(id).caption = text;
    windows_.controlChanged(id, platform::Change::Caption);
}

void Form::setEnabled(int id, bool enabled) {
    mutableControl(id).enabled = enabled;
    windows_.controlChanged(id, platform::Change::Enabled);
}

void Form::setInterval(int id, int intervalMs) {
    mutableControl(id).interval = intervalMs;
    windows_.controlChanged(id, platform::Change::Interval);
}

void Form::setVisible(int id, bool visible) {
    mutableControl(id).visible = visible;
    windows_.controlChanged(id, platform::Change::Visible);
}

void Form::move(int id, int left, int top, int width, int height) {
    auto& c = mutableControl(id);
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    windows_.controlChanged(id, platform::Change::Geometry);
}

void Form::setFont(int id, const platform::Font& font) {
    mutableControl(id).font = font;
    windows_.controlChanged(id, platform::Change::Font);
}

int Form::listCount(int id) const { return static_cast<int>(control(id).items.size()); }

const std::string& Form::listItem(int id, int index) const {
    return control(id).items.at(static_cast<std::size_t>(index));
}

void Form::listAdd(int id, const std::string& text) {
    mutableControl(id).items.push_back(text);
    windows_.listAdded(id);
}

void Form::listReplace(int id, int index, const std::string& text) {
    auto& c = mutableControl(id);
    if (index < 0 || index >= static_cast<int>(c.items.size())) return;
    c.items[static_cast<std::size_t>(index)] = text;
    windows_.listReplaced(id, index);
}

void Form::listRemoveFirst(int id) {
    auto& c = mutableControl(id);
    if (c.items.empty()) return;
    c.items.pop_front();
    if (c.selected >= 0) --c.selected;
    windows_.listRemovedFirst(id);
}

int Form::listSelected(int id) const { return control(id).selected; }

void Form::listSelect(int id, int index) {
    auto& c = mutableControl(id);
    c.selected = (index >= 0 && index < static_cast<int>(c.items.size())) ? index : -1;
    windows_.controlChanged(id, platform::Change::Selection);
}

}  // namespace oapanel
