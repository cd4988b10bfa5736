// The registry, and the ANSI code page its "A" functions speak.
#pragma once

#include <stdexcept>

#include "tests/fake/record.h"

namespace fake {

// The Chinese ANSI code page, GBK (936), through iconv: what it cannot hold becomes "?".
struct FakeCodec : P::TextCodec {
    std::string toAnsi(const std::string& utf8) override;
    std::string fromAnsi(const std::string& ansi) override;
};

// A tree of keys below the predefined roots, with case-insensitive names, typed values as raw
// bytes, handles that must be closed, and rights: a key grants at most what grants on it and
// above it allow, and an open or create asking for more is refused, as Windows refuses it.
class FakeRegistry : public Recording<P::Registry> {
public:
    struct Value {
        std::uint32_t type = P::kRegNone;
        Bytes data;
    };
    using Recording::Recording;

    // Shaping and inspecting the machine: nothing recorded and no right checked.
    void put(P::Handle root, const std::string& path, const std::string& name, std::uint32_t type,
             Bytes data) {
        make(root, path).slot(name) = {type, std::move(data)};
    }
    void putText(P::Handle root, const std::string& path, const std::string& name,
                 const std::string& utf8, std::uint32_t type = P::kRegSz) {
        const std::string ansi = FakeCodec().toAnsi(utf8) + '\0';
        put(root, path, name, type, Bytes(ansi.begin(), ansi.end()));
    }
    void addKey(P::Handle root, const std::string& path) { make(root, path); }
    void removeKey(P::Handle root, const std::string& path) {
        const std::string top = place(root, path).full;
        std::erase_if(keys_, [&](const auto& k) { return below(k.first, top); });
    }
    bool hasKey(P::Handle root, const std::string& path) {
        return keys_.count(place(root, path).full);
    }
    std::optional<Value> get(P::Handle root, const std::string& path, const std::string& name) {
        const auto it = keys_.find(place(root, path).full);
        const Value* v = it == keys_.end() ? nullptr : it->second.value(name);
        return v ? std::optional(*v) : std::nullopt;
    }
    std::string text(P::Handle root, const std::string& path, const std::string& name) {
        const auto v = get(root, path, name);
        if (!v) return "<none>";
        std::string s(v->data.begin(), v->data.end());
        return FakeCodec().fromAnsi(s.empty() || s.back() ? s : s.substr(0, s.size() - 1));
    }
    void grant(P::Handle root, const std::string& path, std::uint32_t rights) {
        grants_[place(root, path).full] = rights;
    }
    void makeReadOnly(P::Handle root, const std::string& path = "") {
        grant(root, path, P::kKeyRead);
    }
    void denyAccess(P::Handle root, const std::string& path) { grant(root, path, 0); }
    std::size_t openKeys() const { return open_.size(); }

