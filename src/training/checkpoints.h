#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The per-epoch checkpoint files a training worker leaves in the workspace, e.g.
// "e0003-0.7900-0.8125-weights.hdf5": fields 1 and 2 (split at runs of "-") are the validation
// and training accuracy.
namespace checkpoints {

bool isCheckpointName(const QString& name);

struct Listing {
    QStringList names;  // checkpoint names in ascending text order
    QString error;      // why the folder could not be listed; empty on success
};
Listing list(const QString& folder);

// Lists a folder again only when it may have changed since the last listing: its modification
// time moved, or it changed so recently that a later change could still carry the same time
// stamp (file times are only as fine as the file system's clock).
class Watch {
public:
    explicit Watch(const QString& folder) : m_folder(folder) {}
    // The current listing; `nowMs` is the wall clock in milliseconds since the epoch.
    const Listing& poll(qint64 nowMs);

private:
    QString m_folder;
    Listing m_last;
    std::optional<qint64> m_listedAt;  // the folder's modification time when last listed
};

// The accuracy texts read from checkpoint names, each list led by "0" for the start of the run.
// `epochs` gives the 1-based position of each entry's checkpoint among the names (0 for the
// start), so a name that carries no accuracy leaves a gap instead of shifting later epochs.
struct Series {
    QStringList validation{QStringLiteral("0")};
    QStringList training{QStringLiteral("0")};
    std::vector<int> epochs{0};
};

// Names with fewer than three fields contribute nothing.
Series series(const QStringList& sortedNames);

}  // namespace checkpoints
