#pragma once
// "Group Interval": the program's own multicast keep-alive, 0 (off) or a
// period of 120 to 1225 seconds. OK renews the multicast membership first,
// then checks the text, rewrites define.ecf and applies the new switch and
// period to the running keep-alive. Nothing goes to any agent.
//
// Controls carry their IDs as object names: "ctl1136" is the box, "ctl1"
// OK and "ctl2" Cancel.

#include "config/ui/RejoinGate.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProtocolSettings.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

class CGroupTimer : public QDialog {
    Q_OBJECT
public:
    CGroupTimer(kestrel::ProtocolSettings& settings, kestrel::DatagramSender& sender,
                kestrel::Notifier& notifier, std::filesystem::path define_ecf,
                QWidget* parent = nullptr);

    void OnOK();

private:
    void BuildForm();
    // The rest of OK, once the re-join has ended.
    void CheckAndApply();

    kestrel::ProtocolSettings& settings_;
    kestrel::DatagramSender& sender_;
    kestrel::Notifier& notifier_;
    const std::filesystem::path define_ecf_;

    QLabel range_;
    QLabel label_;
    QLineEdit interval_;
    QPushButton ok_;
    QPushButton cancel_;
    kestrel::RejoinGate rejoin_{*this, ok_, sender_};
};
