#include "panel/app/startup_steps.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "common/ascii_case.h"
#include "common/data_folder.h"
#include "common/start_values.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"

namespace panel {
namespace {

constexpr char kOlderProductKey[] = "SOFTWARE\\QUESSAT\\MORVASK";
constexpr char kMailServerKey[] = "SOFTWARE\\EMWAC\\IMS";

std::string ReadWorkenv(const char* key) {
    std::string value;
    RegReadString(RegRoot::LocalMachine, key, common::kDataRootVariable.name, common::kDataRootVariable.byDefault, value,
                  512);
    return value;
}

// The whole copy appears under the target name at once, so the mail server
// never reads half of it.
void CopyWhole(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    if (!in) return;
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string temporary = to + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush()) {
            std::remove(temporary.c_str());
            return;
        }
    }
    if (std::rename(temporary.c_str(), to.c_str()) != 0) std::remove(temporary.c_str());
}

}  // namespace

std::string AdoptDataRootVariable() {
    std::string older = ReadWorkenv(kOlderProductKey);
    std::string product = ReadWorkenv(kProductSettingsKey);
    if (common::EqualsIgnoringAsciiCase(product, common::kDataRootVariable.byDefault) &&
        !common::EqualsIgnoringAsciiCase(older, product)) {
        RegWriteString(kProductSettingsKey, common::kDataRootVariable.name, older);
        product = ReadWorkenv(kProductSettingsKey);
    }
    return product;
}

void CreateDataFolder() {
    std::string folder = DataFolder();
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0777);
}

void SetupMailServerRegistry() {
    if (RegReadDword(kMailServerKey, "UserManager", 0xFFFFFFFF) == 0xFFFFFFFF) {
        RegWriteDword(kMailServerKey, "UserManager", 0);
        std::string membership;
        RegReadString(RegRoot::LocalMachine, kMailServerKey, "Membership", "", membership, 522);
        if (membership.empty()) {
            static const char kDomain[] = "dummy-domain";
            RegWriteBinary(kMailServerKey, "DomainNamesAreLocal", kDomain, sizeof kDomain - 1);
            RegWriteString(kMailServerKey, "Membership", DataFolder());
        }
    }
    CopyWhole(DataFolder() + "http-auth.ini", DataFolder() + "dummy-domain.idx");
}

}  // namespace panel
