#pragma once
// The About box: the program's icon, name and version, and OK.

#include <QDialog>

namespace tallowin::ui {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};


}  // namespace tallowin::ui
