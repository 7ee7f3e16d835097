#include "util/diagnostics.h"

#include <cstdio>

namespace diag {
namespace {
bool g_enabled = true;  // only switched off by test programs to keep their logs short
}

void setEnabled(bool enabled) { g_enabled = enabled; }
bool enabled() { return g_enabled; }

void line(const QString& text)
{
    if (!g_enabled)
        return;
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString toText(const QString& s) { return s; }
QString toText(const char* s) { return QString::fromUtf8(s); }
QString toText(int v) { return QString::number(v); }
QString toText(long long v) { return QString::number(v); }
QString toText(double v) { return QString::number(v); }
QString toText(bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); }
QString toText(const QStringList& list) { return QLatin1Char('[') + list.join(QStringLiteral(", ")) + QLatin1Char(']'); }

}  // namespace diag
