#include "support/badfiles.h"
#include "support/testenv.h"
#include "training/runchecks.h"

#include <gtest/gtest.h>

namespace {
QString write(const QString& name, const QByteArray& bytes)
{
    const QString path = testenv::scratchFolder() + QLatin1Char('/') + name;
    EXPECT_TRUE(badfiles::write(path, bytes));
    return path;
}
}  // namespace

TEST(RunChecks, TrainingNeedsTwoClassesWhateverTheLineEnds)
{
    const struct Case {
        const char* csv;
        const char* problem;  // empty: training may start
    } cases[] = {
        {"index,i,j,filename,label\n1,0,0,a.png,0\n2,0,1,b.png,0\n", "all 2 samples are labelled \"0\""},
        {"index,i,j,filename,label\n1,0,0,a.png,0\n2,0,1,b.png,1\n", ""},
        {"index,i,j,filename,label\r\n1,0,0,a.png,1\r\n2,0,1,b.png,1\r\n", "labelled \"1\""},
        {"index,i,j,filename,label\n", "lists no samples"},
        {"filename,class\na.png,0\n", ""},  // no label column: the worker says so
    };
    for (const Case& c : cases) {
        const std::optional<QString> problem = runchecks::singleClassProblem(runchecks::labelsOf(write("labels.csv", c.csv)));
        EXPECT_EQ(problem.has_value(), *c.problem != 0) << c.csv;
        if (problem)
            EXPECT_TRUE(problem->contains(QString::fromUtf8(c.problem))) << problem->toStdString();
    }
}

TEST(RunChecks, ATestWhosePredictionsMatchNoLabelIsNamed)
{
    const QString header = QStringLiteral(",index,i,j,filename,label,prediction\n");
    const std::optional<QString> none = runchecks::noMatchingClass(header + "0,1,0,0,a.png,0,cat\n1,2,0,1,b.png,1,dog\n");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->contains("\"cat\", \"dog\"") && none->contains("\"0\", \"1\"")) << none->toStdString();
    EXPECT_FALSE(runchecks::noMatchingClass(header + "0,1,0,0,a.png,0,cat\n1,2,0,1,b.png,1,1\n"));  // one can match
}

TEST(RunChecks, TheTrainingLabelDocumentIsFoundAsTheWorkerFindsIt)
{
    const QString folder = testenv::freshFolder("training");
    EXPECT_EQ(runchecks::trainingLabelDocument(folder, "/chosen.csv", "field_outputlabel.csv"), "/chosen.csv");
    EXPECT_EQ(runchecks::trainingLabelDocument(folder, "", "field_outputlabel.csv"), "");
    write("training/other_outputlabel.csv", "x");
    EXPECT_EQ(runchecks::trainingLabelDocument(folder, "", "field_outputlabel.csv"), folder + "/other_outputlabel.csv");
    write("training/field_outputlabel.csv", "x");
    EXPECT_EQ(runchecks::trainingLabelDocument(folder, "", "field_outputlabel.csv"), folder + "/field_outputlabel.csv");
}
