#include "cwfs_fixture.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/pipe/pipe.h"

namespace cwfstest {

CwfsServer::CwfsServer() : rootPath_(root_.path()) {
    dataFolder_ = rootPath_ + "/VELQOR/";
    testsupport::MakeDirs(dataFolder_ + "cache");
    // The pipe client of this test process finds the server's pipe here.
    ::setenv("VELQOR_PIPE_DIR", pipes_.path().c_str(), 1);
}

CwfsServer::~CwfsServer() {
    if (process_) {
        process_->terminate();
        process_->wait(std::chrono::seconds(10));
    }
}

void CwfsServer::useDataFolderOf(const std::string& dataFolder) {
    dataFolder_ = dataFolder;
    if (dataFolder_.empty() || dataFolder_.back() != '/') dataFolder_ += '/';
    rootPath_ = dataFolder_.substr(0, dataFolder_.rfind('/', dataFolder_.size() - 2));
    testsupport::MakeDirs(dataFolder_ + "cache");
}

void CwfsServer::writeData(const std::string& name, const std::string& content) const {
    const std::string path = dataFolder_ + name;
    testsupport::MakeDirs(path.substr(0, path.rfind('/')));
    testsupport::WriteFile(path, content);
}

std::string CwfsServer::storeResponse(const std::string& name, const std::string& head,
                                      const std::string& body) const {
    const std::string path = dataFolder_ + "cache/" + name;
    testsupport::WriteFile(path, head + body);
    return path;
}

std::vector<std::string> CwfsServer::argv(const std::vector<std::string>& options) const {
    std::vector<std::string> argv = {testsupport::BinPath("orqcwfs"), "-e=CWFS_TEST_ROOT"};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

testsupport::Process::Options CwfsServer::processOptions() const {
    testsupport::Process::Options options;
    options.env["CWFS_TEST_ROOT"] = rootPath_;
    options.env["VELQOR_PIPE_DIR"] = pipes_.path();
    return options;
}

void CwfsServer::start(const std::vector<std::string>& options) {
    process_ = std::make_unique<testsupport::Process>(argv(options), processOptions());
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return log().find("Start Tavrisk Contents Word Filter Server\n") != std::string::npos; }))
        << log();
}

int CwfsServer::ask(const std::string& request, std::string& reply) const {
    std::string buffer(kRequestSize, '\0');
    buffer.replace(0, request.size(), request);
    return platform::CallNamedPipe("\\\\.\\pipe\\orqcwfs", buffer, kReplySize, reply, platform::kPipeWaitForever,
                                   60 * 1000);
}

FakeHttp::FakeHttp(const std::string& mode, const std::string& arg, const std::string& host) {
    std::vector<std::string> argv = {"/usr/bin/python3", testsupport::SourcePath("filters/cwfs/tests/fake_http.py"),
                                     dir_ / "port", dir_ / "requests.log", mode};
    if (!arg.empty()) argv.push_back(arg);
    testsupport::Process::Options options;
    options.env["FAKE_HTTP_HOST"] = host;
    process_ = std::make_unique<testsupport::Process>(argv, options);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return testsupport::FileExists(dir_ / "port"); }));
    if (testsupport::FileExists(dir_ / "port")) port_ = std::stoi(testsupport::ReadFile(dir_ / "port"));
}

std::string FakeHttp::requests() const {
    return testsupport::FileExists(dir_ / "requests.log") ? testsupport::ReadFile(dir_ / "requests.log") : "";
}

std::string Iconv(const std::string& text, const std::string& from, const std::string& to) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "in", text);
    const auto result = testsupport::RunCommand("/usr/bin/iconv -f " + from + " -t " + to + " " + (dir / "in") +
                                                " > " + (dir / "out"));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return testsupport::ReadFile(dir / "out");
}

}  // namespace cwfstest
