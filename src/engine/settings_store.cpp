#include "settings_store.h"

#include "app_identity.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>

#include <limits>
#include <optional>

namespace tallowin {

namespace {

// QSettings' own UserScope lookup reads XDG_CONFIG_HOME once per process; naming the
// file ourselves follows the environment of the moment (tests give every case its own).
QString DefaultIniFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/" +
           QString::fromUtf8(kCompanyKey) + "/" + QString::fromUtf8(kApplicationName) + ".conf";
}

QString KeyOf(const std::string& section, const std::string& entry)
{
    return QString::fromStdString(section) + "/" + QString::fromStdString(entry);
}

// The text after "entry=" in section [section] of an INI file, blanks around it removed;
// nothing when the file or the entry is missing.
std::optional<QString> RawIniValue(const QString& fileName, const std::string& section, const std::string& entry)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    const QString wantedSection = QString::fromStdString(section);
    const QString wantedEntry = QString::fromStdString(entry);
    std::optional<QString> found;
    QString current;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (current != wantedSection || equals <= 0 || line.left(equals).trimmed() != wantedEntry) continue;
        found = line.mid(equals + 1).trimmed();  // the last one wins, as in QSettings
    }
    return found;
}

// A text entry as the user reads it in the file. QSettings takes an unquoted ',' as a
// list separator and an unquoted ';' as the start of a comment, so a hand-edited
// "My Pictures, 2024" would come back as a list (and as "" through toString()). A value
// without quotes or escapes is therefore taken exactly as it stands in the file; one
// with them (as QSettings writes texts that need them) is QSettings' to read.
QString TextOf(const QVariant& value, const std::optional<QString>& raw)
{
    const bool plain = raw && !raw->contains(u'"') && !raw->contains(u'\\') && !raw->startsWith(u'@');
    if (plain) return *raw;
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

}  // namespace

SettingsStore::SettingsStore() : settings_(std::make_unique<QSettings>(DefaultIniFile(), QSettings::IniFormat)) {}

SettingsStore::SettingsStore(const std::string& iniFile)
    : settings_(std::make_unique<QSettings>(QString::fromStdString(iniFile), QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

int32_t SettingsStore::GetProfileInt(const std::string& section, const std::string& entry, int32_t defaultValue) const
{
    const QVariant value = settings_->value(KeyOf(section, entry));
    if (!value.isValid()) return defaultValue;
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok || number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<int32_t>::max())
        return defaultValue;
    return static_cast<int32_t>(number);
}

std::string SettingsStore::GetProfileString(const std::string& section, const std::string& entry,
                                            const std::string& defaultValue) const
{
    const QVariant value = settings_->value(KeyOf(section, entry));
    if (!value.isValid()) return defaultValue;
    return TextOf(value, RawIniValue(settings_->fileName(), section, entry)).toStdString();
}

bool SettingsStore::WriteProfileInt(const std::string& section, const std::string& entry, int32_t value)
{
    settings_->setValue(KeyOf(section, entry), static_cast<int>(value));
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

bool SettingsStore::WriteProfileString(const std::string& section, const std::string& entry, const std::string& value)
{
    settings_->setValue(KeyOf(section, entry), QString::fromStdString(value));
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

std::string SettingsStore::FileName() const { return settings_->fileName().toStdString(); }

}  // namespace tallowin
