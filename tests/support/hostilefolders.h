#pragma once

#include <QString>

// Folders that refuse to be written, for tests of what the user is told when saving fails.
// Tests run as root here, and root writes through any permission bits, so permissions alone
// prove nothing: these use things that stop root too.
namespace hostile {

// A folder path whose parent is a regular file: it can be neither created nor written, by
// anybody. Made inside `base`.
QString folderUnderAFile(const QString& base);

// A tmpfs mounted for the life of the object (needs mount rights: root with CAP_SYS_ADMIN).
// `options` as for mount -o, e.g. "size=64k" (a nearly full disk) or "ro" (read-only).
class TmpfsMount {
public:
    TmpfsMount(const QString& mountPoint, const QString& options);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return m_mounted; }
    QString whyNot() const { return m_whyNot; }  // for the skip message

private:
    QString m_point;
    bool m_mounted = false;
    QString m_whyNot;
};

}  // namespace hostile
