#include "support/userdriver.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace user {
namespace {
constexpr qint64 kStuckMs = 30000;

// A title as shown, without mnemonics, line breaks or a closing colon.
QString plain(QString text)
{
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text = text.simplified();
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text;
}

QString accessibleName(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : w->accessibleName();
}

QString labelOf(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    if (!iface)
        return QString();
    for (const auto& [other, relation] : iface->relations(QAccessible::Label))
        return plain(other->text(QAccessible::Name));
    return QString();
}

template <typename T>
T* findShown(QWidget* root, const std::function<bool(T*)>& matches, const QString& what)
{
    QList<T*> found;
    for (T* w : root->findChildren<T*>())
        if (w->isVisible() && matches(w))
            found << w;
    if (found.size() != 1) {
        QStringList all;
        for (T* w : root->findChildren<T*>())
            all << QStringLiteral("%1(%2)").arg(accessibleName(w)).arg(w->isVisible());
        ADD_FAILURE() << found.size() << " controls shown for " << what.toStdString() << "; there are " << all.join(", ").toStdString();
        return nullptr;
    }
    return found.front();
}

bool usable(QWidget* w, const QString& what)
{
    QString why;
    if (w && canUse(w, &why))
        return true;
    if (w)
        ADD_FAILURE() << what.toStdString() << ": " << why.toStdString();
    return false;
}

}  // namespace

bool canUse(QWidget* w, QString* why)
{
    auto fail = [why](const char* reason) {
        if (why)
            *why = QString::fromUtf8(reason);
        return false;
    };
    if (!w->isVisible())
        return fail("not shown");
    if (!w->isEnabled())
        return fail("disabled");
    if (w->visibleRegion().isEmpty())
        return fail("nothing of it on screen");
    QWidget* top = w->window();
    const QRect shown = w->visibleRegion().boundingRect();
    const QPoint centre = w->mapTo(top, shown.center());
    QWidget* under = top->childAt(centre);
    if (under && under != w && !w->isAncestorOf(under))
        return fail("covered by another control");
    return true;
}

QAbstractButton* button(QWidget* root, const QString& title)
{
    return findShown<QAbstractButton>(
        root,
        [&](QAbstractButton* b) {
            // Buttons that share a title ("...") are told apart by their description.
            return plain(b->text()) == title || accessibleName(b) == title || b->accessibleDescription() == title;
        },
        QStringLiteral("button \"%1\"").arg(title));
}

QWidget* named(QWidget* root, const QString& name)
{
    for (QWidget* w : root->findChildren<QWidget*>())
        if (w->accessibleName() == name)
            return w;
    return nullptr;
}

QLineEdit* field(QWidget* root, const QString& name)
{
    return findShown<QLineEdit>(
        root,
        [&](QLineEdit* e) {
            if (e->accessibleName() == name)
                return true;
            for (QLabel* label : root->findChildren<QLabel*>())
                if (label->buddy() == e && plain(label->text()) == name)
                    return true;
            return false;
        },
        QStringLiteral("field \"%1\"").arg(name));
}

QComboBox* chooser(QWidget* root, const QString& name)
{
    // Assistive tools name a list box by the label that says what it is for (on Linux its own
    // name is the item chosen).
    return findShown<QComboBox>(root, [&](QComboBox* b) { return labelOf(b) == name; },
                                QStringLiteral("chooser \"%1\"").arg(name));
}

QStringList shownTexts(QWidget* root)
{
    QStringList texts;
    for (QLabel* label : root->findChildren<QLabel*>())
        if (label->isVisible() && !label->visibleRegion().isEmpty())
            texts << accessibleName(label);
    return texts;
}

bool press(QWidget* root, const QString& title)
{
    QAbstractButton* b = button(root, title);
    if (!usable(b, QStringLiteral("button \"%1\"").arg(title)))
        return false;
    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, b->visibleRegion().boundingRect().center());
    return true;
}

bool type(QWidget* root, const QString& fieldName, const QString& text)
{
    QLineEdit* e = field(root, fieldName);
    if (!usable(e, QStringLiteral("field \"%1\"").arg(fieldName)))
        return false;
    // Typing goes to the window in front; a field of a window that is not active loses what is
    // typed to the window's own updates (a file dialog fills its name field from its selection).
    QApplication::setActiveWindow(e->window());
    if (!QTest::qWaitForWindowActive(e->window(), 2000))
        ADD_FAILURE() << "the window of field \"" << fieldName.toStdString() << "\" does not become active";
    e->setFocus(Qt::MouseFocusReason);
    e->selectAll();
    QTest::keyClicks(e, text);
    if (e->text() != text) {
        ADD_FAILURE() << "field \"" << fieldName.toStdString() << "\" shows \"" << e->text().toStdString() << "\"";
        return false;
    }
    return true;
}

