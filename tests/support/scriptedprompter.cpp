#include "support/scriptedprompter.h"

int ScriptedPrompter::alert(const AlertRequest& request)
{
    AlertRequest recorded = request;
    recorded.accessory = nullptr;  // it may be gone by the time a test looks
    m_alerts.append(recorded);
    if (m_alertAnswers.empty())
        return 0;
    AlertAnswer answer = std::move(m_alertAnswers.front());
    m_alertAnswers.pop_front();
    return answer(request);
}

QStringList ScriptedPrompter::choosePaths(const FileRequest& request)
{
    m_fileRequests.append(request);
    if (m_pathAnswers.empty())
        return {};
    QStringList paths = m_pathAnswers.front();
    m_pathAnswers.pop_front();
    return paths;
}

QStringList ScriptedPrompter::messages() const
{
    QStringList out;
    for (const AlertRequest& a : m_alerts)
        out.append(a.message);
    return out;
}

void ScriptedPrompter::clear()
{
    m_alertAnswers.clear();
    m_pathAnswers.clear();
    m_alerts.clear();
    m_fileRequests.clear();
}
