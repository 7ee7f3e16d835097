#pragma once

#include "training/datapreparation.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// File work on the workspace folder: the label CSV, the cleaning before new samples are
// written, and the copy of the whole workspace that an export makes.
namespace workspacefiles {

struct CsvExport {
    bool success = false;
    QString path;     // the written file; empty when nothing was written
    QString message;  // why it failed
};

// Writes <folder>/<name>.csv atomically, replacing an earlier one.
CsvExport writeLabelCsv(const QString& folder, const QString& name,
                        const std::vector<datapreparation::LabelRecord>& records);

// Removes every entry of `folder` that the cleaning rule does not keep (folders included).
// Stops at the first entry that cannot be listed or removed and returns its description.
std::optional<QString> cleanWorkspace(const QString& folder);

struct CopyFailure {
    QString name;
    QString message;
};

struct ExportOutcome {
    std::optional<QString> listingError;  // the workspace could not be read: nothing copied
    int listed = 0;
    int copied = 0;
    std::vector<CopyFailure> failures;    // in listing order
    bool complete() const { return !listingError && copied == listed; }
};

// Copies every top-level entry of `workspace` (folders with their contents) into `destination`
// under its own name; an item of that name already there is replaced.
ExportOutcome exportWorkspace(const QString& workspace, const QString& destination);

// Whether `destination` is the workspace or lies inside it, where a copy would overwrite or
// recurse into its own source.
bool insideWorkspace(const QString& workspace, const QString& destination);

}  // namespace workspacefiles
