// The ANSI code page of the simulated machine, through iconv.
#include <iconv.h>

#include <stdexcept>

#include "tests/fake/registry.h"

namespace fake {

namespace {

std::string convert(const std::string& text, const char* to, const char* from) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no iconv");
    // Room for the longest result: a byte becomes three at most (GBK's euro sign in UTF-8).
    std::string out(text.size() * 3, '\0');
    char *in = const_cast<char*>(text.data()), *put = out.data();
    std::size_t left = text.size(), room = out.size();
    while (left > 0 && ::iconv(cd, &in, &left, &put, &room) == static_cast<std::size_t>(-1)) {
        // What the code page cannot hold becomes "?", one per character, as Windows does.
        *put++ = '?', --room;
        do ++in, --left;
        while (left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80 && from[0] == 'U');
    }
    ::iconv_close(cd);
    out.resize(static_cast<std::size_t>(put - out.data()));
    return out;
}

}  // namespace

std::string FakeCodec::toAnsi(const std::string& utf8) { return convert(utf8, "CP936", "UTF-8"); }
std::string FakeCodec::fromAnsi(const std::string& ansi) { return convert(ansi, "UTF-8", "CP936"); }

}  // namespace fake
