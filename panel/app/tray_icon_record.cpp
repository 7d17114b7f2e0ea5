#include "panel/app/tray_icon_record.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTime>
#include <atomic>
#include <cstdio>

namespace panel {
namespace {

std::atomic<TrayIconRecord*> g_record{nullptr};

constexpr int kBalloonMs = 15000;

}  // namespace

TrayIconRecord::TrayIconRecord(QSystemTrayIcon* icon) : icon_(icon) {}

void TrayIconRecord::SetTip(const QString& tip) {
    tip_ = CutToUnits(tip, kTipUnits);
    if (icon_) icon_->setToolTip(tip_);
}

void TrayIconRecord::ShowBalloon(const QString& title, const QString& text) {
    balloonTitle_ = CutToUnits(title, kTitleUnits);
    balloonText_ = CutToUnits(text, kBalloonUnits);
    ++balloonCount_;
    if (icon_ && icon_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable()) {
        icon_->showMessage(balloonTitle_, balloonText_, QSystemTrayIcon::Information, kBalloonMs);
        return;
    }
    QString line = balloonText_;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    std::fprintf(stderr, "velqorctl: %s: %s\n", balloonTitle_.toUtf8().constData(),
                 line.trimmed().toUtf8().constData());
}

TrayIconRecord* TrayRecord() { return g_record.load(); }
void SetTrayRecord(TrayIconRecord* record) { g_record = record; }

QString TimeStamp() { return QTime::currentTime().toString(QStringLiteral("[HH:mm:ss]")); }

QString CutToUnits(const QString& text, int units) {
    if (text.size() <= units) return text;
    int keep = units;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate()) --keep;
    return text.left(keep);
}

bool TrayNotice(const QString& title, const QString& message) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() != application->thread()) {
        QMetaObject::invokeMethod(application, [title, message] { TrayNotice(title, message); }, Qt::QueuedConnection);
        return TrayRecord() != nullptr;
    }
    TrayIconRecord* record = TrayRecord();
    if (!record) return false;
    const QString stamp = TimeStamp();
    record->SetTip(stamp + QStringLiteral(" ") + message);
    record->ShowBalloon(title, stamp + QStringLiteral("\r\n") + message + QStringLiteral("\r\n"));
    return true;
}

}  // namespace panel
