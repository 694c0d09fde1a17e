#include "upgrade/ui/Firmware_Upgrade.h"

#include "protocol/upgrade/UpgradeMessages.h"

#include "controls/ColourScheme.h"
#include "controls/DialogKeys.h"
#include "controls/DialogUnits.h"
#include "controls/Paint.h"
#include "core/Latin1.h"
#include "protocol/wire/Ipv4Text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QValidator>

#include <algorithm>
#include <tuple>
#include <utility>

#include <string_view>

using namespace kestrel;

namespace {

// Paths are the system's bytes, whatever their characters.
std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Firmware Path holds at most this many bytes of the path as it is sent
// (the system's encoding of file names), however many characters that is.
constexpr int kMaxPathLength = 127;
constexpr int kMaxPasswordLength = 20;

bool PathFits(const QString& path) {
    return PathBytes(path).size() <= static_cast<std::size_t>(kMaxPathLength);
}

// The longest start of the path, in whole characters, that fits.
QString FittingPath(QString path) {
    while (!PathFits(path))
        path.chop(path.size() > 1 && path.back().isLowSurrogate() ? 2 : 1);
    return path;
}

// Typing or pasting past the limit is refused, as the field's character
// limit refuses it.
class PathBytesValidator : public QValidator {
public:
    State validate(QString& input, int&) const override {
        return PathFits(input) ? Acceptable : Invalid;
    }
};

struct Place {
    const char* id;
    int x, y, width, height;
};

// The empty bands behind the labels and around the fields.
constexpr Place kBars[] = {
    {"ctl1124", 74, 7, 163, 8},   {"ctl1094", 8, 9, 68, 8},     {"ctl1095", 71, 26, 120, 9},
    {"ctl1096", 8, 26, 68, 11},   {"ctl1097", 191, 15, 46, 41}, {"ctl1099", 75, 47, 116, 9},
    {"ctl1125", 8, 74, 68, 8},    {"ctl1100", 65, 71, 158, 9},  {"ctl1101", 76, 92, 147, 11},
    {"ctl1102", 75, 113, 149, 9}, {"ctl1105", 222, 71, 15, 51}, {"ctl1106", 191, 102, 36, 12},
};

struct LabelRow {
    const char* id;
    const char* text; // the leading spaces indent it
    Place place;
    const char* field_id;
    Place field;
};

constexpr LabelRow kRows[] = {
    {"ctl1115", "      Device IP", {nullptr, 8, 17, 69, 10}, "ctl1060", {nullptr, 76, 15, 115, 12}},
    {"ctl1116", "     Device Mac", {nullptr, 8, 37, 69, 19}, "ctl1061", {nullptr, 76, 36, 115, 12}},
    {"ctl1117",
     "      Firmware Path",
     {nullptr, 7, 81, 69, 23},
     "ctl1045",
     {nullptr, 76, 80, 115, 12}},
    {"ctl1118",
     "      Password",
     {nullptr, 7, 104, 69, 18},
     "ctl1070",
     {nullptr, 76, 102, 115, 12}},
    {"ctl1119",
     "      Upgrade State",
     {nullptr, 7, 133, 58, 8},
     "ctl1073",
     {nullptr, 76, 132, 115, 12}},
};

// Under Upgrade State, as wide as its field, in the space above the buttons.
constexpr Place kProgressBar{"upgradeProgress", 76, 146, 115, 7};

void PlaceIn(QWidget& widget, const DialogUnits& du, const Place& p) {
    PlaceAt(widget, du, p.x, p.y, p.width, p.height);
}

} // namespace

