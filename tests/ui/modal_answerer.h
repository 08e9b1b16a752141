#pragma once
// Answers the modal windows a test opens: a timer looks at the active modal widget,
// records every message box, and hands each modal window to the test's script. Windows
// the script leaves alone are closed with their escape answer, so no test can hang.

#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class QDialog;
class QMessageBox;
class QWidget;

namespace tallowin::test {

struct SeenBox {
    std::string text;
    std::string caption;
    bool owned;  // has a parent window
    int icon;    // QMessageBox::Icon
};

class ModalAnswerer : public QObject {
    Q_OBJECT
public:
    // The script: called with the active modal widget; returns true when it dealt with
    // it (for now). Boxes it does not deal with are dismissed.
    using Script = std::function<bool(QWidget*)>;

    ModalAnswerer();
    void SetScript(Script script) { script_ = std::move(script); }

    const std::vector<SeenBox>& Boxes() const { return boxes_; }
    std::vector<std::string> Texts() const;
    void ClearBoxes() { boxes_.clear(); }

    // Runs `dialog` modally; `script` acts on it once, when it is showing. Returns the
    // dialog's result.
    int RunOnce(QDialog& dialog, std::function<void(QWidget*)> script);

    // Clicks the button of a box whose text is `text` ("&Yes" and "Yes" both match).
    static bool ClickButton(QMessageBox* box, const QString& text);

private:
    void Tick();

    QTimer timer_;
    Script script_;
    std::vector<SeenBox> boxes_;
    QSet<QWidget*> inScript_;
};

}  // namespace tallowin::test
