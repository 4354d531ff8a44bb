#pragma once

#include <QString>

#include <array>

// The console's settings store: an ini file that holds, under "Software\VR7C-20NP", the
// list indices "Port", "BaudRate" and "Address" as decimal texts. The settings entry
// exists when the file exists; creating the entry creates the empty file.
class SettingsStore {
public:
    // The three values in the order they are read and written.
    static constexpr std::array<const char*, 3> kValueNames = {"Port", "BaudRate", "Address"};

    explicit SettingsStore(QString path);

    // The file in the user's configuration directory, or the path given by the environment
    // variable VR7C_SETTINGS.
    static QString DefaultPath();

    const QString& Path() const { return path_; }
    bool Exists() const;
    // Creates the empty file and the folders above it; false when that is not possible.
    bool Create() const;

    // Reads the values in order into indices and stops at the first one that is missing,
    // not a single text or not a decimal number. Gives how many were read.
    int Read(std::array<int, 3>& indices) const;
    // Writes the three values when the entry exists; false when nothing could be stored.
    bool Write(const std::array<int, 3>& indices) const;
    // The language the operator chose under the same entry ("Language", "en" or "zh"); empty
    // when none is chosen. The console only reads it.
    QString ReadLanguage() const;

private:
    QString path_;
};
