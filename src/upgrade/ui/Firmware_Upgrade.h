#pragma once
// "Firmware Upgrade": shows the agent chosen when it opened, takes the
// firmware file and the password, and forwards Start and Cancel to the
// program's upgrade run; the run writes the Upgrade State field. Modeless,
// so the main window goes on polling and answering while it is open; it
// deletes itself when closed.
//
// Controls carry their IDs as object names ("ctl1045" is Firmware Path).
//
// Progress comes for every 512-byte block; Upgrade State and the progress
// bar under it show the latest at most every kProgressShowMs, since each
// change of a shown text costs painting and, with a screen reader, an
// accessibility event. The texts that end something show at once.

#include "upgrade/UpgradeRun.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

class QFileDialog;
class QValidator;

namespace kestrel {

// The Browse dialog, set up but not shown.
std::unique_ptr<QFileDialog> MakeFirmwareFileDialog(QWidget* parent);
// Runs it; the chosen file, or an empty text when cancelled.
QString ChooseFirmwareFile(QWidget* parent);

} // namespace kestrel

class CFirmware_Upgrade : public QDialog {
    Q_OBJECT
public:
    static constexpr int kProgressShowMs = 100;

    // The run must outlive the dialog.
    explicit CFirmware_Upgrade(kestrel::UpgradeRun& run, QWidget* parent = nullptr);
    ~CFirmware_Upgrade() override;

    void OnBrowse();
    void OnStart();

    // What Browse runs; tests answer it without a modal dialog.
    std::function<QString(QWidget*)> chooseFile = kestrel::ChooseFirmwareFile;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildForm();
    void ApplyColours();
    void OnEnded(const kestrel::UpgradeEnd& end);
    void OnProgress(const kestrel::TransferProgress& progress);
    // Shows the progress held back, if any.
    void ShowPendingProgress();
    void ShowBar(const kestrel::TransferProgress& progress);
    // A text that ends a phase: at once, and no held-back progress after it.
    void ShowFinalState(std::string_view text);

    kestrel::UpgradeRun& run_;

    QGroupBox device_box_;
    QGroupBox setting_box_;
    std::array<QLabel, 12> bars_;
    std::array<QLabel, 5> labels_; // Device IP, Device Mac, Firmware Path, Password, Upgrade State
    QLineEdit device_ip_;
    QLineEdit device_mac_;
    QLineEdit firmware_path_;
    std::unique_ptr<QValidator> path_validator_; // at most 127 bytes
    QLineEdit password_;
    QLineEdit upgrade_state_;
    QProgressBar progress_bar_; // bytes acknowledged of the file's size
    std::optional<kestrel::TransferProgress> pending_progress_;
    QTimer progress_timer_;        // shows the pending progress when its turn comes
    QElapsedTimer progress_shown_; // since the last progress shown; invalid: none yet
    QPushButton browse_;
    QPushButton start_;
    QPushButton cancel_;
};
