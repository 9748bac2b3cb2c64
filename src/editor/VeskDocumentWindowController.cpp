#include "VeskDocumentWindowController.h"

#include <QCloseEvent>

#include "ui_VeskDocumentWindowController.h"

namespace vesk {

VeskDocumentWindowController::VeskDocumentWindowController(QWidget* parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::VeskDocumentWindowController>())
{
    m_ui->setupUi(this);
}

VeskDocumentWindowController::~VeskDocumentWindowController() = default;

void VeskDocumentWindowController::closeWithoutAsking()
{
    m_closing = true;
    close();
}

void VeskDocumentWindowController::closeEvent(QCloseEvent* event)
{
    if (m_closing || !m_closeRequested) {
        event->accept();
        return;
    }
    event->ignore();
    m_closeRequested();
}

} // namespace vesk
