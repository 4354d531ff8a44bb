#include "ComAssignment.h"

#include <QSettings>

namespace {

QString KeyOf(int index) {
    return QStringLiteral("Ports/COM%1").arg(index + 1);
}

}  // namespace

int ComAssignment::Find(const QString& identity) const {
    for (int i = 0; i < kPortCount; ++i) {
        if (!identity.isEmpty() && Owner(i) == identity) {
            return i;
        }
    }
    return -1;
}

int ComAssignment::Assign(const QString& identity, std::bitset<kPortCount> unavailable) {
    if (const int known = Find(identity); known >= 0) {
        return known;
    }
    for (int i = 0; i < kPortCount; ++i) {
        if (Owner(i).isEmpty() && !unavailable.test(static_cast<std::size_t>(i))) {
            SetOwner(i, identity);
            return i;
        }
    }
    return -1;
}

void ComAssignment::SetOwner(int index, const QString& identity) {
    if (index >= 0 && index < kPortCount) {
        owners_[static_cast<std::size_t>(index)] = identity;
    }
}

ComAssignment ComAssignment::Load(const QString& path) {
    ComAssignment assignment;
    const QSettings settings(path, QSettings::IniFormat);
    for (int i = 0; i < kPortCount; ++i) {
        const QVariant value = settings.value(KeyOf(i));
        // Anything but a single text (hand-edited, damaged) leaves the number free.
        if (value.typeId() == QMetaType::QString && assignment.Find(value.toString()) < 0) {
            assignment.SetOwner(i, value.toString());
        }
    }
    return assignment;
}

bool ComAssignment::Save(const QString& path) const {
    QSettings settings(path, QSettings::IniFormat);
    for (int i = 0; i < kPortCount; ++i) {
        if (Owner(i).isEmpty()) {
            settings.remove(KeyOf(i));
        } else {
            settings.setValue(KeyOf(i), Owner(i));
        }
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}
