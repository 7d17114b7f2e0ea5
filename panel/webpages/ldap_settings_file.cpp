#include "panel/webpages/ldap_settings_file.h"

#include "common/list_file.h"
#include "common/ascii_case.h"
#include "panel/framework/cp932_text.h"

namespace panel {
namespace {

// The leading decimal digits; 0 when there are none.
uint32_t LeadingDigits(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > UINT32_MAX) value = UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

const std::vector<LdapKey>& LdapKeys() {
    namespace ini = common::ldap_ini;
    static const std::vector<LdapKey> keys = {
        {ini::kServer, &LdapFields::server, nullptr},
        {ini::kPort, nullptr, &LdapFields::port},
        {ini::kId, &LdapFields::id, nullptr},
        {ini::kPassword, &LdapFields::pw, nullptr},
        {ini::kGroup, &LdapFields::group, nullptr},
        {ini::kAccountControl, &LdapFields::accountctl, nullptr},
        {ini::kAccountControlCode, nullptr, &LdapFields::accountctlcode},
        {ini::kObjectClass, &LdapFields::objectclass, nullptr},
        {ini::kSchemaRid, &LdapFields::schemarid, nullptr},
        {ini::kSchemaRpw, &LdapFields::schemarpw, nullptr},
        {ini::kSchemaRdn, &LdapFields::schemardn, nullptr},
        {ini::kSchemaDc, &LdapFields::schemadc, nullptr},
        {ini::kSchemaFilter, &LdapFields::schemafilter, nullptr},
        {ini::kSchemaHome, &LdapFields::schemahome, nullptr},
        {ini::kSchemaName, &LdapFields::schemaname, nullptr},
        {ini::kSchemaMember, &LdapFields::schemamember, nullptr},
    };
    return keys;
}

std::string FormatLdapSettings(const LdapFields& fields) {
    std::string bytes;
    for (const LdapKey& key : LdapKeys()) {
        bytes += key.key;
        bytes += key.text ? ToCp932(fields.*key.text) : std::to_string(fields.*key.number);
        bytes += "\r\n";
    }
    return bytes;
}

bool ReadLdapSettingsFile(const std::string& path, LdapFields& fields) {
    common::ListFileRules rules;
    rules.maxLineLength = common::ldap_ini::kLineLimit;
    return common::ForEachListLine(path, rules, [&](std::string_view line) {
        for (const LdapKey& key : LdapKeys()) {
            std::string_view name(key.key);
            // "accountctl=" is not a prefix of "accountctlcode=": the "="
            // is part of the compared text.
            if (!common::StartsWithIgnoringAsciiCase(line, name)) continue;
            std::string_view value = line.substr(name.size());
            if (key.text)
                fields.*key.text = FromCp932(value);
            else
                fields.*key.number = LeadingDigits(value);
            break;
        }
        return true;
    });
}

}  // namespace panel
