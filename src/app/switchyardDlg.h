#pragma once
// The main window: the form with its two lists, the menu bar, the start-up
// sequence, the keyboard rule and the three ways out.
//
// Controls are found by object name: "ctl" plus the control ID (see
// MainForm.h); menu items are "cmd" plus the command ID (see MainMenu.h).

#include "DeviceLists.h"
#include "FileCommands.h"
#include "MainForm.h"
#include "MainMenu.h"
#include "app/OutcomeBoxes.h"
#include "config/WebAccess.h"
#include "controls/StatusImages.h"
#include "core/CfgDirectory.h"
#include "core/CoreEvents.h"
#include "core/InstanceGuard.h"
#include "core/NetworkSession.h"
#include "monitor/EventLog.h"
#include "monitor/PollingTimer.h"
#include "monitor/TrapReceiver.h"
#include "monitor/TrapTable.h"
#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Notifier.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/SetExchange.h"
#include "protocol/settings/ProtocolSettings.h"
#include "upgrade/RediscoveryTimer.h"
#include "upgrade/UpgradeRun.h"
#include "upgrade/ui/Firmware_Upgrade.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>
#include <memory>
#include <optional>

class CSwitchyardDlg : public QDialog {
    Q_OBJECT
public:
    // cfg_dir: the program's cfg folder, as start-up found it; empty: found
    // here, once. Either way the folder is used as it is.
    explicit CSwitchyardDlg(kestrel::Notifier& notifier, const QString& cfg_dir = {},
                            QWidget* parent = nullptr);
    // A user's folder is prepared first (made, given the shipped define.ecf);
    // a failure there is the one box about it.
    CSwitchyardDlg(kestrel::Notifier& notifier, const kestrel::CfgLocation& cfg,
                   QWidget* parent = nullptr);
    ~CSwitchyardDlg() override;

    // Runs the window unless start-up has already ended it.
    int exec() override;

    kestrel::ReportList& discoveryList() { return form_.discoveryList(); }
    kestrel::ReportList& monitorList() { return form_.monitorList(); }
    kestrel::MainForm& form() { return form_; }
    kestrel::MainMenu& menu() { return menu_; }
    kestrel::ProtocolSettings& settings() { return settings_; }
    kestrel::DeviceTables& tables() { return tables_; }
    kestrel::SetExchange& setExchange() { return exchange_; }
    kestrel::CoreEvents& events() { return events_; }
    // What a set dialog lends to its set run.
    kestrel::SetLink setLink() { return {settings_, exchange_, tables_, network_.sockets()}; }
    // The two lists behind the widgets; also what dispatch refreshes rows through.
    CDeviceLists& lists() { return lists_; }
    kestrel::NetworkSession& network() { return network_; }
    // Polling passes and the alive check that timer 1 runs.
    kestrel::PollingTimer& polling() { return polling_; }
    // The rediscovery after a firmware upgrade.
    kestrel::RediscoveryTimer& rediscovery() { return rediscovery_; }
    // The monitor-list and log commands, with their file-dialog and viewer seams.
    CFileCommands& fileCommands() { return file_commands_; }

    // The firmware upgrade of the program and its dialog while one is open.
    kestrel::UpgradeRun& upgrade() { return upgrade_; }
    CFirmware_Upgrade* upgradeDialog() const { return upgrade_dialog_; }

    kestrel::TrapTable& trapTable() { return trap_table_; }
    kestrel::EventLog& eventLog() { return event_log_; }

    // True once start-up asked for the window to end (a socket it cannot do
    // without failed to open).
    bool endedDuringStartUp() const { return ended_during_start_up_; }

Q_SIGNALS:
    // Emitted once, after the sockets were closed on the way out.
    void socketsClosed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Start-up, one step each, in this order.
    void RunStartUp();
    void SetWindowIcons();
    void CreateMenuBar();
    void SetRefreshPeriod(int seconds);
    // The agent a command button means, after the selection check's boxes.
    std::optional<kestrel::ChosenAgent> ChooseAgent(kestrel::SetCommandKind kind);
    void ClearTrapTable();
    void LoadSettings();
    void SetUpListColumns();
    void SetFullRowSelection();
    void ClearTables();
    void LoadMonitorFile();
    void TakePorts();
    void OpenBroadcastSocket();
    void OpenMulticastSocket();
    void OpenUnicastSocket();
    void StartPolling();
    void StartTimer1();
    void ClearSharedRequestValues();
    void DisableDhcpRefresh();
    void StartKeepAlive();

    // A start-up step that cannot go on calls this: the window ends with
    // the given result as soon as start-up has returned.
    void EndAfterStartUp(int result);

    void ConnectCommands();

    // Buttons.
    void OnDiscovery();
    void OnAddToMonitorList();
    void OnViewTrap();
    void OnAddItem();
    void OnDeleteItem();
    void OnConfigurationSetting();
    void OnPasswordChange();
    void OnFirmwareUpgrade();
    void LaunchFirmwareUpgrade(const kestrel::ChosenAgent& agent);
    void ConnectUpgrade();
    void OnWebAccess();
    void OnDhcpRefresh();
    void OnExitButton();
    // Menu items.
    void OnMonitorSave();
    void OnMonitorSaveAs();
    void OnMonitorLoad();
    void OnMenuExit();
    void OnViewLog();
    void OnClearLog();
    void OnRefreshTime(int id);
    void OnGroupInterval();
    void OnAbout();
    // Double-click in the monitor list.
    void OnMonitorDoubleClick();
    void OpenWebPages(kestrel::WebAccessTrigger trigger);
    // Every 5 seconds.
    void OnTimer1();

    // The closing steps shared by the three ways out; they run once.
    void ShutDown();
    void CloseSockets();

    // Members are built in this order and destroyed in the reverse one: the
    // widgets outlive the lists that mirror into them, the lists outlive the
    // network session and the timers that refresh rows through them.
    kestrel::Notifier& notifier_;
    // Read once at start: where define.ecf, monitor.cfg and syslog.log live.
    const std::filesystem::path cfg_dir_;
    // The cfg folder could not be prepared, and the user was told why.
    const bool cfg_folder_failed_;
    kestrel::ProtocolSettings settings_;
    kestrel::SetExchange exchange_;
    kestrel::DeviceTables tables_;
    kestrel::CoreEvents events_;
    QVBoxLayout layout_;
    kestrel::MainMenu menu_;
    kestrel::MainForm form_;
    kestrel::StatusImageList status_images_;
    CDeviceLists lists_;
    CFileCommands file_commands_;
    kestrel::NetworkSession network_;
    // The window's words for the core's outcomes.
    kestrel::OutcomeBoxes boxes_;
    kestrel::RediscoveryTimer rediscovery_;
    // Traps: the session holds a pointer to the receiver, used only once
    // the sockets open, after every member is built.
    kestrel::SystemClock clock_;
    // The program's one event log: polling, traps and the upgrade write it.
    kestrel::EventLog event_log_;
    kestrel::PollingTimer polling_;
    kestrel::TrapTable trap_table_;
    int trap_sort_direction_ = 1;
    kestrel::TrapReceiver trap_receiver_;
    kestrel::UpgradeRun upgrade_;
    // Deleted before the members above go: it cancels its run on the way.
    QPointer<CFirmware_Upgrade> upgrade_dialog_;
    QTimer timer1_;
    bool ended_during_start_up_ = false;
    bool shut_down_ = false;
    // Without define.ecf there is no utility identifier, port or group to
    // talk with: the window opens without its sockets.
    bool settings_loaded_ = false;
    std::unique_ptr<kestrel::InstanceGuard> instance_guard_;
};
