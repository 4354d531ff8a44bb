#pragma once

// Marks a text for the program's translation catalogue while the text itself stays as written.
// The same definition as Qt's, for the code here that does not include Qt.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif
