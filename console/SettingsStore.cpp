#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "ComPorts.h"

namespace {

const QString kGroup = QStringLiteral("Software\\VR7C-20NP");

QString KeyOf(const char* valueName) {
    return kGroup + QLatin1Char('/') + QLatin1String(valueName);
}

}  // namespace

SettingsStore::SettingsStore(QString path) : path_(std::move(path)) {}

QString SettingsStore::DefaultPath() {
    return ConsoleSettingsPath();
}

bool SettingsStore::Exists() const {
    return QFileInfo(path_).isFile();
}

bool SettingsStore::Create() const {
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        return false;
    }
    QFile file(path_);
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

int SettingsStore::Read(std::array<int, 3>& indices) const {
    if (!QFileInfo(path_).isReadable()) {
        return 0;
    }
    const QSettings settings(path_, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        return 0;
    }
    int read = 0;
    for (const char* name : kValueNames) {
        const QVariant value = settings.value(KeyOf(name));
        if (value.typeId() != QMetaType::QString) {
            break;
        }
        bool ok = false;
        const int index = value.toString().toInt(&ok, 10);
        if (!ok) {
            break;
        }
        indices[static_cast<std::size_t>(read)] = index;
        ++read;
    }
    return read;
}

bool SettingsStore::Write(const std::array<int, 3>& indices) const {
    if (!Exists()) {
        return false;
    }
    QSettings settings(path_, QSettings::IniFormat);
    for (std::size_t i = 0; i < kValueNames.size(); ++i) {
        settings.setValue(KeyOf(kValueNames[i]), QString::number(indices[i]));
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString SettingsStore::ReadLanguage() const {
    if (!QFileInfo(path_).isReadable()) {
        return {};
    }
    const QSettings settings(path_, QSettings::IniFormat);
    return settings.value(KeyOf("Language")).toString().trimmed();
}
