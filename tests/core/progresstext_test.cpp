#include "training/progresstext.h"

#include <gtest/gtest.h>

namespace {
struct ProgressCase {
    const char* name;
    const char* chunk;
    const char* progress;  // nullptr: no progress text
};

class ProgressText : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressText, ExtractsTheLastRedraw)
{
    const ProgressCase& c = GetParam();
    const std::optional<QString> got = progresstext::chunkProgress(QString::fromUtf8(c.chunk));
    if (!c.progress)
        EXPECT_EQ(got, std::nullopt) << c.name << ": " << got.value_or(QString()).toStdString();
    else
        EXPECT_EQ(got, std::optional<QString>(QString::fromUtf8(c.progress))) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, ProgressText,
    ::testing::Values(
        ProgressCase{"minutes ETA cut before loss", "Epoch 1/3\n\r12/50 [====>.....] - ETA: 1:05 - loss: 0.4123",
                     "12/50 [====>_____] - ETA: 1:05 "},
        ProgressCase{"seconds ETA", "\r 3/18 [===>......] - ETA: 5s - loss: 0.1 - accuracy: 0.5", " 3/18 [===>______] - ETA: 5s "},
        ProgressCase{"hours ETA", "\r1/900 [>...] - ETA: 1:02:03 - loss: 0.9", "1/900 [>___] - ETA: 1:02:03 "},
        ProgressCase{"only the last of several redraws",
                     "\r1/4 [>...] - ETA: 3s - loss: 0.25\b\b\b\r2/4 [=>..] - ETA: 2s - loss: 0.20", "2/4 [=>__] - ETA: 2s "},
        ProgressCase{"no carriage return", "1/4 [>...] - ETA: 3s - loss: 0.25", "1/4 [>___] - ETA: 3s "},
        ProgressCase{"epoch's closing line after an ETA redraw",
                     "\r1/2 [>.] - ETA: 0s - loss: 1.0\b\r2/2 [==] - 0s 7ms/step - loss: 0.6 - val_loss: 1.3\n",
                     "2/2 [==] - 0s "},
        ProgressCase{"no ETA in the chunk", "\r2/2 [==] - 0s 7ms/step - loss: 0.6\n", nullptr},
        ProgressCase{"empty chunk", "", nullptr},
        ProgressCase{"no s after the last carriage return", "ETA: 5s - loss\r12/50 [=>..] - ETA: 1:0", nullptr},
        ProgressCase{"chunk ends with a carriage return", "12/50 [=>..] - ETA: 5s - loss: 0.1\r", nullptr},
        ProgressCase{"s is the last character", "\r12/50 [=>..] - ETA: 5s", nullptr},
        ProgressCase{"cut back before the start", "ETA\rloss", nullptr}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) { return "case" + std::to_string(info.index); });

struct StateCase {
    int validationCount;
    int epochCount;
    const char* progress;
    const char* state;
};

class StateText : public ::testing::TestWithParam<StateCase> {};

TEST_P(StateText, NamesTheEpochInProgress)
{
    const StateCase& c = GetParam();
    const std::optional<QString> progress = c.progress ? std::optional<QString>(QString::fromUtf8(c.progress)) : std::nullopt;
    EXPECT_EQ(progresstext::stateText(c.validationCount, c.epochCount, progress), QString::fromUtf8(c.state));
}

INSTANTIATE_TEST_SUITE_P(Epochs, StateText,
                         ::testing::Values(StateCase{1, 3, nullptr, "Training state in epoch 1 \n"},
                                           StateCase{2, 3, "2/4 [=>__] - ETA: 2s ", "Training state in epoch 2 \n2/4 [=>__] - ETA: 2s "},
                                           StateCase{3, 3, nullptr, "Training state in epoch 3 \n"},
                                           StateCase{4, 3, nullptr, "Training state in epoch 3 \n"},
                                           StateCase{2, 1, nullptr, "Training state in epoch 1 \n"}));
}  // namespace
