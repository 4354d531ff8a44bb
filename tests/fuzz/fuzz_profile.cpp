// The profile reader over any bytes: a profile it accepts may only lead to writes of the
// registers it names (and the commit marker when it names that), inside the block 84 to 96,
// with values inside each setting's range.
#include <cstdlib>
#include <set>

#include "Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray json(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto profile = ReadProfile(json, &error);
    if (!profile) {
        return 0;
    }
    std::set<int> named;
    const auto& settings = ConfigSettings();
    for (std::size_t i = 0; i < settings.size(); ++i) {
        if (const auto value = profile->values[i]) {
            if (*value < settings[i].min || *value > settings[i].max) {
                std::abort();
            }
            named.insert(settings[i].reg);
        }
    }
    if (profile->commit) {
        named.insert(kCommitRegister);
    }
    const std::array<std::uint16_t, kConfigReadCount> current{};
    for (const auto& [reg, value] : ProfileWrites(*profile, current)) {
        if (named.count(reg) == 0) {
            std::abort();
        }
        if (reg == kCommitRegister && value != kCommitMarker) {
            std::abort();
        }
    }
    // What is written can be read again to the same profile.
    if (!ReadProfile(WriteProfile(*profile), &error)) {
        std::abort();
    }
    return 0;
}
