#pragma once

#include <functional>
#include <memory>

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

class QNetworkReply;

namespace Ui {
class DownloadWindowController;
}

namespace vesk {

class HTTPTask;
struct DownloadResult;

/// What one installer download shows and fetches.
struct InstallerDownload
{
    QString windowTitle;
    QString description;
    /// Path on the download server, e.g. "/vagrant.pkg".
    QString path;

    static InstallerDownload virtualBox();
    static InstallerDownload vagrant();
};

/// A small window that downloads one file into the Downloads folder with a progress bar, and
/// opens it when it has arrived. Each download has its own window; the window deletes itself
/// when the download is over (a failed one stays to say what went wrong until it is closed).
class DownloadWindowController : public QWidget
{
    Q_OBJECT

public:
    enum class State { Ready, Downloading, Finished, Failed, Cancelled };

    explicit DownloadWindowController(QWidget* parent = nullptr);
    ~DownloadWindowController() override;

    /// A new window for the installer on `host` (the download server's address): shown in
    /// front, downloading, opening the file once stored.
    static DownloadWindowController* startInstallerDownload(const InstallerDownload& installer,
                                                            const QString& host);

    void setWindowTitleAndDescription(const QString& title, const QString& description);
    QString description() const;

    QUrl fileURL() const { return m_fileURL; }
    void setFileURL(const QUrl& url) { m_fileURL = url; }
    bool openAfterComplete() const { return m_openAfterComplete; }
    void setOpenAfterComplete(bool open) { m_openAfterComplete = open; }

    /// Starts fetching `fileURL`; `completion` (may be empty) runs once the download is over,
    /// however it ended.
    void beginDownload(std::function<void()> completion = {});

    State state() const { return m_state; }
    /// Fraction done, 0.0 to 1.0; never goes back.
    double progress() const { return m_progress; }
    void setProgress(double fraction);
    /// Where the file was stored; empty unless the download finished.
    QString storedPath() const { return m_storedPath; }
    /// What the window says about a failed download; empty otherwise.
    QString failureText() const { return m_failureText; }

    /// The user's Downloads folder (not created when missing).
    static QString downloadsFolder();
    /// `name` in `folder`, or the first of "name-1.ext", "name-2.ext" ... that is not taken.
    static QString freeFileName(const QString& folder, const QString& name);
    /// The file name a response suggests: its Content-Disposition name, else the last part of
    /// its address, without any folders; "download" when neither gives one.
    static QString suggestedFileName(QNetworkReply* response);

public Q_SLOTS:
    /// Stops the download; the window goes away and nothing is opened.
    void cancel();

Q_SIGNALS:
    /// The download is over (finished, failed or cancelled); `state()` says how.
    void downloadEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString destinationFor(QNetworkReply* response);
    void downloadCompleted(const DownloadResult& result);
    void fail(const QString& text);
    void updateStatus();
    void end(State state);

    std::unique_ptr<Ui::DownloadWindowController> m_ui;
    QPointer<HTTPTask> m_downloadTask;
    QUrl m_fileURL;
    bool m_openAfterComplete = false;
    State m_state = State::Ready;
    double m_progress = 0.0;
    QString m_storedPath;
    QString m_failureText;
    QString m_reasonPhrase;
    QString m_reservedName;
    std::function<void()> m_completion;
};

} // namespace vesk
