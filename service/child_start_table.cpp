#include "service/child_start_table.h"

#include <unistd.h>

#include <filesystem>

#include "common/archiver_values.h"
#include "common/proxy_values.h"
#include "common/secret_arguments.h"
#include "common/start_values.h"
#include "platform/pipe/pipe.h"
#include "service/child_control.h"
#include "service/event_source.h"
#include "service/product_settings.h"
#include "service/service_context.h"
#include "service/service_log.h"
#include "service/service_names.h"

namespace service {

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kTextSize = 261;
constexpr uint32_t kArchiverTextSize = 256;
// The scan server gets three chances, each with a longer wait.
constexpr int kProbeSeries[] = {60, 120, 180};

// Beside the pipes: a folder of root and its group, emptied at boot.
std::string ArchiverSecretFile() { return platform::PipeDirectory() + "/orqsvt.secret"; }

int32_t Dword(const std::string& name, uint32_t defaultValue) {
    return static_cast<int32_t>(ReadProductDword(kProductSettingsKey, name, defaultValue));
}

std::string Number(const std::string& name, uint32_t defaultValue) { return std::to_string(Dword(name, defaultValue)); }

std::string Text(const std::string& name, const std::string& defaultText, uint32_t size = kTextSize) {
    return ReadProductString(kProductSettingsKey, name, defaultText, size);
}

int32_t Dword(const common::DwordValue& value) { return Dword(value.name, value.byDefault); }
std::string Number(const common::DwordValue& value) { return Number(value.name, value.byDefault); }
std::string Text(const common::TextValue& value, uint32_t size = kTextSize) { return Text(value.name, value.byDefault, size); }

// "<count>,<number>" where the count is 0 while the switch is off.
std::string SwitchAndCount(const common::DwordValue& onSwitch, const common::DwordValue& countValue) {
    int32_t on = Dword(onSwitch);
    int32_t count = Dword(countValue);
    return std::to_string(on) + "," + std::to_string(on != 0 ? count : 0);
}

class ArgList {
public:
    ArgList& add(std::string arg) {
        // An empty argument leaves no trace on the child's command line.
        if (!arg.empty()) args_.push_back(std::move(arg));
        return *this;
    }
    ArgList& addIf(bool condition, std::string arg) { return condition ? add(std::move(arg)) : *this; }
    ArgList& logSwitch(const common::DwordValue& value) { return addIf(Dword(value) != 0, "-w"); }
    std::vector<std::string> take() { return std::move(args_); }

private:
    std::vector<std::string> args_;
};

std::string SocketTimeouts(const std::string& protocol) {
    uint32_t d = protocol == "socks" ? 60000 : 30000;
    return "-t=" + Number(protocol + "cltime", d) + "," + Number(protocol + "svtime", d) + "," +
           Number(protocol + "sslcltime", d) + "," + Number(protocol + "sslsvtime", d);
}

std::string PortRange(const common::DwordValue& low, const common::DwordValue& high) {
    return "-n=" + Number(low) + "-" + Number(high);
}

std::string ScanSizeLimit() {
    uint64_t high = ReadProductDword(kProductSettingsKey, "scanmaxsizehigh", 0);
    uint64_t low = ReadProductDword(kProductSettingsKey, "scanmaxsizelow", 0);
    return "-k=" + std::to_string(high << 32 | low);
}

std::string SpamOptionLine() {
    std::string names;
    namespace value = common::spam_value;
    for (auto [setting, name] : {std::pair{value::kLog, "log"}, {value::kSpf, "spf1"}, {value::kDate, "date"}}) {
        if (Dword(setting) == 0) continue;
        if (!names.empty()) names += ",";
        names += name;
    }
    return "SPAM Option=" + (names.empty() ? std::string("none") : names) + "\n";
}

// What every start of the engine begins with: -v (in -debug mode), the
// data root, the protocol, and the connection list as listen list.
ArgList EngineArgs(const std::string& v, const std::string& e, int protocol) {
    ArgList args;
    args.add(v).add(e).add("-p=" + std::to_string(protocol)).add("-f");
    return args;
}

ChildStart Started(const char* program, bool pause, const char* logLine, ArgList& args) {
    ChildStart step;
    step.program = program;
    step.pause = pause;
    step.logLine = logLine;
    step.args = args.take();
    return step;
}

ChildStart Skipped(const char* logLine) {
    ChildStart step;
    step.kind = ChildStart::Kind::Skip;
    step.logLine = logLine;
    return step;
}

void StartScanServer(const ChildStart& step) {
    std::vector<std::string> argv{step.program};
    argv.insert(argv.end(), step.args.begin(), step.args.end());
    std::string self = OwnProgramPath();
    for (int series : kProbeSeries) {
        if (IsProcessAbsent(step.program))
            WatchChild(Stop().StartChild("./" + step.program, argv), step.program, "./" + step.program, argv);
        for (int probe = 0; probe < series; ++probe) {
            if (!Stop().Pause(1000ms)) return;
            if (ProbeScanEngine(self, nullptr)) {
                WriteServiceLog("\n");
                return;
            }
            WriteServiceLog(".");
        }
    }
    WriteServiceLog("\n");
}

}  // namespace

