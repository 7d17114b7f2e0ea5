// The tray icon's notification record: its tip and the last balloon, shown
// through the tray icon. It lives on the user-interface thread; other
// threads reach it only through TrayNotice, which posts to that thread.
#pragma once

#include <QString>

class QSystemTrayIcon;

namespace panel {

class TrayIconRecord {
public:
    // What the record holds, in UTF-16 units (the terminator not counted).
    static constexpr int kTipUnits = 127;
    static constexpr int kBalloonUnits = 255;
    static constexpr int kTitleUnits = 63;

    // `icon` may be null (tests); the record then only keeps the texts.
    explicit TrayIconRecord(QSystemTrayIcon* icon = nullptr);

    void SetTip(const QString& tip);
    // Shows the balloon for 15 s. Without a tray host (offscreen, a bare X
    // server) it is written as one line to standard error instead.
    void ShowBalloon(const QString& title, const QString& text);

    QString tip() const { return tip_; }
    QString balloonTitle() const { return balloonTitle_; }
    QString balloonText() const { return balloonText_; }
    int balloonCount() const { return balloonCount_; }

private:
    QSystemTrayIcon* icon_;
    QString tip_, balloonTitle_, balloonText_;
    int balloonCount_ = 0;
};

// The record of the tray window, or null while there is none.
TrayIconRecord* TrayRecord();
void SetTrayRecord(TrayIconRecord* record);

// "[hh:mm:ss]" of the local time now.
QString TimeStamp();

// `text` cut to at most `units` UTF-16 units, never inside a character.
QString CutToUnits(const QString& text, int units);

// The tip "[hh:mm:ss] message" and the balloon "[hh:mm:ss]\r\nmessage\r\n"
// under `title`. From another thread it is posted to the user-interface
// thread. False when there is no tray record.
bool TrayNotice(const QString& title, const QString& message);

}  // namespace panel
