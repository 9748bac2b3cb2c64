#pragma once

#include <memory>
#include <optional>

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

class QCheckBox;
class QPlainTextEdit;
class QTimer;
class QVBoxLayout;

namespace Ui {
class OutputWindowController;
}

namespace vesk {

/// The window that shows what one command prints. It can also follow a text file, showing the
/// file's whole content again whenever its modification date moves on.
class OutputWindowController : public QWidget
{
    Q_OBJECT

public:
    explicit OutputWindowController(QWidget* parent = nullptr);
    ~OutputWindowController() override;

    /// Clears the text, shows the window, brings it to the front and starts watching the file.
    void showWindow();

    /// Appends text at the end and scrolls to it. Safe from any thread; the append is always done
    /// later on the window's thread, in the order of the calls.
    void addOutput(const QString& text);

    /// Everything appended so far; every line break ("\r\n", "\r", U+2028) reads "\n".
    QString outputText() const;

    std::optional<QString> filePathToWatch() const { return m_filePathToWatch; }
    /// Follows another file; restarts watching (and clears the text) when the window is open.
    void setFilePathToWatch(const std::optional<QString>& path);
    /// Clears the text and (re)starts the one-second poll of the watched file.
    void startWatchingFile();
    /// Modification date of the watched file; none without a path or a readable file.
    std::optional<QDateTime> watchedFileModificationDate() const;

    QPlainTextEdit* textView() const;
    QCheckBox* chkCloseWhenComplete() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    /// The window's vertical layout: the text view, then the bar with the check box.
    QVBoxLayout* contentLayout() const;

private:
    void enqueueOutput(const QString& text);
    void appendPendingOutput();
    void groupLines(QString& text);
    void pollWatchedFile();
    void scrollToEnd();
    void showAutoCloseDefault();

    std::unique_ptr<Ui::OutputWindowController> m_ui;
    QTimer* m_fileWatchTimer = nullptr;
    std::optional<QString> m_filePathToWatch;
    std::optional<QDateTime> m_lastModificationDate;
    // Output that arrived since the last append; inserting it in one go keeps a chatty command
    // from costing one document edit per pipe read.
    QString m_pendingOutput;
    QTimer* m_appendTimer = nullptr;
    QElapsedTimer m_sinceLastAppend;
    static constexpr int kAppendIntervalMs = 30;
    static constexpr qsizetype kLargeBatch = 256 * 1024;
    static constexpr int kLinesPerBlock = 32;
    int m_linesInLastBlock = 0;
    bool m_endedInCarriageReturn = false;
};

} // namespace vesk
