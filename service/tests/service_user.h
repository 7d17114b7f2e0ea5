// A system user of the test's own, named to the servers and the service
// through VELQOR_USER (and VELQOR_GROUP) instead of the machine-wide
// "velqor": every server that a test beside this one starts as root would
// drop to a velqor made here and lose its folders. Gone again at the end,
// whatever happens.
#pragma once

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "test_support.h"

namespace servicetest {

struct ServiceUser {
    std::string name = "velqoru" + std::to_string(::getpid());
    ServiceUser() = default;
    ServiceUser(const ServiceUser&) = delete;
    ServiceUser& operator=(const ServiceUser&) = delete;
    ~ServiceUser() {
        testsupport::RunCommand("userdel " + name + " 2>&1");
        testsupport::RunCommand("groupdel " + name + " 2>&1");
    }
    // Makes it as a system user with a group of the same name, no home and
    // no login: "" when made, else useradd's complaint. Another test's
    // useradd may hold the user database a moment: a few tries.
    std::string Make() {
        testsupport::CommandResult added{};
        for (int attempt = 0; attempt < 5; ++attempt) {
            added = testsupport::RunCommand("useradd --system --user-group --no-create-home --home-dir /nonexistent "
                                            "--shell /usr/sbin/nologin " + name + " 2>&1");
            if (added.exitCode == 0) return "";
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return added.output.empty() ? "useradd failed" : added.output;
    }
};

}  // namespace servicetest
