#pragma once

#include <QString>
#include <QStringList>

// Diagnostic lines on standard output: a tag followed by values, one line per call.
namespace diag {

void setEnabled(bool enabled);
bool enabled();
void line(const QString& text);

QString toText(const QString& s);
QString toText(const char* s);
QString toText(int v);
QString toText(long long v);
QString toText(double v);
QString toText(bool v);
QString toText(const QStringList& list);

template <typename... Parts>
void print(const Parts&... parts)
{
    QStringList words;
    (words.append(toText(parts)), ...);
    line(words.join(QLatin1Char(' ')));
}


}  // namespace diag
