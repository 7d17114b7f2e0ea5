// A control panel test's own world: registry store, pipe folder, data root
// and program folder in one temporary folder, and helpers that read what
// the panel wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"
#include "platform/registry/registry.h"
#include "test_support.h"

namespace paneltest {

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeDirs(registryDir());
        testsupport::MakeDirs(pipeDir());
        testsupport::MakeDirs(dataRoot());
        testsupport::MakeDirs(programFolder());
        ::setenv("VELQOR_REGISTRY_DIR", registryDir().c_str(), 1);
        ::setenv("VELQOR_PIPE_DIR", pipeDir().c_str(), 1);
        ::setenv("VELQOR_TEST_DATA_ROOT", dataRoot().c_str(), 1);
        panel::State() = panel::PanelState{};
        panel::State().dataRootVariable = "VELQOR_TEST_DATA_ROOT";
        panel::State().programFolder = programFolder();
    }
    std::string registryDir() const { return dir_ / "registry"; }
    std::string pipeDir() const { return dir_ / "run"; }
    std::string dataRoot() const { return dir_ / "data root"; }
    std::string dataFolder() const { return dataRoot() + "/VELQOR/"; }
    std::string programFolder() const { return dir_ / "program folder"; }

    // A shell script (in the program folder unless told) that writes each argument it
    // gets as one line to <name>.args.
    std::string Recorder(const std::string& name, const std::string& folder = "") {
        std::string path = (folder.empty() ? programFolder() : folder) + "/" + name;
        testsupport::WriteFile(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args.tmp\"\n"
                                     "mv \"$0.args.tmp\" \"$0.args\"\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }
    // The lines a recorder got, once it has run (empty after ten seconds).
    std::vector<std::string> RecordedArguments(const std::string& recorderPath) {
        std::string file = recorderPath + ".args";
        testsupport::WaitUntil([&] { return testsupport::FileExists(file); });
        std::vector<std::string> lines;
        std::string text = testsupport::ReadFile(file), line;
        for (char c : text) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        return lines;
    }

    testsupport::TempDir dir_;
};

// A value as the store holds it, through the wide calls.
struct RawValue {
    long rc = -1;
    platform::DWORD type = 0;
    std::string bytes;
};
inline RawValue ReadRaw(const std::string& key, const std::u16string& name) {
    RawValue raw;
    platform::HKEY handle = nullptr;
    std::u16string path(key.begin(), key.end());
    raw.rc = platform::RegOpenKeyExW(platform::HKEY_LOCAL_MACHINE, path.c_str(), 0, platform::KEY_READ, &handle);
    if (raw.rc != 0) return raw;
    platform::DWORD size = 0;
    raw.rc = platform::RegQueryValueExW(handle, name.c_str(), nullptr, &raw.type, nullptr, &size);
    if (raw.rc == 0) {
        raw.bytes.resize(size);
        raw.rc = platform::RegQueryValueExW(handle, name.c_str(), nullptr, &raw.type,
                                            reinterpret_cast<platform::BYTE*>(raw.bytes.data()), &size);
        raw.bytes.resize(size);
    }
    platform::RegCloseKey(handle);
    return raw;
}

inline bool KeyExists(const std::string& key) {
    platform::HKEY handle = nullptr;
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, key.c_str(), 0, platform::KEY_READ, &handle) != 0)
        return false;
    platform::RegCloseKey(handle);
    return true;
}

}  // namespace paneltest
