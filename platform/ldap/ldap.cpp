#include "platform/ldap/ldap.h"

#include <ldap.h>
#include <sys/time.h>

namespace platform {

namespace {

// The longest host name DNS can carry, in its dotted text form.
constexpr size_t kMaxHostNameLength = 255;

timeval ToTimeval(int ms) {
    if (ms < 0) ms = 0;
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

bool HostFitsUri(const std::string& host) {
    if (host.empty() || host.size() > kMaxHostNameLength) return false;
    for (unsigned char c : host) {
        // Characters that would end or change the meaning of the host part
        // of an ldap:// URL.
        if (c <= ' ' || c == '/' || c == '?' || c == '#' || c == '@' || c == '%' || c >= 0x7f)
            return false;
    }
    return true;
}

}  // namespace

int MapLdapResult(int code) {
    // OpenLDAP numbers its client-side failures -1 (server down) to -17
    // (referral limit); the classic C interface numbers the same failures
    // 0x51 to 0x61 in the same order.
    if (code >= LDAP_REFERRAL_LIMIT_EXCEEDED && code <= LDAP_SERVER_DOWN) return 0x50 - code;
    if (code < 0) return kLdapLocalError;
    return code;
}

std::unique_ptr<LdapConnection> LdapConnection::Open(const std::string& host, int port, int* error) {
    if (!HostFitsUri(host) || port <= 0 || port > 65535) {
        if (error) *error = kLdapParamError;
        return nullptr;
    }
    bool ipv6 = host.find(':') != std::string::npos && host.front() != '[';
    std::string uri = "ldap://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
    LDAP* ld = nullptr;
    int rc = ldap_initialize(&ld, uri.c_str());
    if (rc != LDAP_SUCCESS || !ld) {
        if (ld) ldap_unbind_ext_s(ld, nullptr, nullptr);
        if (error) *error = MapLdapResult(rc == LDAP_SUCCESS ? LDAP_LOCAL_ERROR : rc);
        return nullptr;
    }
    if (error) *error = kLdapSuccess;
    return std::unique_ptr<LdapConnection>(new LdapConnection(ld));
}

LdapConnection::~LdapConnection() {
    if (ld_) ldap_unbind_ext_s(ld_, nullptr, nullptr);
}

int LdapConnection::SetOptions(const LdapTimeouts& timeouts) {
    int version = LDAP_VERSION3;
    int rc = ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &version);
    if (rc != LDAP_OPT_SUCCESS) return MapLdapResult(rc);
    // A bind is answered by the server asked or not at all.
    rc = ldap_set_option(ld_, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    if (rc != LDAP_OPT_SUCCESS) return MapLdapResult(rc);
    timeval connect = ToTimeval(timeouts.connectMs);
    rc = ldap_set_option(ld_, LDAP_OPT_NETWORK_TIMEOUT, &connect);
    if (rc != LDAP_OPT_SUCCESS) return MapLdapResult(rc);
    timeval operation = ToTimeval(timeouts.operationMs);
    rc = ldap_set_option(ld_, LDAP_OPT_TIMEOUT, &operation);
    return MapLdapResult(rc);
}

int LdapConnection::SimpleBind(const std::string& dn, const std::string& password) {
    berval cred{};
    cred.bv_val = const_cast<char*>(password.data());
    cred.bv_len = password.size();
    int rc = ldap_sasl_bind_s(ld_, dn.c_str(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, nullptr);
    return MapLdapResult(rc);
}

int LdapConnection::SearchSubtree(const std::string& base, const std::string& filter, int maxEntries,
                                  std::vector<Entry>& entries) {
    entries.clear();
    LDAPMessage* result = nullptr;
    // The operation time-out set by SetOptions bounds the wait.
    int rc = ldap_search_ext_s(ld_, base.c_str(), LDAP_SCOPE_SUBTREE, filter.empty() ? nullptr : filter.c_str(),
                               nullptr, 0, nullptr, nullptr, nullptr, maxEntries > 0 ? maxEntries : 0, &result);
    // A size limit reached still carries the entries that came.
    if (rc == LDAP_SUCCESS || rc == LDAP_SIZELIMIT_EXCEEDED) {
        for (LDAPMessage* e = ldap_first_entry(ld_, result); e; e = ldap_next_entry(ld_, e)) {
            Entry entry;
            if (char* dn = ldap_get_dn(ld_, e)) {
                entry.dn = dn;
                ldap_memfree(dn);
            }
            BerElement* ber = nullptr;
            for (char* name = ldap_first_attribute(ld_, e, &ber); name; name = ldap_next_attribute(ld_, e, ber)) {
                std::vector<std::string> values;
                if (berval** list = ldap_get_values_len(ld_, e, name)) {
                    for (berval** v = list; *v; ++v) values.emplace_back((*v)->bv_val, (*v)->bv_len);
                    ldap_value_free_len(list);
                }
                entry.attributes.emplace_back(name, std::move(values));
                ldap_memfree(name);
            }
            if (ber) ber_free(ber, 0);
            entries.push_back(std::move(entry));
        }
        rc = LDAP_SUCCESS;
    }
    if (result) ldap_msgfree(result);
    return MapLdapResult(rc);
}

}  // namespace platform
