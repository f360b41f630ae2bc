#include "ui/main/About_program.h"

TForm6::TForm6(const vornic::Services& services, QWidget* parent) : QDialog(parent), services_(services) {
    ui.setupUi(this);
    // The build decides the version, so that a package made to be offered as an update reports its own number.
    ui.LVersion->setText(QString::number(VORNIC_VERSION));
    // A close box only: the window has nothing to show at another size.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(441, 194);
    // The link label would otherwise open the address itself, past the desktop seam.
    ui.LabelLink->setOpenExternalLinks(false);
    connect(ui.LabelLink, &QLabel::linkActivated, this, &TForm6::LabelLinkClick);
    connect(ui.Button1, &QPushButton::clicked, this, &TForm6::Button1Click);
}

int TForm6::version() const {
    return LVersionText().trimmed().toInt();
}

// Handed to the desktop as it stands; whether a browser came up is not the program's concern.
void TForm6::LabelLinkClick(const QString& target) {
    services_.shell->open(target);
}

void TForm6::Button1Click() {
    close();
}
