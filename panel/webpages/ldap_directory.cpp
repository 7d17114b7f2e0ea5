#include "panel/webpages/ldap_directory.h"

#include <cstdio>

#include "common/ascii_case.h"
#include "panel/framework/panel_state.h"

namespace panel {
namespace {

LdapFields EmptyFields() {
    LdapFields fields;
    for (const LdapKey& key : LdapKeys()) {
        if (key.text) (fields.*key.text).clear();
        else fields.*key.number = 0;
    }
    return fields;
}

// Directories of any size: the list shows at most this many users.
constexpr int kMostDirectoryUsers = 10000;

std::string Utf8(const QString& text) { return text.toStdString(); }

}  // namespace

LdapFields& SharedLdapSettings() {
    static LdapFields fields = EmptyFields();
    return fields;
}

bool& SharedLdapSettingsLoaded() {
    static bool loaded = false;
    return loaded;
}

bool& LdapSettingsChanged() {
    static bool changed = false;
    return changed;
}

void EnsureSharedLdapSettings() {
    if (SharedLdapSettingsLoaded()) return;
    // What the LDAP page would show: its defaults, then the file.
    LdapFields fields;
    ReadLdapSettingsFile(DataFolder() + common::ldap_ini::kFileName, fields);
    SharedLdapSettings() = fields;
    SharedLdapSettingsLoaded() = true;
}

std::unique_ptr<platform::LdapConnection> TestLdapLogin(const std::string& host, uint32_t port,
                                                        const std::string& id, const std::string& /*domain*/,
                                                        const std::string& pw) {
    int error = 0;
    auto connection =
        platform::LdapConnection::Open(host.empty() ? "localhost" : host, static_cast<int>(port), &error);
    if (!connection) {
        std::printf("ld failed with 0x%x.\n", error);
        std::fflush(stdout);
        return nullptr;
    }
    int result = connection->SetOptions(platform::LdapTimeouts{});
    if (result != platform::kLdapSuccess) {
        std::printf("ldap_set_option() returned 0x%x\n", result);
        std::fflush(stdout);
        return nullptr;
    }
    if (connection->SimpleBind(id, pw) != platform::kLdapSuccess) return nullptr;
    return connection;
}

std::vector<DirectoryUser> LoadDirectoryUsers(const LdapFields& settings) {
    std::vector<DirectoryUser> users;
    auto connection = TestLdapLogin(Utf8(settings.server), settings.port, Utf8(settings.id), std::string(),
                                    Utf8(settings.pw));
    if (!connection) return users;
    std::vector<platform::LdapConnection::Entry> entries;
    if (connection->SearchSubtree(Utf8(settings.schemadc), Utf8(settings.schemafilter), kMostDirectoryUsers,
                                  entries) != platform::kLdapSuccess)
        return users;
    const std::string idName = Utf8(settings.schemarid);
    const std::string passwordName = Utf8(settings.schemarpw);
    const std::string nameName = Utf8(settings.schemaname);
    for (const auto& entry : entries) {
        DirectoryUser user;
        for (const auto& [attribute, values] : entry.attributes) {
            QString* target = nullptr;
            if (common::EqualsIgnoringAsciiCase(attribute, idName)) target = &user.id;
            else if (common::EqualsIgnoringAsciiCase(attribute, passwordName)) target = &user.password;
            else if (common::EqualsIgnoringAsciiCase(attribute, nameName)) target = &user.name;
            // With several values the last one stands.
            if (target && !values.empty()) *target = QString::fromStdString(values.back());
        }
        if (!user.id.isEmpty()) users.push_back(std::move(user));
    }
    return users;
}

}  // namespace panel