    long openKey(P::Handle root, const std::string& path, std::uint32_t access,
                 P::Handle& key) override {
        return hand(root, path, access, false, "RegOpenKeyExA", key);
    }
    long createKey(P::Handle root, const std::string& path, std::uint32_t access,
                   P::Handle& key) override {
        return hand(root, path, access, true, "RegCreateKeyExA", key);
    }
    long queryValue(P::Handle key, const std::string& name, std::uint32_t* type, Bytes* data,
                    std::uint32_t& size) override {
        return with(key, P::kKeyQueryValue, "RegQueryValueExA", name, [&](Key& k) {
            const Value* v = k.value(name);
            if (!v) return P::kErrorFileNotFound;
            if (type) *type = v->type;
            const bool fits = !data || size >= v->data.size();
            size = std::uint32_t(v->data.size());
            if (data) *data = fits ? v->data : Bytes{};
            return fits ? P::kRegOk : P::kErrorMoreData;
        });
    }
    long setValue(P::Handle key, const std::string& name, std::uint32_t type,
                  const Bytes& data) override {
        const std::string detail = name + " " + std::to_string(type);
        return with(key, P::kKeySetValue, "RegSetValueExA", detail, [&](Key& k) {
            k.slot(name) = {type, data};
            return P::kRegOk;
        });
    }
    long deleteValue(P::Handle key, const std::string& name) override {
        return with(key, P::kKeySetValue, "RegDeleteValueA", name, [&](Key& k) {
            const auto named = [&](const auto& v) { return EqualsIgnoringCase(v.first, name); };
            return std::erase_if(k.values, named) ? P::kRegOk : P::kErrorFileNotFound;
        });
    }
    long deleteKey(P::Handle root, const std::string& path) override {
        const Path p = where(root, path);
        if (const long e = recorded("RegDeleteKeyA " + shown(root, path))) return e;
        if (p.status) return p.status;
        if (!keys_.count(p.full)) return P::kErrorFileNotFound;
        if (!(rightsAt(p.full) & 0x10000) || !children(p.full).empty())  // DELETE
            return P::kErrorRegAccessDenied;
        keys_.erase(p.full);
        return P::kRegOk;
    }
    long enumKey(P::Handle key, std::uint32_t index, std::string& name,
                 std::uint32_t bufferChars) override {
        const std::string at = std::to_string(index);
        return with(key, P::kKeyEnumerateSubKeys, "RegEnumKeyA", at, [&](Key& k) {
            const auto names = children(k.full);
            if (index >= names.size()) return P::kErrorNoMoreItems;
            const std::string& found = keys_.at(names[index]).name;
            if (ansiSize(found) >= bufferChars) return P::kErrorMoreData;  // no room for the NUL
            name = found;
            return P::kRegOk;
        });
    }
    long enumValue(P::Handle key, std::uint32_t index, std::string& name, std::uint32_t& type,
                   Bytes& data) override {
        return with(key, P::kKeyQueryValue, "RegEnumValueA", std::to_string(index), [&](Key& k) {
            if (index >= k.values.size()) return P::kErrorNoMoreItems;
            name = k.values[index].first;
            type = k.values[index].second.type, data = k.values[index].second.data;
            return P::kRegOk;
        });
    }
    long queryInfoKey(P::Handle key, P::KeyInfo& info) override {
        return with(key, P::kKeyQueryValue, "RegQueryInfoKeyA", "", [&](Key& k) {
            info = {0, 0, std::uint32_t(k.values.size()), 0, 0};
            for (const auto& child : children(k.full))
                info.maxSubKeyLength = std::max(info.maxSubKeyLength, ansiSize(keys_[child].name)),
                ++info.subKeys;
            return P::kRegOk;
        });
    }
    long closeKey(P::Handle key) override {
        // A close reported as failed still gives the handle back, so leak counts stay true.
        const bool known = key >= P::kHkeyClassesRoot || open_.erase(key);
        if (const long e = recorded("RegCloseKey " + Hex(key))) return e;
        return known ? P::kRegOk : 6;  // ERROR_INVALID_HANDLE
    }

private:
    struct Key {
        std::string full, name;                             // "HKLM\\A\\B" in upper case; as made
        std::vector<std::pair<std::string, Value>> values;  // in the order first set
        Value* value(const std::string& valueName) {
            for (auto& [n, v] : values)
                if (EqualsIgnoringCase(n, valueName)) return &v;
            return nullptr;
        }
        Value& slot(const std::string& valueName) {  // a new one goes after the others
            Value* v = value(valueName);
            return v ? *v : values.emplace_back(valueName, Value{}).second;
        }
    };
    // Where a path leads: "HKCU\\SOFTWARE\\X", with each key on the way below the root and its
    // name as written; or the status of a bad handle.
    struct Path {
        long status = P::kRegOk;
        std::string full;
        std::vector<std::pair<std::string, std::string>> levels;
    };
    static const char* rootName(P::Handle h) {  // the performance data's root holds no keys
        constexpr const char* names[] = {"HKCR", "HKCU", "HKLM", "HKU", nullptr, "HKCC"};
        const bool root = h >= P::kHkeyClassesRoot && h <= P::kHkeyCurrentConfig;
        return root ? names[h - P::kHkeyClassesRoot] : nullptr;
    }
    // A key as the call record shows it: "HKLM\\SOFTWARE\\oa", or from a handle "0x1000\\sub".
    static std::string shown(P::Handle root, const std::string& path) {
        const std::string base = rootName(root) ? rootName(root) : Hex(root);
        return path.empty() ? base : base + "\\" + path;
    }
    static bool below(const std::string& key, const std::string& top) {
        return key == top || key.starts_with(top + "\\");
    }
    static std::uint32_t ansiSize(const std::string& utf8) {
        return std::uint32_t(FakeCodec().toAnsi(utf8).size());
    }
    // The key a handle stands for, and the access it gives: a root's is what the grants allow.
    std::optional<std::pair<std::string, std::uint32_t>> behind(P::Handle h) const {
        if (rootName(h)) return std::pair{std::string(rootName(h)), rightsAt(rootName(h))};
        const auto it = open_.find(h);
        return it == open_.end() ? std::nullopt : std::optional(it->second);
    }
    // Below a root, predefined or an open handle.
    Path where(P::Handle root, const std::string& path) const {
        const auto at = behind(root);
        if (!at) return {6, "", {}};  // ERROR_INVALID_HANDLE
        Path p{P::kRegOk, at->first, {}};
        for (std::size_t start = 0, end = 0; !path.empty() && end != path.npos; start = end + 1) {
            end = path.find('\\', start);
            p.full += "\\" + UpperCase(path.substr(start, end - start));
            p.levels.emplace_back(p.full, path.substr(start, end - start));
        }
        return p;
    }
    Path place(P::Handle root, const std::string& path) const {  // for shaping: sound, or a throw
        Path p = where(root, path);
        if (!rootName(root) || p.status) throw std::invalid_argument(path);
        return p;
    }
    std::uint32_t rightsAt(const std::string& full) const {
        std::uint32_t rights = 0xF003F;
        for (const auto& [at, granted] : grants_)
            if (below(full, at)) rights &= granted;
        return rights;
    }
    std::vector<std::string> children(const std::string& full) const {
        std::vector<std::string> out;
        for (const auto& [key, k] : keys_)
            if (key.starts_with(full + "\\") && key.find('\\', full.size() + 1) == key.npos)
                out.push_back(key);
        return out;
    }
    // Makes what is missing of the path, each key with its name as written.
    Key& build(const Path& p) {
        for (const auto& [at, name] : p.levels) keys_.try_emplace(at, Key{at, name, {}});
        return keys_[p.full];
    }
    Key& make(P::Handle root, const std::string& path) { return build(place(root, path)); }
    // Records the call; the failure injected into it, if any, as its status.
    long recorded(const std::string& call) {
        std::uint32_t error = 0;
        return r_.call(call, &error) ? long(error) : P::kRegOk;
    }
    long hand(P::Handle root, const std::string& path, std::uint32_t access, bool create,
              const std::string& op, P::Handle& key) {
        key = 0;
        const Path p = where(root, path);
        if (const long e = recorded(op + " " + shown(root, path) + " " + Hex(access))) return e;
        if (p.status) return p.status;
        const bool missing = !keys_.count(p.full) && p.full.find('\\') != p.full.npos;
        if (missing && !create) return P::kErrorFileNotFound;
        // Creating a missing key is itself a write.
        const std::uint32_t needed = access | (missing ? P::kKeyCreateSubKey : 0);
        if ((needed & rightsAt(p.full)) != needed) return P::kErrorRegAccessDenied;
        if (create) build(p);
        open_[next_] = {p.full, access};
        key = next_++;
        return P::kRegOk;
    }
    // Runs `then` on the key behind a handle, once the call is recorded and the right granted.
    template <class Then>
    long with(P::Handle key, std::uint32_t right, const std::string& op, const std::string& detail,
              Then then) {
        if (const long e = recorded(op + " " + Hex(key) + (detail.empty() ? "" : " " + detail)))
            return e;
        const auto at = behind(key);
        if (!at) return 6;  // ERROR_INVALID_HANDLE
        if ((at->second & right) != right) return P::kErrorRegAccessDenied;
        if (!keys_.count(at->first)) return 1018;  // ERROR_KEY_DELETED
        return then(keys_[at->first]);
    }

    std::map<std::string, Key> keys_;
    std::map<P::Handle, std::pair<std::string, std::uint32_t>> open_;  // key, access
    std::map<std::string, std::uint32_t> grants_;
    P::Handle next_ = 0x1000;
};

}  // namespace fake
