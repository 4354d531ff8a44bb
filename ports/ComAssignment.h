#pragma once

#include <QString>

#include <array>
#include <bitset>

// Which adapter (by stable identity) owns each of COM1 to COM8, as COM numbers behave on
// Windows: an adapter seen for the first time gets the lowest free number and keeps it.
class ComAssignment {
public:
    static constexpr int kPortCount = 8;

    // The index (0 for COM1) that the identity owns, or -1.
    int Find(const QString& identity) const;
    // The identity's index; a new identity takes the lowest index that no adapter owns and
    // that is not in `unavailable` (numbers taken by VR7C_COMn). Gives -1 when none is free.
    int Assign(const QString& identity, std::bitset<kPortCount> unavailable = {});
    const QString& Owner(int index) const { return owners_[static_cast<std::size_t>(index)]; }
    void SetOwner(int index, const QString& identity);

    // The assignment kept in the settings file at path, in the section [Ports] (COM1=...).
    // Other sections of the file are left as they are.
    static ComAssignment Load(const QString& path);
    bool Save(const QString& path) const;

    bool operator==(const ComAssignment&) const = default;

private:
    std::array<QString, kPortCount> owners_;
};
