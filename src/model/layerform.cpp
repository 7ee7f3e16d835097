#include "model/layerform.h"

#include "util/diagnostics.h"

#include <QLocale>
#include <cmath>

namespace layerform {
namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

QString boolText(const Json& v) { return v.get<bool>() ? QStringLiteral("true") : QStringLiteral("false"); }

QStringList elementTexts(const Json& array, size_t first, size_t count)
{
    QStringList out;
    for (size_t k = first; k < first + count; ++k)
        out << (k < array.size() ? integerText(array[k]) : QString());
    return out;
}

bool isPaddingArray(const Json& v) { return v.is_array() && v.size() >= 2 && v[0].is_array() && v[1].is_array(); }

// The row for one config member, when the member is recognised and has the expected type.
std::optional<Row> configRow(const std::string& key, const Json& v, bool customized, bool isPredictions)
{
    const QString title = text(key);
    if (key == "trainable" && v.is_boolean())
        return Row{RowKind::Boolean, title, 1, true, {boolText(v)}};
    if ((key == "center" || key == "scale") && v.is_boolean())
        return Row{RowKind::Boolean, title, key == "center" ? 2 : 3, customized, {boolText(v)}};
    if (key == "batch_input_shape" && v.is_array() && v.size() >= 4)
        return Row{RowKind::Size, QStringLiteral("Inputsize"), 50, customized, elementTexts(v, 1, 3)};
    if (key == "kernel_size" && v.is_array() && v.size() >= 2)
        return Row{RowKind::Size, title, 10, customized, elementTexts(v, 0, 2)};
    if (key == "strides" && v.is_array() && v.size() >= 2)
        return Row{RowKind::Size, title, 20, customized, elementTexts(v, 0, 2)};
    if (key == "dilation_rate" && v.is_array() && v.size() >= 2)
        return Row{RowKind::Size, title, 30, customized, elementTexts(v, 0, 2)};
    if (key == "filters" && v.is_number())
        return Row{RowKind::Integer, title, 6, customized, {integerText(v)}};
    if (key == "activation" && v.is_string())
        return Row{RowKind::Activation, title, 4, customized, {text(v.get<std::string>())}};
    if (key == "padding" && v.is_string())
        return Row{RowKind::PaddingChoice, title, 5, customized, {text(v.get<std::string>())}};
    if (key == "padding" && isPaddingArray(v))
        return Row{RowKind::PaddingArray, title, 40, customized, elementTexts(v[0], 0, 2) + elementTexts(v[1], 0, 2)};
    if ((key == "momentum" || key == "epsilon") && v.is_number())
        return Row{RowKind::Number, title, key == "momentum" ? 7 : 8, customized, {numberText(v)}};
    if (key == "units" && v.is_number())
        return Row{RowKind::Integer, title, 9, customized || isPredictions, {integerText(v)}};
    return std::nullopt;
}

}  // namespace

QString integerText(const Json& value)
{
    if (value.is_number_integer())
        return value.is_number_unsigned() ? QString::number(value.get<unsigned long long>())
                                          : QString::number(value.get<long long>());
    if (value.is_number_float()) {
        const double v = value.get<double>();
        if (std::floor(v) == v && std::fabs(v) < 1e15)
            return QString::number(static_cast<long long>(v));
        return numberText(value);
    }
    return QString();
}

QString numberText(const Json& value)
{
    if (!value.is_number())
        return QString();
    if (value.is_number_integer())
        return integerText(value);
    return QString::number(value.get<double>(), 'g', QLocale::FloatingPointShortest);
}

QList<Row> rows(const Json& layer, bool customized)
{
    QList<Row> out;
    if (!layer.is_object())
        return out;
    const auto name = layer.find("name");
    const bool named = name != layer.end() && name->is_string();
    const QString layerName = named ? text(name->get<std::string>()) : QString();
    if (named)
        out << Row{RowKind::Name, QStringLiteral("Name"), 100, customized, {layerName}};
    const auto config = layer.find("config");
    if (config != layer.end() && config->is_object()) {
        QStringList keys;
        for (auto it = config->begin(); it != config->end(); ++it)
            keys << text(it.key());
        diag::print(keys);
        for (auto it = config->begin(); it != config->end(); ++it) {
            if (std::optional<Row> row = configRow(it.key(), it.value(), customized, layerName == QLatin1String("predictions")))
                out << *row;
            else
                diag::print("no row for", text(it.key()));
        }
    }
    const auto inbound = layer.find("inbound_nodes");
    if (inbound != layer.end() && inbound->is_array()) {
        const QStringList names = archdoc::inboundNames(*inbound);
        diag::print("inboundval ", names);
        const bool editable = customized && layerName != QLatin1String("input_1");
        out << Row{RowKind::Inbound, QStringLiteral("Input"), 200, editable, names};
    }
    return out;
}

}  // namespace layerform
