#pragma once

#include <QString>
#include <optional>

// What the training worker's standard output says about how its run ended: an early stop
// ("Epoch 9: early stopping") and the epoch whose weights became the trained model
// ("kept epoch 14 of 15: validation accuracy 0.81"). Fed the output piece by piece as it
// arrives; a line may be split between pieces, and progress redraws are overwritten after a
// carriage return, so only the text since the last one is kept of an unfinished line.
class RunOutcome {
public:
    void feed(const QString& chunk);

    // The epoch after which the worker stopped early, once it said so.
    std::optional<int> earlyStopEpoch() const { return m_earlyStop; }
    // The worker's line naming the kept epoch; empty until it was written.
    const QString& keptEpoch() const { return m_kept; }

private:
    void readLine(const QString& line);

    QString m_partial;
    std::optional<int> m_earlyStop;
    QString m_kept;
};
