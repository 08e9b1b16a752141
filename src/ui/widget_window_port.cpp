#include "widget_window_port.h"

#include "button_texts.h"
#include "control_ids_text.h"
#include "desktop_opener.h"
#include "progress_bar.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <type_traits>

namespace tallowin::ui {
namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::Ok: break;
    }
    return QMessageBox::Ok;
}

// The answer when the box is closed without a button (Escape or the close box):
// the desktop reports Cancel where there is one, otherwise No or OK.
MessageAnswer AnswerOf(int button, MessageButtons buttons) {
    switch (button) {
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    case QMessageBox::Ok: return MessageAnswer::Ok;
    default: break;
    }
    switch (buttons) {
    case MessageButtons::YesNo: return MessageAnswer::No;
    case MessageButtons::YesNoCancel:
    case MessageButtons::OkCancel: return MessageAnswer::Cancel;
    case MessageButtons::Ok: break;
    }
    return MessageAnswer::Ok;
}

}  // namespace

MessageAnswer RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                            MessageButtons buttons, MessageIcon icon) {
    QMessageBox box(ToQtIcon(icon), ToQt(caption), ToQt(text), ToQtButtons(buttons), owner);
    if (buttons == MessageButtons::YesNo) box.setEscapeButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    return AnswerOf(box.exec(), buttons);
}

WidgetWindowPort::WidgetWindowPort(QWidget* window) : QObject(window), window_(window) {}

template <typename Work>
auto WidgetWindowPort::OnGuiThread(Work work) -> decltype(work()) {
    using Result = decltype(work());
    if (QThread::currentThread() == thread()) return work();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

QWidget* WidgetWindowPort::Control(ControlId id) const {
    if (!window_) return nullptr;
    return window_->findChild<QWidget*>(ControlName(id));
}

MessageAnswer WidgetWindowPort::ShowMessage(const std::string& text, const std::string& caption,
                                            MessageButtons buttons, MessageIcon icon, MessageOwner owner) {
    return OnGuiThread([=, this] {
        QWidget* parent = owner == MessageOwner::MainWindow ? window_.data() : nullptr;
        return RunMessageBox(parent, text, caption, buttons, icon);
    });
}

// The overwrite question: a warning box owned by the window with five buttons;
// Escape or the close box answers No.
ReplaceChoice WidgetWindowPort::AskReplace(const std::string& text, const std::string& caption) {
    return OnGuiThread([=, this] {
        QMessageBox box(QMessageBox::Warning, ToQt(caption), ToQt(text), QMessageBox::NoButton, window_.data());
        box.setTextFormat(Qt::PlainText);
        box.addButton(QMessageBox::Yes);
        QAbstractButton* no = box.addButton(QMessageBox::No);
        box.addButton(QMessageBox::YesToAll)->setText(QStringLiteral("Yes to &all"));
        box.addButton(QMessageBox::NoToAll)->setText(QStringLiteral("N&o to all"));
        QAbstractButton* keepBoth = box.addButton(QStringLiteral("&Keep both"), QMessageBox::AcceptRole);
        keepBoth->setObjectName(QStringLiteral("keepBoth"));
        box.setEscapeButton(no);
        box.exec();
        QAbstractButton* clicked = box.clickedButton();
        if (clicked == keepBoth) return ReplaceChoice::KeepBoth;
        switch (box.standardButton(clicked)) {
        case QMessageBox::Yes: return ReplaceChoice::Yes;
        case QMessageBox::YesToAll: return ReplaceChoice::YesToAll;
        case QMessageBox::NoToAll: return ReplaceChoice::NoToAll;
        default: return ReplaceChoice::No;
        }
    });
}

// A failure box of a run: OK, with a check box that silences the rest of the run.
bool WidgetWindowPort::ShowRunFailure(const std::string& text, const std::string& caption) {
    return OnGuiThread([=, this] {
        QMessageBox box(QMessageBox::NoIcon, ToQt(caption), ToQt(text), QMessageBox::Ok, window_.data());
        box.setTextFormat(Qt::PlainText);
        auto* dontShowAgain = new QCheckBox(QStringLiteral("Don't show again in this run"), &box);
        box.setCheckBox(dontShowAgain);
        box.exec();
        return dontShowAgain->isChecked();
    });
}

std::string WidgetWindowPort::ControlText(ControlId id) {
    return OnGuiThread([=, this]() -> std::string {
        QWidget* control = Control(id);
        if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text().toStdString();
        if (auto* check = qobject_cast<QCheckBox*>(control)) return check->isChecked() ? "1" : "0";
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            return WithoutMnemonic(button->text()).toStdString();
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text().toStdString();
        return {};
    });
}

void WidgetWindowPort::SetControlText(ControlId id, const std::string& text) {
    OnGuiThread([=, this] {
        QWidget* control = Control(id);
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(ToQt(text));
        } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
            check->setChecked(text == "1");
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            SetPlainText(button, ToQt(text));
        } else if (auto* label = qobject_cast<QLabel*>(control)) {
            label->setText(ToQt(text));
        }
        if (id == IDC_CONVERT && convertChanged_) convertChanged_();
    });
}

