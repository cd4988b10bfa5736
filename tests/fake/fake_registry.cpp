// The simulated registry and the GBK code page.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "base/text.h"
#include "tests/fake/fake.h"

namespace fake {

namespace {

using oapanel::EqualsIgnoringCase;
using oapanel::UpperCase;

constexpr std::uint32_t kAllRights = 0xF003F;
constexpr std::uint32_t kDelete = 0x10000;
constexpr long kInvalidHandle = 6, kBadPathname = 161, kKeyDeleted = 1018;

const char* rootName(platform::Handle h) {
    switch (h) {
        case platform::kHkeyClassesRoot:
            return "HKCR";
        case platform::kHkeyCurrentUser:
            return "HKCU";
        case platform::kHkeyLocalMachine:
            return "HKLM";
        case platform::kHkeyUsers:
            return "HKU";
        case platform::kHkeyCurrentConfig:
            return "HKCC";
        default:
            return nullptr;
    }
}

// A key as the call record shows it: "HKLM\\SOFTWARE\\oa", or from a handle "0x1000\\sub".
std::string shown(platform::Handle root, const std::string& path) {
    const std::string base = rootName(root) ? rootName(root) : Hex(root);
    return path.empty() ? base : base + "\\" + path;
}

std::string convert(const std::string& text, const char* to, const char* from) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no iconv");
    std::string out;
    char* in = const_cast<char*>(text.data());
    std::size_t left = text.size();
    while (left > 0) {
        char buffer[64];
        char* put = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t n = ::iconv(cd, &in, &left, &put, &room);
        out.append(buffer, static_cast<std::size_t>(put - buffer));
        if (n == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // What the code page cannot hold becomes "?", one per character, as Windows does.
            out += '?';
            do {
                ++in, --left;
            } while (left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80 &&
                     std::string(from) == "UTF-8");
        }
    }
    ::iconv_close(cd);
    return out;
}

}  // namespace

std::string FakeCodec::toAnsi(const std::string& utf8) { return convert(utf8, "CP936", "UTF-8"); }
std::string FakeCodec::fromAnsi(const std::string& ansi) { return convert(ansi, "UTF-8", "CP936"); }

FakeRegistry::Value* FakeRegistry::Key::value(const std::string& valueName) {
    for (auto& [n, v] : values)
        if (EqualsIgnoringCase(n, valueName)) return &v;
    return nullptr;
}

// --- where a path leads ----------------------------------------------------------------

long FakeRegistry::where(platform::Handle root, const std::string& path, std::string& full,
                         std::vector<std::string>* names) const {
    if (const char* name = rootName(root)) {
        full = name;
    } else {
        const auto it = open_.find(root);
        if (it == open_.end()) return kInvalidHandle;
        full = it->second.first;
    }
    // One trailing backslash is accepted; a leading one or an empty part is malformed.
    std::string rest = path;
    if (!rest.empty() && rest.back() == '\\') rest.pop_back();
    if (path.empty()) return platform::kRegOk;
    for (std::size_t start = 0;;) {
        const auto end = rest.find('\\', start);
        const std::string part = rest.substr(start, end - start);
        if (part.empty()) return kBadPathname;
        full += "\\" + UpperCase(part);
        if (names) names->push_back(part);
        if (end == std::string::npos) return platform::kRegOk;
        start = end + 1;
    }
}

std::uint32_t FakeRegistry::rightsAt(const std::string& full) const {
    std::uint32_t rights = kAllRights;
    for (const auto& [at, granted] : grants_)
        if (full == at || full.compare(0, at.size() + 1, at + "\\") == 0) rights &= granted;
    return rights;
}

std::string FakeRegistry::shaped(platform::Handle root, const std::string& path,
                                 std::vector<std::string>* names) const {
    std::string full;
    if (!rootName(root) || where(root, path, full, names) != platform::kRegOk)
        throw std::invalid_argument("not a key path: " + path);
    return full;
}

