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
inline constexpr int kAntiVirusOnCheck = 1191;
inline constexpr int kAntiVirusLogCheck = 1015;
class CAntiVirusSetDlg : public SwitchAndLogPage {
    Q_OBJECT
public:
    explicit CAntiVirusSetDlg(int templateId = 195, QWidget* parent = nullptr);
};

// The updater: how often it runs, its log, the proxy it goes through.
inline constexpr int kUpdateIntervalLabel = 1192;
inline constexpr int kUpdateIntervalEdit = 1009;
inline constexpr int kUpdateIntervalUnitLabel = 1194;
inline constexpr int kUpdateLogCheck = 1011;
inline constexpr int kUpdateProxyCheck = 1010;
inline constexpr int kUpdateProxyServerEdit = 1014;
inline constexpr int kUpdateProxyPortLabel = 1080;
inline constexpr int kUpdateProxyPortEdit = 1082;
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
    // Read from the store (or its defaults) when the page opens.
    uint32_t timeout_{};
    int logEnabled_{};
    int proxyServerUsed_{};
    QString proxyServerName_;
    uint32_t proxyServerPort_{};
};

// Process watching: the switch, its log and the interval in minutes.
inline constexpr int kProcessWatchCheck = 1000;
inline constexpr int kProcessLogCheck = 1016;
inline constexpr int kProcessIntervalCombo = 1006;
inline constexpr int kProcessIntervalUnitLabel = 1007;
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
    // Read from the store (or its defaults) when the page opens.
    int process_{};
    int processlog_{};
    QString processtime_;
};

// Real-time folder watching: the switch, its log, the places watched and
// the excluded extensions.
inline constexpr int kFolderWatchCheck = 1001;
inline constexpr int kFolderLogCheck = 1018;
inline constexpr int kFolderDrivesLabel = 1034;
inline constexpr int kFolderDrivesEdit = 1031;
inline constexpr int kWatchPlacesButton = 1050;
inline constexpr int kExcludedExtensionsButton = 1007;
class CAntiVirusSetDlg2 : public SettingsPage {
    Q_OBJECT
public:
    explicit CAntiVirusSetDlg2(int templateId = 147, QWidget* parent = nullptr);
    bool SaveSettings() override;
    // The places button: writes the places typed, runs the folder tree, shows
    // what it left in drivepath. `runDialog` replaces the modal run (tests).
    void OnWatchPlaces();
    std::function<void(class CFolderView&)> runDialog;
    // The extensions button: the excluded extensions list in the editor.
    void OnExcludedExtensions();

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void UpdateEnableState();
    int folder_{};
    int folderlog_{};
    QString drivepath_;
    ColorButton* placesButton_ = nullptr;
    ColorButton* extensionsButton_ = nullptr;
};

// Registers the four pages with the settings window.
void RegisterAntiVirusPages();

}  // namespace panel
