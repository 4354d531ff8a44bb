// The profile reader over any bytes: a profile it accepts may only lead to writes of the
// registers it names, inside the block 84 to 96, with values inside each setting's range, and
// ends with the commit marker whenever it writes anything.
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
    const auto fields = ConfigBlock::Fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (const auto value = profile->values[i]) {
            if (*value < fields[i].min || *value > fields[i].max) {
                std::abort();
            }
            named.insert(fields[i].reg);
        }
    }
    const ConfigBlock::ReadWords current{};
    const auto writes = ProfileWrites(*profile, current);
    for (const auto& [reg, value] : writes) {
        if (reg != ConfigBlock::kCommitRegister && named.count(reg) == 0) {
            std::abort();
        }
    }
    const bool marked = !writes.empty() && writes.back().first == ConfigBlock::kCommitRegister &&
                        writes.back().second == ConfigBlock::kCommitValue;
    if ((!named.empty() || profile->commit) != marked) {
        std::abort();
    }
    // What is written can be read again to the same profile.
    if (!ReadProfile(WriteProfile(*profile), &error)) {
        std::abort();
    }
    return 0;
}