namespace kestrel {

std::unique_ptr<QFileDialog> MakeFirmwareFileDialog(QWidget* parent) {
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setWindowTitle(QStringLiteral("Open"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter(QStringLiteral("hex File (*.hex)"));
    dialog->setDefaultSuffix(QStringLiteral("hex"));
    dialog->selectFile(QStringLiteral("*.hex"));
    return dialog;
}

QString ChooseFirmwareFile(QWidget* parent) {
    const auto dialog = MakeFirmwareFileDialog(parent);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    return dialog->selectedFiles().value(0);
}

} // namespace kestrel

CFirmware_Upgrade::CFirmware_Upgrade(UpgradeRun& run, QWidget* parent)
    : QDialog(parent), run_(run) {
    setObjectName(QStringLiteral("firmwareUpgradeDialog"));
    setWindowTitle(QStringLiteral("Firmware Upgrade"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFont(QFont(QStringLiteral("Arial"), 8));
    BuildForm();
    ApplyColours();

    device_ip_.setText(Latin1(FormatIpv4(run_.target().ip)));
    device_mac_.setText(Latin1(FieldText(run_.target().mac_text)));
    firmware_path_.setText(FittingPath(PathText(run_.firmwarePath())));
    start_.setEnabled(!run_.busy());

    connect(&browse_, &QPushButton::clicked, this, &CFirmware_Upgrade::OnBrowse);
    connect(&start_, &QPushButton::clicked, this, &CFirmware_Upgrade::OnStart);
    connect(&cancel_, &QPushButton::clicked, this, &QDialog::close);
    // Upgrade State tells the run in the dialog's words.
    connect(&run_, &UpgradeRun::TransferStarted, this, [this] {
        ShowFinalState(kStateWait);
        progress_bar_.setValue(progress_bar_.minimum());
        progress_shown_.invalidate();
    });
    connect(&run_, &UpgradeRun::Progress, this, &CFirmware_Upgrade::OnProgress);
    progress_timer_.setSingleShot(true);
    progress_timer_.setTimerType(Qt::PreciseTimer);
    connect(&progress_timer_, &QTimer::timeout, this, &CFirmware_Upgrade::ShowPendingProgress);
    // Start stays off while a start or a transfer is under way: one at a time.
    connect(&run_, &UpgradeRun::BusyChanged, &start_,
            [this](bool busy) { start_.setEnabled(!busy); });
    connect(&run_, &UpgradeRun::Ended, this, &CFirmware_Upgrade::OnEnded);
}

CFirmware_Upgrade::~CFirmware_Upgrade() {
    // However the dialog goes, nothing of its upgrade runs on.
    run_.Cancel();
}

void CFirmware_Upgrade::BuildForm() {
    const DialogUnits du(font());
    setFixedSize(du.ToPixels(245, 172));

    for (auto [box, id, text, y, height] :
         {std::tuple{&device_box_, "ctl1120", "Device Information", 2, 55},
          std::tuple{&setting_box_, "ctl1121", "Upgrade Setting", 66, 57}}) {
        box->setParent(this);
        box->setObjectName(QString::fromLatin1(id));
        box->setTitle(QString::fromLatin1(text));
        PlaceAt(*box, du, 7, y, 231, height);
    }
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        bars_[i].setParent(this);
        bars_[i].setObjectName(QString::fromLatin1(kBars[i].id));
        PlaceIn(bars_[i], du, kBars[i]);
    }

    QLineEdit* fields[] = {&device_ip_, &device_mac_, &firmware_path_, &password_, &upgrade_state_};
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const LabelRow& row = kRows[i];
        QLabel& label = labels_[i];
        label.setParent(this);
        label.setObjectName(QString::fromLatin1(row.id));
        label.setText(QString::fromLatin1(row.text));
        label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
        PlaceIn(label, du, row.place);
        QLineEdit& field = *fields[i];
        field.setParent(this);
        field.setObjectName(QString::fromLatin1(row.field_id));
        field.setAccessibleName(label.text().trimmed());
        label.setBuddy(&field);
        PlaceIn(field, du, row.field);
    }
    for (QLineEdit* shown : {&device_ip_, &device_mac_, &upgrade_state_}) {
        shown->setReadOnly(true);
        shown->setFrame(false);
    }
    firmware_path_.setMaxLength(kMaxPathLength); // no character takes less than a byte
    path_validator_ = std::make_unique<PathBytesValidator>();
    firmware_path_.setValidator(path_validator_.get());
    password_.setMaxLength(kMaxPasswordLength);
    password_.setEchoMode(QLineEdit::Password);

    progress_bar_.setParent(this);
    progress_bar_.setObjectName(QString::fromLatin1(kProgressBar.id));
    progress_bar_.setAccessibleName(QStringLiteral("Upgrade progress"));
    // Upgrade State says the bytes already.
    progress_bar_.setTextVisible(false);
    progress_bar_.setRange(0, 1);
    progress_bar_.setValue(0);
    PlaceIn(progress_bar_, du, kProgressBar);

    // Enter and Esc are no dialog keys here: no button is a default one.
    for (auto [button, id, text, x, y, width] :
         {std::tuple{&browse_, "ctl1074", "Browse", 192, 80, 30},
          std::tuple{&start_, "ctl1015", "Start", 17, 155, 70},
          std::tuple{&cancel_, "ctl2", "Cancel", 156, 155, 70}}) {
        button->setParent(this);
        button->setObjectName(QString::fromLatin1(id));
        button->setText(QString::fromLatin1(text));
        button->setAutoDefault(false);
        button->setDefault(false);
        PlaceAt(*button, du, x, y, width, 12);
    }
    // The fields and buttons in their order on the form.
    setTabOrder(&firmware_path_, &browse_);
    setTabOrder(&browse_, &password_);
    setTabOrder(&password_, &start_);
    setTabOrder(&start_, &cancel_);
}

void CFirmware_Upgrade::ApplyColours() {
    Paint(*this, QPalette::Window, colours::kWhite, QPalette::WindowText, colours::kBlack);
    setAutoFillBackground(true);
    for (QLabel& bar : bars_) {
        Paint(bar, QPalette::Window, colours::kLabelGrey, QPalette::WindowText, colours::kBlack);
        bar.setAutoFillBackground(true);
    }
    // The four field labels sit on label-grey bands; Upgrade State on white.
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const QColor& fill = i + 1 < labels_.size() ? colours::kLabelGrey : colours::kWhite;
        Paint(labels_[i], QPalette::Window, fill, QPalette::WindowText, colours::kBlack);
        labels_[i].setAutoFillBackground(true);
    }
    for (QGroupBox* box : {&device_box_, &setting_box_})
        Paint(*box, QPalette::Window, colours::kWhite, QPalette::WindowText, colours::kBlack);
    for (QLineEdit* edit : {&firmware_path_, &password_})
        Paint(*edit, QPalette::Base, colours::kWhite, QPalette::Text, colours::kBlack);
    // Read-only fields keep the desktop's look for them, so they stand out
    // on the white face.
    const QPalette desktop = QApplication::palette();
    for (QLineEdit* edit : {&device_ip_, &device_mac_, &upgrade_state_}) {
        Paint(*edit, QPalette::Base, desktop.color(QPalette::Window), QPalette::Text,
              desktop.color(QPalette::Text));
    }
    // A label-grey groove on the white face, filled in the program's blue.
    Paint(progress_bar_, QPalette::Window, colours::kWhite, QPalette::WindowText, colours::kBlack);
    Paint(progress_bar_, QPalette::Base, colours::kLabelGrey, QPalette::Text, colours::kBlack);
    Paint(progress_bar_, QPalette::Highlight, colours::kPanelBlue, QPalette::HighlightedText,
          colours::kWhite);
}

void CFirmware_Upgrade::OnBrowse() {
    // A cancelled choice empties the path; a longer one is cut, as typing
    // would stop.
    const QString chosen = chooseFile(this);
    firmware_path_.setText(FittingPath(chosen));
    run_.SetFirmwarePath(PathBytes(firmware_path_.text()));
}

void CFirmware_Upgrade::OnStart() {
    run_.Start(Latin1Bytes(password_.text()), PathBytes(firmware_path_.text()));
}

void CFirmware_Upgrade::OnProgress(const TransferProgress& progress) {
    if (progress.last) {
        ShowBar(progress);
        if (const std::optional<std::string> text = UpgradeStateText(progress))
            ShowFinalState(*text);
        return;
    }
    pending_progress_ = progress;
    if (progress_timer_.isActive())
        return;
    const qint64 since = progress_shown_.isValid() ? progress_shown_.elapsed() : kProgressShowMs;
    if (since >= kProgressShowMs)
        ShowPendingProgress();
    else
        progress_timer_.start(static_cast<int>(kProgressShowMs - since));
}

void CFirmware_Upgrade::ShowPendingProgress() {
    if (!pending_progress_)
        return;
    const TransferProgress progress = *std::exchange(pending_progress_, std::nullopt);
    ShowBar(progress);
    // The first block has no text of its own: the second shows at once too.
    if (const std::optional<std::string> text = UpgradeStateText(progress)) {
        upgrade_state_.setText(Latin1(*text));
        progress_shown_.start();
    }
}

void CFirmware_Upgrade::ShowBar(const TransferProgress& progress) {
    // An empty file still has a range, so the bar never turns into a busy
    // indicator.
    progress_bar_.setRange(0, std::max(static_cast<int>(progress.total), 1));
    progress_bar_.setValue(static_cast<int>(progress.acknowledged));
}

void CFirmware_Upgrade::ShowFinalState(std::string_view text) {
    progress_timer_.stop();
    pending_progress_.reset();
    upgrade_state_.setText(Latin1(text));
}

void CFirmware_Upgrade::OnEnded(const UpgradeEnd& end) {
    // The bar keeps the last bytes acknowledged; a completed write has them all.
    if (pending_progress_)
        ShowBar(*pending_progress_);
    if (end.kind == UpgradeEndKind::Completed)
        progress_bar_.setValue(progress_bar_.maximum());
    progress_timer_.stop();
    pending_progress_.reset();
    if (const std::optional<std::string> text = UpgradeStateText(end))
        ShowFinalState(*text);
    // The dialog ends with the upgrade: after the wait that follows the last
    // ACK, or once the device's error has been said.
    if (end.kind == UpgradeEndKind::Completed || end.kind == UpgradeEndKind::DeviceError)
        close();
}

void CFirmware_Upgrade::keyPressEvent(QKeyEvent* event) {
    if (!SwallowDialogKey(*event))
        QDialog::keyPressEvent(event);
}

void CFirmware_Upgrade::closeEvent(QCloseEvent* event) {
    run_.Cancel();
    QDialog::closeEvent(event);
}