std::vector<std::string> FakeRegistry::children(const std::string& full) const {
    std::vector<std::string> out;
    const std::string prefix = full + "\\";
    for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) == std::string::npos) out.push_back(it->first);
    }
    return out;
}

void FakeRegistry::make(const std::string& full, const std::vector<std::string>& names) {
    // `names` spell the last parts of the path; the ones before come from an open handle.
    std::string at = full;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (!keys_.count(at)) keys_[at].name = *name;
        at.resize(at.rfind('\\'));
    }
    for (; at.find('\\') != std::string::npos; at.resize(at.rfind('\\')))
        if (!keys_.count(at)) keys_[at].name = at.substr(at.rfind('\\') + 1);
}

long FakeRegistry::opened(platform::Handle key, std::uint32_t right, Key*& k) {
    if (const char* name = rootName(key)) {
        if ((right & rightsAt(name)) != right) return platform::kErrorRegAccessDenied;
        k = &keys_[name];
        return platform::kRegOk;
    }
    const auto it = open_.find(key);
    if (it == open_.end()) return kInvalidHandle;
    if ((it->second.second & right) != right) return platform::kErrorRegAccessDenied;
    const auto found = keys_.find(it->second.first);
    if (found == keys_.end()) return kKeyDeleted;
    k = &found->second;
    return platform::kRegOk;
}

// --- shaping the machine ---------------------------------------------------------------

void FakeRegistry::put(platform::Handle root, const std::string& path, const std::string& name,
                       std::uint32_t type, Bytes data) {
    std::vector<std::string> names;
    const std::string full = shaped(root, path, &names);
    make(full, names);
    Key& k = keys_[full];
    if (Value* v = k.value(name))
        *v = {type, std::move(data)};
    else
        k.values.push_back({name, {type, std::move(data)}});
}

void FakeRegistry::putText(platform::Handle root, const std::string& path, const std::string& name,
                           const std::string& utf8, std::uint32_t type) {
    const std::string ansi = FakeCodec().toAnsi(utf8);
    Bytes data(ansi.begin(), ansi.end());
    data.push_back(0);
    put(root, path, name, type, std::move(data));
}

void FakeRegistry::addKey(platform::Handle root, const std::string& path) {
    std::vector<std::string> names;
    const std::string full = shaped(root, path, &names);
    make(full, names);
    keys_[full];
}

void FakeRegistry::removeKey(platform::Handle root, const std::string& path) {
    const std::string full = shaped(root, path);
    keys_.erase(full);
    for (auto it = keys_.lower_bound(full + "\\");
         it != keys_.end() && it->first.compare(0, full.size() + 1, full + "\\") == 0;)
        it = keys_.erase(it);
}

bool FakeRegistry::hasKey(platform::Handle root, const std::string& path) const {
    return keys_.count(shaped(root, path)) > 0;
}

std::optional<FakeRegistry::Value> FakeRegistry::get(platform::Handle root, const std::string& path,
                                                     const std::string& name) const {
    const auto it = keys_.find(shaped(root, path));
    if (it == keys_.end()) return std::nullopt;
    for (const auto& [n, v] : it->second.values)
        if (EqualsIgnoringCase(n, name)) return v;
    return std::nullopt;
}

std::string FakeRegistry::text(platform::Handle root, const std::string& path,
                               const std::string& name) {
    const auto v = get(root, path, name);
    if (!v) return "<none>";
    std::string s(v->data.begin(), v->data.end());
    if (!s.empty() && s.back() == '\0') s.pop_back();
    return FakeCodec().fromAnsi(s);
}

std::vector<std::string> FakeRegistry::subKeys(platform::Handle root,
                                               const std::string& path) const {
    std::vector<std::string> out;
    for (const auto& full : children(shaped(root, path))) out.push_back(keys_.at(full).name);
    return out;
}

