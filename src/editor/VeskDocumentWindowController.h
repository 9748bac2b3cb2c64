#pragma once

#include <functional>
#include <memory>

#include <QMainWindow>

namespace Ui {
class VeskDocumentWindowController;
}

namespace vesk {

/// The document window, built from VeskDocumentWindowController.ui. The document fills it; the
/// window only asks its document before it lets itself be closed.
class VeskDocumentWindowController : public QMainWindow
{
    Q_OBJECT

public:
    explicit VeskDocumentWindowController(QWidget* parent = nullptr);
    ~VeskDocumentWindowController() override;

    Ui::VeskDocumentWindowController* ui() const { return m_ui.get(); }

    /// Asked when the user closes the window; the handler decides (possibly later, after an
    /// alert) and closes the window itself through `closeWithoutAsking`.
    void setCloseRequestHandler(std::function<void()> handler)
    {
        m_closeRequested = std::move(handler);
    }
    void closeWithoutAsking();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::VeskDocumentWindowController> m_ui;
    std::function<void()> m_closeRequested;
    bool m_closing = false;
};

} // namespace vesk