bool choose(QWidget* root, const QString& chooserName, const QString& item)
{
    QComboBox* box = chooser(root, chooserName);
    if (!usable(box, QStringLiteral("chooser \"%1\"").arg(chooserName)))
        return false;
    // Typing an item's name picks it, as in any closed list box.
    QApplication::setActiveWindow(box->window());
    box->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(box, item);
    if (box->currentText() != item) {
        ADD_FAILURE() << chooserName.toStdString() << " shows " << box->currentText().toStdString();
        return false;
    }
    return true;
}

bool answerFileDialog(QWidget* dialog, const QString& path, const QString& buttonTitle)
{
    // The name field's label reads "Directory:" where only folders are chosen.
    QString name = QStringLiteral("File name");
    for (QLabel* label : dialog->findChildren<QLabel*>())
        if (label->isVisible() && label->buddy() && plain(label->text()) == QLatin1String("Directory"))
            name = QStringLiteral("Directory");
    if (!type(dialog, name, path))
        return false;
    // The name field offers completions in a popup; a user closes it before pressing a button,
    // else the press only closes the popup.
    if (QWidget* popup = QApplication::activePopupWidget())
        QTest::keyClick(popup, Qt::Key_Escape);
    return press(dialog, buttonTitle);
}

QString textOf(QWidget* dialog)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        return box->text();
    return dialog->windowTitle();
}

Dialogs::Dialogs() { QTimer::singleShot(50, this, &Dialogs::poll); }

Dialogs::~Dialogs() { m_stopped = true; }

void Dialogs::expect(const QString& text, Answer answer)
{
    // A window opened from an answer comes before the ones expected after that answer.
    if (m_insertAt >= 0)
        m_expected.insert(m_insertAt++, {text, std::move(answer)});
    else
        m_expected.append({text, std::move(answer)});
}

void Dialogs::expectPress(const QString& text, const QString& title)
{
    expect(text, [title](QWidget* dialog) { press(dialog, title); });
}

void Dialogs::expectLeftOpen(const QString& text)
{
    expect(text, [this](QWidget* dialog) { m_leftOpen.append(dialog); });
}

bool Dialogs::waitAnswered(int ms)
{
    return QTest::qWaitFor([this] { return m_expected.isEmpty(); }, ms);
}

void Dialogs::poll()
{
    if (m_stopped)
        return;
    // The next look is booked first: an answer may open a window of its own and wait in it.
    QTimer::singleShot(50, this, &Dialogs::poll);
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog || qobject_cast<QProgressDialog*>(dialog) || !dialog->isVisible())
        return;
    for (const QPointer<QWidget>& done : m_handled) {
        if (done != dialog)
            continue;
        // An answer that left its window open by mistake, or a window left for the program to
        // close that is still there when nothing more is expected, would wait forever.
        if ((!m_leftOpen.contains(dialog) || m_expected.isEmpty()) && m_answeredAt.elapsed() > kStuckMs) {
            m_unexpected << textOf(dialog) + QStringLiteral(" | still open after it was answered");
            QTest::keyClick(dialog, Qt::Key_Escape);
            m_answeredAt.restart();
        }
        return;
    }
    m_handled.append(dialog);
    m_answeredAt.restart();
    const QString text = textOf(dialog);
    m_seen << text;
    if (!qEnvironmentVariableIsEmpty("KOLVARA_TEST_VERBOSE"))
        qInfo("dialog: %s", qPrintable(text));
    if (m_expected.isEmpty() || !text.contains(m_expected.front().text)) {
        const auto* box = qobject_cast<QMessageBox*>(dialog);
        m_unexpected << (box ? text + QStringLiteral(" | ") + box->informativeText() : text);
        QTest::keyClick(dialog, Qt::Key_Escape);
        return;
    }
    const Expected next = m_expected.takeFirst();
    const int outer = m_insertAt;
    m_insertAt = 0;
    next.answer(dialog);
    m_insertAt = outer;
}

}  // namespace user
