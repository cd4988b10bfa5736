#include "tests/fake/fake_registry.h"

#include "tests/fake/fake_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "tests/fake/fake_platform.h"

namespace fake {

namespace {

constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kWriteRights = platform::kKeySetValue | platform::kKeyCreateSubKey |
                                       platform::kKeyCreateLink | kDelete | kWriteDac | kWriteOwner;

constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorBadPathname = 161;
constexpr long kErrorKeyDeleted = 1018;

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

bool isPredefined(platform::Handle h) { return rootName(h) != nullptr; }

// The parts of a key path. One trailing backslash is accepted; a leading one or an empty
// part in the middle is a malformed path, as the platform sees it.
bool split(const std::string& path, std::vector<std::string>& parts) {
    parts.clear();
    if (path.empty()) return true;
    std::string rest = path;
    if (rest.back() == '\\') rest.pop_back();
    std::size_t start = 0;
    for (;;) {
        const auto end = rest.find('\\', start);
        std::string part = rest.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty()) return false;
        parts.push_back(std::move(part));
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

}  // namespace

struct FakeRegistry::Node {
    std::string name;  // as it was created
    // By upper-case name, which is also the order in which sub-keys enumerate.
    std::map<std::string, std::unique_ptr<Node>> children;
    std::vector<std::pair<std::string, Value>> values;  // in the order first set

