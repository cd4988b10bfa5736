// The running program as the simulated machine sees it, and its clock.
#pragma once

#include <ctime>

#include "tests/fake/record.h"

namespace fake {

struct FakeApplication : Recording<P::Application> {
    struct Box {
        std::string text, title;
        std::uint32_t style;
    };
    using Recording::Recording;

    std::string path = "D:\\OA", title = "oapanel", exe = "oapanel";
    P::VersionInfo ver{1, 6, 9};
    bool otherInstance = false;
    std::map<int, std::string> strings{{IDS_CONTACT_LINE, "contact line"}};
    std::vector<Box> boxes;    // every message box shown
    std::vector<int> answers;  // scripted answers, first first; IDOK when none left
    std::function<void(const Box&)> whileOpen;  // runs while a box is open (its own loop)
    bool isElevated = true;                     // the manifest asks for administrator rights

    std::string appPath() override { return path; }
    std::string appTitle() override { return title; }
    std::string exeName() override { return exe; }
    P::VersionInfo version() override { return ver; }
    bool previousInstanceRunning() override { return otherInstance; }
    std::string resourceString(int id) override { return strings[id]; }
    int messageBox(const std::string& text, std::uint32_t style, const std::string& t) override {
        r_.call("MessageBox " + text);
        boxes.push_back({text, t, style});
        if (whileOpen) whileOpen(boxes.back());
        if (answers.empty()) return P::kIdOk;
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    [[noreturn]] void endProcess(std::uint32_t code) override {
        r_.call("ExitProcess " + std::to_string(code));
        r_.exited = true;
        throw ProcessEnded{code};
    }
    std::string systemMessage(std::uint32_t code) override {           // none above 9999, as for a
        return code < 10000 ? "message " + std::to_string(code) : "";  // service's own codes
    }
    bool elevated() override { return isElevated; }
};

// Local time is UTC here: the time of day and the epoch stand still unless a test moves them.
struct FakeClock : P::Clock {
    P::LocalTime now{2012, 1, 9, 5, 32, 50};
    double monotonic = 1000.0;
    std::int64_t epoch = 1326087170;  // 2012-01-09 05:32:50
    P::LocalTime localTime() override { return now; }
    double monotonicSeconds() override { return monotonic; }
    std::int64_t epochSeconds() override { return epoch; }
    P::LocalTime localTimeOf(std::int64_t t) override {
        const std::time_t at = t;
        std::tm tm{};
        ::gmtime_r(&at, &tm);
        return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    }
};

}  // namespace fake
