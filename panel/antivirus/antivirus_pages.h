// The four anti-virus pages of the settings window: the scan engine
// switch, the updater's schedule and proxy, process watching and real-time
// folder watching.
#pragma once

#include <QString>
#include <functional>

#include "panel/framework/settings_page.h"
#include "panel/framework/switch_and_log_page.h"

class QComboBox;

namespace panel {

class ColorButton;

// The scan engine's switch and its log switch.
class CAntiVirusSetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CAntiVirusSetDlg(int templateId = 195, QWidget* parent = nullptr);
};

class CAntiVirusSetDlg0 : public SettingsPage {
    Q_OBJECT
public:
    explicit CAntiVirusSetDlg0(int templateId = 145, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void UpdateEnableState();
    uint32_t timeout_ = 1;
    int logEnabled_ = 0;
    int proxyServerUsed_ = 0;
    QString proxyServerName_;
    uint32_t proxyServerPort_ = 8080;
};

class CAntiVirusSetDlg1 : public SettingsPage {
    Q_OBJECT
public:
    explicit CAntiVirusSetDlg1(int templateId = 146, QWidget* parent = nullptr);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void UpdateEnableState();
    int process_ = 1;
    int processlog_ = 0;
    QString processtime_ = QStringLiteral("30");
};

class CAntiVirusSetDlg2 : public SettingsPage {
    Q_OBJECT
public:
    explicit CAntiVirusSetDlg2(int templateId = 147, QWidget* parent = nullptr);
    bool SaveSettings() override;
    // Button 1050: writes the places typed, runs the folder tree, shows
    // what it left in drivepath. `runDialog` replaces the modal run (tests).
    void OnWatchPlaces();
    std::function<void(class CFolderView&)> runDialog;
    // Button 1007: the excluded extensions list in the editor.
    void OnExcludedExtensions();

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void UpdateEnableState();
    int folder_ = 1;
    int folderlog_ = 0;
    QString drivepath_;
    ColorButton* placesButton_ = nullptr;
    ColorButton* extensionsButton_ = nullptr;
};

// Registers the four pages with the settings window.
void RegisterAntiVirusPages();

}  // namespace panel
