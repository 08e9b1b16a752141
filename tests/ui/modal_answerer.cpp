#include "modal_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>

namespace tallowin::test {

ModalAnswerer::ModalAnswerer() {
    timer_.setInterval(15);
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Tick);
    timer_.start();
}

std::vector<std::string> ModalAnswerer::Texts() const {
    std::vector<std::string> texts;
    for (const SeenBox& box : boxes_) texts.push_back(box.text);
    return texts;
}

bool ModalAnswerer::ClickButton(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text().remove(u'&') == text) {
            button->click();
            return true;
        }
    }
    return false;
}

void ModalAnswerer::Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || inScript_.contains(modal)) return;
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box && !box->property("tallowinSeen").toBool()) {
        boxes_.push_back({box->text().toStdString(), box->windowTitle().toStdString(), box->parentWidget() != nullptr,
                          static_cast<int>(box->icon())});
        box->setProperty("tallowinSeen", true);
    }
    // The script runs from a posted call, not inside this timer's slot: a timer is not
    // delivered again while its slot runs, and the script may open nested windows
    // that the next ticks must answer.
    inScript_.insert(modal);
    const QPointer<QWidget> guard(modal);
    QMetaObject::invokeMethod(
        this,
        [this, guard, modal] {
            const bool handled = guard && script_ && script_(modal);
            inScript_.remove(modal);
            if (handled || !guard) return;
            auto* box = qobject_cast<QMessageBox*>(guard.data());
            if (QAbstractButton* escape = box ? box->escapeButton() : nullptr)
                escape->click();
            else if (auto* dialog = qobject_cast<QDialog*>(guard.data()))
                dialog->reject();
        },
        Qt::QueuedConnection);
}

int ModalAnswerer::RunOnce(QDialog& dialog, std::function<void(QWidget*)> script) {
    bool done = false;
    SetScript([&](QWidget* modal) {
        if (modal != &dialog) return false;
        if (!done) {
            done = true;
            script(modal);
        }
        return true;
    });
    return dialog.exec();
}

}  // namespace tallowin::test
