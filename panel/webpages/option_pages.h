// The small pages of the HTTP, FTP and SOCKS proxies: one on/off page a
// proxy (the proxy and its log), the pages of one or two values
// (connections, IP version, SOCKS version, data port range, cache
// lifetime) and the pages that only offer list-file buttons.
#pragma once

#include "panel/framework/switch_and_log_page.h"
#include "panel/framework/value_page.h"

namespace panel {

// The proxy switch and the log switch.
inline constexpr int kHttpOnCheck = 1002;
inline constexpr int kHttpLogCheck = 1020;
class CHttpSetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CHttpSetDlg(int templateId = 190, QWidget* parent = nullptr);
};
inline constexpr int kFtpOnCheck = 1017;
inline constexpr int kFtpLogCheck = 1022;
class CFtpSetupDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CFtpSetupDlg(int templateId = 192, QWidget* parent = nullptr);
};
inline constexpr int kSocksOnCheck = 1019;
inline constexpr int kSocksLogCheck = 1027;
class CSocksSetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CSocksSetDlg(int templateId = 194, QWidget* parent = nullptr);
};

#define VELQOR_VALUE_PAGE(Class, Template)                                  \
    class Class : public ValuePage {                                        \
    public:                                                                 \
        explicit Class(int templateId = Template, QWidget* parent = nullptr); \
                                                                            \
    protected:                                                              \
        void BuildTemplate() override;                                      \
    };

// Connections.
inline constexpr int kHttpConnectionsLabel = 1120;
inline constexpr int kHttpConnectionsEdit = 1121;
VELQOR_VALUE_PAGE(Chttp10dlg, 110)
inline constexpr int kFtpConnectionsLabel = 1195;
inline constexpr int kFtpConnectionsEdit = 1196;
VELQOR_VALUE_PAGE(Cftpdlg00, 116)
inline constexpr int kSocksConnectionsLabel = 1220;
inline constexpr int kSocksConnectionsEdit = 1219;
VELQOR_VALUE_PAGE(Csocksdlg00, 133)

// IP version (kIpv4OnlyRadio, kIpv6OnlyRadio, kIpBothRadio).
VELQOR_VALUE_PAGE(Chttpdlg00, 113)
VELQOR_VALUE_PAGE(Cftpdlg10, 117)
VELQOR_VALUE_PAGE(Csocksdlg10, 135)

// The data port range of FTP, and of FTP through SOCKS.
inline constexpr int kDataPortStartEdit = 1211;
inline constexpr int kDataPortEndEdit = 1212;
VELQOR_VALUE_PAGE(Cftpdlg11, 118)
VELQOR_VALUE_PAGE(Csocksdlg12, 140)

// The SOCKS versions served.
inline constexpr int kSocksBothRadio = 1225;
inline constexpr int kSocksV4OnlyRadio = 1226;
inline constexpr int kSocksV5OnlyRadio = 1227;
VELQOR_VALUE_PAGE(Csocksdlg11, 136)

// The cache: its lifetime, clearing it, the links it leaves out.
inline constexpr int kHttpCacheMinutesEdit = 1214;
inline constexpr int kHttpCacheClearButton = 1216;
inline constexpr int kNoCacheLinksButton = 1237;
VELQOR_VALUE_PAGE(Chttp01dlg, 112)
inline constexpr int kFtpCacheMinutesEdit = 1213;
inline constexpr int kCacheClearButton = 1215;
VELQOR_VALUE_PAGE(Cftpdlg12, 119)
inline constexpr int kSocksCacheMinutesEdit = 1229;
VELQOR_VALUE_PAGE(Csocksdlg13, 141)

// Pages of list-file buttons only; they save nothing.
inline constexpr int kFoundWordPageButton = 1258;
inline constexpr int kFoundVirusPageButton = 1257;
VELQOR_VALUE_PAGE(Chttpdlg02, 114)
inline constexpr int kFtpConnectListButton = 1207;
VELQOR_VALUE_PAGE(Cftpdlg1, 177)
inline constexpr int kSocksConnectListButton = 1228;
inline constexpr int kSocksWhiteListButton = 1231;
inline constexpr int kSocksBlackListButton = 1232;
inline constexpr int kSocksUriblButton = 1233;
inline constexpr int kSocksProtocolsButton = 1236;
VELQOR_VALUE_PAGE(Csocksdlg1, 179)

#undef VELQOR_VALUE_PAGE

}  // namespace panel
