// The attachment archiving pages of the SMTP section: what is zipped and
// how the password mail goes out, the To: and Cc: header limits, and the
// archiving log with its list of listen addresses.
#pragma once

#include <QString>
#include <cstdint>

#include "panel/framework/settings_page.h"

namespace panel {

// What is zipped, with the extension and the added password.
inline constexpr int kZipUnitGroup = 1286;
inline constexpr int kZipWholeMailRadio = 1284;
inline constexpr int kZipEachAttachmentRadio = 1285;
inline constexpr int kZipExtensionLabel = 1273;
inline constexpr int kZipExtensionEdit = 1274;
inline constexpr int kZipPasswordLabel = 1275;
inline constexpr int kZipPasswordEdit = 1276;
// The server the password mail goes through, its authentication, the
// sender and recipient of the password mail and the IP version.
inline constexpr int kPasswordMailSmtpGroup = 1263;
inline constexpr int kPasswordMailSmtpLabel = 1272;
inline constexpr int kPasswordMailSmtpEdit = 1260;
inline constexpr int kPasswordMailPortLabel = 1261;
inline constexpr int kPasswordMailPortEdit = 1262;
inline constexpr int kPasswordMailAuthGroup = 1264;
inline constexpr int kPasswordMailAuthCheck = 1265;
inline constexpr int kPasswordMailAuthIdLabel = 1266;
inline constexpr int kPasswordMailAuthIdEdit = 1268;
inline constexpr int kPasswordMailAuthPasswordLabel = 1267;
inline constexpr int kPasswordMailAuthPasswordEdit = 1269;
inline constexpr int kPasswordMailFromGroup = 1288;
inline constexpr int kPasswordMailFromSenderRadio = 1289;
inline constexpr int kPasswordMailFromGivenRadio = 1290;
inline constexpr int kPasswordMailFromEdit = 1291;
inline constexpr int kPasswordMailToGroup = 1293;
inline constexpr int kPasswordMailToRecipientRadio = 1294;
inline constexpr int kPasswordMailToSenderRadio = 1295;
inline constexpr int kPasswordMailIpGroup = 1278;
inline constexpr int kPasswordMailIpv4Radio = 1281;
inline constexpr int kPasswordMailIpv6Radio = 1282;
// The two message files.
inline constexpr int kZippedMessageButton = 1259;
inline constexpr int kPasswordMessageButton = 1270;
class Csorvant : public SettingsPage {
    Q_OBJECT
public:
    explicit Csorvant(int templateId = 182, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void ApplyAuthRule();
    // Stored values, read from the store (or its defaults) when the page
    // opens; a radio group's stored value outside its buttons is kept until
    // a button is chosen.
    int envTo_ = 0, envFromType_ = 0, unitZip_ = 0, ipVersion_ = 0, esmtp_ = 0;
    int envToTicked_ = -1, envFromTypeTicked_ = -1, unitZipTicked_ = -1, ipVersionTicked_ = -1;
    QString envFromAddr_, uniqPw_, extension_, smtp_, authId_, authPw_;
    uint32_t smtpPort_ = 0;
};

// Each header's switch, its label and its limit.
inline constexpr int kToHeadCheck = 1298;
inline constexpr int kToHeadLabel = 1299;
inline constexpr int kToHeadCountEdit = 1302;
inline constexpr int kCcHeadCheck = 1300;
inline constexpr int kCcHeadLabel = 1301;
inline constexpr int kCcHeadCountEdit = 1303;
class Csorvant00 : public SettingsPage {
    Q_OBJECT
public:
    explicit Csorvant00(int templateId = 126, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void ApplyEnablingRules();
    int toHead_ = 0, ccHead_ = 0;
    uint32_t toHeadCount_ = 0, ccHeadCount_ = 0;
};

// The log switch and the listen-address list.
inline constexpr int kZipLogCheck = 1277;
inline constexpr int kZipListenListButton = 1258;
class Csorvant01 : public SettingsPage {
    Q_OBJECT
public:
    explicit Csorvant01(int templateId = 127, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    int log_ = 0;
};

}  // namespace panel
