#include "app/qtprompter.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace {

QMessageBox::Icon iconFor(AlertStyle style)
{
    switch (style) {
    case AlertStyle::Informational: return QMessageBox::Information;
    case AlertStyle::Critical: return QMessageBox::Critical;
    case AlertStyle::Warning: break;
    }
    return QMessageBox::Warning;
}

// Puts `accessory` between the text and the buttons, shown: a widget hidden before it was handed
// over would otherwise stay hidden inside the shown box.
void addAccessory(QMessageBox& box, QWidget* accessory)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    QDialogButtonBox* buttons = box.findChild<QDialogButtonBox*>();
    if (!grid)
        return;
    const int index = buttons ? grid->indexOf(buttons) : -1;
    if (index < 0) {
        grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
    } else {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        grid->removeWidget(buttons);
        grid->addWidget(accessory, row, 0, 1, grid->columnCount());
        grid->addWidget(buttons, row + 1, column, rowSpan, columnSpan);
    }
    accessory->show();
}

// The names typed into the file name field: one name, or several in quotes ("a" "b").
QStringList typedNames(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.contains(QLatin1Char('"')))
        return trimmed.isEmpty() ? QStringList() : QStringList{trimmed};
    QStringList names;
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]+)\""));
    for (auto it = quoted.globalMatch(trimmed); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

// A file dialog that returns files and folders together. Qt's own Open enters a folder instead
// of returning it, and reads a selection made in the parent folder against the folder entered
// since, which doubles the folder's name. Here Open returns what is selected in the folder shown
// and what is typed into the name field; with neither, the folder shown itself.
class MixedFileDialog : public QFileDialog {
public:
    MixedFileDialog(QWidget* parent, const QString& title, const QString& start) : QFileDialog(parent, title, start)
    {
        setOption(QFileDialog::DontUseNativeDialog, true);
        setFileMode(QFileDialog::ExistingFiles);
        for (QAbstractItemView* view : findChildren<QAbstractItemView*>())
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        QDialogButtonBox* box = findChild<QDialogButtonBox*>();
        m_open = box ? box->button(QDialogButtonBox::Open) : nullptr;
        // Qt disables Open while nothing but a folder is chosen; here that folder is the answer.
        if (m_open)
            m_open->installEventFilter(this);
    }

    QStringList chosen() const { return m_chosen; }

    void accept() override
    {
        QStringList paths = selectedInShownFolder();
        const QDir dir = directory();
        bool typedMissing = false;
        for (const QString& name : typedNames(lineEdit() ? lineEdit()->text() : QString())) {
            const QString path = QDir::cleanPath(dir.absoluteFilePath(name));
            if (!QFileInfo::exists(path))
                typedMissing = true;
            else if (!paths.contains(path))
                paths << path;
        }
        if (typedMissing) {
            QFileDialog::accept();  // Qt's own answer to a name that is not there
            return;
        }
        if (paths.isEmpty())
            paths << dir.absolutePath();
        m_chosen = paths;
        QDialog::accept();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_open && event->type() == QEvent::EnabledChange && !m_open->isEnabled())
            m_open->setEnabled(true);
        return QFileDialog::eventFilter(watched, event);
    }

private:
    QLineEdit* lineEdit() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

    QStringList selectedInShownFolder() const
    {
        QAbstractItemView* view = findChild<QAbstractItemView*>(QStringLiteral("listView"));
        if (view && !view->isVisible())
            view = findChild<QAbstractItemView*>(QStringLiteral("treeView"));
        QStringList paths;
        if (!view || !view->selectionModel())
            return paths;
        const QString shown = QDir::cleanPath(directory().absolutePath());
        for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
            const QString path = QDir::cleanPath(index.data(QFileSystemModel::FilePathRole).toString());
            if (!path.isEmpty() && QFileInfo(path).absolutePath() == shown)
                paths << path;
        }
        return paths;
    }

    QPushButton* m_open = nullptr;
    QStringList m_chosen;
};

}  // namespace

int QtPrompter::alert(const AlertRequest& request)
{
    QMessageBox box(m_window);
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(iconFor(request.style));
    box.setWindowTitle(QStringLiteral("Kolvara"));
    box.setText(request.message);
    box.setInformativeText(request.informative);
    const QStringList titles = request.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : request.buttons;
    QList<QAbstractButton*> buttons;
    for (const QString& title : titles) {
        const bool cancel = title == QLatin1String("Cancel");
        QPushButton* b = box.addButton(title, cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        b->setAccessibleName(title);
        buttons.append(b);
    }
    box.setDefaultButton(static_cast<QPushButton*>(buttons.first()));
    // Escape and the window's close button mean Cancel where there is one, else the first
    // button: never a button that goes on (Qt would pick the lone second button otherwise).
    const qsizetype cancel = titles.indexOf(QStringLiteral("Cancel"));
    box.setEscapeButton(buttons.at(cancel >= 0 ? cancel : 0));
    QWidget* accessory = request.accessory;
    QWidget* oldParent = accessory ? accessory->parentWidget() : nullptr;
    if (accessory)
        addAccessory(box, accessory);
    m_open.append(OpenAlert{&box, request.message});
    box.exec();
    m_open.removeIf([&box](const OpenAlert& a) { return a.box == &box; });
    if (accessory) {
        // Hand the accessory back before the box is destroyed, so its owner keeps it.
        accessory->hide();
        accessory->setParent(oldParent);
    }
    if (m_closed.remove(&box))
        return -1;
    return int(buttons.indexOf(box.clickedButton()));
}

void QtPrompter::closeAlert(const QString& message)
{
    for (const OpenAlert& a : m_open) {
        if (a.message == message) {
            m_closed.insert(a.box);
            a.box->done(QDialog::Rejected);
        }
    }
}

QStringList QtPrompter::choosePaths(const FileRequest& request)
{
    if (request.chooseDirectories && request.chooseFiles) {
        MixedFileDialog dialog(m_window, request.title, request.startDirectory);
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
        if (dialog.exec() != QDialog::Accepted)
            return {};
        return request.multiple ? dialog.chosen() : dialog.chosen().mid(0, 1);
    }
    QFileDialog dialog(m_window, request.title, request.startDirectory);
    dialog.setWindowModality(Qt::ApplicationModal);
    // Qt's own dialog everywhere, so that it behaves the same on every desktop and in tests.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
    if (request.chooseDirectories) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList files = dialog.selectedFiles();
    if (!request.multiple && files.size() > 1)
        files = files.mid(0, 1);
    return files;
}
