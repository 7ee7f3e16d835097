#pragma once

#include <QByteArray>
#include <QString>

namespace testsummary {

// What the training worker says the user must know about its test predictions (accuracy,
// labels that match no output class, how the class order was found): its lines starting with
// "Test summary: ", without that prefix, one per line. Empty when it printed none.
QString fromOutput(const QByteArray& standardOutput);

}  // namespace testsummary
