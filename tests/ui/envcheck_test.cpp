#include "support/fixture.h"

#include <gtest/gtest.h>

TEST(EnvironmentCheck, OnlyABrokenInterpreterOrAMissingPackageRaisesAnAlert)
{
    const char* kPythonAlert = "Please install Python 3.8.5 to your machine to run the Neural Network Calculation.";
    const char* kPackages = "Need to install python packages";
    const QString fakes = QStringLiteral(KOLVARA_TEST_DATA_DIR "/fakepython/");
    const std::pair<QString, const char*> cases[] = {
        {QString(), nullptr},                         // the healthy interpreter
        {"/nonexistent/python3", nullptr},            // only warned about on the console
        {fakes + "broken_version.sh", kPythonAlert},  // writes to standard error
        {fakes + "missing_h5py.sh", kPackages},
    };
    for (const auto& [interpreter, alert] : cases) {
        if (!interpreter.isEmpty())
            qputenv("KOLVARA_PYTHON", interpreter.toUtf8());
        ControllerFixture f;
        f.controller->exampython();
        qunsetenv("KOLVARA_PYTHON");
        if (!alert) {
            EXPECT_TRUE(f.prompter.messages().isEmpty()) << f.prompter.messages().join("|").toStdString();
            continue;
        }
        ASSERT_EQ(f.prompter.alerts().size(), 1) << interpreter.toStdString();
        EXPECT_TRUE(f.prompter.messages().first().startsWith(alert)) << interpreter.toStdString();
        if (alert == kPythonAlert)
            EXPECT_EQ(f.prompter.messages().first(), kPythonAlert);
        else
            EXPECT_EQ(f.prompter.alerts().first().style, AlertStyle::Critical) << interpreter.toStdString();
    }
}
