#include "BoxPickerSheet.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWindow>

#include "BuildConfig.h"

namespace vesk {

namespace {

QString& programOverride()
{
    static QString path;
    return path;
}

QUrl& hostOverride()
{
    static QUrl host;
    return host;
}

} // namespace

void BoxPickerSheet::setDefaultCatalogueHost(const QUrl& host)
{
    hostOverride() = host;
}

BoxPickerSheet::BoxPickerSheet(QWidget* parent)
    : QDialog(parent, Qt::Sheet), m_host(QUrl(QString::fromUtf8(build::boxCatalogueHost)))
{
    if (hostOverride().isValid())
        m_host = hostOverride();
    setObjectName(QStringLiteral("sheetBoxPicker"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblBoxPickerStatus"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    auto* buttons = new QDialogButtonBox(this);
    m_retry = buttons->addButton(QStringLiteral("Try Again"), QDialogButtonBox::ActionRole);
    m_retry->setObjectName(QStringLiteral("btnRetry"));
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(m_retry, &QPushButton::clicked, this, &BoxPickerSheet::start);
    connect(cancel, &QPushButton::clicked, this, &BoxPickerSheet::cancelBox);
    layout->addWidget(buttons);
    resize(460, sizeHint().height());
}

BoxPickerSheet::~BoxPickerSheet()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(2000);
    }
}

QString BoxPickerSheet::pickerProgram()
{
    if (!programOverride().isEmpty())
        return programOverride();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vesk-boxpicker");
}

void BoxPickerSheet::setPickerProgram(const QString& path)
{
    programOverride() = path;
}

QLineEdit* BoxPickerSheet::boxNameField() const
{
    return m_boxNameField;
}

void BoxPickerSheet::setBoxNameField(QLineEdit* field)
{
    m_boxNameField = field;
}

QString BoxPickerSheet::statusText() const
{
    return m_status->text();
}

void BoxPickerSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        start();
}

void BoxPickerSheet::start()
{
    if (m_process)
        return;
    m_output.clear();
    m_retry->hide();
    m_status->setText(QStringLiteral("Choose a box in the catalogue window; its name is filled in "
                                     "here."));
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral("--host"), m_host.toString()};
    // Kept above the document window where the desktop allows it.
    if (QWidget* owner = parentWidget(); owner && owner->windowHandle())
        arguments << QStringLiteral("--transient-for")
                  << QString::number(owner->windowHandle()->winId());
    connect(m_process, &QProcess::readyReadStandardOutput, this, &BoxPickerSheet::readName);
    connect(m_process, &QProcess::finished, this, &BoxPickerSheet::pickerEnded);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        // Said plainly, with a way to try again; the box name stays as it was.
        m_status->setText(QStringLiteral("The box picker could not be started: %1 (%2).")
                              .arg(m_process->errorString(), pickerProgram()));
        m_retry->show();
        m_process->deleteLater();
        m_process = nullptr;
    });
    m_process->start(pickerProgram(), arguments);
}

void BoxPickerSheet::readName()
{
    m_output += m_process->readAllStandardOutput();
    const qsizetype end = m_output.indexOf('\n');
    if (end < 0)
        return;
    const QString boxName = QString::fromUtf8(m_output.left(end)).trimmed();
    if (boxName.isEmpty() || !isVisible())
        return;
    if (m_boxNameField)
        m_boxNameField->setText(boxName);
    accept();
    Q_EMIT boxChosen(boxName);
}

void BoxPickerSheet::pickerEnded()
{
    QProcess* process = std::exchange(m_process, nullptr);
    process->deleteLater();
    // Closed without a choice: the sheet goes too. A crash is said.
    if (!isVisible())
        return;
    if (process->exitStatus() == QProcess::CrashExit) {
        m_status->setText(QStringLiteral("The box picker ended unexpectedly."));
        m_retry->show();
        return;
    }
    reject();
}

void BoxPickerSheet::cancelBox()
{
    reject();
}

void BoxPickerSheet::done(int result)
{
    if (m_process) {
        QProcess* process = std::exchange(m_process, nullptr);
        process->disconnect(this);
        process->terminate();
        process->waitForFinished(2000);
        process->deleteLater();
    }
    QDialog::done(result);
}

} // namespace vesk
