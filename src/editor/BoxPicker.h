#pragma once

#include <memory>
#include <optional>

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QUrl>

class QLineEdit;
class QWebEngineLoadingInfo;
class QWebEngineView;

namespace Ui {
class BoxPicker;
}

namespace vesk {

/// The box picker sheet of a document window: the public box catalogue in an embedded browser.
/// Following a link to a box page fills in that box's name and closes the sheet; every other
/// page loads normally so the user can search and browse. The browser (and with it the browser
/// process) is only created the first time the sheet is shown.
class BoxPicker : public QDialog
{
    Q_OBJECT

public:
    /// A window-modal sheet on `parent` (the document window).
    explicit BoxPicker(QWidget* parent = nullptr);
    ~BoxPicker() override;

    /// The box name of a catalogue address ("https://host/owner/boxes/name" gives "owner/name"),
    /// or nothing when the address is not a box page. Every "https://" is removed and the rest is
    /// split at each "/": four parts with "boxes" third make a box page; the fourth part is taken
    /// whole, so a query or fragment stays with the name. The registry's box pages,
    /// "http(s)://host/vagrant/discover/owner/name", give "owner/name" as well.
    static std::optional<QString> boxNameFromUrl(const QUrl& url);

    /// The catalogue host of this build.
    static QUrl defaultCatalogueHost();
    /// The catalogue's search page on `host`: the build's search path, by default
    /// "/boxes/search?provider=virtualbox".
    static QUrl searchPageUrl(const QUrl& host);

    /// Where the catalogue is found; the build's host unless set (tests use a local server).
    QUrl catalogueHost() const;
    void setCatalogueHost(const QUrl& host);
    QUrl searchPageUrl() const;

    /// The field that receives a chosen box name; may be null.
    QLineEdit* boxNameField() const;
    void setBoxNameField(QLineEdit* field);

    /// The embedded browser; null until the sheet has been shown once.
    QWebEngineView* webView() const;

public Q_SLOTS:
    /// Closes the sheet without touching the box name.
    void cancelBox();
    void done(int result) override;

Q_SIGNALS:
    /// A box page was followed: `boxName` is already in the box-name field and the sheet closed.
    void boxChosen(const QString& boxName);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createWebView();
    void load(const QUrl& url);
    void chooseBoxName(const QString& boxName);
    void loadingChanged(const QWebEngineLoadingInfo& info);
    void showBusy(bool busy);

    std::unique_ptr<Ui::BoxPicker> ui;
    QWebEngineView* m_webView = nullptr;
    QPointer<QLineEdit> m_boxNameField;
    QUrl m_catalogueHost;
    QUrl m_failedUrl;
};

} // namespace vesk
