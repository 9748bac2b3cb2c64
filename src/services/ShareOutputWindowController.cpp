#include "ShareOutputWindowController.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "Workspace.h"

namespace vesk {

ShareOutputWindowController::ShareOutputWindowController(QWidget* parent)
    : OutputWindowController(parent)
{
    // The address bar sits above the output, where the eye goes first.
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("shareBar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(8);

    m_lblURL = new QLabel(tr("Public URL:"), bar);
    m_lblURL->setObjectName(QStringLiteral("lblURL"));
    m_txtURL = new QLineEdit(bar);
    m_txtURL->setObjectName(QStringLiteral("txtURL"));
    m_txtURL->setReadOnly(true);
    m_txtURL->setPlaceholderText(tr("Waiting for Vagrant to publish the machine..."));
    m_txtURL->setMinimumWidth(260);
    m_lblURL->setBuddy(m_txtURL);
    m_btnOpen = new QPushButton(tr("Open"), bar);
    m_btnOpen->setObjectName(QStringLiteral("btnOpen"));
    m_btnOpen->setToolTip(tr("Open the shared address in your web browser"));
    m_btnOpen->setEnabled(false);
    m_btnEndSharing = new QPushButton(tr("End Sharing"), bar);
    m_btnEndSharing->setObjectName(QStringLiteral("btnEndSharing"));
    m_btnEndSharing->setToolTip(tr("Stop vagrant share and close this window"));

    layout->addWidget(m_lblURL);
    layout->addWidget(m_txtURL, 1);
    layout->addWidget(m_btnOpen);
    layout->addSpacing(8);
    layout->addWidget(m_btnEndSharing);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("shareBarSeparator"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    contentLayout()->insertWidget(0, bar);
    contentLayout()->insertWidget(1, line);

    connect(m_btnOpen, &QPushButton::clicked, this, &ShareOutputWindowController::openURL);
    connect(m_btnEndSharing, &QPushButton::clicked, this, &ShareOutputWindowController::endSharing);
}

ShareOutputWindowController::~ShareOutputWindowController() = default;

void ShareOutputWindowController::setURL(const QString& url)
{
    m_txtURL->setText(url);
    m_txtURL->setCursorPosition(0);
    m_btnOpen->setEnabled(true);
}

QString ShareOutputWindowController::URL() const
{
    return m_txtURL->text();
}

void ShareOutputWindowController::openURL()
{
    Workspace::shared().openUrl(QUrl(m_txtURL->text()));
}

void ShareOutputWindowController::endSharing()
{
    if (m_delegate)
        m_delegate->endSharing(this);
}

} // namespace vesk
