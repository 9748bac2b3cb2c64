#include "AboutWindowController.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>
#include <QWindow>

#include "ApplicationInfo.h"
#include "Icons.h"
#include "Workspace.h"
#include "ui_AboutWindowController.h"

namespace vesk {

AboutWindowController::AboutWindowController(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::AboutWindowController>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::Window);
    setWindowTitle(tr("About %1").arg(applicationName()));
    m_ui->lblIcon->setPixmap(veskIcon(QStringLiteral("vesk")).pixmap(96, 96));
    m_ui->lblName->setText(applicationName());
    for (QLabel* secondary : {m_ui->lblTagline, m_ui->lblCopyright})
        secondary->setForegroundRole(QPalette::PlaceholderText);
    connect(m_ui->btnAcknowledgments, &QPushButton::clicked, this,
            &AboutWindowController::acknowlegments);
    connect(m_ui->btnSupport, &QPushButton::clicked, this, &AboutWindowController::support);
    auto* closeShortcut = new QShortcut(QKeySequence::Close, this);
    connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);
    setup();
    setFixedSize(sizeHint());
}

AboutWindowController::~AboutWindowController() = default;

void AboutWindowController::setup()
{
    // The short version string: what the application announces, else the build's own.
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = applicationVersion();
    m_ui->lblVersion->setText(tr("Version %1").arg(version));
    // Labels pass mouse presses on, so the whole background moves the window.
    for (QLabel* label : findChildren<QLabel*>())
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void AboutWindowController::acknowlegments()
{
    Workspace::shared().openUrl(QUrl(productPage(QStringLiteral("/vesk/acknowledgments/"))));
}

void AboutWindowController::support()
{
    Workspace::shared().openUrl(QUrl(productPage(QStringLiteral("/support/"))));
}

void AboutWindowController::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT windowClosed();
}

void AboutWindowController::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AboutWindowController::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // Let the window manager move it where it can; otherwise follow the mouse ourselves.
    if (windowHandle() && windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void AboutWindowController::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return QWidget::mouseMoveEvent(event);
    move(event->globalPosition().toPoint() - m_dragOffset);
    event->accept();
}

void AboutWindowController::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace vesk
