// The window system: the form the program shows, the user acting on it, and virtual time,
// which moves only when the program pumps or waits.
#pragma once

#include "tests/fake/application.h"

namespace fake {

class FakeWindowSystem : public Recording<P::WindowSystem> {
public:
    FakeWindowSystem(Record& r, FakeClock& clock) : Recording(r), clock_(clock) {}

    P::FormModel* model = nullptr;
    P::FormEvents* events = nullptr;
    P::Handle smallIcon = 0;
    std::set<P::Handle> liveIcons;
    std::uint32_t createError = 0;  // CreateWindowExW fails with this error
    bool quit = false;              // the session ended or the program is quitting

    std::uint32_t createForm(P::FormModel& m, P::FormEvents& e) override {
        r_.call("CreateWindow");
        if (createError) return createError;
        model = &m, events = &e;
        // The designed outer size: the client area plus a frame and a caption bar.
        m.width = m.clientWidth + 240, m.height = m.clientHeight + 570;
        e.onLoad();
        m.visible = true;
        return 0;
    }
    bool quitting() override { return quit; }
    void controlChanged(int id, P::Change what) override {
        r_.call("Mirror " + std::to_string(id) + " " + std::to_string(int(what)));
        const P::Control* c = model ? model->find(id) : nullptr;
        const bool timing = what == P::Change::Enabled || what == P::Change::Interval;
        if (!c || c->kind != P::ControlKind::Timer || !timing) return;
        timerDue_.erase(id);
        if (c->enabled && c->interval > 0) timerDue_[id] = clock_.monotonic + c->interval / 1000.0;
    }
    void listAdded(int id) override { r_.call("LB_ADDSTRING " + std::to_string(id)); }
    void listReplaced(int id, int) override { r_.call("LB_REPLACE " + std::to_string(id)); }
    void listRemovedFirst(int id) override { r_.call("LB_DELETESTRING " + std::to_string(id)); }
    void pumpEvents() override { advance(0.01); }
    // Even a zero wait lets a little time pass, as it does on a real machine.
    void waitForEvents(std::uint32_t maxMs) override {
        ++waiting_;
        advance(std::max(maxMs, 1u) / 1000.0);
        --waiting_;
    }
    int run() override { return r_.call("GetMessageW"), 0; }  // the test goes on instead
    P::Handle extractIcon(const std::string& exe, int index) override {
        r_.call("ExtractIconA " + exe + " " + std::to_string(index));
        liveIcons.insert(nextIcon_);
        return nextIcon_++;
    }
    void setSmallIcon(P::Handle icon) override { smallIcon = icon; }
    void destroyIcon(P::Handle icon) override { liveIcons.erase(icon); }

    // Things that happen at a moment of virtual time. Pumping and waiting move the clock and
    // run what has come due, in time order, with the ticks of enabled timers.
    void after(double seconds, std::function<void()> what) {
        agenda_.emplace(clock_.monotonic + seconds, std::move(what));
    }
    void advance(double seconds) {
        const double target = clock_.monotonic + seconds;
        for (;;) {
            // The earliest of the agenda and the timers that falls within this step.
            double next = target;
            int timer = 0;
            for (const auto& [id, due] : timerDue_)
                if (due <= next) next = due, timer = id;
            if (!agenda_.empty() && agenda_.begin()->first <= next) {
                const auto it = agenda_.begin();
                clock_.monotonic = std::max(clock_.monotonic, it->first);
                const auto what = std::move(it->second);
                agenda_.erase(it);
                what();
                if (std::exchange(noticed_, false) && events) events->onServiceNotified();
                // A notice ends the wait under way; the test's own advance goes on to its end.
                if (std::exchange(woken_, false) && waiting_ > 0) return;
            } else if (timer) {
                // A real timer keeps ticking until it is disabled, also while its handler runs.
                clock_.monotonic = std::max(clock_.monotonic, next);
                timerDue_[timer] = clock_.monotonic + model->find(timer)->interval / 1000.0;
                events->onTimer(timer);
            } else {
                break;
            }
        }
        // A handler run from here may have waited on its own and moved the clock further.
        clock_.monotonic = std::max(clock_.monotonic, target);
    }
    // A service notification arrived: the window hears of it, and the wait under way ends.
    void notify() {
        after(0, [this] { noticed_ = woken_ = true; });
    }

    // What the user and Windows do.
    void userSelects(int list, int index) {
        model->find(list)->selected = index;
        events->onListSelect(list, index);
    }
    void userClicks(int id) {  // a check box changes its value first
        if (auto* c = model->find(id); c->kind == P::ControlKind::CheckBox) c->value = 1 - c->value;
        events->onClick(id);
    }
    bool userMovesMouse(int id, int x, int y) { return events->onMouseMove(id, x, y); }
    void resize(int width, int height, P::WindowState state = P::WindowState::Normal) {
        model->width = width, model->height = height, model->state = state;
        events->onResize();
    }
    bool close(int reason) {  // true when the window was unloaded
        return !events->onQueryUnload(reason) && (events->onUnload(), true);
    }
    // Windows shuts down: the program is quitting, and the window goes.
    void endSession() { quit = true, close(2); }
    const P::Control& control(int id) const { return *model->find(id); }
    bool timersRunning() const { return !timerDue_.empty(); }
    std::vector<std::string> lines(int from = 0) const {  // the log without time prefixes
        std::vector<std::string> out;
        const auto& items = model->find(IDC_lstView)->items;
        for (auto i = std::size_t(from); i < items.size(); ++i)
            out.push_back(items[i].substr(items[i].find(" - ") + 3));
        return out;
    }

private:
    FakeClock& clock_;
    P::Handle nextIcon_ = 0x9000;
    std::multimap<double, std::function<void()>> agenda_;
    std::map<int, double> timerDue_;
    bool woken_ = false, noticed_ = false;
    int waiting_ = 0;  // nested waits under way
};

}  // namespace fake
