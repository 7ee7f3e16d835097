#pragma once

#include "app/prompter.h"

class QWidget;

// Prompter shown with Qt's message boxes and file dialogs, modal to the main window.
class QtPrompter : public Prompter {
public:
    explicit QtPrompter(QWidget* window = nullptr) : m_window(window) {}
    void setWindow(QWidget* window) { m_window = window; }

    int alert(const AlertRequest& request) override;
    QStringList choosePaths(const FileRequest& request) override;

private:
    QWidget* m_window;
};
