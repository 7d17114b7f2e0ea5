#include "engine/access/ldap_settings.h"

#include <cstdlib>
#include <string_view>

#include "common/ldap_ini.h"
#include "common/list_file.h"
#include "common/text.h"
#include "platform/codepage/codepage.h"

namespace engine {

namespace {

// A leading signed decimal, 0 when there is none.
long LeadingNumber(std::string_view text) {
    std::string copy(text);
    return std::strtol(copy.c_str(), nullptr, 10);
}

}  // namespace

LdapSettings ReadLdapSettings(const std::string& path) {
    LdapSettings settings;
    if (path.empty()) return settings;

    namespace ini = common::ldap_ini;
    struct TextKey {
        std::string_view key;
        std::string LdapSettings::*field;
    };
    const TextKey textKeys[] = {
        {ini::kServer, &LdapSettings::server},
        {ini::kId, &LdapSettings::id},
        {ini::kPassword, &LdapSettings::pw},
        {ini::kSchemaRdn, &LdapSettings::schemaRdn},
        {ini::kSchemaDc, &LdapSettings::schemaDc},
        {ini::kSchemaFilter, &LdapSettings::schemaFilter},
        {ini::kSchemaHome, &LdapSettings::schemaHome},
        {ini::kSchemaName, &LdapSettings::schemaName},
        {ini::kSchemaMember, &LdapSettings::schemaMember},
    };
    struct NumberKey {
        std::string_view key;
        long LdapSettings::*field;
    };
    const NumberKey numberKeys[] = {
        {ini::kPort, &LdapSettings::port},
        {ini::kRetryTime, &LdapSettings::retryTime},
        {ini::kRetryMsec, &LdapSettings::retryMsec},
    };

    common::ListFileRules rules;
    rules.maxLineLength = ini::kLineLimit;
    common::ForEachListLine(path, rules, [&](std::string_view line) {
        for (const auto& k : textKeys) {
            if (common::StrIStr(line, k.key) == 0) {
                // The control panel writes the file in CP932; the directory
                // speaks UTF-8 (a Japanese base DN or RDN value would
                // otherwise name an entry that does not exist).
                settings.*k.field = platform::Cp932ToUtf8(line.substr(k.key.size()));
                return true;
            }
        }
        for (const auto& k : numberKeys) {
            if (common::StrIStr(line, k.key) == 0) {
                settings.*k.field = LeadingNumber(line.substr(k.key.size()));
                return true;
            }
        }
        return true;
    });
    return settings;
}

LdapSettings& ProcessLdapSettings() {
    static LdapSettings settings;
    return settings;
}

}  // namespace engine
