#pragma once
// A decimal-comma locale for the length of one test.

#include <QLocale>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <string>

namespace tallowin::test {

// Switches the C library's numbers (and Qt's default locale) to a decimal comma for one
// test, and back. The comma locale comes from the system, or is made with localedef
// into the test's folder when the system has none.
class CommaLocale {
public:
    explicit CommaLocale(const std::string& folder) {
        saved_ = std::setlocale(LC_NUMERIC, nullptr);
        savedQt_ = QLocale();
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
            const std::string source = folder + "/comma.src";
            std::ofstream(source) << "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\n"
                                     "END LC_NUMERIC\n";
            const std::string command = "localedef -c -i '" + source + "' -f UTF-8 '" + folder +
                                        "/xx_XX.UTF-8' >/dev/null 2>&1";
            (void)std::system(command.c_str());
            ::setenv("LOCPATH", folder.c_str(), 1);
            std::setlocale(LC_NUMERIC, "xx_XX.UTF-8");
        }
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    ~CommaLocale() {
        std::setlocale(LC_NUMERIC, saved_.c_str());
        ::unsetenv("LOCPATH");
        QLocale::setDefault(savedQt_);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    // The C library really reads "1,5" as one and a half.
    static bool Active() { return std::strtod("1,5", nullptr) == 1.5; }

private:
    std::string saved_;
    QLocale savedQt_;
};

}  // namespace tallowin::test
