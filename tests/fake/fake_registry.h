// The simulated registry and ANSI code page. The registry is a real tree of keys below the
// predefined roots, with case-insensitive names, typed values held as raw bytes, handles that
// must be closed, access rights (a subtree can be made read-only or closed entirely) and the
// platform's statuses, so the program's use of it can be checked exactly. HKEY_CLASSES_ROOT is
// a tree of its own here, not a view of the two Classes keys, so each write shows where it went.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace fake {

// Shared with the rest of the machine (fake_platform.h).
class Faults;
using CallLog = std::vector<std::string>;

// A double-byte code page like GBK: ASCII takes one byte; CJK ideographs (U+4E00-U+9FFF), CJK
// punctuation (U+3000-U+303F) and full-width forms (U+FF00-U+FFEF) take two, a lead byte of
// 0x81 or more and a trail byte, and come back unchanged; anything else becomes "?".
class FakeCodec : public platform::TextCodec {
public:
    std::string toAnsi(const std::string& utf8) override;
    std::string fromAnsi(const std::string& ansi) override;
};

class FakeRegistry : public platform::Registry {
public:
    struct Value {
        std::uint32_t type = platform::kRegNone;
        std::vector<std::uint8_t> data;
    };

    FakeRegistry(CallLog& calls, Faults& faults);
    ~FakeRegistry() override;

    // --- Shaping and inspecting the machine: no call is recorded and no right checked.
    void addKey(platform::Handle root, const std::string& path);
    // Stores a value, creating the key path as needed.
    void put(platform::Handle root, const std::string& path, const std::string& name,
             std::uint32_t type, std::vector<std::uint8_t> data);
    // A text in the simulated code page followed by its NUL.
    void putText(platform::Handle root, const std::string& path, const std::string& name,
                 const std::string& utf8, std::uint32_t type = platform::kRegSz);
    void putDword(platform::Handle root, const std::string& path, const std::string& name,
                  std::uint32_t n);
    bool hasKey(platform::Handle root, const std::string& path) const;
    std::optional<Value> get(platform::Handle root, const std::string& path,
                             const std::string& name) const;
    std::vector<std::string> subKeys(platform::Handle root, const std::string& path) const;
    // Opening or creating with any write right at or below the key, and deleting there, fail
    // with ERROR_ACCESS_DENIED. An empty path makes the whole root read-only.
    void makeReadOnly(platform::Handle root, const std::string& path = "");
    // Every open at or below the key fails with ERROR_ACCESS_DENIED.
    void denyAccess(platform::Handle root, const std::string& path);
    // Handles handed out and not yet closed; every operation should leave this at 0.
    std::size_t openKeys() const { return open_.size(); }

    // --- platform::Registry
    long openKey(platform::Handle root, const std::string& path, std::uint32_t access,
                 platform::Handle& key) override;
    long createKey(platform::Handle root, const std::string& path, std::uint32_t access,
                   platform::Handle& key) override;
    long queryValue(platform::Handle key, const std::string& name, std::uint32_t* type,
                    std::vector<std::uint8_t>* data, std::uint32_t& size) override;
    long setValue(platform::Handle key, const std::string& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override;
    long deleteValue(platform::Handle key, const std::string& name) override;
    long deleteKey(platform::Handle root, const std::string& path) override;
    long enumKey(platform::Handle key, std::uint32_t index, std::string& name,
                 std::uint32_t bufferChars) override;
    long enumValue(platform::Handle key, std::uint32_t index, std::string& name,
                   std::uint32_t& type, std::vector<std::uint8_t>& data) override;
    long queryInfoKey(platform::Handle key, platform::KeyInfo& info) override;
    long closeKey(platform::Handle key) override;

private:
    struct Node;
    struct Location {  // a key named from its root, in upper case
        platform::Handle root = 0;
        std::vector<std::string> path;
    };
    struct OpenKey {
        Location where;
        std::uint32_t access = 0;
    };
    enum class Rule { ReadOnly, Denied };

    long failed(const std::string& op);
    std::string describe(platform::Handle root, const std::string& path) const;
    // Where `path` below `root` (a predefined key or an open handle) leads; 0 or a status.
    long locate(platform::Handle root, const std::string& path, Location& where,
                std::vector<std::string>* names = nullptr) const;
    bool ruled(const Location& where, Rule rule) const;
    Node* find(const Location& where) const;
    Node& make(const Location& where, const std::vector<std::string>& names);
    // The open key behind a handle, with the right asked for; 0 or a status.
    long openNode(platform::Handle key, std::uint32_t right, Node*& node);
    platform::Handle handOut(const Location& where, std::uint32_t access);
    void arrangeAt(platform::Handle root, const std::string& path, Location& where,
                   std::vector<std::string>& names) const;

    CallLog& calls_;
    Faults& faults_;
    std::map<platform::Handle, std::unique_ptr<Node>> roots_;
    std::map<platform::Handle, OpenKey> open_;
    std::vector<std::pair<Location, Rule>> rules_;
    platform::Handle nextHandle_ = 0x1000;
    FakeCodec codec_;  // measures names in the code page, as the ANSI calls count them
};

}  // namespace fake
