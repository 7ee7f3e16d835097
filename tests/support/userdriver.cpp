#include "support/userdriver.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
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
    text = text.simplified();
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text;
}

// What assistive tools call `w`: its name, or the label related to it (Linux names a list box
// by the item chosen, and relates its caption as its label).
bool called(QWidget* w, const QString& name)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    if (!iface)
        return false;
    if (iface->text(QAccessible::Name) == name)
        return true;
    for (const auto& [other, relation] : iface->relations(QAccessible::Label))
        if (plain(other->text(QAccessible::Name)) == name)
            return true;
    return false;
}

template <typename T>
T* findShown(QWidget* root, const std::function<bool(T*)>& matches, const QString& what)
{
    QList<T*> found;
    for (T* w : root->findChildren<T*>())
        if (w->isVisible() && matches(w))
            found << w;
    if (found.size() == 1)
        return found.front();
    ADD_FAILURE() << found.size() << " controls shown for " << what.toStdString();
    return nullptr;
}

template <typename T>
T* usable(T* w, const QString& what)
{
    QString why;
    if (w && !canUse(w, &why))
        ADD_FAILURE() << what.toStdString() << ": " << why.toStdString();
    return w && why.isEmpty() ? w : nullptr;
}

// Typing goes to the window in front; a file dialog that is not fills its name field from its
// selection while the user types.
void focus(QWidget* w)
{
    QApplication::setActiveWindow(w->window());
    if (!QTest::qWaitForWindowActive(w->window(), 2000))
        ADD_FAILURE() << "the window does not become active";
    w->setFocus(Qt::MouseFocusReason);
}
}  // namespace

bool canUse(QWidget* w, QString* why)
{
    const char* reason = nullptr;
    if (!w->isVisible())
        reason = "not shown";
    else if (!w->isEnabled())
        reason = "disabled";
    else if (w->visibleRegion().isEmpty())
        reason = "nothing of it on screen";
    else if (QWidget* under = w->window()->childAt(w->mapTo(w->window(), w->visibleRegion().boundingRect().center()));
             under && under != w && !w->isAncestorOf(under))
        reason = "covered by another control";
    if (reason && why)
        *why = QString::fromUtf8(reason);
    return !reason;
}

QAbstractButton* button(QWidget* root, const QString& title)
{
    return findShown<QAbstractButton>(
        root, [&](QAbstractButton* b) { return plain(b->text()) == title || called(b, title) || b->accessibleDescription() == title; },
        QStringLiteral("button \"%1\"").arg(title));
}

QLineEdit* field(QWidget* root, const QString& name)
{
    return findShown<QLineEdit>(root, [&](QLineEdit* e) { return called(e, name); }, QStringLiteral("field \"%1\"").arg(name));
}

QWidget* named(QWidget* root, const QString& name)
{
    for (QWidget* w : root->findChildren<QWidget*>())
        if (w->accessibleName() == name)
            return w;
    return nullptr;
}

QStringList shownTexts(QWidget* root)
{
    QStringList texts;
    for (QLabel* label : root->findChildren<QLabel*>())
        if (label->isVisible() && !label->visibleRegion().isEmpty())
            texts << QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
    return texts;
}

bool press(QWidget* root, const QString& title)
{
    QAbstractButton* b = usable(button(root, title), QStringLiteral("button \"%1\"").arg(title));
    if (b)
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, b->visibleRegion().boundingRect().center());
    return b;
}

bool type(QWidget* root, const QString& fieldName, const QString& text)
{
    QLineEdit* e = usable(field(root, fieldName), QStringLiteral("field \"%1\"").arg(fieldName));
    if (!e)
        return false;
    focus(e);
    e->selectAll();
    QTest::keyClicks(e, text);
    EXPECT_EQ(e->text(), text) << fieldName.toStdString();
    return e->text() == text;
}

bool choose(QWidget* root, const QString& listName, const QString& item)
{
    QWidget* box = usable(findShown<QWidget>(root, [&](QWidget* w) { return w->inherits("QComboBox") && called(w, listName); },
                                             QStringLiteral("list \"%1\"").arg(listName)),
                          listName);
    if (!box)
        return false;
    focus(box);
    QTest::keyClicks(box, item);  // typing an item's name picks it, as in any closed list box
    const bool picked = called(box, item) || box->property("currentText").toString() == item;
    EXPECT_TRUE(picked) << listName.toStdString() << " shows " << box->property("currentText").toString().toStdString();
    return picked;
}

bool answerFileDialog(QWidget* dialog, const QString& path, const QString& buttonTitle)
{
    // The name field's label reads "Directory:" where only folders are chosen.
    bool folders = false;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        folders = folders || (label->isVisible() && label->buddy() && plain(label->text()) == QLatin1String("Directory"));
    if (!type(dialog, folders ? QStringLiteral("Directory") : QStringLiteral("File name"), path))
        return false;
    // The field offers completions in a popup, which a press would only close.
    if (QWidget* popup = QApplication::activePopupWidget())
        QTest::keyClick(popup, Qt::Key_Escape);
    return press(dialog, buttonTitle);
}

Dialogs::Dialogs() { QTimer::singleShot(50, this, &Dialogs::poll); }

void Dialogs::expect(const QString& text, Answer answer)
{
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
    const auto* box = qobject_cast<QMessageBox*>(dialog);
    const QString text = box ? box->text() : dialog->windowTitle();
    if (m_handled.contains(dialog)) {
        if ((!m_leftOpen.contains(dialog) || m_expected.isEmpty()) && m_answeredAt.elapsed() > kStuckMs) {
            m_unexpected << text + QStringLiteral(" | still open after it was answered");
            QTest::keyClick(dialog, Qt::Key_Escape);
            m_answeredAt.restart();
        }
        return;
    }
    m_handled.append(dialog);
    m_answeredAt.restart();
    m_seen << text;
    if (m_expected.isEmpty() || !text.contains(m_expected.front().text)) {
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
