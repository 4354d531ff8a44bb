// The driver owns a Qt timer, which needs an application object on the fuzzing thread.
#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}