    Value* value(const std::string& valueName) {
        for (auto& [n, v] : values)
            if (upper(n) == upper(valueName)) return &v;
        return nullptr;
    }
};

FakeRegistry::FakeRegistry(CallLog& calls, Faults& faults) : calls_(calls), faults_(faults) {
    for (const auto root :
         {platform::kHkeyClassesRoot, platform::kHkeyCurrentUser, platform::kHkeyLocalMachine,
          platform::kHkeyUsers, platform::kHkeyCurrentConfig})
        roots_[root] = std::make_unique<Node>();
}

FakeRegistry::~FakeRegistry() = default;

// --- the tree ------------------------------------------------------------------------

long FakeRegistry::failed(const std::string& op) {
    std::uint32_t error = 0;
    return faults_.check(op, error) ? static_cast<long>(error) : platform::kRegOk;
}

std::string FakeRegistry::describe(platform::Handle root, const std::string& path) const {
    const char* name = rootName(root);
    const std::string rootText = name ? name : hex(root);
    return path.empty() ? rootText : rootText + "\\" + path;
}

long FakeRegistry::locate(platform::Handle root, const std::string& path, Location& where,
                          std::vector<std::string>* names) const {
    if (isPredefined(root)) {
        where = {root, {}};
    } else {
        const auto it = open_.find(root);
        if (it == open_.end()) return kErrorInvalidHandle;
        where = it->second.where;
    }
    std::vector<std::string> parts;
    if (!split(path, parts)) return kErrorBadPathname;
    for (const auto& part : parts) where.path.push_back(upper(part));
    if (names) *names = parts;
    return platform::kRegOk;
}

bool FakeRegistry::ruled(const Location& where, Rule rule) const {
    for (const auto& [at, kind] : rules_) {
        if (kind != rule || at.root != where.root || at.path.size() > where.path.size()) continue;
        if (std::equal(at.path.begin(), at.path.end(), where.path.begin())) return true;
    }
    return false;
}

FakeRegistry::Node* FakeRegistry::find(const Location& where) const {
    const auto it = roots_.find(where.root);
    if (it == roots_.end()) return nullptr;
    Node* node = it->second.get();
    for (const auto& part : where.path) {
        const auto child = node->children.find(part);
        if (child == node->children.end()) return nullptr;
        node = child->second.get();
    }
    return node;
}

FakeRegistry::Node& FakeRegistry::make(const Location& where,
                                       const std::vector<std::string>& names) {
    Node* node = roots_.at(where.root).get();
    // `names` spell the last parts of the path; the ones before come from an open handle.
    const std::size_t firstNamed = where.path.size() - names.size();
    for (std::size_t i = 0; i < where.path.size(); ++i) {
        auto& child = node->children[where.path[i]];
        if (!child) {
            child = std::make_unique<Node>();
            child->name = i >= firstNamed ? names[i - firstNamed] : where.path[i];
        }
        node = child.get();
    }
    return *node;
}

long FakeRegistry::openNode(platform::Handle key, std::uint32_t right, Node*& node) {
    if (isPredefined(key)) {
        if ((right & kWriteRights) && ruled({key, {}}, Rule::ReadOnly))
            return platform::kErrorRegAccessDenied;
        node = roots_.at(key).get();
        return platform::kRegOk;
    }
    const auto it = open_.find(key);
    if (it == open_.end()) return kErrorInvalidHandle;
    if ((it->second.access & right) != right) return platform::kErrorRegAccessDenied;
    node = find(it->second.where);
    return node ? platform::kRegOk : kErrorKeyDeleted;
}

platform::Handle FakeRegistry::handOut(const Location& where, std::uint32_t access) {
    const platform::Handle h = nextHandle_++;
    open_[h] = {where, access};
    return h;
}

// --- shaping the machine -------------------------------------------------------------

void FakeRegistry::arrangeAt(platform::Handle root, const std::string& path, Location& where,
                             std::vector<std::string>& names) const {
    if (!isPredefined(root) || locate(root, path, where, &names) != platform::kRegOk)
        throw std::invalid_argument("not a key path: " + path);
}

void FakeRegistry::addKey(platform::Handle root, const std::string& path) {
    Location where;
    std::vector<std::string> names;
    arrangeAt(root, path, where, names);
    make(where, names);
}

void FakeRegistry::put(platform::Handle root, const std::string& path, const std::string& name,
                       std::uint32_t type, std::vector<std::uint8_t> data) {
    Location where;
    std::vector<std::string> names;
    arrangeAt(root, path, where, names);
    Node& node = make(where, names);
    if (Value* v = node.value(name))
        *v = {type, std::move(data)};
    else
        node.values.push_back({name, {type, std::move(data)}});
}

void FakeRegistry::putText(platform::Handle root, const std::string& path, const std::string& name,
                           const std::string& utf8, std::uint32_t type) {
    const std::string ansi = codec_.toAnsi(utf8);
    std::vector<std::uint8_t> data(ansi.begin(), ansi.end());
    data.push_back(0);
    put(root, path, name, type, std::move(data));
}

void FakeRegistry::putDword(platform::Handle root, const std::string& path, const std::string& name,
                            std::uint32_t n) {
    put(root, path, name, platform::kRegDword,
        {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
         static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)});
}

bool FakeRegistry::hasKey(platform::Handle root, const std::string& path) const {
    Location where;
    std::vector<std::string> names;
    arrangeAt(root, path, where, names);
    return find(where) != nullptr;
}

std::optional<FakeRegistry::Value> FakeRegistry::get(platform::Handle root, const std::string& path,
                                                     const std::string& name) const {
    Location where;
    std::vector<std::string> names;
    arrangeAt(root, path, where, names);
    Node* node = find(where);
    if (!node) return std::nullopt;
    const Value* v = node->value(name);
    return v ? std::optional<Value>(*v) : std::nullopt;
}

std::vector<std::string> FakeRegistry::subKeys(platform::Handle root,
                                               const std::string& path) const {
    Location where;
    std::vector<std::string> names;
    arrangeAt(root, path, where, names);
    std::vector<std::string> result;
    if (Node* node = find(where))
        for (const auto& [key, child] : node->children) result.push_back(child->name);
    return result;
}

void FakeRegistry::makeReadOnly(platform::Handle root, const std::string& path) {
    Location where;
    std::vector<std::string> names;
    arrangeAt(root, path, where, names);
    rules_.push_back({where, Rule::ReadOnly});
}

void FakeRegistry::denyAccess(platform::Handle root, const std::string& path) {
    Location where;
    std::vector<std::string> names;
    arrangeAt(root, path, where, names);
    rules_.push_back({where, Rule::Denied});
}

// --- the platform calls ----------------------------------------------------------------

long FakeRegistry::openKey(platform::Handle root, const std::string& path, std::uint32_t access,
                           platform::Handle& key) {
    calls_.push_back("RegOpenKeyExA " + describe(root, path) + " " + hex(access));
    key = 0;
    if (const long e = failed("RegOpenKeyExA")) return e;
    Location where;
    if (const long e = locate(root, path, where)) return e;
    if (!find(where)) return platform::kErrorFileNotFound;
    if (ruled(where, Rule::Denied) || ((access & kWriteRights) && ruled(where, Rule::ReadOnly)))
        return platform::kErrorRegAccessDenied;
    key = handOut(where, access);
    return platform::kRegOk;
}

long FakeRegistry::createKey(platform::Handle root, const std::string& path, std::uint32_t access,
                             platform::Handle& key) {
    calls_.push_back("RegCreateKeyExA " + describe(root, path) + " " + hex(access));
    key = 0;
    if (const long e = failed("RegCreateKeyExA")) return e;
    Location where;
    std::vector<std::string> names;
    if (const long e = locate(root, path, where, &names)) return e;
    // Creating a missing key is itself a write.
    const bool writes = (access & kWriteRights) || !find(where);
    if (ruled(where, Rule::Denied) || (writes && ruled(where, Rule::ReadOnly)))
        return platform::kErrorRegAccessDenied;
    make(where, names);
    key = handOut(where, access);
    return platform::kRegOk;
}

long FakeRegistry::queryValue(platform::Handle key, const std::string& name, std::uint32_t* type,
                              std::vector<std::uint8_t>* data, std::uint32_t& size) {
    calls_.push_back("RegQueryValueExA " + hex(key) + " " + name);
    if (const long e = failed("RegQueryValueExA")) return e;
    Node* node = nullptr;
    if (const long e = openNode(key, platform::kKeyQueryValue, node)) return e;
    const Value* v = node->value(name);
    if (!v) return platform::kErrorFileNotFound;
    if (type) *type = v->type;
    const auto stored = static_cast<std::uint32_t>(v->data.size());
    if (data && size < stored) {
        data->clear();
        size = stored;
        return platform::kErrorMoreData;
    }
    if (data) *data = v->data;
    size = stored;
    return platform::kRegOk;
}

long FakeRegistry::setValue(platform::Handle key, const std::string& name, std::uint32_t type,
                            const std::vector<std::uint8_t>& data) {
    calls_.push_back("RegSetValueExA " + hex(key) + " " + name + " " + std::to_string(type));
    if (const long e = failed("RegSetValueExA")) return e;
    Node* node = nullptr;
    if (const long e = openNode(key, platform::kKeySetValue, node)) return e;
    if (Value* v = node->value(name))
        *v = {type, data};
    else
        node->values.push_back({name, {type, data}});
    return platform::kRegOk;
}

long FakeRegistry::deleteValue(platform::Handle key, const std::string& name) {
    calls_.push_back("RegDeleteValueA " + hex(key) + " " + name);
    if (const long e = failed("RegDeleteValueA")) return e;
    Node* node = nullptr;
    if (const long e = openNode(key, platform::kKeySetValue, node)) return e;
    for (auto it = node->values.begin(); it != node->values.end(); ++it) {
        if (upper(it->first) == upper(name)) {
            node->values.erase(it);
            return platform::kRegOk;
        }
    }
    return platform::kErrorFileNotFound;
}

long FakeRegistry::deleteKey(platform::Handle root, const std::string& path) {
    calls_.push_back("RegDeleteKeyA " + describe(root, path));
    if (const long e = failed("RegDeleteKeyA")) return e;
    Location where;
    if (const long e = locate(root, path, where)) return e;
    if (where.path.empty()) return platform::kErrorRegAccessDenied;  // a root stays
    Node* node = find(where);
    if (!node) return platform::kErrorFileNotFound;
    if (ruled(where, Rule::Denied) || ruled(where, Rule::ReadOnly) || !node->children.empty())
        return platform::kErrorRegAccessDenied;
    Location parent = where;
    parent.path.pop_back();
    find(parent)->children.erase(where.path.back());
    return platform::kRegOk;
}

long FakeRegistry::enumKey(platform::Handle key, std::uint32_t index, std::string& name,
                           std::uint32_t bufferChars) {
    calls_.push_back("RegEnumKeyA " + hex(key) + " " + std::to_string(index));
    if (const long e = failed("RegEnumKeyA")) return e;
    Node* node = nullptr;
    if (const long e = openNode(key, platform::kKeyEnumerateSubKeys, node)) return e;
    if (index >= node->children.size()) return platform::kErrorNoMoreItems;
    auto it = node->children.begin();
    std::advance(it, index);
    const std::string& found = it->second->name;
    if (codec_.toAnsi(found).size() + 1 > bufferChars) return platform::kErrorMoreData;
    name = found;
    return platform::kRegOk;
}

long FakeRegistry::enumValue(platform::Handle key, std::uint32_t index, std::string& name,
                             std::uint32_t& type, std::vector<std::uint8_t>& data) {
    calls_.push_back("RegEnumValueA " + hex(key) + " " + std::to_string(index));
    if (const long e = failed("RegEnumValueA")) return e;
    Node* node = nullptr;
    if (const long e = openNode(key, platform::kKeyQueryValue, node)) return e;
    if (index >= node->values.size()) return platform::kErrorNoMoreItems;
    const auto& [n, v] = node->values[index];
    name = n;
    type = v.type;
    data = v.data;
    return platform::kRegOk;
}

long FakeRegistry::queryInfoKey(platform::Handle key, platform::KeyInfo& info) {
    calls_.push_back("RegQueryInfoKeyA " + hex(key));
    if (const long e = failed("RegQueryInfoKeyA")) return e;
    Node* node = nullptr;
    if (const long e = openNode(key, platform::kKeyQueryValue, node)) return e;
    info = {};
    info.subKeys = static_cast<std::uint32_t>(node->children.size());
    info.values = static_cast<std::uint32_t>(node->values.size());
    for (const auto& [upperName, child] : node->children)
        info.maxSubKeyLength = std::max(
            info.maxSubKeyLength, static_cast<std::uint32_t>(codec_.toAnsi(child->name).size()));
    for (const auto& [n, v] : node->values) {
        info.maxValueNameLength =
            std::max(info.maxValueNameLength, static_cast<std::uint32_t>(codec_.toAnsi(n).size()));
        info.maxValueLength =
            std::max(info.maxValueLength, static_cast<std::uint32_t>(v.data.size()));
    }
    return platform::kRegOk;
}

long FakeRegistry::closeKey(platform::Handle key) {
    calls_.push_back("RegCloseKey " + hex(key));
    // A close reported as failed still gives the handle back, so leak counts stay true.
    const bool known = isPredefined(key) || open_.erase(key) > 0;
    if (const long e = failed("RegCloseKey")) return e;
    return known ? platform::kRegOk : kErrorInvalidHandle;
}

}  // namespace fake