std::vector<ChildStart> BuildChildStartTable(const ChildStartContext& context) {
    const std::string e = "-e=" + context.dataRootVariable;
    const std::string v = context.debug ? "-v" : "";
    std::vector<ChildStart> table;

    if (context.enginePresent && Dword(common::scan_value::kScanMode) == 1) {
        ArgList args;
        args.add(e).logSwitch(common::scan_value::kLog);
        table.push_back(Started("orqavs", true, "start engine.\n", args));
        table.back().kind = ChildStart::Kind::ScanServer;
    }

    if (Dword(common::spam_value::kCheck) != 0) {
        namespace value = common::spam_value;
        ArgList args;
        args.add("-t=" + Text(value::kTag)).add(e).logSwitch(value::kLog);
        args.addIf(Dword(value::kSpf) != 0, "-s").addIf(Dword(value::kDate) != 0, "-d");
        table.push_back(Started("orqspam", true, "start SPAM engine.\n", args));
        table.back().afterLine = SpamOptionLine();
    }

    {
        namespace value = common::archiver_value;
        int32_t fromType = Dword(value::kEnvelopeFromType);
        std::string from = "-m=" + std::to_string(fromType);
        if (fromType != 0) from += "," + Text(value::kEnvelopeFromAddress, kArchiverTextSize);
        ArgList args;
        args.add(e)
            .add("-z=" + Text(value::kExtension, kArchiverTextSize))
            .add("-s=" + Text(value::kSmtpServer, kArchiverTextSize))
            .add("-p=" + std::to_string(ReadProductDword(kProductSettingsKey, value::kSmtpPort.name,
                                                         value::kSmtpPort.byDefault)))
            .add(Dword(value::kEsmtp) != 0 ? "-a=1" : "-a=0")
            .add("-i=" + Text(value::kAuthId, kArchiverTextSize))
            .add("-y=" + ArchiverSecretFile())
            .add("-w=" + Number(value::kLog))
            .add("-f=" + Number(value::kIpVersion))
            .add("-c=" + Number(value::kRetryTime))
            .add("-u=" + Number(value::kUnitZip))
            .add(from)
            .add("-v=" + Number(value::kEnvelopeTo))
            .add("-t=" + SwitchAndCount(value::kToHead, value::kToHeadCount))
            .add("-q=" + SwitchAndCount(value::kCcHead, value::kCcHeadCount))
            .add("-x=dat")
            .add("-l=" + Number(value::kLevel));
        table.push_back(Started("orqsvt", false, "start SORVSPOOL engine.\n", args));
        // Any local user reads a command line; these stay in the file.
        table.back().secretFile = ArchiverSecretFile();
        table.back().secretArgs = {"-r=" + Text(value::kAuthPassword, kArchiverTextSize),
                                   "-@=" + Text(value::kUniquePassword, kArchiverTextSize)};
    }

    ChildStart clean;
    clean.kind = ChildStart::Kind::CleanCache;
    table.push_back(clean);

    namespace watch = common::watch_value;
    if (context.enginePresent && Dword(watch::kProcess) != 0) {
        ArgList args;
        args.add("-t=" + Text(watch::kProcessTime)).add(e).logSwitch(watch::kProcessLog);
        table.push_back(Started("orqmemo", true, "start memory\n", args));
    } else {
        table.push_back(Skipped("skip memory\n"));
    }

    if (context.enginePresent && Dword(watch::kFolder) != 0) {
        // The whole system drive by default, which on Linux is the root.
        ArgList args;
        args.add("-d=" + Text(watch::kDrivePath)).add(e).logSwitch(watch::kFolderLog);
        table.push_back(Started("orqfile", true, "start folder\n", args));
    } else {
        table.push_back(Skipped("skip folder\n"));
    }

    if (Dword(common::http_value::kOn) != 0) {
        namespace value = common::http_value;
        ArgList args = EngineArgs(v, e, 0);
        args.addIf(Dword(value::kAuth) != 0, "-a=" + Number(value::kAuthType));
        args.add("-c=" + Number(value::kMaxConnections))
            .add("-i=" + Number(value::kIpVersion))
            .add(SocketTimeouts("http"))
            .add(PortRange(common::ftp_value::kPortStart, common::ftp_value::kPortEnd))
            .add("-m=" + Number(value::kCacheExpire))
            .add(ScanSizeLimit())
            .add("-u=" + Number("httpaddheader", 14))
            .add("-g=" + Number("httpncsalog", 0))
            .add("-$=" + Number("httpconrtynum", 10))
            .add(Dword("httpkeepalive", 0) == 0 ? "-!=1" : "-!=0")
            .logSwitch(value::kLog);
        table.push_back(Started("orqhprx", true, "start http proxy\n", args));

        ArgList filter;
        std::string levels;
        if (Dword(value::kPicsUse) != 0)
            levels = "-l=" + Number(value::kPicsNudity) + "," + Number(value::kPicsSex) + "," +
                     Number(value::kPicsViolence) + "," + Number(value::kPicsLanguage) + "," +
                     Number(value::kPicsOther) + "," + Number(value::kPicsCommunication);
        filter.add("-m=" + Number("cwfshtmlbuffer", 300))
            .add("-c=" + Text("cwfshtmlcharset", "shift_jis"))
            .add(e)
            .logSwitch({"cwflog", 0})
            .add(levels)
            .add("-s=" + Text("cwfsproxy", ""));
        table.push_back(Started("orqcwfs", false, "start contents filter engine.\n", filter));
    } else {
        table.push_back(Skipped("skip http proxy\n"));
    }

    if (Dword(common::smtp_value::kOn) != 0) {
        namespace value = common::smtp_value;
        ArgList args = EngineArgs(v, e, 1);
        args.add("-c=" + Number(value::kMaxConnections)).add("-i=" + Number(value::kIpVersion));
        args.addIf(Dword(value::kMailBackup) != 0, "-b=" + Text(value::kBackupFolder));
        args.add("-j=" + Number(value::kSpamReject))
            .add(SocketTimeouts("smtp"))
            .add(ScanSizeLimit())
            .add("-u=" + Number("smtpaddheader", 1))
            .add("-$=" + Number("smtpconrtynum", 10))
            .logSwitch(value::kLog);
        table.push_back(Started("orqsprx", true, "start smtp proxy\n", args));
    } else {
        table.push_back(Skipped("skip smtp proxy\n"));
    }

    if (Dword(common::pop3_value::kOn) != 0) {
        namespace value = common::pop3_value;
        ArgList args = EngineArgs(v, e, 2);
        args.add("-c=" + Number(value::kMaxConnections))
            .add("-i=" + Number(value::kIpVersion))
            .add(SocketTimeouts("pop3"))
            .add("-d=" + Number(value::kVirusBody))
            .add(ScanSizeLimit())
            .add("-$=" + Number("pop3conrtynum", 10))
            .logSwitch(value::kLog);
        table.push_back(Started("orqpprx", true, "start pop3 proxy\n", args));
    } else {
        table.push_back(Skipped("skip pop3 proxy\n"));
    }

    if (Dword(common::ftp_value::kOn) != 0) {
        namespace value = common::ftp_value;
        ArgList args = EngineArgs(v, e, 4);
        args.add("-c=" + Number(value::kMaxConnections))
            .add("-i=" + Number(value::kIpVersion))
            .add(SocketTimeouts("ftp"))
            .add(PortRange(value::kPortStart, value::kPortEnd))
            .add("-m=" + Number(value::kCacheExpire))
            .add("-q=" + Number("ftpcmdconvert", 0))
            .add(ScanSizeLimit())
            .add("-$=" + Number("ftpconrtynum", 10))
            .logSwitch(value::kLog);
        table.push_back(Started("orqfprx", true, "start ftp proxy\n", args));
    } else {
        table.push_back(Skipped("skip ftp proxy\n"));
    }

    if (Dword(common::socks_value::kOn) != 0) {
        namespace value = common::socks_value;
        ArgList args = EngineArgs(v, e, 5);
        args.addIf(Dword(value::kAuth) != 0, "-a=" + Number(value::kAuthType));
        args.add("-o=" + Number(value::kType))
            .add("-c=" + Number(value::kMaxConnections))
            .add("-i=" + Number(value::kIpVersion))
            .add(SocketTimeouts("socks"))
            .add(PortRange(value::kPortStart, value::kPortEnd))
            .add("-m=" + Number(value::kCacheExpire))
            .add("-q=" + Number("socksftpcmdconvert", 0))
            .add(ScanSizeLimit())
            .add("-u=" + Number("httpaddheader", 14))
            .add("-$=" + Number("socksconrtynum", 10))
            .logSwitch(value::kLog);
        table.push_back(Started("orqcprx", true, "start socks proxy\n", args));
    } else {
        table.push_back(Skipped("skip socks proxy\n"));
    }
    return table;
}

