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

// Base64 as a mail client writes it, in lines of the given length.
inline std::string Base64Lines(const std::string& data, size_t lineLength = 76) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string flat;
    for (size_t i = 0; i < data.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (i + 2 < data.size()) v |= static_cast<unsigned char>(data[i + 2]);
        flat += table[(v >> 18) & 63];
        flat += table[(v >> 12) & 63];
        flat += i + 1 < data.size() ? table[(v >> 6) & 63] : '=';
        flat += i + 2 < data.size() ? table[v & 63] : '=';
    }
    std::string out;
    for (size_t at = 0; at < flat.size(); at += lineLength) out += flat.substr(at, lineLength) + "\r\n";
    return out;
}

// What Python's email module sees in a mail file: a line per leaf part
// (type, decoded file name, body size), each body in bodies/<n>.bin.
struct MailListing {
    std::string text;
    testsupport::TempDir bodies;
};

inline void ListParts(const std::string& mail, MailListing& listing) {
    auto r = testsupport::RunCommand("/usr/bin/python3 " +
                                     testsupport::SourcePath("archiver/svt/tests/mail_parts.py") + " " + mail + " " +
                                     listing.bodies.path());
    EXPECT_EQ(r.exitCode, 0) << r.output;
    listing.text = r.output;
}

// The password a password mail tells, read as its reader would.
inline std::string PasswordFrom(const std::string& pwMailPath) {
    auto text = testsupport::RunCommand("iconv -f ISO-2022-JP -t UTF-8 " + pwMailPath);
    const size_t open = text.output.find('\'');
    const size_t close = open == std::string::npos ? open : text.output.find('\'', open + 1);
    return close == std::string::npos ? "" : text.output.substr(open + 1, close - open - 1);
}

}  // namespace svttest
