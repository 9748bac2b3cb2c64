#pragma once

#include <memory>

#include "CodeViewController.h"

namespace Ui {
class VagrantFileViewController;
}

namespace vesk {

/// The Vagrantfile preview tab: a read-only Ruby editor.
class VagrantFileViewController : public CodeViewController
{
    Q_OBJECT

public:
    explicit VagrantFileViewController(QWidget* parent = nullptr);
    ~VagrantFileViewController() override;

protected:
    void setup() override;

private:
    std::unique_ptr<Ui::VagrantFileViewController> m_ui;
};

} // namespace vesk
