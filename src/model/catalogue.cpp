#include "model/catalogue.h"

namespace catalogue {

const QStringList& nodeclasses()
{
    static const QStringList list{
        QStringLiteral("ZeroPadding2D"), QStringLiteral("Conv2D"), QStringLiteral("BatchNormalization"),
        QStringLiteral("Activation"), QStringLiteral("MaxPooling2D"), QStringLiteral("Add"),
        QStringLiteral("GlobalAveragePooling2D"), QStringLiteral("Dense"), QStringLiteral("Flatten")};
    return list;
}

const QStringList& mlmodels()
{
    static const QStringList list{QStringLiteral("ResNet50"), QStringLiteral("VGG16"), QStringLiteral("VGG19"),
                                  QStringLiteral("Xception")};
    return list;
}

const QStringList& activationChoices()
{
    static const QStringList list{
        QStringLiteral("relu"), QStringLiteral("softmax"), QStringLiteral("sigmoid"), QStringLiteral("softplus"),
        QStringLiteral("softsign"), QStringLiteral("tanh"), QStringLiteral("selu"), QStringLiteral("elu"),
        QStringLiteral("exponential"), QStringLiteral("linear")};
    return list;
}

const QStringList& paddingChoices()
{
    static const QStringList list{QStringLiteral("valid"), QStringLiteral("same")};
    return list;
}

const QStringList& booleanChoices()
{
    static const QStringList list{QStringLiteral("false"), QStringLiteral("true")};
    return list;
}

}  // namespace catalogue
