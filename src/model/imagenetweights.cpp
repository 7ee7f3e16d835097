#include "model/imagenetweights.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <array>

namespace imagenetweights {
namespace {

const QString kBase = QStringLiteral("https://storage.googleapis.com/tensorflow/keras-applications/");

WeightFile published(const QString& folder, const QString& fileName, const char* md5)
{
    return WeightFile{fileName, kBase + folder + QLatin1Char('/') + fileName, QByteArray(md5)};
}

// Names, locations and hashes as tf.keras 2.11 has them in keras/applications/resnet.py
// (BASE_WEIGHTS_PATH, WEIGHTS_HASHES["resnet50"]), vgg16.py, vgg19.py and xception.py
// (WEIGHTS_PATH, WEIGHTS_PATH_NO_TOP and the file_hash of each get_file call); the
// preprocessing is the mode each file's preprocess_input passes to imagenet_utils.
std::array<Architecture, 4> catalogue()
{
    const QString tail = QStringLiteral("_weights_tf_dim_ordering_tf_kernels");
    auto entry = [&tail](const QString& shown, const QString& folder, const QString& stem, const char* fullMd5,
                         const char* notopMd5, const QString& scaling) {
        return Architecture{shown, published(folder, stem + tail + QStringLiteral(".h5"), fullMd5),
                            published(folder, stem + tail + QStringLiteral("_notop.h5"), notopMd5), scaling};
    };
    const QString caffe = QStringLiteral("caffe");
    return {entry(QStringLiteral("ResNet50"), QStringLiteral("resnet"), QStringLiteral("resnet50"),
                  "2cb95161c43110f7111970584f804107", "4d473c1dd8becc155b73f8504c6f6626", caffe),
            entry(QStringLiteral("VGG16"), QStringLiteral("vgg16"), QStringLiteral("vgg16"),
                  "64373286793e3c8b2b4e3219cbf3544b", "6d6bbae143d832006294945121d1f1fc", caffe),
            entry(QStringLiteral("VGG19"), QStringLiteral("vgg19"), QStringLiteral("vgg19"),
                  "cbe5617147190e668d6c5d5026f83318", "253f8cb515780f3b799900260a226db6", caffe),
            entry(QStringLiteral("Xception"), QStringLiteral("xception"), QStringLiteral("xception"),
                  "0a58e3b7378bc2990ea3b43d5981f1f6", "b0042744bf5b25fce3cb969f33bebb97", QStringLiteral("tf"))};
}

}  // namespace

std::optional<Architecture> forModel(const QString& modelname)
{
    for (const Architecture& a : catalogue()) {
        if (a.modelname.compare(modelname.trimmed(), Qt::CaseInsensitive) == 0)
            return a;
    }
    return std::nullopt;
}

QStringList cacheFolders()
{
    QStringList folders;
    const QString kerasHome = qEnvironmentVariable("KERAS_HOME");
    if (!kerasHome.isEmpty())
        folders << QDir::cleanPath(kerasHome + QStringLiteral("/models"));
    const QString home = QDir::cleanPath(QDir::homePath() + QStringLiteral("/.keras/models"));
    if (!folders.contains(home))
        folders << home;
    return folders;
}

QString storeFolder() { return cacheFolders().first(); }

QByteArray md5Of(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!hash.addData(&file))
        return QByteArray();
    return hash.result().toHex();
}

QString findCached(const WeightFile& file, const QStringList& folders)
{
    for (const QString& folder : folders) {
        const QString path = folder + QLatin1Char('/') + file.fileName;
        if (QFileInfo(path).isFile() && md5Of(path) == file.md5)
            return path;
    }
    return QString();
}

QString partialPath(const QString& folder)
{
    return folder + QStringLiteral("/.download-") + QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".part");
}

Installed install(const QString& partial, const WeightFile& file, const QString& folder)
{
    const QByteArray got = md5Of(partial);
    if (got != file.md5) {
        QFile::remove(partial);
        if (got.isEmpty())
            return {QString(), QStringLiteral("the downloaded file could not be read back")};
        return {QString(), QStringLiteral("the downloaded file does not match the published MD5 hash (%1 instead of %2)")
                               .arg(QString::fromLatin1(got), QString::fromLatin1(file.md5))};
    }
    const QString target = folder + QLatin1Char('/') + file.fileName;
    // An outdated copy under the final name is replaced only by a checked one.
    if (QFileInfo::exists(target) && !QFile::remove(target)) {
        QFile::remove(partial);
        return {QString(), QStringLiteral("%1 exists and cannot be replaced").arg(target)};
    }
    QFile moved(partial);
    if (!moved.rename(target)) {
        const QString why = moved.errorString();
        QFile::remove(partial);
        return {QString(), QStringLiteral("cannot store it as %1: %2").arg(target, why)};
    }
    return {target, QString()};
}

std::optional<QString> smallDataSuggestion(int samples, const QStringList& folders)
{
    if (samples <= 0 || samples >= kSmallData)
        return std::nullopt;
    for (const Architecture& a : catalogue()) {
        for (const QString& folder : folders) {
            for (const WeightFile* f : {&a.notop, &a.full}) {
                if (QFileInfo(folder + QLatin1Char('/') + f->fileName).isFile())
                    return a.modelname;
            }
        }
    }
    return std::nullopt;
}

QString shownFolder(const QString& folder)
{
    const QString home = QDir::cleanPath(QDir::homePath());
    const QString clean = QDir::cleanPath(folder);
    if (home.size() > 1 && clean.startsWith(home + QLatin1Char('/')))
        return QStringLiteral("~") + clean.mid(home.size());
    return clean;
}

QString unavailableMessage(const QString& modelname, const QString& folder, const QString& reason)
{
    return QStringLiteral("ImageNet weights for %1 are not in %2 and cannot be downloaded: %3")
        .arg(modelname, shownFolder(folder), reason);
}

}  // namespace imagenetweights
