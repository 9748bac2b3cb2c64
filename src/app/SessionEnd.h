#pragma once

#include <functional>

#include <QObject>

class QGuiApplication;
class QSocketNotifier;

namespace vesk {

class DocumentController;

/// The session ends without asking: a logout (the session manager's commit request), or a
/// termination signal (SIGTERM, SIGHUP, SIGINT: systemd at logout, a closed terminal, Ctrl+C).
/// Either way every document keeps its unsaved work at once, without a question, and on a
/// signal `quit` runs afterwards.
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    SessionEnd(QGuiApplication& application, DocumentController& documents,
               std::function<void()> quit);
    ~SessionEnd() override;

private:
    void signalReceived();

    DocumentController& m_documents;
    std::function<void()> m_quit;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vesk
