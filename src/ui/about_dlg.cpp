#include "about_dlg.h"

#include "app_icon.h"
#include "control_ids_text.h"
#include "dialog_units.h"
#include "tallowin_version.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace tallowin::ui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("100"));
    setWindowTitle(QStringLiteral("About"));
    const DialogUnits du(this);

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(du.Y(32), du.Y(32)));
    auto* name = WithId(new QLabel(QStringLiteral("Pictavo"), this), IDC_ABOUT_NAME);
    auto* version = WithId(new QLabel(QStringLiteral("Version " TALLOWIN_VERSION_SHORT), this), IDC_ABOUT_VERSION);
    auto* ok = WithId(new QPushButton(QStringLiteral("OK"), this), IDOK);
    ok->setDefault(true);
    ok->setMinimumWidth(du.X(50));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(name, 0, 1);
    grid->addWidget(version, 1, 1);
    grid->setColumnMinimumWidth(1, du.X(157));
    grid->setRowMinimumHeight(2, du.Y(50));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addStretch(1);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setHorizontalSpacing(du.X(16));
    setFixedSize(sizeHint());
}

}  // namespace tallowin::ui
