#pragma once
// "DHCP Refresh": tells one agent to run DHCP again. Apply renews the
// multicast membership, then sends one set request with the typed password
// (not checked here: the agent judges it) and closes.
//
// Controls carry their IDs as object names: "ctl1132" the password,
// "ctl1133" Apply (the default button) and "ctl2" Cancel.

#include "config/ui/RejoinGate.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProgramState.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class CDHCP_Refresh : public QDialog {
    Q_OBJECT
public:
    // The agent is the one of the selection context in state.
    CDHCP_Refresh(kestrel::ProgramState& state, kestrel::DatagramSender& sender,
                  kestrel::Notifier& notifier, QWidget* parent = nullptr);

    void OnApply();

private:
    void BuildForm();
    // The rest of Apply, once the re-join has ended.
    void Send();

    kestrel::ProgramState& state_;
    kestrel::DatagramSender& sender_;
    kestrel::Notifier& notifier_;

    QLabel label_;
    QLineEdit password_;
    QPushButton apply_;
    QPushButton cancel_;
    kestrel::RejoinGate rejoin_{*this, apply_, sender_};
};
