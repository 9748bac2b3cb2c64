#include "VagrantFileViewController.h"

#include "CodeEditorStyle.h"
#include "ui_VagrantFileViewController.h"

namespace vesk {

VagrantFileViewController::VagrantFileViewController(QWidget* parent)
    : CodeViewController(parent), m_ui(std::make_unique<Ui::VagrantFileViewController>())
{
    m_ui->setupUi(this);
    setAceView(m_ui->aceView);
    setup();
}

VagrantFileViewController::~VagrantFileViewController() = default;

void VagrantFileViewController::setup()
{
    configureCodeEditor(aceView(), EditorMode::Ruby, EditorTheme::Paper, /*readOnly=*/true);
}

} // namespace vesk
