#include "OutputWindowController.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTimer>

#include "UserDefaults.h"
#include "ui_OutputWindowController.h"

namespace vesk {

OutputWindowController::OutputWindowController(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::OutputWindowController>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::Window);

    // The platform's fixed-width family at the layout's size.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(m_ui->textView->font().pointSizeF());
    m_ui->textView->setFont(font);
    m_ui->textView->setTabStopDistance(8 * QFontMetricsF(font).horizontalAdvance(u' '));
    m_ui->textView->setMaximumBlockCount(0); // output is never dropped
    m_ui->textView->document()->setDocumentMargin(8);

    m_fileWatchTimer = new QTimer(this);
    m_fileWatchTimer->setObjectName(QStringLiteral("fileWatchTimer"));
    m_fileWatchTimer->setInterval(1000);
    connect(m_fileWatchTimer, &QTimer::timeout, this, &OutputWindowController::pollWatchedFile);

    m_appendTimer = new QTimer(this);
    m_appendTimer->setObjectName(QStringLiteral("appendTimer"));
    m_appendTimer->setSingleShot(true);
    connect(m_appendTimer, &QTimer::timeout, this, &OutputWindowController::appendPendingOutput);

    showAutoCloseDefault();
    connect(m_ui->chkCloseWhenComplete, &QCheckBox::toggled, this, [](bool checked) {
        UserDefaults::standard().setValue(kAutoCloseOutputWindow, checked);
    });
    connect(&UserDefaults::standard(), &UserDefaults::changed, this, [this](const QString& key) {
        if (key == kAutoCloseOutputWindow)
            showAutoCloseDefault();
    });
}

OutputWindowController::~OutputWindowController() = default;

QPlainTextEdit* OutputWindowController::textView() const
{
    return m_ui->textView;
}

QCheckBox* OutputWindowController::chkCloseWhenComplete() const
{
    return m_ui->chkCloseWhenComplete;
}

QVBoxLayout* OutputWindowController::contentLayout() const
{
    return m_ui->contentLayout;
}

void OutputWindowController::showAutoCloseDefault()
{
    const QSignalBlocker blocker(m_ui->chkCloseWhenComplete);
    m_ui->chkCloseWhenComplete->setChecked(
        UserDefaults::standard().boolForKey(kAutoCloseOutputWindow));
}

void OutputWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
    startWatchingFile();
}

void OutputWindowController::addOutput(const QString& text)
{
    if (text.isEmpty())
        return;
    QMetaObject::invokeMethod(
        this, [this, text] { enqueueOutput(text); }, Qt::QueuedConnection);
}

void OutputWindowController::enqueueOutput(const QString& text)
{
    m_pendingOutput += text;
    // Output that trickles in shows at once; a flood is inserted in batches, each big enough to
    // save per-append work (layout, scrolling, painting) and small enough to insert quickly.
    if (m_pendingOutput.size() >= kLargeBatch) {
        m_appendTimer->start(0);
    } else if (!m_appendTimer->isActive()) {
        const qint64 sinceLast =
            m_sinceLastAppend.isValid() ? m_sinceLastAppend.elapsed() : kAppendIntervalMs;
        m_appendTimer->start(int(std::max<qint64>(0, kAppendIntervalMs - sinceLast)));
    }
}

void OutputWindowController::appendPendingOutput()
{
    m_sinceLastAppend.start();
    if (m_pendingOutput.isEmpty())
        return;
    QString text;
    text.swap(m_pendingOutput);
    groupLines(text);
    QTextCursor cursor(m_ui->textView->document());
    cursor.movePosition(QTextCursor::End);
    // A plain format: the palette's text colour, whatever the text before it looked like.
    cursor.insertText(text, QTextCharFormat());
    scrollToEnd();
}

void OutputWindowController::groupLines(QString& text)
{
    // QTextDocument pays dearly per block, so one block per line makes a chatty command crawl
    // (and grow slower as it goes). Lines are kept together in blocks of a few dozen, joined by
    // line separators, which show as line breaks all the same. "\r\n" and a lone "\r" end a
    // line as "\n" does, as they would in a block break of their own.
    QChar* data = text.data();
    const qsizetype size = text.size();
    qsizetype written = 0;
    qsizetype i = 0;
    // The other half of a "\r\n" that the previous append ended in.
    if (m_endedInCarriageReturn && size > 0 && data[0] == u'\n')
        i = 1;
    m_endedInCarriageReturn = size > 0 && data[size - 1] == u'\r';
    for (; i < size; ++i) {
        QChar c = data[i];
        if (c == u'\r') {
            if (i + 1 < size && data[i + 1] == u'\n')
                continue;
            c = u'\n';
        }
        if (c == u'\n' || c == QChar::LineSeparator) {
            if (++m_linesInLastBlock < kLinesPerBlock) {
                c = QChar::LineSeparator;
            } else {
                c = u'\n';
                m_linesInLastBlock = 0;
            }
        } else if (c == QChar::ParagraphSeparator) {
            m_linesInLastBlock = 0;
        }
        data[written++] = c;
    }
    text.truncate(written);
}

QString OutputWindowController::outputText() const
{
    QString text = m_ui->textView->document()->toRawText();
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
    }
    return text;
}

void OutputWindowController::scrollToEnd()
{
    QScrollBar* bar = m_ui->textView->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void OutputWindowController::setFilePathToWatch(const std::optional<QString>& path)
{
    m_filePathToWatch = path;
    // A closed window keeps no timer running; showing it starts watching the new path.
    if (isVisible())
        startWatchingFile();
}

void OutputWindowController::startWatchingFile()
{
    m_ui->textView->clear();
    m_linesInLastBlock = 0;
    m_endedInCarriageReturn = false;
    m_fileWatchTimer->start();
}

std::optional<QDateTime> OutputWindowController::watchedFileModificationDate() const
{
    if (!m_filePathToWatch)
        return std::nullopt;
    const QFileInfo info(*m_filePathToWatch);
    if (!info.exists())
        return std::nullopt;
    const QDateTime modified = info.lastModified();
    if (!modified.isValid())
        return std::nullopt;
    return modified;
}

void OutputWindowController::pollWatchedFile()
{
    const std::optional<QDateTime> modified = watchedFileModificationDate();
    if (!modified)
        return;
    if (m_lastModificationDate && *modified <= *m_lastModificationDate)
        return;
    m_lastModificationDate = modified;

    QFile file(*m_filePathToWatch);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Stateless, so a sequence cut off at the end of the file counts as an error too.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(file.readAll());
    // Text that is not UTF-8 would show as garbage; the previous text stays instead.
    if (decoder.hasError())
        return;
    m_ui->textView->setPlainText(text);
    m_linesInLastBlock = 0;
    m_endedInCarriageReturn = false;
    scrollToEnd();
}

void OutputWindowController::closeEvent(QCloseEvent* event)
{
    m_fileWatchTimer->stop();
    QWidget::closeEvent(event);
}

} // namespace vesk
