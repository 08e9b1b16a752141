#pragma once
// Data exchange between edit boxes and fields, with the desktop's standard messages.
// In the reading direction the first failing field stops the exchange: its message is
// shown with the exclamation icon, the edit exchanged last gets the focus, the fields
// before it keep their new values and the later ones are left alone.

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace tallowin::ui {

enum class ExchangeDirection { ToFields, ToControls };

// A finite real number in the C notation (a '.' before the decimals, whatever the
// locale) with optional blanks around it.
std::optional<double> ParseExchangeNumber(const QString& text);
// Shortest general form with up to 15 significant digits ("1", "0.5", "1e-06"), in the
// C notation whatever the locale.
QString FormatExchangeNumber(double value);

class DataExchange {
public:
    // `caption` is the title of the boxes that report a failing field; `owner` owns them.
    DataExchange(QWidget* owner, ExchangeDirection direction, QString caption);

    bool Reading() const { return direction_ == ExchangeDirection::ToFields; }
    // False once a field has failed; every later call then does nothing.
    bool Ok() const { return ok_; }

    void Integer(QLineEdit* edit, int32_t& field);
    void Number(QLineEdit* edit, double& field);
    void Text(QLineEdit* edit, std::string& field);
    void Check(QCheckBox* box, int32_t& field);
    // Range checks of the field exchanged last (reading direction only).
    void IntegerRange(int32_t value, int32_t minimum, int32_t maximum);
    void NumberRange(double value, double minimum, double maximum);

private:
    void Fail(const QString& message);

    QWidget* owner_;
    ExchangeDirection direction_;
    QString caption_;
    QLineEdit* last_ = nullptr;
    bool ok_ = true;
};

}  // namespace tallowin::ui
