#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The ImageNet weight files Keras publishes for the pre-trained architectures, and the Keras
// cache folder where anyone who used those networks in Keras already keeps them.
namespace imagenetweights {

struct WeightFile {
    QString fileName;  // the name Keras caches it under
    QString url;       // where Keras downloads it from
    QByteArray md5;    // Keras's published hash, lower-case hex
};

struct Architecture {
    QString modelname;     // as the pre-trained list shows it: "ResNet50"
    WeightFile full;       // with the 1000-class ImageNet top
    WeightFile notop;      // the backbone alone
    QString inputScaling;  // the preprocessing the weights were trained with: "caffe" or "tf"
};

// The published files of a pre-trained list entry (any letter case); nullopt for other models.
std::optional<Architecture> forModel(const QString& modelname);

// The folders searched, in order: $KERAS_HOME/models when KERAS_HOME is set, then
// ~/.keras/models.
QStringList cacheFolders();

// Where a download is kept, as Keras would keep it: the first of cacheFolders().
QString storeFolder();

// The lower-case hex MD5 of a file; empty when it cannot be read.
QByteArray md5Of(const QString& path);

// The first copy in `folders` whose hash matches; empty when there is none. A copy with another
// hash is an interrupted or outdated download, which Keras too fetches again.
QString findCached(const WeightFile& file, const QStringList& folders);

// A unique name in `folder` for a download in progress; it carries no part of the final name,
// so nothing takes a half-written file for the weights.
QString partialPath(const QString& folder);

struct Installed {
    QString path;   // the stored file; empty when refused
    QString error;  // why it was refused
};

// Checks a finished download against the published hash and only then moves it into `folder`
// under its Keras name. The partial file is gone afterwards, whatever the outcome.
Installed install(const QString& partial, const WeightFile& file, const QString& folder);

// With fewer labelled samples than this, a frozen pre-trained backbone beats a network that
// learns from scratch.
constexpr int kSmallData = 200;

// The pre-trained architecture to suggest for `samples` labelled samples: the first whose
// weight file lies in `folders` (by name; the run checks its hash), while 0 < samples < 200.
std::optional<QString> smallDataSuggestion(int samples, const QStringList& folders);

// A folder as the user knows it: "~/.keras/models" for one under the home folder.
QString shownFolder(const QString& folder);

// "ImageNet weights for ResNet50 are not in ~/.keras/models and cannot be downloaded: <reason>"
QString unavailableMessage(const QString& modelname, const QString& folder, const QString& reason);

}  // namespace imagenetweights
