#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <ostream>

class QAbstractButton;
class QLineEdit;
class QWidget;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// Drives the real window the way a user does: a button is found by its title, a field or list
// box by its name as assistive tools read it (its accessible name or the label in front of it),
// and each must be shown, enabled and not covered before it is used. A step the user could not
// take records a test failure and returns false (or nullptr).
namespace user {

bool canUse(QWidget* w, QString* why = nullptr);
// Buttons that share a title ("...") are told apart by their description.
QAbstractButton* button(QWidget* root, const QString& title);
QLineEdit* field(QWidget* root, const QString& name);
// The first widget under `root` with this accessible name, shown or not.
QWidget* named(QWidget* root, const QString& name);
// The names assistive tools read for the labels under `root` that are on screen.
QStringList shownTexts(QWidget* root);

bool press(QWidget* root, const QString& title);
bool type(QWidget* root, const QString& fieldName, const QString& text);
bool choose(QWidget* root, const QString& listName, const QString& item);
// Types `path` into a file dialog's name field and presses `button` ("Open", "Choose").
bool answerFileDialog(QWidget* dialog, const QString& path, const QString& button);

// Answers modal windows as they appear, in the order expected: each is matched by its text (a
// message box) or title (a file dialog) against the next expectation; one that does not match,
// or stays open long after it was answered, is recorded and closed with Escape. Windows expected
// by an answer come before those expected after it. Progress dialogs are left alone.
class Dialogs : public QObject {
public:
    using Answer = std::function<void(QWidget* dialog)>;

    Dialogs();
    ~Dialogs() override { m_stopped = true; }

    void expect(const QString& text, Answer answer);
    void expectPress(const QString& text, const QString& title);
    // Stays open until the program closes it (or nothing more is expected for a while).
    void expectLeftOpen(const QString& text);

    bool waitAnswered(int ms);
    bool allAnswered() const { return m_expected.isEmpty(); }
    const QStringList& seen() const { return m_seen; }
    const QStringList& unexpected() const { return m_unexpected; }

private:
    void poll();
    struct Expected {
        QString text;
        Answer answer;
    };
    QList<Expected> m_expected;
    QList<QPointer<QWidget>> m_handled;
    QList<QPointer<QWidget>> m_leftOpen;
    QElapsedTimer m_answeredAt;
    QStringList m_seen;
    QStringList m_unexpected;
    bool m_stopped = false;
    int m_insertAt = -1;  // while answering: where expectations made by the answer go
};

}  // namespace user
