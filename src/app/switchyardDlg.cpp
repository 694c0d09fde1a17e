#include "switchyardDlg.h"

#include "AboutDlg.h"
#include "WindowMessages.h"
#include "config/ConfigMessages.h"
#include "config/ui/Change_Password.h"
#include "config/ui/Configuration_Set.h"
#include "config/ui/DHCP_Refresh.h"
#include "config/ui/GroupTimer.h"
#include "controls/Pictures.h"
#include "core/CfgDirectory.h"
#include "core/CfgMessages.h"
#include "core/CfgPreparation.h"
#include "core/Latin1.h"
#include "core/LocalNetworks.h"
#include "monitor/ui/Trap_Info.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/upgrade/UpgradeChecks.h"
#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/wire/Ipv4Text.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>

using namespace kestrel;

namespace {

std::filesystem::path DefineEcfFile(const std::filesystem::path& cfg_dir) {
    return cfg_dir / "define.ecf";
}

// An installed program keeps its files in the user's folder, made with the
// shipped define.ecf on the first start. True when that failed and was said.
bool PrepareCfgFolder(const CfgLocation& cfg, Notifier& notifier) {
    const QString problem = PrepareCfgLocation(cfg, QCoreApplication::applicationDirPath());
    if (problem.isEmpty())
        return false;
    notifier.Show(kCfgFolderFail.WithText(problem.toStdString()));
    return true;
}

// Boxes that would only repeat what was already said.
class SilentNotifier : public Notifier {
public:
    void Show(const Message&) override {}
    bool Ask(const Message&) override { return false; }
};

} // namespace

CSwitchyardDlg::CSwitchyardDlg(Notifier& notifier, const QString& cfg_dir, QWidget* parent)
    // Taken as it is: only the program's own start-up prepares a folder.
    : CSwitchyardDlg(
          notifier,
          CfgLocation{cfg_dir.isEmpty() ? GetCfgDirectory() : cfg_dir, CfgSource::Environment},
          parent) {}

CSwitchyardDlg::CSwitchyardDlg(Notifier& notifier, const CfgLocation& cfg, QWidget* parent)
    : QDialog(parent), notifier_(notifier), cfg_dir_(QFile::encodeName(cfg.path).toStdString()),
      cfg_folder_failed_(PrepareCfgFolder(cfg, notifier)), menu_(this), form_(this),
      lists_(&form_.discoveryList(), &form_.monitorList(), form_.button(IDC_DHCP_REFRESH), tables_,
             notifier_, status_images_),
      file_commands_(this, cfg_dir_, tables_.monitor, lists_, notifier_),
      network_({.settings = settings_,
                .exchange = exchange_,
                .tables = tables_,
                .lists = lists_,
                .events = events_,
                .notifier = notifier_,
                .traps = &trap_receiver_}),
      boxes_(notifier_, network_.networkBoxes()),
      rediscovery_(settings_, tables_.discovery, network_.sockets(), lists_, events_),
      event_log_(EventLogPath(cfg_dir_), clock_, network_.networkBoxes()),
      polling_({.settings = settings_,
                .monitor = tables_.monitor,
                .sender = network_.sockets(),
                .lists = lists_,
                .events = events_,
                .log = event_log_},
               this),
      trap_receiver_(tables_.monitor, lists_, event_log_, trap_table_,
                     [this](const TrapEvent&) { form_.SetTrapLamp(true); }),
      upgrade_(settings_, exchange_, network_.sockets(), events_), timer1_(this) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Kestrel Utility"));
    // An application window of its own that can be resized and maximised;
    // it opens at the form's default size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    layout_.setContentsMargins(0, 0, 0, 0);
    layout_.setSpacing(0);
    layout_.addWidget(&form_);
    setLayout(&layout_);

    ConnectCommands();
    RunStartUp();
    // The form's size, menu bar included, even where the screen is
    // small: the user may shrink the window from there.
    resize(sizeHint());
}

CSwitchyardDlg::~CSwitchyardDlg() {
    delete upgrade_dialog_;
}

int CSwitchyardDlg::exec() {
    if (ended_during_start_up_)
        return result();
    return QDialog::exec();
}

void CSwitchyardDlg::RunStartUp() {
    SetWindowIcons();
    CreateMenuBar();
    SetRefreshPeriod(15);
    ClearTrapTable();
    // The colours and the frame bars come with the form (MainForm).
    LoadSettings();
    SetUpListColumns();
    SetFullRowSelection();
    ClearTables();
    LoadMonitorFile();
    TakePorts();
    OpenBroadcastSocket();
    OpenMulticastSocket();
    OpenUnicastSocket();
    StartPolling();
    StartTimer1();
    ClearSharedRequestValues();
    DisableDhcpRefresh();
    StartKeepAlive();
}

