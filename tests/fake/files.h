// Files and folders, the DLLs of the system folder, and the System event log.
#pragma once

#include "tests/fake/record.h"

namespace fake {

struct FakeFiles : Recording<P::Files> {
    using Recording::Recording;
    std::map<std::string, std::string> content;  // files by full path
    // Other names that exist (folders, programs); files another program holds (writes and
    // renames fail); names that are links (a reparse point, or a second name).
    std::set<std::string> existing, locked, links;
    std::size_t room = SIZE_MAX;                  // bytes the disk still takes
    std::map<std::string, P::AccessList> access;  // folders' access lists; others unreadable
    // Each file's index, given out when first asked for: a test erases it to make the file anew.
    std::map<std::string, std::uint64_t> ids;

    P::FileResult appendFile(const std::string& path, const std::string& bytes,
                             std::size_t& written) override {
        written = 0;
        if (links.count(path)) return P::FileResult::Linked;
        if (r_.call("AppendFile " + path) || locked.count(path) || r_.exited)
            return P::FileResult::Failed;
        written = std::min(bytes.size(), room);
        room -= written;
        content[path] += bytes.substr(0, written);
        return written == bytes.size() ? P::FileResult::Done : P::FileResult::Failed;
    }
    std::int64_t fileSize(const std::string& path) override {
        return content.count(path) ? std::int64_t(content[path].size()) : -1;
    }
    P::FileResult replaceFile(const std::string& from, const std::string& to) override {
        if (links.count(from) || links.count(to)) return P::FileResult::Linked;
        if (locked.count(from) || locked.count(to) || !content.count(from))
            return P::FileResult::Failed;
        content[to] = std::move(content.extract(from).mapped());
        ids.erase(to);  // the file keeps its identity under its new name
        if (const auto id = ids.extract(from)) ids[to] = id.mapped();
        return P::FileResult::Done;
    }
    bool fileExists(const std::string& path) override {
        return content.count(path) || existing.count(path);
    }
    bool listFolder(const std::string& folder, std::vector<std::string>& names) override {
        names.clear();
        if (r_.call("FindFirstFileW " + folder) || !existing.count(folder)) return false;
        for (const auto& [path, bytes] : content)
            if (path.starts_with(folder + "\\") && path.find('\\', folder.size() + 1) == path.npos)
                names.push_back(path.substr(folder.size() + 1));
        return true;
    }
    bool readFile(const std::string& path, std::int64_t offset, std::size_t count,
                  std::string& bytes) override {
        if (r_.call("ReadFile " + path) || !content.count(path) || offset < 0) return false;
        const std::string& all = content[path];
        bytes = std::size_t(offset) < all.size() ? all.substr(std::size_t(offset), count) : "";
        return true;
    }
    bool fileIdentity(const std::string& path, P::FileIdentity& identity) override {
        // No creation time.
        return content.count(path) &&
               (identity = {ids.try_emplace(path, ++lastId_).first->second, 0}, true);
    }
    bool folderAccess(const std::string& path, P::AccessList& list) override {
        return !r_.call("GetNamedSecurityInfoW " + path) && access.count(path) &&
               (list = access[path], true);
    }

private:
    std::uint64_t lastId_ = 0;
};

// The system folder and what its DLLs export; a run-time load takes a DLL from there only.
struct FakeLibraries : Recording<P::Libraries> {
    using Recording::Recording;
    std::string systemFolder = "C:\\Windows\\system32";
    std::map<std::string, std::set<std::string>> exports;  // by DLL name, in upper case
    bool defaultDirectories = true;                        // kernel32 has SetDefaultDllDirectories

    bool setDllDirectory(const std::string& path) override {
        return !r_.call("SetDllDirectoryW \"" + path + "\"");
    }
    bool setDefaultDllDirectories(std::uint32_t flags) override {
        return !r_.call("SetDefaultDllDirectories " + Hex(flags)) && defaultDirectories;
    }
    P::Handle loadSystemLibrary(const std::string& name) override {
        const std::string path = systemFolder + "\\" + name;
        if (r_.call("LoadLibraryExW " + path) || !exports.count(UpperCase(name))) return 0;
        loaded_.push_back({path, UpperCase(name)});
        return loaded_.size();
    }
    std::string modulePath(P::Handle library) override {
        return library && library <= loaded_.size() ? loaded_[library - 1].first : "";
    }
    bool hasFunction(P::Handle library, const std::string& name) override {
        return library && library <= loaded_.size() &&
               exports[loaded_[library - 1].second].count(name);
    }

private:
    std::vector<std::pair<std::string, std::string>> loaded_;  // path, name
};

// The System event log: what it holds, handed out in reads of the sizes the caller asks for, newest
// record first; each read hands out whole records that fit, as ReadEventLogW does.
struct FakeEventLog : Recording<P::EventLog> {
    using Recording::Recording;
    std::vector<Bytes> records;  // newest first
    bool readable = true;

    P::Handle openEventLog(const std::string& source) override {
        r_.call("OpenEventLogW " + source);
        return readable ? (next_ = 0, 0x5000) : 0;
    }
    bool readEventLog(P::Handle, std::uint32_t flags, std::uint32_t size, Bytes& out,
                      std::uint32_t& needed) override {
        r_.call("ReadEventLogW " + Hex(flags) + " " + std::to_string(size));
        out.clear();
        while (next_ < records.size() && out.size() + records[next_].size() <= size)
            out.insert(out.end(), records[next_].begin(), records[next_].end()), ++next_;
        if (!out.empty()) return true;
        error_ = next_ < records.size() ? P::kErrorInsufficientBuffer : P::kErrorHandleEof;
        needed = next_ < records.size() ? std::uint32_t(records[next_].size()) : 0;
        return false;
    }
    void closeEventLog(P::Handle) override { r_.call("CloseEventLog"); }
    std::uint32_t lastError() override { return error_; }

private:
    std::uint32_t error_ = 0;
    std::size_t next_ = 0;
};

}  // namespace fake
