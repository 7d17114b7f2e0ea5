// orqnote: sends one mail with the settings of sendmail.ini in the current
// folder and the message given on the command line.
#include <clocale>
#include <ctime>

#include "sendmail_options.h"
#include "sendmail_settings.h"
#include "sendmail_smtp.h"
#include "sendmail_text.h"

namespace sendmail {

int MailSenderMain(int argc, char** argv) {
    // The arguments come in the shell's character set.
    std::setlocale(LC_CTYPE, "");
    SendmailSettings settings;
    LoadSendmailIni(settings);
    if (argc < 2) PrintUsage();
    settings.deleteInputFile = true;
    ParseCommandLine(settings, argc, argv);
    settings.recipients = LocaleToUtf8(settings.recipients);
    settings.subject = LocaleToUtf8(settings.subject);
    settings.insert = LocaleToUtf8(settings.insert);
    settings.replyTo = LocaleToUtf8(settings.replyTo);
    settings.fromAddress = LocaleToUtf8(settings.fromAddress);
    std::string boundary = MakeMimeBoundary(FormatMailDate(std::time(nullptr)), settings.smtpServer);
    if (settings.recipients.empty() || settings.subject.empty() || settings.smtpServer.empty()) PrintUsage();
    return SendMail(settings, boundary) ? 0 : 1;
}

}  // namespace sendmail

int main(int argc, char** argv) { return sendmail::MailSenderMain(argc, argv); }