void CSwitchyardDlg::SetWindowIcons() {
    setWindowIcon(ProgramIcon());
}

void CSwitchyardDlg::CreateMenuBar() {
    layout_.setMenuBar(&menu_.bar());
    menu_.CheckRefreshItem(ID_REFRESH_15S);
}

void CSwitchyardDlg::SetRefreshPeriod(int seconds) {
    polling_.SetRefreshPeriod(seconds);
}

void CSwitchyardDlg::ClearTrapTable() {
    trap_table_.Clear();
}

void CSwitchyardDlg::LoadSettings() {
    // A cfg folder that could not be prepared was reported with its reason;
    // the define.ecf missing from it is no news.
    SilentNotifier silent;
    Notifier& told = cfg_folder_failed_ ? silent : notifier_;
    settings_loaded_ = LoadSettingsFile(DefineEcfFile(cfg_dir_), told, settings_);
    if (!settings_loaded_)
        told.Show(kSettingsLoadFail);
}

void CSwitchyardDlg::SetUpListColumns() {
    form_.discoveryList().InsertColumns(DiscoveryColumns());
    form_.monitorList().InsertColumns(MonitorColumns());
}

void CSwitchyardDlg::SetFullRowSelection() {
    for (ReportList* list : {&form_.monitorList(), &form_.discoveryList()}) {
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        list->setAllColumnsShowFocus(true);
    }
}

void CSwitchyardDlg::ClearTables() {
    tables_.discovery.Clear();
    tables_.monitor.Clear();
}

void CSwitchyardDlg::LoadMonitorFile() {
    // No folder, no file: only the folder's failure is news.
    if (cfg_folder_failed_ && !std::filesystem::is_directory(cfg_dir_))
        return;
    file_commands_.LoadAtStartUp();
}

void CSwitchyardDlg::TakePorts() {
    if (!settings_loaded_)
        return;
    instance_guard_ = std::make_unique<InstanceGuard>(settings_.base_port);
    if (instance_guard_->state() != InstanceGuard::State::HeldByOther)
        return; // a lock we cannot write does not keep the user out
    // One box that names the holder instead of a bind failure per socket.
    notifier_.Show(kPortsHeld.WithText(instance_guard_->Explanation().toStdString()));
    settings_loaded_ = false; // nothing opens, polls or keeps alive
    EndAfterStartUp(QDialog::Rejected);
}

void CSwitchyardDlg::OpenBroadcastSocket() {
    if (settings_loaded_)
        network_.OpenBroadcastSocket();
}

void CSwitchyardDlg::OpenMulticastSocket() {
    // Without the multicast socket the program cannot hear its agents.
    if (settings_loaded_ && !network_.OpenMulticastSocket())
        EndAfterStartUp(QDialog::Rejected);
}

void CSwitchyardDlg::OpenUnicastSocket() {
    if (settings_loaded_)
        network_.OpenUnicastSocket();
}

void CSwitchyardDlg::StartPolling() {
    // Without define.ecf there is no socket, port or identifier to poll with.
    if (settings_loaded_)
        polling_.Start();
}

void CSwitchyardDlg::StartTimer1() {
    timer1_.setObjectName(QStringLiteral("timer1"));
    timer1_.setInterval(kAliveCheckIntervalMs);
    timer1_.start();
}

void CSwitchyardDlg::ClearSharedRequestValues() {
    exchange_.ClearPending();
}

void CSwitchyardDlg::DisableDhcpRefresh() {
    form_.button(IDC_DHCP_REFRESH)->setEnabled(false);
}

void CSwitchyardDlg::StartKeepAlive() {
    if (settings_loaded_)
        network_.StartKeepAlive();
}

void CSwitchyardDlg::EndAfterStartUp(int result) {
    ended_during_start_up_ = true;
    setResult(result);
}

