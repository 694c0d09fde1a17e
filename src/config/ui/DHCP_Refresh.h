#pragma once
// "DHCP Refresh": tells one agent to run DHCP again. Apply renews the
// multicast membership, then sends one set request with the typed password
// (not checked here: the agent judges it) and closes.
//
// Controls carry their IDs as object names: "ctl1132" the password,
// "ctl1133" Apply (the default button) and "ctl2" Cancel.

#include "config/SetRun.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class CDHCP_Refresh : public QDialog {
    Q_OBJECT
public:
    CDHCP_Refresh(const kestrel::SetLink& link, kestrel::CoreEvents& events,
                  const kestrel::ChosenAgent& agent, QWidget* parent = nullptr);

    void OnApply();

private:
    void BuildForm();
    const kestrel::SetLink link_;
    const kestrel::ChosenAgent agent_;

    QLabel label_;
    QLineEdit password_;
    QPushButton apply_;
    QPushButton cancel_;
    kestrel::SetRun run_;
};
