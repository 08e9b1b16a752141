#include "settings_store.h"

#include "app_identity.h"

#include <QSettings>
#include <QStandardPaths>
#include <QString>

#include <limits>

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
    return value.toString().toStdString();
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
