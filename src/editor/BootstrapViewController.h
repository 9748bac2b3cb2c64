#pragma once

#include <memory>

#include "CodeViewController.h"

namespace Ui {
class BootstrapViewController;
}

namespace vesk {

/// The provisioning-script tab: a shell editor.
class BootstrapViewController : public CodeViewController
{
    Q_OBJECT

public:
    explicit BootstrapViewController(QWidget* parent = nullptr);
    ~BootstrapViewController() override;

protected:
    void setup() override;

private:
    std::unique_ptr<Ui::BootstrapViewController> m_ui;
};

} // namespace vesk
