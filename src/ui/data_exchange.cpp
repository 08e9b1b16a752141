#include "data_exchange.h"

#include "integer_text.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tallowin::ui {

std::optional<double> ParseExchangeNumber(const QString& text) {
    std::string bytes = text.trimmed().toStdString();
    // from_chars reads the C notation whatever the process's locale (strtod would take
    // "1,5" and refuse "1.5" under a decimal-comma locale); it takes no '+' of its own.
    if (!bytes.empty() && bytes.front() == '+') {
        bytes.erase(0, 1);
        if (!bytes.empty() && (bytes.front() == '+' || bytes.front() == '-')) return std::nullopt;
    }
    // Decimal digits only: the library may take hexadecimal ("0x10") as well.
    if (bytes.empty() || bytes.find_first_of("xX") != std::string::npos) return std::nullopt;
    double value = 0.0;
    const char* const end = bytes.data() + bytes.size();
    const auto [stop, error] = std::from_chars(bytes.data(), end, value, std::chars_format::general);
    if (error != std::errc() || stop != end) return std::nullopt;
    // "nan" and "inf" would slip past every range check.
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

// Qt's own formatting: the C notation in every locale.
QString FormatExchangeNumber(double value) { return QString::asprintf("%.15g", value); }

DataExchange::DataExchange(QWidget* owner, ExchangeDirection direction, QString caption)
    : owner_(owner), direction_(direction), caption_(std::move(caption)) {}

void DataExchange::Fail(const QString& message) {
    ok_ = false;
    QMessageBox box(QMessageBox::Warning, caption_, message, QMessageBox::Ok, owner_);
    box.exec();
    if (last_) {
        last_->setFocus(Qt::OtherFocusReason);
        last_->selectAll();
    }
}

void DataExchange::Integer(QLineEdit* edit, int32_t& field) {
    if (!ok_) return;
    last_ = edit;
    if (!Reading()) {
        edit->setText(QString::number(field));
        return;
    }
    if (const auto value = ParseExchangeInteger(edit->text().toStdString()))
        field = *value;
    else
        Fail(QStringLiteral("Enter an integer."));
}

void DataExchange::Number(QLineEdit* edit, double& field) {
    if (!ok_) return;
    last_ = edit;
    if (!Reading()) {
        edit->setText(FormatExchangeNumber(field));
        return;
    }
    if (const auto value = ParseExchangeNumber(edit->text()))
        field = *value;
    else
        Fail(QStringLiteral("Enter a number."));
}

void DataExchange::Text(QLineEdit* edit, std::string& field) {
    if (!ok_) return;
    last_ = edit;
    if (Reading())
        field = edit->text().toStdString();
    else
        edit->setText(QString::fromStdString(field));
}

void DataExchange::Check(QCheckBox* box, int32_t& field) {
    if (!ok_) return;
    if (Reading())
        field = box->isChecked() ? 1 : 0;
    else
        box->setChecked(field != 0);
}

void DataExchange::IntegerRange(int32_t value, int32_t minimum, int32_t maximum) {
    if (!ok_ || !Reading()) return;
    if (value < minimum || value > maximum)
        Fail(QStringLiteral("Enter an integer between %1 and %2.").arg(minimum).arg(maximum));
}

void DataExchange::NumberRange(double value, double minimum, double maximum) {
    if (!ok_ || !Reading()) return;
    if (value < minimum || value > maximum)
        Fail(QStringLiteral("Enter a number between %1 and %2.")
                 .arg(FormatExchangeNumber(minimum), FormatExchangeNumber(maximum)));
}

}  // namespace tallowin::ui
