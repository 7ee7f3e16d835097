#pragma once

#include <QString>
#include <QStringList>

class QWidget;

enum class AlertStyle { Informational, Warning, Critical };

struct AlertRequest {
    QString message;
    QString informative;
    AlertStyle style = AlertStyle::Warning;
    QStringList buttons;           // in order; empty means one "OK"
    QWidget* accessory = nullptr;  // shown below the text; not owned by the prompter
};

struct FileRequest {
    QString title;
    bool chooseFiles = true;
    bool chooseDirectories = false;
    bool multiple = false;
    bool canCreateDirectories = false;
    QString startDirectory;
};

// Every alert, question and file or folder picker of the workbench goes through this, so tests
// can answer them in order and see what was shown.
class Prompter {
public:
    virtual ~Prompter() = default;
    // Index of the pressed button in request.buttons (0 for the lone "OK"); -1 when dismissed.
    virtual int alert(const AlertRequest& request) = 0;
    // Chosen paths in the order the picker gives them; empty when cancelled.
    virtual QStringList choosePaths(const FileRequest& request) = 0;
    // Closes an alert with this message that is still shown (it answers -1), for a question
    // that something else has since answered; nothing when there is none.
    virtual void closeAlert(const QString& message) { (void)message; }

    int alert(const QString& message, AlertStyle style = AlertStyle::Warning)
    {
        return alert(AlertRequest{message, QString(), style, {}, nullptr});
    }
};