void RemoveSecretArguments() { ::unlink(ArchiverSecretFile().c_str()); }

void CleanCacheFolder() {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it(DataRoot() + "/VELQOR/cache", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_directory(typeError) || it->is_symlink(typeError)) fs::remove(it->path(), typeError);
    }
}

void StartChildren(bool enginePresent) {
    auto table = BuildChildStartTable({Settings().dataRootVariable, Settings().debug, enginePresent});
    for (const auto& step : table) {
        if (Stop().raised()) return;
        if (step.pause && !Stop().Pause(1000ms)) return;
        // A server that ended during the pause (a busy port, a bad option)
        // is told before the next one's line.
        ReportEndedChildren();
        switch (step.kind) {
        case ChildStart::Kind::Skip:
            WriteServiceLog(step.logLine);
            break;
        case ChildStart::Kind::CleanCache:
            CleanCacheFolder();
            break;
        case ChildStart::Kind::ScanServer:
            WriteServiceLog(step.logLine);
            StartScanServer(step);
            break;
        case ChildStart::Kind::Start: {
            WriteServiceLog(step.logLine);
            if (!step.secretFile.empty() && !common::WriteSecretArguments(step.secretFile, step.secretArgs))
                WriteServiceLog("cannot write " + step.secretFile + ".\n");
            std::vector<std::string> argv{step.program};
            argv.insert(argv.end(), step.args.begin(), step.args.end());
            // A child that cannot start is not waited for; the next follows.
            WatchChild(Stop().StartChild("./" + step.program, argv), step.program, "./" + step.program, argv);
            if (!step.afterLine.empty()) WriteServiceLog(step.afterLine);
            break;
        }
        }
    }
}

}  // namespace service
