#pragma once
// The Remote IP dialog of "Add item": asks for an agent's address and fills
// the record of a new monitored agent. Controls carry their IDs as object
// names: "ctl1115" label, "ctl1010" address, "ctl1" Apply, "ctl2" Cancel.

#include "controls/IpAddressEdit.h"
#include "protocol/lists/ListCommands.h"
#include "protocol/seams/Notifier.h"
#include "protocol/wire/DeviceRecord.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <cstdint>

class CAdd_remoteIP : public QDialog {
    Q_OBJECT
public:
    // record is cleared and filled only when Apply accepts an address.
    CAdd_remoteIP(kestrel::DeviceRecord& record, kestrel::Notifier& notifier,
                  QWidget* parent = nullptr);

    kestrel::IpAddressEdit& addressEdit() { return address_; }

private:
    void OnApply();

    kestrel::DeviceRecord& record_;
    kestrel::Notifier& notifier_;
    QLabel label_;
    kestrel::IpAddressEdit address_;
    QPushButton apply_;
    QPushButton cancel_;
};