void CSwitchyardDlg::ConnectCommands() {
    const struct {
        int id;
        void (CSwitchyardDlg::*handler)();
    } buttons[] = {
        {IDC_DISCOVERY, &CSwitchyardDlg::OnDiscovery},
        {IDC_ADD_TO_MONITOR, &CSwitchyardDlg::OnAddToMonitorList},
        {IDC_VIEW_TRAP, &CSwitchyardDlg::OnViewTrap},
        {IDC_ADD_ITEM, &CSwitchyardDlg::OnAddItem},
        {IDC_DELETE_ITEM, &CSwitchyardDlg::OnDeleteItem},
        {IDC_CONFIGURATION, &CSwitchyardDlg::OnConfigurationSetting},
        {IDC_PASSWORD_CHANGE, &CSwitchyardDlg::OnPasswordChange},
        {IDC_FIRMWARE_UPGRADE, &CSwitchyardDlg::OnFirmwareUpgrade},
        {IDC_WEB_ACCESS, &CSwitchyardDlg::OnWebAccess},
        {IDC_DHCP_REFRESH, &CSwitchyardDlg::OnDhcpRefresh},
        {IDC_EXIT, &CSwitchyardDlg::OnExitButton},
    };
    for (const auto& [id, handler] : buttons)
        connect(form_.button(id), &QPushButton::clicked, this, handler);

    const struct {
        QAction& action;
        void (CSwitchyardDlg::*handler)();
    } items[] = {
        {menu_.monitorSave(), &CSwitchyardDlg::OnMonitorSave},
        {menu_.monitorSaveAs(), &CSwitchyardDlg::OnMonitorSaveAs},
        {menu_.monitorLoad(), &CSwitchyardDlg::OnMonitorLoad},
        {menu_.exit(), &CSwitchyardDlg::OnMenuExit},
        {menu_.viewLog(), &CSwitchyardDlg::OnViewLog},
        {menu_.clearLog(), &CSwitchyardDlg::OnClearLog},
        {menu_.groupInterval(), &CSwitchyardDlg::OnGroupInterval},
        {menu_.about(), &CSwitchyardDlg::OnAbout},
    };
    for (const auto& [action, handler] : items)
        connect(&action, &QAction::triggered, this, handler);

    for (QAction& item : menu_.refreshItems()) {
        const int id = item.data().toInt();
        connect(&item, &QAction::triggered, this, [this, id] { OnRefreshTime(id); });
    }

    connect(&lists_, &CDeviceLists::monitorDoubleClicked, this,
            &CSwitchyardDlg::OnMonitorDoubleClick);
    connect(&timer1_, &QTimer::timeout, this, &CSwitchyardDlg::OnTimer1);
    ConnectUpgrade();
    // Which cards the request went out on: a discovery nobody answered is
    // told apart from one that could not be sent.
    lists_.ShowCardsOf(&network_.sockets().networks());
    connect(&network_, &NetworkSession::discoverySent, this, [this](bool) {
        form_.button(IDC_DISCOVERY)->setToolTip(Latin1(network_.sockets().lastSendReport()));
    });
}

void CSwitchyardDlg::OnDiscovery() {
    // Without settings no socket was opened: start-up has said why, and a
    // refused broadcast option would only hide it.
    if (!settings_loaded_)
        return;
    network_.Discover();
}

void CSwitchyardDlg::OnAddToMonitorList() {
    lists_.MoveToMonitorList();
}

void CSwitchyardDlg::OnViewTrap() {
    form_.SetTrapLamp(false);
    CTrap_Info traps(trap_table_, status_images_, trap_sort_direction_, this);
    traps.exec();
}

void CSwitchyardDlg::OnAddItem() {
    lists_.AddItem();
}

void CSwitchyardDlg::OnDeleteItem() {
    lists_.DeleteItem();
}

std::optional<ChosenAgent> CSwitchyardDlg::ChooseAgent(SetCommandKind kind) {
    return kestrel::ChooseAgent(tables_, lists_.listSelection(), kind, notifier_);
}

void CSwitchyardDlg::OnConfigurationSetting() {
    // Taken before the selection check: the duplicate-address test of the
    // dialog searches this many rows of each list.
    const ListRowCounts rows{form_.discoveryList().topLevelItemCount(),
                             form_.monitorList().topLevelItemCount()};
    const std::optional<ChosenAgent> agent = ChooseAgent(SetCommandKind::Configuration);
    if (!agent)
        return;
    CConfiguration_Set dialog(setLink(), events_, notifier_, *agent, rows, this);
    dialog.exec();
}

void CSwitchyardDlg::OnPasswordChange() {
    const std::optional<ChosenAgent> agent = ChooseAgent(SetCommandKind::PasswordChange);
    if (!agent)
        return;
    CChange_Password dialog(setLink(), events_, notifier_, *agent, this);
    dialog.exec();
}

