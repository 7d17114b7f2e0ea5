// What the connection-list tests share: a page opened in its own window,
// its entry fields typed through the controls, and the Add button.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "page_test_support.h"
#include "panel/framework/color_button.h"
#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/mailpages/mail_connection_page.h"
#include "qt_test_support.h"

namespace mailtest {

// One connection as typed into the fields; ports as typed.
struct Entry {
    std::string name = "relay";
    std::string listenIp = "127.0.0.1";
    std::string listenPort = "8025";
    bool clientTls = false, clientStartTls = false;
    std::string certificate, key;
    std::string sendIp;
    std::string host = "127.0.0.1";
    std::string hostPort = "25";
    bool serverTls = false, serverStartTls = false, tunnel = false;
};

// The controls of the two pages.
struct Ids {
    int name, listenIp, listenPort, clientTls, clientStartTls, host, hostPort, serverTls, serverStartTls, sendIp, list;
};
inline const Ids kSmtpIds{panel::kSmtpNameEdit,       panel::kSmtpListenIpEdit,        panel::kSmtpListenPortEdit,
                        panel::kSmtpClientTlsCheck, panel::kSmtpClientStartTlsCheck, panel::kSmtpServerEdit,
                        panel::kSmtpServerPortEdit, panel::kSmtpServerTlsCheck,      panel::kSmtpServerStartTlsCheck,
                        panel::kSmtpSendIpEdit,     panel::kSmtpConnectionList};
inline const Ids kPop3Ids{panel::kPop3NameEdit,       panel::kPop3ListenIpEdit,        panel::kPop3ListenPortEdit,
                        panel::kPop3ClientTlsCheck, panel::kPop3ClientStartTlsCheck, panel::kPop3ServerEdit,
                        panel::kPop3ServerPortEdit, panel::kPop3ServerTlsCheck,      panel::kPop3ServerStartTlsCheck,
                        panel::kPop3SendIpEdit,     panel::kPop3ConnectionList};

class MailListTest : public paneltest::PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        testsupport::MakeDirs(dataFolder());
    }
    static const Ids& IdsOf(panel::MailConnectionPage* page) {
        return dynamic_cast<panel::Csmtpdlg*>(page) ? kSmtpIds : kPop3Ids;
    }
    static QLineEdit* Edit(panel::MailConnectionPage* page, int id) { return panel::Control<QLineEdit>(page, id); }
    static QCheckBox* Box(panel::MailConnectionPage* page, int id) { return panel::Control<QCheckBox>(page, id); }
    static void Set(QCheckBox* box, bool on) {
        if (box->isChecked() != on) QTest::mouseClick(box, Qt::LeftButton);
    }
    // Types the entry into the fields, boxes clicked as a user would (the
    // tunnel last, once the others are clear), and presses Add; the texts
    // of the message boxes it brought.
    std::vector<std::string> Add(panel::MailConnectionPage* page, const Entry& e) {
        const Ids& ids = IdsOf(page);
        paneltest::BoxAnswerer boxes;
        Type(page, ids.name, e.name);
        Type(page, ids.listenIp, e.listenIp);
        Type(page, ids.listenPort, e.listenPort);
        Type(page, ids.sendIp, e.sendIp);
        Type(page, ids.host, e.host);
        Type(page, ids.hostPort, e.hostPort);
        Set(Box(page, panel::kMailTunnelCheck), false);
        Set(Box(page, ids.clientTls), false);
        Set(Box(page, ids.clientStartTls), false);
        Set(Box(page, ids.serverTls), false);
        Set(Box(page, ids.serverStartTls), false);
        Set(Box(page, ids.clientTls), e.clientTls);
        Set(Box(page, ids.clientStartTls), e.clientStartTls);
        Set(Box(page, ids.serverTls), e.serverTls);
        Set(Box(page, ids.serverStartTls), e.serverStartTls);
        Set(Box(page, panel::kMailTunnelCheck), e.tunnel);
        Type(page, panel::kMailCertificateEdit, e.certificate);
        Type(page, panel::kMailKeyEdit, e.key);
        QTest::mouseClick(panel::Control<panel::ColorButton>(page, panel::kAddEntryButton), Qt::LeftButton);
        return boxes.texts;
    }
    static std::vector<std::string> Column(panel::MailConnectionPage* page, int column) {
        std::vector<std::string> texts;
        for (int i = 0; i < page->list()->topLevelItemCount(); ++i)
            texts.push_back(page->list()->topLevelItem(i)->text(column).toStdString());
        return texts;
    }
};

}  // namespace mailtest
