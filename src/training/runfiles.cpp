#include "training/runfiles.h"

#include <QSaveFile>

namespace runfiles {
namespace {
QString writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}
}  // namespace

QString writeModelDocument(const QString& path, const nlohmann::ordered_json& document)
{
    std::string text;
    try {
        text = document.dump();
    } catch (const nlohmann::json::exception& e) {
        return QString::fromUtf8(e.what());  // a text member that is not valid UTF-8
    }
    return writeWhole(path, QByteArray::fromStdString(text));
}

QString writeErrorLog(const QString& path, const QString& text)
{
    return writeWhole(path, text.toUtf8());
}

}  // namespace runfiles
