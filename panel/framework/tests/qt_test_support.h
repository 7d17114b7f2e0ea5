// Answers the message boxes a test's action opens, recording their texts.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <string>
#include <vector>

#include "panel/framework/look.h"
#include "panel/framework/settings_window.h"

namespace paneltest {

// While it lives, each message box that becomes the active modal window is
// recorded and answered with `answer` (at every turn of the event loop, so
// an action that opens several gets them all answered).
class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
        timer_.start();
    }
    void SetAnswer(QMessageBox::StandardButton answer) { answer_ = answer; }
    std::vector<std::string> texts;
    std::vector<QMessageBox::Icon> icons;

private:
    void Answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("answeredByTest").toBool()) return;
        box->setProperty("answeredByTest", true);
        texts.push_back(box->text().toStdString());
        icons.push_back(box->icon());
        if (QAbstractButton* button = box->button(answer_))
            button->click();
        else
            box->reject();
    }
    QMessageBox::StandardButton answer_;
    QTimer timer_;
};

// Closes each settings window that opens modally with the button `id`.
class WindowCloser {
public:
    explicit WindowCloser(int id) : id_(id) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* window = qobject_cast<panel::SettingsWindow*>(QApplication::activeModalWidget());
            if (!window || window->property("closedByTest").toBool()) return;
            window->setProperty("closedByTest", true);
            ++opened;
            if (auto* button = panel::Control<QPushButton>(window, id_)) button->click();
        });
        timer_.start();
    }
    int opened = 0;

private:
    int id_;
    QTimer timer_;
};

}  // namespace paneltest
