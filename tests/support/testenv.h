#pragma once

#include <QString>

namespace testenv {

// Points the caches and data folders at a fresh temporary folder and silences diagnostics;
// call before the application object exists.
void isolate();

// ../shared/testdata/<relative>, or an empty text when the shared folder is absent.
QString sharedTestData(const QString& relative = QString());

// A folder that lives until the test program ends.
QString scratchFolder();

}  // namespace testenv

// Fails the current test, naming the folder, when ../shared/testdata is missing.
#define KOLVARA_REQUIRE_TESTDATA()                                                              \
    do {                                                                                        \
        if (testenv::sharedTestData().isEmpty())                                                \
            FAIL() << "test data folder " KOLVARA_SHARED_DIR "/testdata is missing";            \
    } while (0)
