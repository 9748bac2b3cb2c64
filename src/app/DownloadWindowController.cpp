#include "DownloadWindowController.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QSet>
#include <QStandardPaths>
#include <QStyle>

#include "HTTPRequests.h"
#include "Icons.h"
#include "Workspace.h"
#include "ui_DownloadWindowController.h"

namespace vesk {

namespace {

bool isSuccessStatus(int statusCode)
{
    return statusCode >= 200 && statusCode <= 299;
}

// Each new window steps down and right from the last, so side-by-side downloads stay visible.
QPoint nextCascadePosition(const QSize& size)
{
    static int step = 0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    const QPoint centre = area.center() - QPoint(size.width() / 2, size.height());
    const QPoint position = centre + QPoint(28, 28) * (step % 8);
    ++step;
    return position;
}

} // namespace

InstallerDownload InstallerDownload::virtualBox()
{
    return {QStringLiteral("Downloading VirtualBox..."),
            QStringLiteral("The VirtualBox install program is now downloading."),
            QStringLiteral("/virtualbox.pkg")};
}

InstallerDownload InstallerDownload::vagrant()
{
    return {QStringLiteral("Downloading Vagrant..."),
            QStringLiteral("The Vagrant install program is now downloading."),
            QStringLiteral("/vagrant.pkg")};
}

DownloadWindowController::DownloadWindowController(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::DownloadWindowController>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    m_ui->lblIcon->setPixmap(veskIcon(QStringLiteral("vesk")).pixmap(56, 56));
    QFont titleFont = m_ui->titleTextLabel->font();
    titleFont.setWeight(QFont::DemiBold);
    m_ui->titleTextLabel->setFont(titleFont);
    m_ui->lblStatus->setForegroundRole(QPalette::PlaceholderText);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, [this] {
        if (m_state == State::Failed)
            close();
        else
            cancel();
    });
    auto* closeShortcut = new QShortcut(QKeySequence::Close, this);
    connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);
    setMinimumWidth(460);
    resize(minimumSizeHint().expandedTo(QSize(480, 150)));
}

namespace {

// Names chosen by downloads still on their way: two at once must not pick the same one.
QSet<QString>& reservedNames()
{
    static QSet<QString> names;
    return names;
}

} // namespace

DownloadWindowController::~DownloadWindowController()
{
    reservedNames().remove(m_reservedName);
}

DownloadWindowController*
DownloadWindowController::startInstallerDownload(const InstallerDownload& installer,
                                                 const QString& host)
{
    auto* window = new DownloadWindowController;
    window->setWindowTitleAndDescription(installer.windowTitle, installer.description);
    window->move(nextCascadePosition(window->size()));
    window->show();
    window->raise();
    window->activateWindow();
    window->setFileURL(QUrl(host + installer.path));
    window->setOpenAfterComplete(true);
    window->beginDownload([] {});
    return window;
}

void DownloadWindowController::setWindowTitleAndDescription(const QString& title,
                                                            const QString& description)
{
    setWindowTitle(title);
    m_ui->titleTextLabel->setText(description);
}

QString DownloadWindowController::description() const
{
    return m_ui->titleTextLabel->text();
}

void DownloadWindowController::beginDownload(std::function<void()> completion)
{
    // A window downloads once; there is no retry.
    if (m_state != State::Ready)
        return;
    m_completion = std::move(completion);
    m_state = State::Downloading;
    updateStatus();
    QPointer<DownloadWindowController> self(this);
    m_downloadTask = HTTPRequests::shared().download(
        m_fileURL,
        [self](double fraction) {
            if (self)
                self->setProgress(fraction);
        },
        [self](QNetworkReply* response) {
            return self ? self->destinationFor(response) : QString();
        },
        [self](const DownloadResult& result) {
            if (self)
                self->downloadCompleted(result);
        });
}

void DownloadWindowController::setProgress(double fraction)
{
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction <= m_progress)
        return;
    m_progress = fraction;
    m_ui->progressIndicator->setValue(int(fraction * m_ui->progressIndicator->maximum() + 0.5));
    updateStatus();
}

void DownloadWindowController::updateStatus()
{
    if (m_state == State::Failed)
        return;
    const QString source =
        m_fileURL.host().isEmpty() ? m_fileURL.toDisplayString() : m_fileURL.host();
    if (m_progress <= 0.0)
        m_ui->lblStatus->setText(tr("Connecting to %1…").arg(source));
    else
        m_ui->lblStatus->setText(tr("%1% from %2").arg(int(m_progress * 100)).arg(source));
}

void DownloadWindowController::cancel()
{
    if (m_state == State::Downloading && m_downloadTask) {
        // The transfer reports its end through the completion, which closes the window.
        m_downloadTask->cancel();
        return;
    }
    if (m_state == State::Ready || m_state == State::Downloading)
        end(State::Cancelled);
}

