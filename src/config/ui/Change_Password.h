#pragma once
// "Password_change": replaces one agent's password. Set checks the three
// boxes, renews the multicast membership, sends one set request carrying
// the current and the new password, and closes; the agent verifies the
// current one and its answer comes through the receive dispatcher.
//
// Controls carry their IDs as object names: "ctl1016" the original
// password, "ctl1021" the new one, "ctl1023" its confirmation, "ctl1032"
// Set and "ctl1015" Cancel.

#include "config/SetRun.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>

class CChange_Password : public QDialog {
    Q_OBJECT
public:
    CChange_Password(const kestrel::SetLink& link, kestrel::CoreEvents& events,
                     kestrel::Notifier& notifier, const kestrel::ChosenAgent& agent,
                     QWidget* parent = nullptr);

    void OnSet();

    // What the last Set that passed its checks sent.
    const kestrel::DeviceRecord& workingRecord() const { return working_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildForm();
    void ApplyColours();

    const kestrel::SetLink link_;
    const kestrel::ChosenAgent agent_;
    kestrel::Notifier& notifier_;
    kestrel::DeviceRecord working_;

    std::array<QLabel, 3> labels_;
    QLineEdit original_;
    QLineEdit new_password_;
    QLineEdit confirm_;
    QPushButton set_;
    QPushButton cancel_;
    kestrel::SetRun run_;
};
