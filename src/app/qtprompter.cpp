#include "app/qtprompter.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

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

// Lets a Qt file dialog return files and folders together: the dialog's own "Open" refuses a
// folder (it enters it), so the selection is read from its views instead.
QStringList runMixedDialog(QFileDialog& dialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    QStringList chosen;
    for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>(QStringLiteral("listView")))
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>(QStringLiteral("treeView")))
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QDialogButtonBox* box = dialog.findChild<QDialogButtonBox*>();
    QPushButton* open = box ? box->button(QDialogButtonBox::Open) : nullptr;
    if (open) {
        QObject::disconnect(open, &QPushButton::clicked, nullptr, nullptr);
        QObject::connect(open, &QPushButton::clicked, &dialog, [&dialog, &chosen] {
            QAbstractItemView* view = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
            if (view && !view->isVisible())
                view = dialog.findChild<QAbstractItemView*>(QStringLiteral("treeView"));
            const QDir dir = dialog.directory();
            if (view && view->selectionModel()) {
                for (const QModelIndex& index : view->selectionModel()->selectedRows())
                    chosen.append(dir.absoluteFilePath(index.data().toString()));
            }
            if (chosen.isEmpty())
                chosen = dialog.selectedFiles();
            static_cast<QDialog&>(dialog).done(QDialog::Accepted);
        });
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return chosen.isEmpty() ? dialog.selectedFiles() : chosen;
}

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
    for (int i = 0; i < titles.size(); ++i) {
        QPushButton* b = box.addButton(titles[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        b->setAccessibleName(titles[i]);
        buttons.append(b);
    }
    box.setDefaultButton(static_cast<QPushButton*>(buttons.first()));
    QWidget* accessory = request.accessory;
    QWidget* oldParent = accessory ? accessory->parentWidget() : nullptr;
    if (accessory) {
        auto* grid = qobject_cast<QGridLayout*>(box.layout());
        if (grid)
            grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
    if (accessory) {
        // Hand the accessory back before the box is destroyed, so its owner keeps it.
        accessory->hide();
        accessory->setParent(oldParent);
    }
    return int(buttons.indexOf(box.clickedButton()));
}

QStringList QtPrompter::choosePaths(const FileRequest& request)
{
    QFileDialog dialog(m_window, request.title, request.startDirectory);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
    if (request.chooseDirectories && request.chooseFiles)
        return runMixedDialog(dialog);
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
