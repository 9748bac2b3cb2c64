#pragma once

#include <memory>

#include <QDialog>
#include <QPointer>

#include "SoftwareUpdater.h"

namespace Ui {
class SoftwareUpdateDialog;
}

namespace vesk {

/// The updater's small window: "checking", "up to date", "a newer version" with a button that
/// opens its download page, or why the check failed.
class SoftwareUpdateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SoftwareUpdateDialog(QWidget* parent = nullptr);
    ~SoftwareUpdateDialog() override;

    void showChecking();
    void showResult(const UpdateCheckResult& result);

    /// The page the download button opens (empty unless a newer version was found).
    QUrl downloadPage() const { return m_downloadPage; }

private:
    void openDownloadPage();
    void fitHeightToText();

    std::unique_ptr<Ui::SoftwareUpdateDialog> m_ui;
    QUrl m_downloadPage;
};

/// Shows what the updater finds: every result of a check the user asked for, and only a newer
/// version when the check ran by itself.
class SoftwareUpdatePresenter : public QObject
{
    Q_OBJECT

public:
    explicit SoftwareUpdatePresenter(SoftwareUpdater& updater, QObject* parent = nullptr);
    ~SoftwareUpdatePresenter() override;

    /// The open dialog, if any.
    SoftwareUpdateDialog* dialog() const { return m_dialog; }

private:
    SoftwareUpdateDialog* ensureDialog();

    QPointer<SoftwareUpdateDialog> m_dialog;
};

} // namespace vesk
