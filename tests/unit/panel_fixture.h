// The panel on a simulated machine: the test shapes the machine, starts the program, acts as
// the user and Windows would, and reads the form, the machine and the calls it recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "panel/main_window.h"
#include "tests/fake/fake.h"

namespace unit {

inline constexpr auto HKCU = platform::kHkeyCurrentUser;
inline constexpr auto HKLM = platform::kHkeyLocalMachine;
inline constexpr char kTomcat[] = "Tomcat6Brackwen";
inline constexpr char kMysql[] = "MySQL5Brackwen";

struct Machine {
    fake::FakePlatform os;
    std::unique_ptr<oapanel::MainWindow> frm;

    // Starts the program; true when it ended during its start-up.
    bool load() {
        frm = std::make_unique<oapanel::MainWindow>(os);
        try {
            frm->Show();
        } catch (const fake::ProcessEnded&) {
            return true;
        }
        return false;
    }
    // Starts the program and lets the automatic start run to its end.
    void loadAndAutoStart() {
        ASSERT_FALSE(load());
        os.ui.advance(1.5);
    }
    // Runs an event that may end the program; true when it did.
    template <typename F>
    bool ends(F&& f) {
        try {
            f();
        } catch (const fake::ProcessEnded&) {
            return true;
        }
        return false;
    }
    void click(int id) { os.ui.userClicks(id); }
    const platform::Control& ctl(int id) { return os.ui.control(id); }
    std::vector<std::string> lines(int from = 0) { return os.ui.lines(from); }
    std::string last() { return lines().back(); }
    int count() { return static_cast<int>(ctl(IDC_lstView).items.size()); }
    std::vector<std::string> launched() {
        std::vector<std::string> out;
        for (const auto& l : os.procs.launches) out.push_back(l.commandLine);
        return out;
    }
    std::vector<std::string> boxes() {
        std::vector<std::string> out;
        for (const auto& b : os.application.boxes) out.push_back(b.text);
        return out;
    }
    static std::string dots(int n) { return std::string(static_cast<std::size_t>(n), '.'); }
    // The status display in one text: the three labels, then the three buttons' captions.
    std::string status() {
        std::string text;
        for (int id :
             {IDC_lblTomcat, IDC_lblMysql, IDC_lblOA, IDC_cmdTomcat, IDC_cmdMysql, IDC_cmdOA})
            text += ctl(id).caption + "|";
        return text + (ctl(IDC_cmdConnect).enabled ? "connect" : "");
    }

    // Whatever happened, once the panel is gone nothing may be left open.
    void expectNothingOpen() {
        frm.reset();
        EXPECT_EQ(os.reg.openKeys(), 0u);
        EXPECT_EQ(os.scm.openHandles(), 0u);
        EXPECT_EQ(os.net.openSockets(), 0u);
        EXPECT_EQ(os.net.startups, 0);
    }
};

struct PanelTest : ::testing::Test, Machine {
    void TearDown() override {
        os.ui.advance(0.5);  // a readiness probe under way ends
        expectNothingOpen();
    }
};

}  // namespace unit