void WidgetWindowPort::EnableControl(ControlId id, bool enabled) {
    OnGuiThread([=, this] {
        if (QWidget* control = Control(id)) control->setEnabled(enabled);
        if (id == IDC_CONVERT && convertChanged_) convertChanged_();
    });
}

void WidgetWindowPort::SetProgress(int position) {
    OnGuiThread([=, this] {
        if (auto* bar = qobject_cast<QProgressBar*>(Control(IDC_PROGRESS)))
            bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    });
}

void WidgetWindowPort::SetProgressText(const std::string& text) {
    OnGuiThread([=, this] {
        if (auto* bar = qobject_cast<ProgressBar*>(Control(IDC_PROGRESS))) bar->SetCaption(ToQt(text));
    });
}

void WidgetWindowPort::AddLogLine(const std::string& line) {
    OnGuiThread([=, this] {
        if (auto* list = qobject_cast<QListWidget*>(Control(IDC_LOG_LIST))) {
            list->addItem(ToQt(line));
            list->setCurrentRow(list->count() - 1);
        }
    });
}

void WidgetWindowPort::RemoveFirstLogLine() {
    OnGuiThread([this] {
        if (auto* list = qobject_cast<QListWidget*>(Control(IDC_LOG_LIST))) delete list->takeItem(0);
    });
}

void WidgetWindowPort::ClearLog() {
    OnGuiThread([this] {
        if (auto* list = qobject_cast<QListWidget*>(Control(IDC_LOG_LIST))) list->clear();
    });
}

void WidgetWindowPort::PhotoListChanged() {
    OnGuiThread([this] {
        if (photoListChanged_) photoListChanged_();
    });
}

void WidgetWindowPort::PhotoStatusesChanged() {
    if (QThread::currentThread() == thread()) {
        if (photoStatusesChanged_) photoStatusesChanged_();
        return;
    }
    // The workers go on at once: one refresh is posted, which reads the statuses as they
    // stand when it runs, so changes made meanwhile need no refresh of their own. Being
    // queued like the blocking calls, it runs before any later box or control change.
    if (statusRefreshPosted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            statusRefreshPosted_.store(false);
            if (photoStatusesChanged_) photoStatusesChanged_();
        },
        Qt::QueuedConnection);
}

void WidgetWindowPort::DropPreview() {
    OnGuiThread([this] {
        if (dropPreview_) dropPreview_();
    });
}

bool WidgetWindowPort::OpenWithDesktop(const std::string& pathOrUrl) {
    return OnGuiThread([=] { return OpenWithDesktopApplication(ToQt(pathOrUrl)); });
}

}  // namespace tallowin::ui