void FakeRegistry::grant(platform::Handle root, const std::string& path, std::uint32_t rights) {
    grants_[shaped(root, path)] = rights;
}

// --- the platform calls ------------------------------------------------------------------

long FakeRegistry::openKey(platform::Handle root, const std::string& path, std::uint32_t access,
                           platform::Handle& key) {
    key = 0;
    std::string full;
    const long status = where(root, path, full);
    std::uint32_t error = 0;
    if (r_.call("RegOpenKeyExA " + shown(root, path) + " " + Hex(access), "RegOpenKeyExA", &error))
        return static_cast<long>(error);
    if (status != platform::kRegOk) return status;
    if (!keys_.count(full) && full.find('\\') != std::string::npos)
        return platform::kErrorFileNotFound;
    if ((access & rightsAt(full)) != access) return platform::kErrorRegAccessDenied;
    open_[next_] = {full, access};
    key = next_++;
    return platform::kRegOk;
}

long FakeRegistry::createKey(platform::Handle root, const std::string& path, std::uint32_t access,
                             platform::Handle& key) {
    key = 0;
    std::string full;
    std::vector<std::string> names;
    const long status = where(root, path, full, &names);
    std::uint32_t error = 0;
    if (r_.call("RegCreateKeyExA " + shown(root, path) + " " + Hex(access), "RegCreateKeyExA",
                &error))
        return static_cast<long>(error);
    if (status != platform::kRegOk) return status;
    // Creating a missing key is itself a write.
    const std::uint32_t needed =
        access | (keys_.count(full) ? 0 : static_cast<std::uint32_t>(platform::kKeyCreateSubKey));
    if ((needed & rightsAt(full)) != needed) return platform::kErrorRegAccessDenied;
    make(full, names);
    keys_[full];
    open_[next_] = {full, access};
    key = next_++;
    return platform::kRegOk;
}

long FakeRegistry::queryValue(platform::Handle key, const std::string& name, std::uint32_t* type,
                              Bytes* data, std::uint32_t& size) {
    std::uint32_t error = 0;
    if (r_.call("RegQueryValueExA " + Hex(key) + " " + name, "RegQueryValueExA", &error))
        return static_cast<long>(error);
    Key* k = nullptr;
    if (const long e = opened(key, platform::kKeyQueryValue, k)) return e;
    const Value* v = k->value(name);
    if (!v) return platform::kErrorFileNotFound;
    if (type) *type = v->type;
    const auto stored = static_cast<std::uint32_t>(v->data.size());
    const bool fits = !data || size >= stored;
    size = stored;
    if (data) *data = fits ? v->data : Bytes{};
    return fits ? platform::kRegOk : platform::kErrorMoreData;
}

long FakeRegistry::setValue(platform::Handle key, const std::string& name, std::uint32_t type,
                            const Bytes& data) {
    std::uint32_t error = 0;
    if (r_.call("RegSetValueExA " + Hex(key) + " " + name + " " + std::to_string(type),
                "RegSetValueExA", &error))
        return static_cast<long>(error);
    Key* k = nullptr;
    if (const long e = opened(key, platform::kKeySetValue, k)) return e;
    if (Value* v = k->value(name))
        *v = {type, data};
    else
        k->values.push_back({name, {type, data}});
    return platform::kRegOk;
}

long FakeRegistry::deleteValue(platform::Handle key, const std::string& name) {
    std::uint32_t error = 0;
    if (r_.call("RegDeleteValueA " + Hex(key) + " " + name, "RegDeleteValueA", &error))
        return static_cast<long>(error);
    Key* k = nullptr;
    if (const long e = opened(key, platform::kKeySetValue, k)) return e;
    const auto it = std::find_if(k->values.begin(), k->values.end(),
                                 [&](const auto& v) { return EqualsIgnoringCase(v.first, name); });
    if (it == k->values.end()) return platform::kErrorFileNotFound;
    k->values.erase(it);
    return platform::kRegOk;
}

