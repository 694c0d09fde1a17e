#include "AboutDlg.h"

#include "ProgramVersion.h"
#include "controls/ColourScheme.h"
#include "controls/DialogUnits.h"
#include "controls/Pictures.h"

using namespace kestrel;

namespace {

struct Line {
    int id;
    const char* text;
    int x, y, width, height;
};

constexpr std::array<Line, 3> kLines = {{
    {1115, nullptr, 52, 8, 134, 8}, // the version, from the build
    {1116, "Protocol Version 2.001.003", 52, 24, 86, 8},
    {1117, "(C) 2026 the Kestrel Utility authors", 52, 40, 125, 8},
}};

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About"));
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    const DialogUnits units(font);
    setFixedSize(units.ToPixels(218, 72));

    QPalette face = palette();
    face.setColor(QPalette::Window, colours::kWhite);
    face.setColor(QPalette::WindowText, colours::kBlack);
    setPalette(face);
    setAutoFillBackground(true);

    icon_.setParent(this);
    PlaceAt(icon_, units, 15, 17, 20, 20);
    icon_.setObjectName(QStringLiteral("aboutIcon"));
    icon_.setAccessibleName(QStringLiteral("Kestrel Utility"));
    const int side = std::min(icon_.width(), icon_.height());
    icon_.setPixmap(RenderPicture(Picture::ProgramIcon, QSize(side, side)));
    icon_.setAlignment(Qt::AlignCenter);

    for (std::size_t i = 0; i < lines_.size(); ++i) {
        QLabel& label = lines_[i];
        label.setParent(this);
        PlaceAt(label, units, kLines[i].x, kLines[i].y, kLines[i].width, kLines[i].height);
        label.setObjectName(QStringLiteral("ctl%1").arg(kLines[i].id));
        label.setText(kLines[i].text ? QString::fromLatin1(kLines[i].text) : AboutVersionText());
        label.setTextFormat(Qt::PlainText);
    }

    ok_.setParent(this);
    PlaceAt(ok_, units, 148, 53, 50, 14);
    ok_.setObjectName(QStringLiteral("ctl1"));
    ok_.setText(QStringLiteral("OK"));
    ok_.setDefault(true);
    connect(&ok_, &QPushButton::clicked, this, &QDialog::accept);
}
