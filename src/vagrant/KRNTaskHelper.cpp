#include "KRNTaskHelper.h"

#include <QStringDecoder>

namespace vesk {

namespace {

// Length of an unfinished UTF-8 sequence at the end of `bytes` (0 when it ends on a boundary).
qsizetype unfinishedSequenceLength(const QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= 4 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(bytes.at(size - back));
        if ((byte & 0xC0) == 0x80)
            continue; // continuation byte: look further back for its lead
        qsizetype needed = 0;
        if (byte >= 0xC2 && byte <= 0xDF)
            needed = 2;
        else if (byte >= 0xE0 && byte <= 0xEF)
            needed = 3;
        else if (byte >= 0xF0 && byte <= 0xF4)
            needed = 4;
        return back < needed ? back : 0;
    }
    return 0;
}

// Whole chunks only, so no state is carried inside the decoder: Qt 6.4's stateful UTF-8 decoder
// drops the byte after an unfinished sequence that turns out invalid. An initial byte order mark
// is text like any other here, not a marker to strip.
QString decodeUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

} // namespace

QString Utf8StreamDecoder::decode(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QString();
    const QByteArray data = m_pending.isEmpty() ? bytes : m_pending + bytes;
    const qsizetype complete = data.size() - unfinishedSequenceLength(data);
    m_pending = data.sliced(complete);
    return decodeUtf8(QByteArrayView(data).first(complete));
}

QString Utf8StreamDecoder::finish()
{
    const QString text = decodeUtf8(m_pending);
    m_pending.clear();
    return text;
}

KRNTaskHelper::KRNTaskHelper(QObject* parent) : QObject(parent) {}

KRNTaskHelper::~KRNTaskHelper()
{
    // Ending a process that still runs can report its last events; the handlers are gone by then.
    if (m_task)
        m_task->disconnect(this);
}

void KRNTaskHelper::setTask(QProcess* task)
{
    // The process of a launched runner is the one its events come from.
    if (m_launched || m_task == task)
        return;
    delete m_task;
    m_task = task;
    if (m_task)
        m_task->setParent(this);
}

void KRNTaskHelper::setOutputHandler(OutputHandler handler)
{
    m_outputHandler = std::move(handler);
}

void KRNTaskHelper::setCompletionHandler(CompletionHandler handler)
{
    m_completionHandler = std::move(handler);
}

QProcessEnvironment KRNTaskHelper::childEnvironment(const QProcessEnvironment& base)
{
    QProcessEnvironment environment = base;
    const QString suffix = QStringLiteral(":/usr/local/bin");
    environment.insert(QStringLiteral("PATH"), environment.value(QStringLiteral("PATH")) + suffix);
    return environment;
}

void KRNTaskHelper::launch()
{
    if (m_launched)
        return;
    // Without a task there is nothing to run; an empty process fails to start like any other
    // program that cannot be run, so the caller still hears of it.
    if (!m_task)
        setTask(new QProcess);
    m_launched = true;

    m_task->setProcessChannelMode(QProcess::SeparateChannels);
    m_task->setStandardInputFile(QProcess::nullDevice());
    // A caller that prepared an environment keeps it; otherwise the child gets ours.
    const QProcessEnvironment base = m_task->processEnvironment().isEmpty()
                                         ? QProcessEnvironment::systemEnvironment()
                                         : m_task->processEnvironment();
    m_task->setProcessEnvironment(childEnvironment(base));

    connect(m_task, &QProcess::readyReadStandardOutput, this, &KRNTaskHelper::receivedData);
    connect(m_task, &QProcess::readyReadStandardError, this, &KRNTaskHelper::receivedError);
    connect(m_task, &QProcess::finished, this, &KRNTaskHelper::complete);
    connect(m_task, &QProcess::errorOccurred, this, &KRNTaskHelper::failed);
    m_task->start();
}

bool KRNTaskHelper::succeeded() const
{
    return m_complete && m_task && m_task->error() != QProcess::FailedToStart &&
           m_task->exitStatus() == QProcess::NormalExit && m_task->exitCode() == 0;
}

void KRNTaskHelper::receivedData()
{
    deliver(m_outputDecoder.decode(m_task->readAllStandardOutput()));
}

void KRNTaskHelper::receivedError()
{
    deliver(m_errorDecoder.decode(m_task->readAllStandardError()));
}

void KRNTaskHelper::failed(QProcess::ProcessError error)
{
    // A process that never started sends no finished signal. Completing from the event loop keeps
    // launch() from calling back into a caller that has not finished setting up.
    if (error == QProcess::FailedToStart)
        QMetaObject::invokeMethod(this, &KRNTaskHelper::complete, Qt::QueuedConnection);
}

void KRNTaskHelper::complete()
{
    if (m_complete)
        return;
    m_complete = true;
    // Whatever is still buffered reaches the output handler before the completion handler.
    // A character cut off by the end of a stream becomes U+FFFD.
    if (m_task && m_task->isOpen()) {
        deliver(m_outputDecoder.decode(m_task->readAllStandardOutput()));
        deliver(m_errorDecoder.decode(m_task->readAllStandardError()));
    }
    deliver(m_outputDecoder.finish());
    deliver(m_errorDecoder.finish());
    // A copy, so a handler that releases this runner does not pull the callable from under itself.
    const CompletionHandler handler = m_completionHandler;
    if (handler)
        handler();
}

void KRNTaskHelper::deliver(const QString& text)
{
    if (!text.isEmpty() && m_outputHandler)
        m_outputHandler(text);
}

} // namespace vesk
