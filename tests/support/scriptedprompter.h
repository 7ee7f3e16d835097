#pragma once

#include "dialogs/prompter.h"

#include <deque>
#include <functional>

// Answers alerts and pickers in the order they were scripted and records what was shown.
// Unscripted alerts answer 0 (the first button); unscripted pickers answer "cancelled".
class ScriptedPrompter : public Prompter {
public:
    using AlertAnswer = std::function<int(const AlertRequest&)>;

    void answerAlert(int button) { m_alertAnswers.push_back([button](const AlertRequest&) { return button; }); }
    void answerAlert(AlertAnswer answer) { m_alertAnswers.push_back(std::move(answer)); }
    void answerPaths(const QStringList& paths) { m_pathAnswers.push_back(paths); }

    int alert(const AlertRequest& request) override;
    QStringList choosePaths(const FileRequest& request) override;
    using Prompter::alert;

    QStringList messages() const;  // every alert's message, in order
    const QList<AlertRequest>& alerts() const { return m_alerts; }
    const QList<FileRequest>& fileRequests() const { return m_fileRequests; }
    void clear();

private:
    std::deque<AlertAnswer> m_alertAnswers;
    std::deque<QStringList> m_pathAnswers;
    QList<AlertRequest> m_alerts;
    QList<FileRequest> m_fileRequests;
};
