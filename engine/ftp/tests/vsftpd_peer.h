// A real vsftpd on a free loopback port, in the foreground, with its own
// configuration, certificate and anonymous root in a folder of the test;
// stopped with the fixture. Anonymous logins may read everything below the
// root and write in its "pub" folder; AUTH TLS is offered but never forced.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace ftptest {

inline constexpr const char* kVsftpd = "/usr/sbin/vsftpd";

class VsftpdPeer {
public:
    // extra: further lines of vsftpd.conf ("anon_max_rate=1000000");
    // address: the loopback address it listens on and names in its 227.
    explicit VsftpdPeer(const std::vector<std::string>& extra = {}, const std::string& address = "127.0.0.1") {
        if (::access(kVsftpd, X_OK) != 0) return;
        testsupport::MakeDirs(root() + "/pub");
        testsupport::MakeDirs(dir_ / "empty");
        // The anonymous root must not be writable by the ftp user; its
        // "pub" folder is.
        ::chmod(root().c_str(), 0755);
        ::chmod(dir_.path().c_str(), 0755);
        if (::chown((root() + "/pub").c_str(), FtpUser(), static_cast<gid_t>(-1)) != 0) return;
        const auto cert = testsupport::RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost"
                                                  " -keyout " + (dir_ / "key.pem") + " -out " + (dir_ / "cert.pem") +
                                                  " 2>&1");
        if (cert.exitCode != 0) return;
        for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
            const int port = testsupport::FreeTcpPort();
            std::string conf =
                "listen=YES\nlisten_ipv6=NO\nlisten_address=" + address + "\nlisten_port=" + std::to_string(port) +
                "\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nno_anon_password=YES\nanon_root=" + root() +
                "\nwrite_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                "anon_other_write_enable=YES\nanon_umask=022\nsecure_chroot_dir=" + (dir_ / "empty") +
                "\npasv_enable=YES\npasv_address=" + address + "\nport_enable=YES\nconnect_from_port_20=NO\n"
                "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=NO\nforce_anon_data_ssl=NO\n"
                "ssl_request_cert=NO\nrequire_ssl_reuse=NO\nrsa_cert_file=" + (dir_ / "cert.pem") +
                "\nrsa_private_key_file=" + (dir_ / "key.pem") +
                "\nseccomp_sandbox=NO\nisolate_network=NO\nisolate=NO\nlog_ftp_protocol=YES\nxferlog_enable=YES\n"
                "xferlog_std_format=NO\nvsftpd_log_file=" + log() + "\nmax_per_ip=200\nmax_clients=200\n";
            for (const std::string& line : extra) conf += line + "\n";
            testsupport::WriteFile(dir_ / "vsftpd.conf", conf);
            process_ = std::make_unique<testsupport::Process>(std::vector<std::string>{kVsftpd, dir_ / "vsftpd.conf"},
                                                              testsupport::Process::Options{});
            if (testsupport::WaitForTcpPort(address, port, std::chrono::seconds(5))) port_ = port;
        }
    }
    // 0 when vsftpd is missing or did not start.
    int port() const { return port_; }
    std::string root() const { return dir_ / "root"; }
    // The server's log: every command and reply ("FTP command: ... \"ABOR\"").
    std::string protocolLog() const { return testsupport::FileExists(log()) ? testsupport::ReadFile(log()) : ""; }
    std::string startError() const { return process_ ? process_->out() + process_->err() : "vsftpd missing"; }
    void put(const std::string& relative, const std::string& content) const {
        const std::string path = root() + "/" + relative;
        testsupport::MakeDirs(path.substr(0, path.rfind('/')));
        testsupport::WriteFile(path, content);
    }

private:
    static uid_t FtpUser() {
        const auto id = testsupport::RunCommand("id -u ftp");
        return id.exitCode == 0 ? static_cast<uid_t>(std::stoul(id.output)) : static_cast<uid_t>(-1);
    }
    std::string log() const { return dir_ / "vsftpd.log"; }
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::Process> process_;
    int port_ = 0;
};

}  // namespace ftptest