long FakeRegistry::deleteKey(platform::Handle root, const std::string& path) {
    std::string full;
    const long status = where(root, path, full);
    std::uint32_t error = 0;
    if (r_.call("RegDeleteKeyA " + shown(root, path), "RegDeleteKeyA", &error))
        return static_cast<long>(error);
    if (status != platform::kRegOk) return status;
    if (full.find('\\') == std::string::npos) return platform::kErrorRegAccessDenied;  // a root
    if (!keys_.count(full)) return platform::kErrorFileNotFound;
    if (!(rightsAt(full) & kDelete) || !children(full).empty())
        return platform::kErrorRegAccessDenied;
    keys_.erase(full);
    return platform::kRegOk;
}

long FakeRegistry::enumKey(platform::Handle key, std::uint32_t index, std::string& name,
                           std::uint32_t bufferChars) {
    std::uint32_t error = 0;
    if (r_.call("RegEnumKeyA " + Hex(key) + " " + std::to_string(index), "RegEnumKeyA", &error))
        return static_cast<long>(error);
    Key* k = nullptr;
    if (const long e = opened(key, platform::kKeyEnumerateSubKeys, k)) return e;
    const std::string full = rootName(key) ? rootName(key) : open_.at(key).first;
    const auto names = children(full);
    if (index >= names.size()) return platform::kErrorNoMoreItems;
    const std::string& found = keys_.at(names[index]).name;
    if (FakeCodec().toAnsi(found).size() + 1 > bufferChars) return platform::kErrorMoreData;
    name = found;
    return platform::kRegOk;
}

long FakeRegistry::enumValue(platform::Handle key, std::uint32_t index, std::string& name,
                             std::uint32_t& type, Bytes& data) {
    std::uint32_t error = 0;
    if (r_.call("RegEnumValueA " + Hex(key) + " " + std::to_string(index), "RegEnumValueA", &error))
        return static_cast<long>(error);
    Key* k = nullptr;
    if (const long e = opened(key, platform::kKeyQueryValue, k)) return e;
    if (index >= k->values.size()) return platform::kErrorNoMoreItems;
    name = k->values[index].first;
    type = k->values[index].second.type;
    data = k->values[index].second.data;
    return platform::kRegOk;
}

long FakeRegistry::queryInfoKey(platform::Handle key, platform::KeyInfo& info) {
    std::uint32_t error = 0;
    if (r_.call("RegQueryInfoKeyA " + Hex(key), "RegQueryInfoKeyA", &error))
        return static_cast<long>(error);
    Key* k = nullptr;
    if (const long e = opened(key, platform::kKeyQueryValue, k)) return e;
    info = {};
    FakeCodec codec;
    const std::string full = rootName(key) ? rootName(key) : open_.at(key).first;
    for (const auto& child : children(full)) {
        ++info.subKeys;
        info.maxSubKeyLength =
            std::max(info.maxSubKeyLength,
                     static_cast<std::uint32_t>(codec.toAnsi(keys_[child].name).size()));
    }
    for (const auto& [n, v] : k->values) {
        ++info.values;
        info.maxValueNameLength =
            std::max(info.maxValueNameLength, static_cast<std::uint32_t>(codec.toAnsi(n).size()));
        info.maxValueLength =
            std::max(info.maxValueLength, static_cast<std::uint32_t>(v.data.size()));
    }
    return platform::kRegOk;
}

long FakeRegistry::closeKey(platform::Handle key) {
    std::uint32_t error = 0;
    // A close reported as failed still gives the handle back, so leak counts stay true.
    const bool known = rootName(key) || open_.erase(key) > 0;
    if (r_.call("RegCloseKey " + Hex(key), "RegCloseKey", &error)) return static_cast<long>(error);
    return known ? platform::kRegOk : kInvalidHandle;
}

}  // namespace fake
