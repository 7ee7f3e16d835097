#pragma once

#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace testenv {

// Points the caches, data and Keras folders at a fresh temporary folder, keeps downloads on this
// machine and silences diagnostics;
// call before the application object exists.
void isolate();

// ../shared/testdata/<relative>, or an empty text when the shared folder is absent.
QString sharedTestData(const QString& relative = QString());

// A folder that lives until the test program ends.
QString scratchFolder();
// scratchFolder()/<name>, emptied or made.
QString freshFolder(const QString& name);
// Removes everything in `path`, hidden entries and folders included.
void emptyFolder(const QString& path);

// The names of everything in `path`, hidden entries included, sorted.
QStringList entries(const QString& path);
// The bytes at `path`, or none where it cannot be read.
QByteArray readAll(const QString& path);
// A `size` picture of one `colour` saved at `path` (its extension picks the format); returns `path`.
QString savePicture(const QString& path, QSize size, const QColor& colour = Qt::darkGreen);

// An environment variable set for the object's life; what was there before comes back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

}  // namespace testenv

// Fails the current test, naming the folder, when ../shared/testdata is missing.
#define KOLVARA_REQUIRE_TESTDATA()                                                              \
    do {                                                                                        \
        if (testenv::sharedTestData().isEmpty())                                                \
            FAIL() << "test data folder " KOLVARA_SHARED_DIR "/testdata is missing";            \
    } while (0)
