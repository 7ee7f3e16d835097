#pragma once

#include "dialogs/prompter.h"

#include <QList>
#include <QSet>

class QMessageBox;
class QWidget;

// Prompter shown with Qt's message boxes and file dialogs, modal to the main window.
class QtPrompter : public Prompter {
public:
    explicit QtPrompter(QWidget* window = nullptr) : m_window(window) {}
    void setWindow(QWidget* window) { m_window = window; }

    int alert(const AlertRequest& request) override;
    QStringList choosePaths(const FileRequest& request) override;
    void closeAlert(const QString& message) override;

private:
    struct OpenAlert {
        QMessageBox* box;
        QString message;
    };
    QWidget* m_window;
    QList<OpenAlert> m_open;       // alerts now shown, innermost last
    QSet<QMessageBox*> m_closed;   // closed by closeAlert: they answer -1
};
