#include "data/csvtable.h"
#include "util/textutil.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>

namespace csvtable {

namespace {
std::optional<QStringConverter::Encoding> byteOrderMark(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return std::nullopt;
    const auto found = QStringConverter::encodingForData(bytes);
    // Without a mark Qt still guesses UTF-16/32 from zero bytes; only a real mark counts here.
    if (!found)
        return std::nullopt;
    const QByteArrayView head(bytes);
    const bool marked = head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")
        || head.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4));
    return marked ? found : std::nullopt;
}
}  // namespace

ReadResult readText(const QString& path)
{
    ReadResult result;
    QFile file(path);
    // A pipe or a device would block the reader or never end.
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile()) {
        result.error = QStringLiteral("It is not a regular file.");
        return result;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    if (const auto encoding = byteOrderMark(bytes)) {
        QStringDecoder decode(*encoding, QStringConverter::Flag::Default);
        result.text = decode(bytes);
        return result;
    }
    if (bytes.contains('\0')) {
        result.error = QStringLiteral("The file holds binary data, not text.");
        return result;
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    result.text = utf8.hasError() ? QString::fromLatin1(bytes) : text;
    return result;
}

QList<QStringList> splitRows(const QString& text)
{
    QList<QStringList> rows = textutil::commaRecords(text);
    // The empty row after a final line feed goes; a short last row that holds data is kept
    // like any other short row, so no value of the file goes missing.
    if (rows.size() > 1 && rows.back().size() != rows.front().size() && rows.back() == QStringList{QString()})
        rows.removeLast();
    return rows;
}

int fieldIndex(const QStringList& header, int column)
{
    if (column < 0 || column >= header.size())
        return -1;
    return int(header.indexOf(header[column]));
}

QString cellText(const QList<QStringList>& rows, int row, int field)
{
    if (row < 0 || row + 1 >= rows.size())
        return QString();
    return rows[row + 1].value(field);
}

void setCellText(QList<QStringList>& rows, int row, int field, const QString& value)
{
    if (row < 0 || row + 1 >= rows.size() || field < 0)
        return;
    QStringList& fields = rows[row + 1];
    while (fields.size() <= field)
        fields.append(QString());
    fields[field] = value;
}

bool isNumber(const QString& text)
{
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        return false;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    c.toDouble(text, &ok);
    return ok;
}

}  // namespace csvtable
