#pragma once
// "Configuration setting": changes one agent's names, addresses, DHCP mode,
// trap destination and group interval. Set renews the multicast membership
// first, then checks the form, sends one set request and closes; the
// agent's answer comes through the receive dispatcher.
//
// Controls carry their IDs as object names ("ctl1033" is the IP address);
// the label of the group interval is "groupIntervalLabel".

#include "config/ConfigurationInput.h"
#include "config/SetRun.h"
#include "controls/IpAddressEdit.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <array>

class CConfiguration_Set : public QDialog {
    Q_OBJECT
public:
    // For the chosen agent; rows are the list row counts the button took
    // before the selection check.
    CConfiguration_Set(const kestrel::SetLink& link, kestrel::CoreEvents& events,
                       kestrel::Notifier& notifier, const kestrel::ChosenAgent& agent,
                       kestrel::ListRowCounts rows, QWidget* parent = nullptr);

    void OnSet();
    void OnDhcpEnable();
    void OnDhcpDisable();

    // What the last Set that passed its checks sent.
    const kestrel::DeviceRecord& workingRecord() const { return working_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildForm();
    void LoadRecord();
    void ApplyColours();
    // The record's DHCP state on the two buttons, neither checked included.
    void SetDhcpButtons(bool enable_checked, bool disable_checked);
    void SetAddressControlsEnabled(bool enabled);
    kestrel::ConfigurationForm ReadForm() const;
    // The rest of Set, once the re-join has ended: the checks.
    std::optional<kestrel::SetPayload> CheckForm();

    const kestrel::SetLink link_;
    kestrel::Notifier& notifier_;
    const kestrel::ChosenAgent agent_;
    const kestrel::ListRowCounts rows_;
    kestrel::DeviceRecord working_;

    std::array<QLabel, 11> labels_;
    QLineEdit product_name_;
    QLineEdit mac_;
    QLineEdit system_name_;
    QLineEdit location_;
    kestrel::IpAddressEdit ip_;
    kestrel::IpAddressEdit subnet_mask_;
    kestrel::IpAddressEdit gateway_;
    kestrel::IpAddressEdit trap_ip_;
    QRadioButton dhcp_enable_;
    QRadioButton dhcp_disable_;
    QLineEdit group_interval_;
    QLineEdit password_;
    QPushButton set_;
    QPushButton cancel_;
    kestrel::SetRun run_;
};
