#pragma once

#include <functional>

#include <QObject>
#include <QProcess>
#include <QString>

namespace vesk {

/// Turns a stream of bytes, read in pieces of any size, into UTF-8 text: a character split
/// between two pieces comes out whole, invalid bytes come out as U+FFFD.
class Utf8StreamDecoder
{
public:
    /// The text of every character completed by these bytes.
    QString decode(const QByteArray& bytes);
    /// The end of the stream: an unfinished character left over becomes U+FFFD.
    QString finish();
    bool hasPendingBytes() const { return !m_pending.isEmpty(); }

private:
    QByteArray m_pending;
};

/// Runs one prepared child process and turns it into two callbacks on the main thread: output
/// text chunk by chunk (standard output and standard error alike, in arrival order) and one
/// completion when the process has ended.
class KRNTaskHelper : public QObject
{
    Q_OBJECT

public:
    using OutputHandler = std::function<void(const QString& chunk)>;
    using CompletionHandler = std::function<void()>;

    explicit KRNTaskHelper(QObject* parent = nullptr);
    ~KRNTaskHelper() override;

    /// Takes ownership of the process; the caller has set its program and arguments.
    void setTask(QProcess* task);
    /// The process: its exitStatus(), exitCode() and error() tell how it ended.
    QProcess* task() const { return m_task; }

    void setOutputHandler(OutputHandler handler);
    void setCompletionHandler(CompletionHandler handler);

    /// Starts the process with standard input from the null device and PATH extended by
    /// ":/usr/local/bin". Returns at once; the completion handler is always called later from the
    /// event loop, exactly once, also when the process cannot be started. Launches only once.
    void launch();

    /// True once the process has ended (or failed to start) and the completion handler has run.
    bool isComplete() const { return m_complete; }
    /// True when the process started, ran to its end by itself and returned status 0.
    bool succeeded() const;

    /// The environment a child gets from `base`: everything as it is, PATH with ":/usr/local/bin"
    /// appended (or ":/usr/local/bin" alone when there is no PATH).
    static QProcessEnvironment childEnvironment(const QProcessEnvironment& base);

private:
    void receivedData();
    void receivedError();
    void failed(QProcess::ProcessError error);
    void complete();
    void deliver(const QString& text);

    QProcess* m_task = nullptr;
    OutputHandler m_outputHandler;
    CompletionHandler m_completionHandler;
    // One per stream, so a character split between two reads arrives whole.
    Utf8StreamDecoder m_outputDecoder;
    Utf8StreamDecoder m_errorDecoder;
    bool m_launched = false;
    bool m_complete = false;
};

} // namespace vesk
