#include "stub_logic.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace oapanel::stub {
namespace {

std::string_view trim(std::string_view s) {
    constexpr std::string_view blanks = " \t\r\n\v\f";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

bool same_word(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// Plain decimal milliseconds only: "500ms", "-1" or "1e3" are treated as typos.
std::optional<Millis> parse_millis(std::string_view value) {
    std::uint32_t ms = 0;
    const auto* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, ms);
    if (value.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
    return Millis{ms};
}

void set_millis(Millis& knob, std::string_view value) {
    if (const auto ms = parse_millis(value)) knob = *ms;
}

void apply(Knobs& knobs, std::string_view key, std::string_view value) {
    if (same_word(key, "register_delay")) {
        set_millis(knobs.register_delay, value);
    } else if (same_word(key, "register")) {
        if (same_word(value, "never")) knobs.register_never = true;
    } else if (same_word(key, "start_delay")) {
        set_millis(knobs.start_delay, value);
    } else if (same_word(key, "start")) {
        if (same_word(value, "never")) knobs.start_never = true;
    } else if (same_word(key, "crash_after")) {
        if (const auto ms = parse_millis(value)) knobs.crash_after = *ms;
    } else if (same_word(key, "stop")) {
        if (same_word(value, "refuse")) knobs.stop_refuse = true;
    } else if (same_word(key, "stop_delay")) {
        set_millis(knobs.stop_delay, value);
    } else if (same_word(key, "port")) {
        // Only a whole number 1..65535; anything else keeps the usual port.
        if (const auto n = parse_millis(value); n && n->count() >= 1 && n->count() <= 65535)
            knobs.port = static_cast<std::uint16_t>(n->count());
    }
}

}  // namespace

Knobs parse_knobs(std::string_view text) {
    // Notepad saves with a byte order mark; it must not end up glued to the first key.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);

    Knobs knobs;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);

        line = line.substr(0, line.find('#'));
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        apply(knobs, trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return knobs;
}

std::string http_reply(std::string_view request) {
    const std::string_view line = request.substr(0, request.find_first_of("\r\n"));
    const auto method_end = line.find(' ');
    const std::string_view method = line.substr(0, method_end);
    std::string_view target;
    if (method_end != std::string_view::npos) {
        target = line.substr(method_end + 1);
        target = target.substr(0, target.find(' '));
    }
    target = target.substr(0, target.find('?'));

    std::string status;
    std::string body;
    std::string extra_headers;
    if (method.empty() || target.empty()) {
        status = "400 Bad Request";
        body = "<html><body><h1>400 Bad Request</h1></body></html>\r\n";
    } else if (method != "GET" && method != "HEAD") {
        status = "405 Method Not Allowed";
        extra_headers = "Allow: GET, HEAD\r\n";
        body = "<html><body><h1>405 Method Not Allowed</h1></body></html>\r\n";
    } else if (target == "/oa" || target == "/oa/") {
        status = "200 OK";
        body =
            "<html><head><title>OA</title></head>"
            "<body><h1>OA</h1><p>The office system is up.</p></body></html>\r\n";
    } else {
        status = "404 Not Found";
        body = "<html><body><h1>404 Not Found</h1></body></html>\r\n";
    }

    std::string reply = "HTTP/1.0 " + status + "\r\n" +
                        "Content-Type: text/html; charset=utf-8\r\n" +
                        "Content-Length: " + std::to_string(body.size()) + "\r\n" + extra_headers +
                        "Connection: close\r\n\r\n";
    if (method != "HEAD") reply += body;
    return reply;
}

}  // namespace oapanel::stub
