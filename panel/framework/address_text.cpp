#include "panel/framework/address_text.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace panel {
namespace {

constexpr int kMaxHostName = 253;
constexpr int kMaxLabel = 63;

bool IsHostName(const QString& text) {
    if (text.isEmpty() || text.size() > kMaxHostName) return false;
    int label = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'.') {
            if (label == 0) return false;
            label = 0;
            continue;
        }
        const bool allowed = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
                             u == u'-' || u == u'_';
        if (!allowed || ++label > kMaxLabel) return false;
    }
    return true;
}

}  // namespace

bool IsAddressOrHostName(const QString& text) {
    for (QChar c : text)
        if (c.unicode() > 0x7e || c.unicode() <= 0x20) return false;
    const QByteArray ascii = text.toLatin1();
    unsigned char address[sizeof(in6_addr)];
    if (::inet_pton(AF_INET, ascii.constData(), address) == 1) return true;
    if (::inet_pton(AF_INET6, ascii.constData(), address) == 1) return true;
    // A name ending in a dot is fully qualified.
    return IsHostName(text.endsWith(u'.') ? text.chopped(1) : text);
}

QString NotAnAddressMessage() {
    return QString::fromUtf8("「%1」には IPv4 アドレス、IPv6 アドレスまたはホスト名を半角で入力してください。");
}

QString PortRangeMessage() { return QString::fromUtf8("「%1」には 1 から 65535 までの整数を入力してください。"); }

}  // namespace panel
