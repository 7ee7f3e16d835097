#include "support/testenv.h"

#include <QApplication>
#include <QImageReader>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testenv::isolate();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kolvara"));
    QApplication::setOrganizationName(QStringLiteral("kolvara"));
    QImageReader::setAllocationLimit(0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