void CSwitchyardDlg::OnFirmwareUpgrade() {
    // One upgrade at a time: its port, its state and its target exist once.
    if (upgrade_dialog_) {
        notifier_.Show(kUpgradeAlreadyOpen);
        if (upgrade_dialog_) {
            upgrade_dialog_->raise();
            upgrade_dialog_->activateWindow();
        }
        return;
    }
    const std::optional<ChosenAgent> agent = ChooseAgent(SetCommandKind::FirmwareUpgrade);
    if (!agent)
        return;
    LaunchFirmwareUpgrade(*agent);
}

void CSwitchyardDlg::LaunchFirmwareUpgrade(const ChosenAgent& agent) {
    if (const auto refusal = CheckUpgradeTarget(tables_, agent, ReadLocalNetworks())) {
        notifier_.Show(*refusal);
        return;
    }
    upgrade_.SetTarget(tables_, agent);
    // Modeless: the window goes on polling, receiving and answering.
    upgrade_dialog_ = new CFirmware_Upgrade(upgrade_, this);
    upgrade_dialog_->show();
}

void CSwitchyardDlg::ConnectUpgrade() {
    boxes_.Listen(events_);
    boxes_.Listen(upgrade_, event_log_);
    boxes_.Listen(rediscovery_);
    // The agent reboots into its new firmware; the rediscovery tells whether
    // it came back.
    connect(&upgrade_, &UpgradeRun::Ended, this, [this](const UpgradeEnd& end) {
        if (end.kind == UpgradeEndKind::Completed)
            rediscovery_.Start(std::string(FieldText(upgrade_.target().mac_text)));
    });
}

void CSwitchyardDlg::OnWebAccess() {
    OpenWebPages(WebAccessTrigger::Button);
}

void CSwitchyardDlg::OnMonitorDoubleClick() {
    OpenWebPages(WebAccessTrigger::DoubleClick);
}

void CSwitchyardDlg::OpenWebPages(WebAccessTrigger trigger) {
    const WebAccessTarget target =
        CheckWebAccess(tables_.monitor, lists_.monitorSelection(), trigger);
    if (target.failure) {
        notifier_.Show(*target.failure);
        return;
    }
    // The desktop's own choice of browser.
    if (!QDesktopServices::openUrl(*target.url))
        notifier_.Show(kBrowserWebFail);
}

void CSwitchyardDlg::OnDhcpRefresh() {
    const std::optional<ChosenAgent> agent = ChooseAgent(SetCommandKind::DhcpRefresh);
    if (!agent)
        return;
    CDHCP_Refresh dialog(setLink(), events_, *agent, this);
    dialog.exec();
}

void CSwitchyardDlg::OnExitButton() {
    ShutDown();
    done(QDialog::Accepted);
}

void CSwitchyardDlg::OnMonitorSave() {
    file_commands_.Save();
}

void CSwitchyardDlg::OnMonitorSaveAs() {
    file_commands_.SaveAs();
}

void CSwitchyardDlg::OnMonitorLoad() {
    file_commands_.Load();
}

void CSwitchyardDlg::OnMenuExit() {
    ShutDown();
    done(QDialog::Rejected);
}

void CSwitchyardDlg::OnViewLog() {
    file_commands_.ViewLog();
}

void CSwitchyardDlg::OnClearLog() {
    file_commands_.ClearLog();
}

void CSwitchyardDlg::OnRefreshTime(int id) {
    if (!menu_.CheckRefreshItem(id))
        return;
    for (const RefreshChoice& choice : kRefreshChoices) {
        if (choice.id == id)
            SetRefreshPeriod(choice.seconds);
    }
}

void CSwitchyardDlg::OnGroupInterval() {
    CGroupTimer dialog(settings_, network_.sockets(), notifier_, DefineEcfFile(cfg_dir_), this);
    dialog.exec();
}

void CSwitchyardDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CSwitchyardDlg::OnTimer1() {
    polling_.CheckAlive();
}

void CSwitchyardDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape reach the focused control first; what it leaves
    // unused must neither press a button nor close the window.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CSwitchyardDlg::closeEvent(QCloseEvent* event) {
    ShutDown();
    QDialog::closeEvent(event);
}

void CSwitchyardDlg::ShutDown() {
    if (shut_down_)
        return;
    shut_down_ = true;
    // Its transfer ends before the sockets it went out on.
    delete upgrade_dialog_;
    CloseSockets();
    Q_EMIT socketsClosed();
}

void CSwitchyardDlg::CloseSockets() {
    network_.CloseSockets();
}
