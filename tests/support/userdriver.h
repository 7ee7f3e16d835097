#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QWidget;

// Drives the real window the way a user does: controls are found by what they show (a button by
// its title, a field by its accessible name or the label in front of it), and each must be
// visible, enabled and not covered before it is used. Every helper records a test failure and
// returns false (or nullptr) when the user could not do the step.
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace user {

// Whether a user can see and reach `w`: shown, enabled, with a part on screen in its window,
// and the control itself (or a part of it) under its centre.
bool canUse(QWidget* w, QString* why = nullptr);

// A button by its title, accessible name or (for buttons that share a title) description.
QAbstractButton* button(QWidget* root, const QString& title);
QLineEdit* field(QWidget* root, const QString& name);
QComboBox* chooser(QWidget* root, const QString& name);
// The first widget under `root` with this accessible name, shown or not.
QWidget* named(QWidget* root, const QString& name);
// What assistive tools read as the names of the labels under `root` that are on screen.
QStringList shownTexts(QWidget* root);

bool press(QWidget* root, const QString& title);
bool type(QWidget* root, const QString& fieldName, const QString& text);
bool choose(QWidget* root, const QString& chooserName, const QString& item);
// Types `path` into a file dialog's name field and presses `button` ("Open", "Choose").
bool answerFileDialog(QWidget* dialog, const QString& path, const QString& button);

// What a modal window says: a message box's text, else the window title.
QString textOf(QWidget* dialog);

// Answers modal windows as they appear, in the order they are expected. Each one is matched
// against the next expectation by its text (a message box) or title (a file dialog); a window
// that does not match is recorded and closed with Escape. Progress dialogs are left alone.
class Dialogs : public QObject {
public:
    using Answer = std::function<void(QWidget* dialog)>;

    Dialogs();
    ~Dialogs() override;

    // The next modal window must contain `text`; `answer` then acts on it (it may leave it open).
    void expect(const QString& text, Answer answer);
    // Presses `title` in the next window, which must contain `text`.
    void expectPress(const QString& text, const QString& title);
    // The next window must contain `text`, and stays open until the program closes it.
    void expectLeftOpen(const QString& text);

    // Waits until every expected window was answered, or `ms` passed.
    bool waitAnswered(int ms);
    bool allAnswered() const { return m_expected.isEmpty(); }
    // The texts of every modal window seen, in order, and of those that matched nothing.
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
