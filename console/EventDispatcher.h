#pragma once

#include <QtGlobal>

// Chooses Qt's own UNIX event dispatcher over the GLib one; call it before the application
// object exists. While polling, the console wakes about 240 times a second (the driver's
// 5 ms receive poll, the 30 ms tick, the 100 ms clock), and each wake-up costs less through
// Qt's own dispatcher. A QT_NO_GLIB already set in the environment is left as it is.
inline void UseLeanEventDispatcher() {
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
}
