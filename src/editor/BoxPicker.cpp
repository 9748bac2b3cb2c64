#include "BoxPicker.h"

#include <functional>
#include <utility>

#include <QLineEdit>
#include <QShowEvent>
#include <QStringList>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "BuildConfig.h"
#include "ui_BoxPicker.h"

namespace vesk {

namespace {

// Refuses every navigation to a box page, in any frame, and reports the box instead.
class BoxPickerPage : public QWebEnginePage
{
public:
    BoxPickerPage(std::function<void(const QString&)> boxPageRequested, QObject* parent)
        : QWebEnginePage(parent), m_boxPageRequested(std::move(boxPageRequested))
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (const std::optional<QString> boxName = BoxPicker::boxNameFromUrl(url)) {
            m_boxPageRequested(*boxName);
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

private:
    std::function<void(const QString&)> m_boxPageRequested;
};

} // namespace

BoxPicker::BoxPicker(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::BoxPicker>()),
      m_catalogueHost(defaultCatalogueHost())
{
    ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    QFont titleFont = ui->lblErrorTitle->font();
    titleFont.setBold(true);
    ui->lblErrorTitle->setFont(titleFont);
    showBusy(false);

    connect(ui->btnCancel, &QPushButton::clicked, this, &BoxPicker::cancelBox);
    connect(ui->btnRetry, &QPushButton::clicked, this,
            [this] { load(m_failedUrl.isValid() ? m_failedUrl : searchPageUrl()); });
}

BoxPicker::~BoxPicker()
{
    // The page reports to this object until it goes; let it go while this object is whole.
    delete m_webView;
}

std::optional<QString> BoxPicker::boxNameFromUrl(const QUrl& url)
{
    // The registry's portal, where the catalogue moved: "/vagrant/discover/OWNER/BOX" on any
    // host; what follows the path (a query, a fragment) is the page's own state.
    if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")) {
        const QStringList segments = url.path(QUrl::FullyEncoded).split(QLatin1Char('/'));
        if (segments.size() == 5 && segments.at(0).isEmpty() &&
            segments.at(1) == QLatin1String("vagrant") &&
            segments.at(2) == QLatin1String("discover") && !segments.at(3).isEmpty() &&
            !segments.at(4).isEmpty())
            return QString(segments.at(3) % QLatin1Char('/') % segments.at(4));
    }
    // The address as it is requested, percent-encoding included.
    QString address = url.toString(QUrl::FullyEncoded);
    address.remove(QStringLiteral("https://"));
    const QStringList parts = address.split(QLatin1Char('/'));
    if (parts.size() != 4 || parts.at(2) != QLatin1String("boxes"))
        return std::nullopt;
    // "host//boxes/name" or "host/owner/boxes/" would give "/name" or "owner/", which name no box.
    if (parts.at(1).isEmpty() || parts.at(3).isEmpty())
        return std::nullopt;
    return QString(parts.at(1) % QLatin1Char('/') % parts.at(3));
}

QUrl BoxPicker::defaultCatalogueHost()
{
    return QUrl(QString::fromUtf8(build::boxCatalogueHost));
}

QUrl BoxPicker::searchPageUrl(const QUrl& host)
{
    // The search page belongs to the build, like the host: "/boxes/search?provider=virtualbox".
    const QString search = QString::fromUtf8(build::boxCatalogueSearch);
    QUrl url = host;
    QString path = host.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + search.section(QLatin1Char('?'), 0, 0));
    url.setQuery(search.section(QLatin1Char('?'), 1));
    url.setFragment(QString());
    return url;
}

QUrl BoxPicker::catalogueHost() const
{
    return m_catalogueHost;
}

void BoxPicker::setCatalogueHost(const QUrl& host)
{
    m_catalogueHost = host;
}

QUrl BoxPicker::searchPageUrl() const
{
    return searchPageUrl(m_catalogueHost);
}

QLineEdit* BoxPicker::boxNameField() const
{
    return m_boxNameField;
}

void BoxPicker::setBoxNameField(QLineEdit* field)
{
    m_boxNameField = field;
}

QWebEngineView* BoxPicker::webView() const
{
    return m_webView;
}

void BoxPicker::cancelBox()
{
    reject();
}

void BoxPicker::done(int result)
{
    if (m_webView)
        m_webView->stop();
    showBusy(false);
    QDialog::done(result);
}

void BoxPicker::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    createWebView();
    load(searchPageUrl());
}

void BoxPicker::createWebView()
{
    if (m_webView)
        return;
    m_webView = new QWebEngineView(ui->pageBrowser);
    m_webView->setObjectName(QStringLiteral("boxPickerWebView"));
    // The decision is taken inside the browser's navigation callback; acting on it from the
    // event loop keeps the page alive while the callback returns, whatever the receivers do.
    auto* page = new BoxPickerPage(
        [this](const QString& boxName) {
            QMetaObject::invokeMethod(
                this, [this, boxName] { chooseBoxName(boxName); }, Qt::QueuedConnection);
        },
        m_webView);
    // Failures get our own message in the sheet instead of the browser's error page.
    page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    m_webView->setPage(page);
    ui->layBrowser->addWidget(m_webView);

    connect(page, &QWebEnginePage::loadingChanged, this, &BoxPicker::loadingChanged);
    // The registry's pages change address inside the page (history.pushState), which is no
    // navigation request: the address itself is followed too.
    connect(page, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
        if (const std::optional<QString> boxName = boxNameFromUrl(url))
            chooseBoxName(*boxName);
    });
    connect(page, &QWebEnginePage::loadProgress, ui->piLoading, &QProgressBar::setValue);
}

void BoxPicker::load(const QUrl& url)
{
    m_failedUrl = QUrl();
    ui->stkContent->setCurrentWidget(ui->pageBrowser);
    showBusy(true);
    m_webView->load(url);
}

void BoxPicker::chooseBoxName(const QString& boxName)
{
    // Only the first box page counts; later requests (other frames, a closed sheet) are dropped.
    if (!isVisible())
        return;
    if (m_boxNameField)
        m_boxNameField->setText(boxName);
    accept();
    Q_EMIT boxChosen(boxName);
}

void BoxPicker::loadingChanged(const QWebEngineLoadingInfo& info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        ui->stkContent->setCurrentWidget(ui->pageBrowser);
        showBusy(true);
        break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        showBusy(false);
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        showBusy(false);
        // An HTTP error still comes with the server's own page, which says more than we could.
        if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
            break;
        m_failedUrl = info.url();
        ui->lblErrorDetail->setText(
            tr("Check that this computer is connected to the internet, then try again.\n\n%1\n%2")
                .arg(info.errorString(), info.url().toDisplayString()));
        ui->stkContent->setCurrentWidget(ui->pageError);
        break;
    }
}

void BoxPicker::showBusy(bool busy)
{
    ui->piLoading->setVisible(busy);
    if (busy)
        ui->piLoading->setValue(0);
    ui->lblStatus->setText(busy ? tr("Loading...") : QString());
}

} // namespace vesk
