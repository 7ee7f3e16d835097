#include "support/fixture.h"

#include <gtest/gtest.h>

TEST(EnvironmentCheck, OnlyABrokenInterpreterOrAMissingPackageRaisesAnAlert)
{
    const QString fakes = QStringLiteral(KOLVARA_TEST_DATA_DIR "/fakepython/");
    const std::tuple<QString, const char*, AlertStyle> cases[] = {
        {QString(), nullptr, {}},                         // the healthy interpreter
        {"/nonexistent/python3", nullptr, {}},            // only warned about on the console
        {fakes + "broken_version.sh", "Please install Python 3.8.5 to your machine to run the Neural Network Calculation.", AlertStyle::Warning},
        {fakes + "missing_h5py.sh", "Need to install python packages", AlertStyle::Critical},
    };
    for (const auto& [interpreter, alert, style] : cases) {
        if (!interpreter.isEmpty())
            qputenv("KOLVARA_PYTHON", interpreter.toUtf8());
        ControllerFixture f;
        f.controller->exampython();
        qunsetenv("KOLVARA_PYTHON");
        ASSERT_EQ(f.prompter.alerts().size(), alert ? 1 : 0) << interpreter.toStdString();
        if (alert)
            EXPECT_TRUE(f.prompter.messages().first().startsWith(alert) && f.prompter.alerts().first().style == style) << interpreter.toStdString();
    }
}
