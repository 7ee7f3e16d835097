#include "worker/modelinfo.h"

#include "worker/inputscaling.h"

#include <nlohmann/json.hpp>

namespace modelinfo {

std::optional<ModelInfo> parse(const QByteArray& standardOutput)
{
    static const QByteArray prefix("Model info: ");
    const QList<QByteArray> lines = standardOutput.split('\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (!line->startsWith(prefix))
            continue;
        const nlohmann::json doc = nlohmann::json::parse(line->mid(prefix.size()).toStdString(), nullptr, false);
        if (!doc.is_object())
            return std::nullopt;
        ModelInfo info;
        const auto scaling = doc.find("input_scaling");
        if (scaling != doc.end() && scaling->is_string() && inputscaling::isMode(QString::fromStdString(*scaling)))
            info.inputScaling = QString::fromStdString(*scaling);
        const auto from = doc.find("input_scaling_from");
        info.scalingFromNetwork = !info.inputScaling.isEmpty() && from != doc.end() && *from == "network";
        const auto names = doc.find("class_names");
        if (names != doc.end() && names->is_array()) {
            for (const nlohmann::json& name : *names) {
                if (name.is_string())
                    info.classNames << QString::fromStdString(name.get<std::string>());
            }
        }
        return info;
    }
    return std::nullopt;
}

}  // namespace modelinfo
