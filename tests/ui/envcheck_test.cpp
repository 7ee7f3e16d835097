#include "support/fixture.h"

#include <gtest/gtest.h>

namespace {
const char* kPythonAlert = "Please install Python 3.8.5 to your machine to run the Neural Network Calculation.";

QString fake(const char* name)
{
    return QStringLiteral(KOLVARA_TEST_DATA_DIR "/fakepython/") + QString::fromUtf8(name);
}

struct InterpreterScope {
    explicit InterpreterScope(const QString& path) { qputenv("KOLVARA_PYTHON", path.toUtf8()); }
    ~InterpreterScope() { qunsetenv("KOLVARA_PYTHON"); }
};
}  // namespace

TEST(EnvironmentCheck, HealthyInterpreterRaisesNothing)
{
    ControllerFixture f;
    f.controller->exampython();
    EXPECT_TRUE(f.prompter.messages().isEmpty()) << f.prompter.messages().join("|").toStdString();
}

TEST(EnvironmentCheck, MissingInterpreterOnlyWarnsOnTheConsole)
{
    InterpreterScope scope(QStringLiteral("/nonexistent/python3"));
    ControllerFixture f;
    f.controller->exampython();
    EXPECT_TRUE(f.prompter.messages().isEmpty());
}

TEST(EnvironmentCheck, InterpreterWritingToStandardErrorIsReported)
{
    InterpreterScope scope(fake("broken_version.sh"));
    ControllerFixture f;
    f.controller->exampython();
    EXPECT_EQ(f.prompter.messages(), QStringList{kPythonAlert});
}

TEST(EnvironmentCheck, OneMissingPackageGivesOneCriticalAlert)
{
    for (const char* script : {"missing_h5py.sh", "lowercase_pillow.sh"}) {
        InterpreterScope scope(fake(script));
        ControllerFixture f;
        f.controller->exampython();
        ASSERT_EQ(f.prompter.alerts().size(), 1) << script;
        EXPECT_TRUE(f.prompter.messages().first().startsWith("Need to install python packages")) << script;
        EXPECT_EQ(f.prompter.alerts().first().style, AlertStyle::Critical);
    }
}