QString DownloadWindowController::downloadsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

QString DownloadWindowController::freeFileName(const QString& folder, const QString& name)
{
    const QDir directory(folder);
    auto taken = [](const QString& path) {
        const QFileInfo info(path);
        return info.exists() || info.isSymLink() || reservedNames().contains(path);
    };
    QString candidate = directory.filePath(name);
    if (!taken(candidate))
        return candidate;
    const QFileInfo info(name);
    QString base = info.completeBaseName();
    QString suffix = info.suffix();
    if (base.isEmpty()) {
        base = name;
        suffix.clear();
    }
    for (int number = 1;; ++number) {
        candidate = directory.filePath(base + QLatin1Char('-') + QString::number(number) +
                                       (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
        if (!taken(candidate))
            return candidate;
    }
}

QString DownloadWindowController::suggestedFileName(QNetworkReply* response)
{
    auto usable = [](QString name) {
        // Only a plain name: no folders, whichever separator the server used.
        name = QFileInfo(name.replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName().trimmed();
        return (name == QStringLiteral(".") || name == QStringLiteral("..")) ? QString() : name;
    };
    QString name;
    if (response) {
        static const QRegularExpression filename(
            QStringLiteral(R"re(filename\s*=\s*(?:"([^"]*)"|([^;\s]+)))re"),
            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match =
            filename.match(QString::fromLatin1(response->rawHeader("Content-Disposition")));
        if (match.hasMatch())
            name = usable(match.captured(1).isEmpty() ? match.captured(2) : match.captured(1));
        if (name.isEmpty())
            name = usable(response->url().fileName());
    }
    return name.isEmpty() ? QStringLiteral("download") : name;
}

QString DownloadWindowController::destinationFor(QNetworkReply* response)
{
    m_reasonPhrase =
        response->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
    // An error page is not the file asked for: it is not stored at all.
    if (!isSuccessStatus(response->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()))
        return {};
    // An earlier download of the same name stays as it is; this one gets a name of its own.
    reservedNames().remove(m_reservedName);
    m_reservedName = freeFileName(downloadsFolder(), suggestedFileName(response));
    reservedNames().insert(m_reservedName);
    return m_reservedName;
}

void DownloadWindowController::downloadCompleted(const DownloadResult& result)
{
    m_downloadTask = nullptr;
    reservedNames().remove(std::exchange(m_reservedName, QString()));
    const QString address = m_fileURL.toDisplayString();
    if (result.error && result.error->networkError == QNetworkReply::OperationCanceledError) {
        end(State::Cancelled);
    } else if (result.statusCode != 0 && !isSuccessStatus(result.statusCode)) {
        const QString status = m_reasonPhrase.isEmpty()
                                   ? QString::number(result.statusCode)
                                   : tr("%1 (%2)").arg(result.statusCode).arg(m_reasonPhrase);
        fail(tr("%1\nThe server answered %2; nothing was saved or opened.").arg(address, status));
    } else if (result.error && result.destinationPath.isEmpty()) {
        fail(tr("%1\nThe download failed: %2").arg(address, result.error->message));
    } else if (result.error || !result.storedPath) {
        fail(tr("The download could not be saved as %1: %2")
                 .arg(QDir::toNativeSeparators(result.destinationPath),
                      result.error ? result.error->message : tr("unknown error")));
    } else {
        m_storedPath = *result.storedPath;
        if (m_openAfterComplete)
            Workspace::shared().openFile(m_storedPath);
        end(State::Finished);
    }
}

void DownloadWindowController::fail(const QString& text)
{
    m_failureText = text;
    // The window stays: the user asked for this file and should learn why it did not come.
    m_ui->lblIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(56, 56));
    m_ui->titleTextLabel->setText(tr("The download did not complete."));
    m_ui->progressIndicator->hide();
    m_ui->lblStatus->setForegroundRole(QPalette::WindowText);
    m_ui->lblStatus->setText(text);
    m_ui->btnCancel->setText(tr("Close"));
    m_ui->btnCancel->setDefault(true);
    // Grow to show the whole message.
    layout()->activate();
    resize(width(), std::max(height(), layout()->totalHeightForWidth(width())));
    end(State::Failed);
}

void DownloadWindowController::end(State state)
{
    m_state = state;
    std::function<void()> completion = std::exchange(m_completion, {});
    QPointer<DownloadWindowController> self(this);
    if (state != State::Failed)
        close();
    if (self)
        Q_EMIT downloadEnded();
    if (completion)
        completion();
}

void DownloadWindowController::closeEvent(QCloseEvent* event)
{
    // Closing the window of a running download stops it.
    if (m_state == State::Downloading)
        cancel();
    QWidget::closeEvent(event);
}

} // namespace vesk
