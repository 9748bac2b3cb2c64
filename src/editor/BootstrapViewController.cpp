#include "BootstrapViewController.h"

#include "CodeEditorStyle.h"
#include "ui_BootstrapViewController.h"

namespace vesk {

BootstrapViewController::BootstrapViewController(QWidget* parent)
    : CodeViewController(parent), m_ui(std::make_unique<Ui::BootstrapViewController>())
{
    m_ui->setupUi(this);
    setAceView(m_ui->aceView);
    setup();
}

BootstrapViewController::~BootstrapViewController() = default;

void BootstrapViewController::setup()
{
    configureCodeEditor(aceView(), EditorMode::Shell, EditorTheme::Paper);
}

} // namespace vesk
