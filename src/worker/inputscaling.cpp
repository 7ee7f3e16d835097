#include "worker/inputscaling.h"

#include <algorithm>

namespace inputscaling {

const std::vector<Choice>& choices()
{
    static const std::vector<Choice> all = {
        {QStringLiteral("div255"), QString::fromUtf8("\xc3\xb7" "255 (0..1)")},
        {QStringLiteral("raw"), QStringLiteral("raw (0..255)")},
        {QStringLiteral("tf"), QStringLiteral("tf (-1..1)")},
        {QStringLiteral("torch"), QStringLiteral("torch (ImageNet mean and deviation)")},
        {QStringLiteral("caffe"), QStringLiteral("caffe (BGR, ImageNet means subtracted)")},
    };
    return all;
}

bool isMode(const QString& mode)
{
    const auto& all = choices();
    return std::any_of(all.begin(), all.end(), [&](const Choice& c) { return c.mode == mode; });
}

}  // namespace inputscaling
