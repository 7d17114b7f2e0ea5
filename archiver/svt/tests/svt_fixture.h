// A running orqsvt with a data root, a pipe folder and the engine's cache
// folder of its own, asked the way the engine asks it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/pipe/pipe.h"
#include "test_support.h"

namespace svttest {

class Orqsvt {
public:
    explicit Orqsvt(std::vector<std::string> args, std::string dataRootVar = "SVT_TEST_ROOT") {
        testsupport::MakeDirs(cacheFolder());
        testsupport::MakeDirs(pipeDir());
        ::setenv("VELQOR_PIPE_DIR", pipeDir().c_str(), 1);
        std::vector<std::string> argv{testsupport::BinPath("orqsvt"), "-e=" + dataRootVar};
        argv.insert(argv.end(), args.begin(), args.end());
        testsupport::Process::Options options;
        options.env = {{"VELQOR_PIPE_DIR", pipeDir()}, {dataRootVar, root_.path()}, {"TZ", "UTC"}};
        process_ = std::make_unique<testsupport::Process>(argv, options);
        started_ = testsupport::WaitUntil([this] { return log().find("Start Tavrisk Sorvant Server") != std::string::npos; });
        EXPECT_TRUE(started_) << process_->out() << process_->err();
    }
    ~Orqsvt() { process_->terminate(); process_->wait(std::chrono::seconds(10)); }

    std::string pipeDir() const { return root_ / "pipes"; }
    std::string dataFolder() const { return root_ / "VELQOR"; }
    std::string cacheFolder() const { return root_ / "VELQOR/cache"; }
    std::string workFolder() const { return root_ / "VELQOR/sorvspool"; }
    std::string log() const { return process_->out(); }
    testsupport::Process& process() { return *process_; }

    // The engine's request: the path in 521 zero-filled bytes.
    int Ask(const std::string& path, std::string& reply) {
        std::string request = path;
        request.resize(521, '\0');
        return platform::CallNamedPipe("\\\\.\\pipe\\orqsvt", request, 521, reply, platform::kPipeWaitForever,
                                       30000);
    }

    // A mail of the engine with its envelope, as the SMTP relay leaves them.
    std::string PutMail(const std::string& id, const std::string& mail, const std::string& sender = "from@example.test",
                        const std::vector<std::string>& recipients = {"to@example.test"}) {
        testsupport::WriteFile(cacheFolder() + "/" + id + ".dat", mail);
        std::string envelope = "Message-ID: <" + id + ">\r\nReturn-path: " + sender + "\r\n";
        for (const auto& r : recipients) envelope += "Recipient: " + r + "\r\n";
        testsupport::WriteFile(cacheFolder() + "/" + id + ".$CP", envelope);
        return cacheFolder() + "/" + id + ".dat";
    }

private:
    testsupport::TempDir root_;
    std::unique_ptr<testsupport::Process> process_;
    bool started_ = false;
};

}  // namespace svttest
